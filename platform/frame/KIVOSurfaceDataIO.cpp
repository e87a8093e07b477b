#include "platform/frame/KIVOSurfaceDataIO.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/core/NORVAFileUtils.h"
#include "platform/shapes/NORVAGeometry.h"
#include "platform/shapes/NORVAPointGeometry.h"

KIVOSurfaceAttributeTable* KIVOSurfaceDataIO::getAttributeInfo() {
    KIVOSurfaceMetaData* meta = getMetaData();
    return meta ? meta->getAttributeTable() : nullptr;
}

const KIVOSurfaceAttributeTable* KIVOSurfaceDataIO::getAttributeInfo() const {
    const KIVOSurfaceMetaData* meta = getMetaData();
    return meta ? meta->getAttributeTable() : nullptr;
}

const NORVACoordSystem* KIVOSurfaceDataIO::getCoordSystem() const {
    const KIVOSurfaceMetaData* meta = getMetaData();
    if (!meta) return nullptr;
    long status = 0;
    return meta->getCoordSystem(status);
}

// (minimum x, minimum y) of the metadata's cover; empty without metadata.
NORVAArray<double> KIVOSurfaceDataIO::getMinimum() const {
    const KIVOSurfaceMetaData* meta = getMetaData();
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    if (!meta || meta->getCover(minX, minY, maxX, maxY) != 0) return NORVAArray<double>();
    return NORVAArray<double>{minX, minY};
}

NORVAArray<double> KIVOSurfaceDataIO::getMaximum() const {
    const KIVOSurfaceMetaData* meta = getMetaData();
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    if (!meta || meta->getCover(minX, minY, maxX, maxY) != 0) return NORVAArray<double>();
    return NORVAArray<double>{maxX, maxY};
}

long KIVOSurfaceDataIO::set(double x, double y, const KIVOAttributeSet& attributes, const KIVODescriptor& descriptor,
                            double resolution) {
    return -1;
}

NORVAType<KIVOSurfaceIter> KIVOSurfaceDataIO::query(const NORVAPoint3D& point, bool create, long& status,
                                                    NORVAProgress* progress, double resolution) {
    NORVAPointGeometry geometry(point.x(), point.y(), point.z());
    // Qualified: the geometry query of the object's own class.
    return query(static_cast<const NORVAGeometry&>(geometry), create, status, progress, resolution);
}

NORVAType<KIVOSurfaceIter> KIVOSurfaceDataIO::query(const NORVAGeometry& geometry, bool create, long& status,
                                                    NORVAProgress* progress, double resolution) {
    NORVABox2D box = geometry.getBoundingBox();
    if (box.isEmpty()) {
        status = -1;
        return NORVAType<KIVOSurfaceIter>();
    }
    return query(box.getMinimum().x(), box.getMinimum().y(), box.getMaximum().x(), box.getMaximum().y(), create,
                 status, progress, resolution);
}

// Files first, folders after them (deepest first); a path that no longer
// exists is not a failure. A listed folder goes only once it is empty, and a
// symbolic link as a link: what the surface does not list is not its own.
long KIVOSurfaceDataIO::deleteAllFiles(bool keepOpen) {
    std::vector<NORVAUString> files;
    long status = getAssociatedFiles(files);
    if (status != 0) return status;
    long result = 0;
    std::vector<NORVAUString> folders;
    for (const NORVAUString& f : files) {
        if (NORVAFileUtils::isDirectory(f) && !NORVAFileUtils::isSymbolicLink(f)) {
            folders.push_back(f);
            continue;
        }
        if (!NORVAFileUtils::removeEntry(f) && result == 0) result = 146006;
    }
    std::sort(folders.begin(), folders.end(),
              [](const NORVAUString& a, const NORVAUString& b) { return a.length() > b.length(); });
    for (const NORVAUString& d : folders)
        if (!NORVAFileUtils::removeEntry(d) && result == 0) result = 146006;
    return result;
}

long KIVOSurfaceDataIO::getAssociatedFiles(std::vector<NORVAUString>& files) const {
    files.clear();
    files.push_back(getSourceName());
    return 0;
}

long KIVOSurfaceDataIO::rasterize(rasterizeConfig& config) {
    if (config.columns <= 0 || config.rows <= 0) return -1;
    const uint64_t cells = static_cast<uint64_t>(config.columns) * static_cast<uint64_t>(config.rows);
    if (cells / static_cast<uint64_t>(config.rows) != static_cast<uint64_t>(config.columns) ||
        cells > static_cast<uint64_t>(std::numeric_limits<ptrdiff_t>::max() / sizeof(float)))
        return -1;
    if (!(config.maxX >= config.minX) || !(config.maxY >= config.minY)) return -1;
    // Cell sizes not given follow from the extent.
    if (!(config.cellX > 0.0)) config.cellX = (config.maxX - config.minX) / static_cast<double>(config.columns);
    if (!(config.cellY > 0.0)) config.cellY = (config.maxY - config.minY) / static_cast<double>(config.rows);
    if (!(config.cellX > 0.0) || !(config.cellY > 0.0) || !std::isfinite(config.cellX) ||
        !std::isfinite(config.cellY))
        return -1;

    float* out = config.buffer;
    if (!out) {
        config.output.assign(static_cast<size_t>(cells), config.noData);
        out = config.output.data();
    } else {
        std::fill(out, out + cells, config.noData);
    }

    long status = 0;
    NORVAType<KIVOSurfaceIter> iter =
        query(config.minX, config.minY, config.maxX, config.maxY, false, status, nullptr, DBL_MAX);
    if (status != 0) return status;
    if (!iter) return 0;
    long index = iter->getAttributeDescriptor().getAttributeIndex(config.attribute);
    if (index < 0) return -1;

    long iterStatus = 0;
    while (!iter->done(iterStatus) && iterStatus == 0) {
        const KIVOAttributeSet* attributes = iter->getAttributes();
        double x = 0.0, y = 0.0, value = 0.0;
        const long noAttribute = -1;
        if (attributes && (!config.filter || config.filter->passes(attributes)) &&
            iter->getPosition(x, y, noAttribute) == 0 && attributes->getDoubleValue(index, value, false) == 0) {
            double c = std::floor((x - config.minX) / config.cellX);
            double r = std::floor((y - config.minY) / config.cellY);
            // A node on the far edge belongs to the last cell.
            if (c == static_cast<double>(config.columns) && x <= config.maxX) c -= 1.0;
            if (r == static_cast<double>(config.rows) && y <= config.maxY) r -= 1.0;
            if (c >= 0.0 && r >= 0.0 && c < static_cast<double>(config.columns) &&
                r < static_cast<double>(config.rows)) {
                auto col = static_cast<uint64_t>(c);
                auto row = static_cast<uint64_t>(r);
                uint64_t at = config.columnMajor ? col * static_cast<uint64_t>(config.rows) + row
                                                 : row * static_cast<uint64_t>(config.columns) + col;
                out[at] = static_cast<float>(config.negate ? -value : value);
            }
        }
        if (!iter->next(iterStatus)) break;
    }
    return iterStatus;
}

namespace {

bool gridOrigin(const KIVOSurfaceMetaData* meta, double& minX, double& minY, double& resX, double& resY) {
    if (!meta) return false;
    double maxX = 0, maxY = 0;
    if (meta->getCover(minX, minY, maxX, maxY) != 0) return false;
    if (meta->getResolution(resX, resY) != 0) return false;
    return std::isfinite(minX) && std::isfinite(minY) && resX > 0.0 && resY > 0.0 && std::isfinite(resX) &&
           std::isfinite(resY);
}

bool toIndex(double v, int64_t& out) {
    double r = std::round(v);
    if (!(r >= -9.2e18 && r <= 9.2e18)) return false;
    out = static_cast<int64_t>(r);
    return true;
}

}  // namespace

// Node (column, row) lies at (minimum x + column × resolution x, minimum y +
// row × resolution y); a position maps to its nearest node. Indices outside
// the grid are reported as they fall.
long KIVOSurfaceDataIO::worldToIndex(double x, double y, int64_t& column, int64_t& row) const {
    double minX = 0, minY = 0, resX = 0, resY = 0;
    if (!gridOrigin(getMetaData(), minX, minY, resX, resY)) return -1;
    int64_t c = 0, r = 0;
    if (!toIndex((x - minX) / resX, c) || !toIndex((y - minY) / resY, r)) return -1;
    column = c;
    row = r;
    return 0;
}

long KIVOSurfaceDataIO::indexToWorld(int64_t column, int64_t row, double& x, double& y) const {
    double minX = 0, minY = 0, resX = 0, resY = 0;
    if (!gridOrigin(getMetaData(), minX, minY, resX, resY)) return -1;
    x = minX + static_cast<double>(column) * resX;
    y = minY + static_cast<double>(row) * resY;
    return 0;
}
