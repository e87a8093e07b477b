#include "cube/CUBELayerRaster.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "cube/KIVOCachedAttributeSet.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "platform/frame/KIVOAttributeFilter.h"
#include "platform/frame/KIVOSurfaceAttributeTable.h"

namespace {

// Positions that land a hair short of a node or cell because of rounding
// still count as on it.
constexpr double kSnap = 1e-7;

long cellsAlong(double low, double high, double cell) {
    const double n = std::trunc((high - low) / cell) + 1.0;
    return n >= 1.0 && n < static_cast<double>(std::numeric_limits<int32_t>::max()) ? static_cast<long>(n) : 0;
}

// One edge of the box: a node-aligned position two nodes outside `value`,
// within the surface's [low, high].
double widened(double value, double low, double high, double r, double nodes) {
    if (value < low) return low;
    if (value > high) return high;
    return std::clamp(low + (std::trunc((value - low) / r) + nodes) * r, low, high);
}

}  // namespace

long CUBELayerRaster::fill(KIVOSurfaceDataIO::rasterizeConfig& config) {
    const KIVOSurfaceAttributeTable* table = m_surface.getAttributeInfo();
    const long attribute = table != nullptr ? table->getDescriptor().getAttributeIndex(config.attribute) : -1;
    if (attribute < 0 || m_surface.getHeader() == nullptr) return -1;
    if (config.buffer == nullptr) fitToSurface(config);
    if (!(config.cellX > 0.0) || !(config.cellY > 0.0) || !std::isfinite(config.minX) ||
        !std::isfinite(config.minY) || !std::isfinite(config.maxX) || !std::isfinite(config.maxY))
        return -1;
    if (config.columns < 1 || config.rows < 1) {
        config.columns = config.rows = 0;
        return 0;
    }
    std::vector<CUBEGridIdx> grids;
    m_surface.getGrids(grids, config.minX, config.minY, config.maxX, config.maxY, false);
    float* out = config.buffer;
    if (out == nullptr) {
        const size_t cells = static_cast<size_t>(config.rows) * static_cast<size_t>(config.columns);
        try {
            if (config.output.size() < cells) config.output.resize(cells);
        } catch (const std::bad_alloc&) {
            return -1;
        }
        std::fill(config.output.begin(), config.output.end(), config.noData);
        out = config.output.data();
    }
    for (const CUBEGridIdx& key : grids)
        if (const long refused = fillGrid(config, key, attribute, out)) return refused;
    return 0;
}

void CUBELayerRaster::fitToSurface(KIVOSurfaceDataIO::rasterizeConfig& config) const {
    const KIVOCUBEDataHeader* header = m_surface.getHeader();
    const double r = header->getResolution();
    const double lowX = header->getMinimum()[0], lowY = header->getMinimum()[1];
    const double highX = header->getMaximum()[0], highY = header->getMaximum()[1];
    config.cellX = std::max(config.cellX, r);
    config.cellY = std::max(config.cellY, r);
    if (!(r > 0.0) || !std::isfinite(config.cellX) || !std::isfinite(config.cellY)) {
        config.columns = config.rows = 0;
        return;
    }
    config.minX = widened(config.minX, lowX, highX, r, -2.0);
    config.minY = widened(config.minY, lowY, highY, r, -2.0);
    config.maxX = widened(config.maxX, lowX, highX, r, 2.0);
    config.maxY = widened(config.maxY, lowY, highY, r, 2.0);
    config.columns = cellsAlong(config.minX, config.maxX, config.cellX);
    config.rows = cellsAlong(config.minY, config.maxY, config.cellY);
}

long CUBELayerRaster::fillGrid(const KIVOSurfaceDataIO::rasterizeConfig& config, CUBEGridIdx key, long attribute,
                               float* out) const {
    float empty = 0.0f;
    long refused = 0;
    const KIVOCachedAttributeSet::Layer layer = m_surface.getSurface(key, attribute, empty, refused);
    if (!layer || !(key.spacingX > 0.0f) || !(key.spacingY > 0.0f)) return refused;
    const std::vector<float>& values = *layer;
    const double sx = key.spacingX, sy = key.spacingY;
    KIVOCachedAttributeSet node(m_surface, attribute);
    // Raster rows run north from the box's minimum y; start at the grid's top.
    const double topRow = std::floor((key.top - config.minY) / config.cellY + kSnap);
    const double firstColumn = std::max(0.0, std::ceil((key.left - config.minX) / config.cellX - kSnap));
    for (double i = std::min(topRow, config.rows - 1.0); i >= 0.0; --i) {
        const double y = config.minY + i * config.cellY;
        const double nodeRow = std::floor((key.top - y) / sy + kSnap);
        if (nodeRow < 0.0) continue;
        if (nodeRow >= key.rows) break;
        for (double j = firstColumn; j < config.columns; ++j) {
            const double x = config.minX + j * config.cellX;
            const double nodeColumn = std::floor((x - key.left) / sx + kSnap);
            if (nodeColumn < 0.0) continue;
            if (nodeColumn >= key.columns) break;
            const size_t element = static_cast<size_t>(nodeRow) * key.columns + static_cast<size_t>(nodeColumn);
            if (element >= values.size() || values[element] == empty) continue;
            if (config.filter != nullptr) {
                node.set(key.row, key.column, static_cast<int32_t>(nodeRow), static_cast<int32_t>(nodeColumn),
                         values[element], attribute);
                if (!config.filter->passes(&node)) continue;
            }
            const size_t cell = config.columnMajor ? static_cast<size_t>(j) * config.rows + static_cast<size_t>(i)
                                                   : static_cast<size_t>(i) * config.columns + static_cast<size_t>(j);
            out[cell] = config.negate ? -values[element] : values[element];
        }
    }
    return 0;
}
