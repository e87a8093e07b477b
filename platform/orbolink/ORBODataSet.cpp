#include "platform/orbolink/KIVOGeoRaster.h"
#include "platform/orbolink/ORBODataSet.h"

ORBO_3_12_0_::DataSet::GeoBandSet::~GeoBandSet() = default;

KIVOGeoRaster::KIVOGeoRaster(std::shared_ptr<KIVOSurfaceDataIO> dataIO, long& status) : m_dataIO(std::move(dataIO)) {
    status = !m_dataIO ? kNoDataIO : m_dataIO->getStatus();
}

KIVOGeoRaster::~KIVOGeoRaster() = default;
