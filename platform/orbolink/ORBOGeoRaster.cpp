#include "platform/orbolink/ORBOGeoRaster.h"

namespace ORBO_3_12_0_ {
namespace DataSet {
namespace Raster {

Band::Band(const NORVAUString& name, int32_t type, const NORVAnPoint<int64_t, 2>& dimensions, double noData,
           long& rasterStatus)
    : m_name(name), m_noData(noData), m_data(type, dimensions), m_rasterStatus(rasterStatus) {
    for (uint64_t i = 0; i < m_data.count(); ++i) m_data.setFromDouble(i, noData);
}

long Band::write(const DataVectorND<2>& block, const NORVAnPoint<int64_t, 2>& place) {
    const NORVAnPoint<int64_t, 2>& size = block.getDimensions();
    const NORVAnPoint<int64_t, 2>& extent = m_data.getDimensions();
    if (place.x() < 0 || place.y() < 0 || size.x() < 0 || size.y() < 0 || place.x() + size.x() > extent.x() ||
        place.y() + size.y() > extent.y() || dataTypeSize(block.getType()) == 0) {
        m_rasterStatus = kWriteFailed;
        return kWriteFailed;
    }
    for (int64_t row = 0; row < size.y(); ++row)
        for (int64_t col = 0; col < size.x(); ++col) {
            const uint64_t from = static_cast<uint64_t>(row * size.x() + col);
            const uint64_t to = static_cast<uint64_t>((place.y() + row) * extent.x() + place.x() + col);
            m_data.setFromDouble(to, block.getAsDouble(from));
        }
    return 0;
}

Band& GeoRaster::addBand(const NORVAUString& name, int32_t type, double noData) {
    m_bands.emplace_back(name, type, m_dimensions, noData, m_status);
    return m_bands.back();
}

Band* GeoRaster::getBand(const NORVAUString& name) {
    for (Band& band : m_bands)
        if (band.getName() == name) return &band;
    return nullptr;
}

}  // namespace Raster
}  // namespace DataSet
}  // namespace ORBO_3_12_0_
