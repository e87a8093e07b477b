#pragma once
// A band of a point cloud: a name, a type, the range of its values and the
// value that stands for none. A band belongs to one cloud.
#include "platform/core/KIVOExport.h"
#include <memory>

#include "platform/cloudkit/ORBOBandType.h"
#include "platform/cloudkit/ORBOCloudValue.h"
#include "platform/orbolink/ORBODataSet.h"

namespace ORBO_3_12_0_ {
namespace DataSet {
namespace Cloud {

class KIVO_EXPORT GeoCloudBand {
public:
    static constexpr long kBadConfig = -1;

    struct InitConfig {
        NORVAUString name;
        BandType type;
        double minimum = 0.0;
        double maximum = 0.0;
        CloudValue defaultValue;
    };

    GeoCloudBand() = default;
    GeoCloudBand(const GeoCloudBand&) = delete;
    GeoCloudBand& operator=(const GeoCloudBand&) = delete;
    virtual ~GeoCloudBand();

    virtual const GeoBandSet* getParent() const = 0;
    virtual const NORVAUString& getName() const { return m_config.name; }
    virtual const BandType& getType() const { return m_config.type; }
    virtual double getMinValue() const { return m_config.minimum; }
    virtual double getMaxValue() const { return m_config.maximum; }
    virtual const CloudValue& getDefaultValue() const { return m_config.defaultValue; }
    // Null unless the band holds string-table indices.
    virtual std::shared_ptr<const StringTable> getStringTable() const { return m_config.type.getStringTable(); }
    // True: the range is that of the stored values, not a nominal one.
    virtual bool getMinMaxFromAllData() const { return true; }

protected:
    // kBadConfig for a band without a name or type; the band keeps the config either way.
    long init(const InitConfig& config);

private:
    InitConfig m_config;
};

}  // namespace Cloud
}  // namespace DataSet
}  // namespace ORBO_3_12_0_
