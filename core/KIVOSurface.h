#pragma once
// The object that tools and callers hold for an open surface of any format.
// It shares one data-IO (a KIVOExtendDataIO around the format's own) and
// forwards to it, adding attribute filtering of query results and point
// iterators over its nodes.
#include "platform/core/KIVOExport.h"
#include <memory>

#include "platform/core/NORVAObject.h"
#include "platform/core/NORVAType.h"
#include "platform/frame/KIVOAttributeFilter.h"
#include "platform/frame/KIVOPointIter.h"
#include "platform/frame/KIVOSurfaceDataIO.h"

class NORVAGeometry;

class KIVO_EXPORT KIVOSurface : public NORVAObject {
public:
    // Takes the handle's object over, wrapped in a KIVOExtendDataIO.
    explicit KIVOSurface(NORVAType<KIVOSurfaceDataIO> dataIO);
    // Keeps the pointer only when it holds a KIVOExtendDataIO.
    explicit KIVOSurface(const std::shared_ptr<KIVOSurfaceDataIO>& dataIO);

    KIVOSurfaceAttributeTable* getAttributeInfo();
    const KIVOSurfaceAttributeTable* getAttributeInfo() const;
    const NORVACoordSystem* getCoordSystem() const;
    NORVAArray<double> getMinimum() const;
    NORVAArray<double> getMaximum() const;
    NORVAUString getSourceName() const;
    KIVOSurfaceMetaData* getMetaData();
    const KIVOSurfaceMetaData* getMetaData() const;
    long rename(const NORVAUString& newName);
    long set(double x, double y, const KIVOAttributeSet& attributes, const KIVODescriptor& descriptor,
             double resolution);
    long store(NORVAProgress* progress);

    std::shared_ptr<KIVOSurfaceDataIO> shareDataIO() const { return m_dataIO; }
    KIVOSurfaceDataIO* getDataIO() const { return m_dataIO.get(); }
    void setModified(bool modified);

    NORVAType<KIVOSurfaceIter> query(const NORVAGeometry& geometry, long& status, bool create,
                                     const KIVOAttributeFilter* filter, NORVAProgress* progress, double resolution);
    NORVAType<KIVOSurfaceIter> query(double x1, double y1, double x2, double y2, long& status, bool create,
                                     const KIVOAttributeFilter* filter, NORVAProgress* progress, double resolution);
    NORVAType<KIVOSurfaceIter> query(double x, double y, double z, long& status, bool create,
                                     const KIVOAttributeFilter* filter, NORVAProgress* progress, double resolution);

    NORVAType<KIVOPointIter> getIterator(const NORVAGeometry* geometry, NORVAProgress* progress);
    NORVAType<KIVOPointIter> getIterator(double x1, double y1, double x2, double y2, NORVAProgress* progress);

    bool isExtendedAttribute(const NORVAUString& name) const;
    double getAreaCoverage(long& status) const;

private:
    NORVAType<KIVOSurfaceIter> filtered(NORVAType<KIVOSurfaceIter> iter, const KIVOAttributeFilter* filter) const;

    std::shared_ptr<KIVOSurfaceDataIO> m_dataIO;
};
