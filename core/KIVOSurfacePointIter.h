#pragma once
// Presents the nodes of a surface as soundings, so that a surface can feed
// every tool that takes a point iterator. Fields: 0 "Depth", 1
// "Horizontal_Error" (listed, never served), 2 "Vertical_Error" (the node's
// uncertainty), 3 "Source_Name" (the surface's source name). The surface
// must outlive the iterator. Without a node iterator (a failed query) it is
// done at once and every getter answers -1 or null. A failure of the node
// iterator ends the walk, and `done` reports it from then on.
#include "platform/core/KIVOExport.h"
#include <vector>

#include "platform/core/NORVAType.h"
#include "platform/frame/KIVOPointIter.h"
#include "platform/frame/KIVOSurfaceIter.h"

class KIVOSurface;
class NORVAGeometry;
class NORVAProgress;

class KIVO_EXPORT KIVOSurfacePointIter : public KIVOPointIter {
public:
    enum Field : long { DEPTH = 0, HORIZONTAL_ERROR = 1, VERTICAL_ERROR = 2, SOURCE_NAME = 3 };

    // A null geometry means the whole surface; a null name means "Depth" or
    // "Uncertainty".
    KIVOSurfacePointIter(KIVOSurface& surface, const NORVAGeometry* geometry, const NORVAUString* depthName,
                         const NORVAUString* uncertaintyName, NORVAProgress* progress);
    KIVOSurfacePointIter(KIVOSurface& surface, double x1, double y1, double x2, double y2,
                         const NORVAUString* depthName, const NORVAUString* uncertaintyName,
                         NORVAProgress* progress);
    KIVOSurfacePointIter(const KIVOSurfacePointIter&) = delete;
    KIVOSurfacePointIter& operator=(const KIVOSurfacePointIter&) = delete;

    bool done(long& status) const override;
    bool next(long& status) override;
    long getPosition(double& x, double& y) const override;
    const NORVACoordSystem* getCoordSystem() const override;
    void getAvailable(std::vector<NORVAUString>& names) const override;
    DATA_TYPE getType(long index) const override;
    long get(long index, NORVAUString& value) const override;
    long get(long index, long& value) const override;
    // Non-zero when no value was read: a node without a depth is never
    // served as a 0.0 sounding.
    long get(long index, double& value) const override;
    long count() const override;
    bool indexOf(const NORVAUString& name, long& index, DATA_TYPE& type) const override;

    virtual KIVOAttributeSet* getAttributes() const;
    virtual const KIVODescriptor* getDescriptor() const;
    // Appends every attribute name of the descriptor, in index order.
    virtual long getAttributeNames(std::vector<NORVAUString>& names) const;

protected:
    // For a subclass that serves another iterator's soundings: no query.
    explicit KIVOSurfacePointIter(KIVOSurface& surface);

    KIVOSurface& getSurface() const { return *m_surface; }

private:
    void lookUpAttributes(const NORVAUString* depthName, const NORVAUString* uncertaintyName);
    void queryBox(double x1, double y1, double x2, double y2, NORVAProgress* progress);
    void takeIterator(NORVAType<KIVOSurfaceIter> iter, long status);
    void fillAvailable();
    bool hasValue(long attributeIndex) const;

    KIVOSurface* m_surface;
    NORVAType<KIVOSurfaceIter> m_iter;
    long m_failure = 0;  // the node iterator's failure that ended the walk
    int32_t m_depthIndex = -1;
    int32_t m_uncertaintyIndex = -1;
    std::vector<NORVAUString> m_available;
};
