#pragma once
// Raster of the data-set layer: named bands of one extent in cells, written
// block by block. The raster's status turns non-zero once a write failed, so
// a caller that writes many blocks checks once at the end.
#include "platform/core/KIVOExport.h"
#include <cstdint>
#include <list>

#include "platform/core/NORVAUString.h"
#include "platform/core/NORVAnPoint.h"
#include "platform/orbolink/ORBODataSet.h"
#include "platform/orbolink/ORBODataVector.h"

namespace ORBO_3_12_0_ {
namespace DataSet {
namespace Raster {

class KIVO_EXPORT Band {
public:
    static constexpr long kWriteFailed = 1;

    Band(const NORVAUString& name, int32_t type, const NORVAnPoint<int64_t, 2>& dimensions, double noData,
         long& rasterStatus);

    const NORVAUString& getName() const { return m_name; }
    double getNoDataValue() const { return m_noData; }
    const DataVectorND<2>& getData() const { return m_data; }

    // Places the block's cell (0, 0) at the given cell; values are converted
    // to the band's type. A block that does not fit is refused whole.
    long write(const DataVectorND<2>& block, const NORVAnPoint<int64_t, 2>& place);

private:
    NORVAUString m_name;
    double m_noData;
    DataVectorND<2> m_data;
    long& m_rasterStatus;
};

class KIVO_EXPORT GeoRaster : public GeoBandSet {
public:
    explicit GeoRaster(const NORVAnPoint<int64_t, 2>& dimensions) : m_dimensions(dimensions) {}
    GeoRaster(const GeoRaster&) = delete;
    GeoRaster& operator=(const GeoRaster&) = delete;

    // New bands start filled with their no-data value.
    Band& addBand(const NORVAUString& name, int32_t type, double noData);
    // Null when the raster has no band of that name.
    Band* getBand(const NORVAUString& name);
    const NORVAnPoint<int64_t, 2>& getDimensions() const { return m_dimensions; }
    long getStatus() const { return m_status; }

private:
    NORVAnPoint<int64_t, 2> m_dimensions;
    std::list<Band> m_bands;
    long m_status = 0;
};

}  // namespace Raster
}  // namespace DataSet
}  // namespace ORBO_3_12_0_
