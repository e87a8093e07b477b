#pragma once
// A data-set band set over one surface: it shares the surface's data-IO.
// The surface facade (`toKIVOSurface`) and the multi-resolution plug-in hand
// the same kind around, so a band set from either turns back into a surface.
#include "platform/core/KIVOExport.h"
#include <memory>

#include "platform/frame/KIVOSurfaceDataIO.h"
#include "platform/orbolink/ORBODataSet.h"

class KIVO_EXPORT KIVOGeoRaster : public ORBO_3_12_0_::DataSet::GeoBandSet {
public:
    static constexpr long kNoDataIO = -1;

    explicit KIVOGeoRaster(std::shared_ptr<KIVOSurfaceDataIO> dataIO) : m_dataIO(std::move(dataIO)) {}
    // Status: 0, kNoDataIO without a data-IO, else the data-IO's own status.
    KIVOGeoRaster(std::shared_ptr<KIVOSurfaceDataIO> dataIO, long& status);
    ~KIVOGeoRaster() override;

    std::shared_ptr<KIVOSurfaceDataIO> shareDataIO() const { return m_dataIO; }

private:
    std::shared_ptr<KIVOSurfaceDataIO> m_dataIO;
};
