#pragma once
// Rasterising a CUBE surface from its layer cache: every raster cell takes
// the value of the node at or north-west of its position, grid by grid.
#include <cstdint>

#include "cube/CUBEGridIdx.h"
#include "platform/frame/KIVOSurfaceDataIO.h"

class KIVOSurfaceCUBEIO;

class CUBELayerRaster {
public:
    explicit CUBELayerRaster(KIVOSurfaceCUBEIO& surface) : m_surface(surface) {}

    // Without a caller's buffer the box and cells are first fitted to the
    // surface and the output array sized and cleared to the no-data value.
    // A layer another object's commit replaced since the surface was opened
    // ends the fill with NORVASurfacePin::kChanged.
    long fill(KIVOSurfaceDataIO::rasterizeConfig& config);

private:
    // Cells no finer than the nodes, box widened by two nodes and kept on the surface.
    void fitToSurface(KIVOSurfaceDataIO::rasterizeConfig& config) const;
    // 0, or the refusal of the grid's layer (changed by another object's commit).
    long fillGrid(const KIVOSurfaceDataIO::rasterizeConfig& config, CUBEGridIdx key, long attribute,
                  float* out) const;

    KIVOSurfaceCUBEIO& m_surface;
};
