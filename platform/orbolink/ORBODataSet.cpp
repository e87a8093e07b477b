#include "platform/orbolink/KIVOGeoRaster.h"
#include "platform/orbolink/ORBODataSet.h"

ORBO_3_12_0_::DataSet::GeoBandSet::~GeoBandSet() = default;

KIVOGeoRaster::~KIVOGeoRaster() = default;
