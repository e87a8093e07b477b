#pragma once
// A data-set band set over one surface: it shares the surface's data-IO.
#include <memory>

#include "platform/frame/KIVOSurfaceDataIO.h"
#include "platform/orbolink/ORBODataSet.h"

class KIVOGeoRaster : public ORBO_3_12_0_::DataSet::GeoBandSet {
public:
    explicit KIVOGeoRaster(std::shared_ptr<KIVOSurfaceDataIO> dataIO) : m_dataIO(std::move(dataIO)) {}
    ~KIVOGeoRaster() override;

    std::shared_ptr<KIVOSurfaceDataIO> shareDataIO() const { return m_dataIO; }

private:
    std::shared_ptr<KIVOSurfaceDataIO> m_dataIO;
};
