#pragma once
// A point cloud of the data-set layer: a band set whose bands are read node
// by node through node iterators over a cover or an area. `init` fixes its
// coordinate system, cover and vertical range.
#include "platform/core/KIVOExport.h"
#include <memory>
#include <vector>

#include "platform/cloudkit/ORBOGeoCloudBand.h"
#include "platform/cloudkit/ORBONodeIterator.h"
#include "platform/core/NORVAType.h"
#include "platform/orbolink/ORBODataSet.h"
#include "platform/shapes/NORVAAreaGeometry.h"
#include "platform/shapes/NORVACover.h"

class KIVOSurfaceMetaData;
class NORVAProgress;

namespace ORBO_3_12_0_ {
namespace DataSet {
namespace Cloud {

class KIVO_EXPORT GeoCloud : public GeoBandSet {
public:
    static constexpr long kNotOffered = 700028;
    static constexpr long kNoCoordSystem = -1;

    struct InitConfig {
        std::shared_ptr<const NORVACoordSystem> coordSystem;
        NORVACover cover;
        double minimumZ = 0.0;
        double maximumZ = 0.0;
    };
    using BandPtr = std::shared_ptr<GeoCloudBand>;
    using NodeIteratorPtr = std::shared_ptr<NodeIterator>;

    GeoCloud() = default;
    GeoCloud(const GeoCloud&) = delete;
    GeoCloud& operator=(const GeoCloud&) = delete;
    ~GeoCloud() override;

    virtual const NORVACoordSystem* getCoordSys() const { return m_config.coordSystem.get(); }
    virtual const NORVACover& getCover() const { return m_config.cover; }
    virtual NORVAType<NORVACover> getFullCover() const = 0;
    virtual bool isModified() const { return false; }
    virtual const KIVOSurfaceMetaData* getMetaData() const = 0;
    virtual KIVOSurfaceMetaData* getMetaData() = 0;
    virtual NORVAUString getPath() const = 0;
    virtual BandPtr getBand(unsigned id) = 0;
    virtual std::shared_ptr<const GeoCloudBand> getBand(unsigned id) const = 0;
    virtual unsigned getNumBands() const = 0;
    virtual long getBandID(const NORVAUString& name) const = 0;
    // 0 .. getNumBands() - 1.
    virtual std::vector<unsigned> getBandIDs() const;
    virtual std::vector<NORVAUString> getBandNames() const;
    virtual bool hasDesignated() const { return false; }
    // Null: the layer's own designated soundings are not kept here.
    virtual const void* getDesignatedManager() const { return nullptr; }
    virtual long save(NORVAProgress* progress) = 0;
    virtual long addComputedBand(const BandPtr& band) { return kNotOffered; }
    virtual long removeBand(unsigned id) = 0;
    // By a geometry the cloud does not know: status 0 and no iterator.
    virtual NodeIteratorPtr query(const NORVAGeometry& geometry, long& status) = 0;
    virtual NodeIteratorPtr query(const NORVAAreaGeometry& area, const std::vector<unsigned>& bandIds, bool,
                                  long& status, NORVAProgress* progress) = 0;
    virtual NodeIteratorPtr query(const NORVACover& cover, const std::vector<unsigned>& bandIds, bool,
                                  long& status, NORVAProgress* progress) = 0;
    virtual bool canAddNodes() const = 0;
    virtual long getNodeCount() const = 0;
    virtual long flush() = 0;
    virtual NORVAUString getDefaultElevationBand() const = 0;
    virtual void releaseCaches() = 0;
    const InitConfig& getInitConfig() const { return m_config; }
    virtual long setCoordSys(const NORVACoordSystem&) = 0;
    // By the name of a stored query: status 0 and no iterator.
    virtual NodeIteratorPtr query(const NORVAUString& name, long& status) = 0;

protected:
    // kNoCoordSystem when the config has none; the cloud keeps the config either way.
    long init(const InitConfig& config);

private:
    InitConfig m_config;
};

}  // namespace Cloud
}  // namespace DataSet
}  // namespace ORBO_3_12_0_
