#include "platform/cloudkit/ORBOGeoCloudBand.h"

namespace ORBO_3_12_0_ {
namespace DataSet {
namespace Cloud {

GeoCloudBand::~GeoCloudBand() = default;

long GeoCloudBand::init(const InitConfig& config) {
    m_config = config;
    return config.name.isEmpty() || config.type.isEmpty() ? kBadConfig : 0;
}

}  // namespace Cloud
}  // namespace DataSet
}  // namespace ORBO_3_12_0_
