#include "platform/cloudkit/ORBOGeoCloud.h"

namespace ORBO_3_12_0_ {
namespace DataSet {
namespace Cloud {

GeoCloud::~GeoCloud() = default;

long GeoCloud::init(const InitConfig& config) {
    m_config = config;
    return config.coordSystem ? 0 : kNoCoordSystem;
}

std::vector<unsigned> GeoCloud::getBandIDs() const {
    std::vector<unsigned> ids;
    for (unsigned i = 0; i < getNumBands(); ++i) ids.push_back(i);
    return ids;
}

std::vector<NORVAUString> GeoCloud::getBandNames() const {
    std::vector<NORVAUString> names;
    for (unsigned i = 0; i < getNumBands(); ++i) {
        std::shared_ptr<const GeoCloudBand> band = getBand(i);
        names.push_back(band ? band->getName() : NORVAUString());
    }
    return names;
}

}  // namespace Cloud
}  // namespace DataSet
}  // namespace ORBO_3_12_0_
