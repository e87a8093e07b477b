#pragma once
// Wraps a format's data-IO and forwards every operation to it; the wrapper
// is what surfaces share.
#include "platform/core/KIVOExport.h"
#include "platform/frame/KIVOSurfaceDataIO.h"

class KIVO_EXPORT KIVOExtendDataIO : public KIVOSurfaceDataIO {
public:
    // Takes the handle's object over (the handle is left empty).
    explicit KIVOExtendDataIO(NORVAType<KIVOSurfaceDataIO>& dataIO);
    explicit KIVOExtendDataIO(NORVAType<KIVOSurfaceDataIO>&& dataIO);

    KIVOSurfaceDataIO* getDataIO() const { return m_dataIO.get(); }

    void print(std::ostream& os) const override;
    KIVOSurfaceAttributeTable* getAttributeInfo() override;
    const KIVOSurfaceAttributeTable* getAttributeInfo() const override;
    const NORVACoordSystem* getCoordSystem() const override;
    NORVAArray<double> getMinimum() const override;
    NORVAArray<double> getMaximum() const override;
    NORVAUString getSourceName() const override;
    KIVOSurfaceMetaData* getMetaData() override;
    const KIVOSurfaceMetaData* getMetaData() const override;
    long getQueryType() const override;
    long set(double x, double y, const KIVOAttributeSet& attributes, const KIVODescriptor& descriptor,
             double resolution) override;
    void setModified(bool modified) override;
    void setQueryType(long type) override;
    long open() override;
    long close() override;
    long store(NORVAProgress* progress) override;
    long flush() override;
    bool isOutdated() const override;
    bool checkOutdated() override;
    NORVAType<KIVOSurfaceIter> query(const NORVAPoint3D& point, bool create, long& status, NORVAProgress* progress,
                                     double resolution) override;
    NORVAType<KIVOSurfaceIter> query(double x0, double y0, double x1, double y1, bool create, long& status,
                                     NORVAProgress* progress, double resolution) override;
    NORVAType<KIVOSurfaceIter> query(const NORVAGeometry& geometry, bool create, long& status,
                                     NORVAProgress* progress, double resolution) override;
    bool isModified() const override;
    long deleteAllFiles(bool keepOpen) override;
    long getAssociatedFiles(std::vector<NORVAUString>& files) const override;
    long rasterize(rasterizeConfig& config) override;
    long rename(const NORVAUString& newName) override;
    NORVAUString getISOMetaData() const override;
    long worldToIndex(double x, double y, int64_t& column, int64_t& row) const override;
    long indexToWorld(int64_t column, int64_t row, double& x, double& y) const override;

private:
    NORVAType<KIVOSurfaceDataIO> m_dataIO;
};
