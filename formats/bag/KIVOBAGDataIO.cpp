#include "formats/bag/KIVOBAGDataIO.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <new>

#include "core/KIVOBuiltInFormats.h"
#include "core/SurfaceAttributeNames.h"
#include "formats/bag/BAGIter.h"
#include "formats/bag/BagHandle.h"
#include "platform/shapes/NORVAAreaGeometry.h"
#include "platform/shapes/NORVALineGeometry.h"
#include "platform/shapes/NORVAPointGeometry.h"

namespace {

NORVAType<KIVOSurfaceDataIO> createBAGSurface(const NORVAUString& path) {
    return NORVAType<KIVOSurfaceDataIO>(new (std::nothrow) KIVOBAGDataIO(path));
}

const bool kRegistered =
    (KIVOBuiltInFormats::provideCreator(KIVOBuiltInFormats::BAG_SLOT, &createBAGSurface), true);

// The node range a raster covers and how it steps through it.
struct RasterPlan {
    int64_t firstColumn = 0, lastColumn = -1, firstRow = 0, lastRow = -1;
    double rx = 1.0, ry = 1.0;
    long columns = 0, rows = 0;
};

// Largest raster fitted to a BAG (floats).
constexpr uint64_t kMaxRasterCells = 1ull << 28;

bool positiveFinite(double v) { return std::isfinite(v) && v > 0.0; }

// Fits the configured extent to the BAG (no caller buffer).
bool fitExtent(KIVOSurfaceDataIO::rasterizeConfig& c, const bagDefinition& def, double swX, double swY,
               double neX, double neY) {
    const double dx = def.nodeSpacingX, dy = def.nodeSpacingY;
    if (!(c.cellX >= dx)) c.cellX = dx;
    if (!(c.cellY >= dy)) c.cellY = dy;
    c.minX = c.minX < swX ? swX : std::max(swX, swX + (std::trunc((c.minX - swX) / dx) - 2.0) * dx);
    c.minY = c.minY < swY ? swY : std::max(swY, swY + (std::trunc((c.minY - swY) / dy) - 2.0) * dy);
    c.maxX = c.maxX > neX ? neX : std::min(neX, swX + (std::trunc((c.maxX - swX) / dx) + 2.0) * dx);
    c.maxY = c.maxY > neY ? neY : std::min(neY, swY + (std::trunc((c.maxY - swY) / dy) + 2.0) * dy);
    const double columns = std::trunc((c.maxX - c.minX) / c.cellX) + 1.0;
    const double rows = std::trunc((c.maxY - c.minY) / c.cellY) + 1.0;
    if (!(columns >= 1.0 && rows >= 1.0 && columns * rows <= double(kMaxRasterCells))) return false;
    c.columns = long(columns);
    c.rows = long(rows);
    try {
        c.output.assign(size_t(c.columns) * size_t(c.rows), c.noData);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

int64_t clampToRange(double v, int64_t low, int64_t high) {
    if (!(v > double(low))) return low;
    if (v > double(high)) return high;
    return int64_t(v);
}

RasterPlan planRaster(const KIVOSurfaceDataIO::rasterizeConfig& c, const bagDefinition& def, double swX,
                      double swY) {
    RasterPlan p;
    const double dx = def.nodeSpacingX, dy = def.nodeSpacingY;
    const int64_t columns = def.ncols, rows = def.nrows;
    p.firstColumn = clampToRange(std::ceil((c.minX - swX) / dx), 0, columns);
    p.firstRow = clampToRange(std::ceil((c.minY - swY) / dy), 0, rows);
    p.lastColumn = clampToRange(std::floor((c.maxX - swX) / dx) - 1.0, -1, columns - 1);
    p.lastRow = clampToRange(std::floor((c.maxY - swY) / dy) - 1.0, -1, rows - 1);
    p.rx = c.cellX / dx;
    p.ry = c.cellY / dy;
    p.columns = c.columns;
    p.rows = c.rows;
    return p;
}

void writeCell(const KIVOSurfaceDataIO::rasterizeConfig& c, float* out, long row, long column, float value,
               bool elevation) {
    if (value == kBagNullValue) return;
    const float written = elevation ? (c.negate ? value : -value) : (c.negate ? -value : value);
    const size_t index = c.columnMajor ? size_t(column) * size_t(c.rows) + size_t(row)
                                       : size_t(row) * size_t(c.columns) + size_t(column);
    out[index] = written;
}

}  // namespace

KIVOBAGDataIO::KIVOBAGDataIO(const NORVAUString& path)
    : m_minimum(2, 0.0), m_maximum(2, 0.0), m_path(path), m_metadata(std::make_shared<BAGMetaData>(path)) {
    (void)kRegistered;
    m_status = m_metadata->getStatus();
    if (m_status != 0) return;
    m_metadata->getCover(m_minimum[0], m_minimum[1], m_maximum[0], m_maximum[1]);
}

KIVOBAGDataIO::KIVOBAGDataIO(const KIVOBAGDataIO& o)
    : KIVOSurfaceDataIO(o), m_minimum(o.m_minimum), m_maximum(o.m_maximum), m_path(o.m_path),
      m_metadata(o.m_metadata) {}

KIVOBAGDataIO& KIVOBAGDataIO::operator=(const KIVOBAGDataIO& o) {
    if (this == &o) return *this;
    close();
    KIVOSurfaceDataIO::operator=(o);
    m_minimum = o.m_minimum;
    m_maximum = o.m_maximum;
    m_path = o.m_path;
    m_metadata = o.m_metadata;
    return *this;
}

KIVOBAGDataIO::~KIVOBAGDataIO() { close(); }

void KIVOBAGDataIO::print(std::ostream& os) const {
    os << "KIVOBAGDataIO(" << m_path.toUTF8() << ", " << (m_handle ? "open" : "closed") << ", status=" << m_status
       << ")";
}

long KIVOBAGDataIO::open() {
    if (m_handle) return 0;
    const bagError rc = bagOpen(&m_handle, BAG_OPEN_READONLY, m_path.toUTF8().c_str());
    return rc == BAG_SUCCESS ? 0 : kErrorBase + rc;
}

long KIVOBAGDataIO::close() {
    if (m_handle) bagClose(m_handle);
    m_handle = nullptr;
    return 0;
}

long KIVOBAGDataIO::getPair(uint32_t row, uint32_t column, float& elevation, float& uncertainty) {
    if (!m_handle) return kNotOpen;
    bagError rc = bagReadValue(m_handle, row, column, BAG_ELEVATION, &elevation);
    if (rc == BAG_SUCCESS) rc = bagReadValue(m_handle, row, column, BAG_UNCERTAINTY, &uncertainty);
    return rc == BAG_SUCCESS ? 0 : kErrorBase + rc;
}

NORVAType<KIVOSurfaceIter> KIVOBAGDataIO::query(double x0, double y0, double x1, double y1, bool, long& status,
                                                NORVAProgress*, double) {
    status = m_status != 0 ? m_status : open();
    if (status != 0) return NORVAType<KIVOSurfaceIter>();
    auto iter = std::make_unique<BAGIter>(*this, x0, y0, x1, y1);
    status = iter->getReadStatus();
    return NORVAType<KIVOSurfaceIter>(std::move(iter));
}

NORVAType<KIVOSurfaceIter> KIVOBAGDataIO::query(const NORVAGeometry& geometry, bool, long& status,
                                                NORVAProgress*, double) {
    status = m_status != 0 ? m_status : open();
    if (status != 0) return NORVAType<KIVOSurfaceIter>();
    std::unique_ptr<BAGIter> iter;
    switch (geometry.getType()) {
        case NORVAGeometry::AREA: {
            const auto& area = static_cast<const NORVAAreaGeometry&>(geometry);
            const NORVABox2D box = area.getBoundingBox();
            iter = std::make_unique<BAGIter>(*this, box.getMinimum().x(), box.getMinimum().y(),
                                             box.getMaximum().x(), box.getMaximum().y(),
                                             std::make_unique<NORVACompGeom::NORVAPolygonPrimitive>(area));
            break;
        }
        case NORVAGeometry::LINE:
            iter = std::make_unique<BAGIter>(*this, static_cast<const NORVALineGeometry&>(geometry).getPoints());
            break;
        case NORVAGeometry::POINT: {
            const auto& point = static_cast<const NORVAPointGeometry&>(geometry);
            iter = std::make_unique<BAGIter>(*this,
                                             std::vector<NORVAPoint2D>{NORVAPoint2D(point.getX(), point.getY())});
            break;
        }
        default: iter = std::make_unique<BAGIter>(*this); break;
    }
    status = iter->getReadStatus();
    return NORVAType<KIVOSurfaceIter>(std::move(iter));
}

long KIVOBAGDataIO::deleteAllFiles(bool) {
    close();
    return ::unlink(m_path.toUTF8().c_str()) == 0 ? 0 : kCannotDelete;
}

long KIVOBAGDataIO::getAssociatedFiles(std::vector<NORVAUString>& files) const {
    files.assign(1, m_path);
    return 0;
}

NORVAUString KIVOBAGDataIO::getISOMetaData() const {
    bagHandle* h = nullptr;
    if (bagOpen(&h, BAG_OPEN_READONLY, m_path.toUTF8().c_str()) != BAG_SUCCESS) return NORVAUString();
    NORVAUString text;
    if (bagLoadMetadata(h) == BAG_SUCCESS) text = NORVAUString::fromUTF8(h->metadata);
    bagClose(h);
    return text;
}

long KIVOBAGDataIO::rasterize(rasterizeConfig& config) {
    if (m_status != 0) return m_status;
    const long opened = open();
    if (opened != 0) return opened;
    int32_t surface = 0;
    if (config.attribute == SurfaceAttributeNames::kDepth)
        surface = BAG_ELEVATION;
    else if (config.attribute == SurfaceAttributeNames::kUncertainty)
        surface = BAG_UNCERTAINTY;
    else
        return kNotOpen;
    const bagDefinition& def = m_metadata->getDefinition();
    float* out = config.buffer;
    if (!out) {
        if (!fitExtent(config, def, m_minimum[0], m_minimum[1], m_maximum[0], m_maximum[1]))
            return kErrorBase + BAG_MEMORY_ALLOCATION_FAILED;
        out = config.output.data();
    }
    if (!positiveFinite(config.cellX) || !positiveFinite(config.cellY) || config.columns <= 0 || config.rows <= 0)
        return kNotOpen;
    return readRaster(config, surface, out);
}

long KIVOBAGDataIO::readRaster(rasterizeConfig& config, int32_t surface, float* out) {
    const bagDefinition& def = m_metadata->getDefinition();
    const RasterPlan p = planRaster(config, def, m_minimum[0], m_minimum[1]);
    if (p.firstColumn > p.lastColumn || p.firstRow > p.lastRow) return 0;
    const bool byRow = !(p.rx == 1.0 && p.ry == 1.0) && (p.rx >= 3.0 || p.ry >= 3.0);
    bagRegion* region = bagGetRegion(m_handle, surface);
    std::vector<float> row;
    bagError rc = BAG_SUCCESS;
    if (byRow) {
        bagFreeRegion(m_handle, BAG_ELEVATION);
        bagFreeRegion(m_handle, BAG_UNCERTAINTY);
        if (uint64_t(p.lastColumn - p.firstColumn + 1) > kMaxRasterCells)
            return kErrorBase + BAG_MEMORY_ALLOCATION_FAILED;
        row.resize(size_t(p.lastColumn - p.firstColumn + 1));
    } else if ((rc = bagReadRegion(m_handle, uint32_t(p.firstRow), uint32_t(p.firstColumn), uint32_t(p.lastRow),
                                   uint32_t(p.lastColumn), surface)) != BAG_SUCCESS) {
        std::printf("bagReadRegion() returned %d\n", int(rc));
        return kErrorBase + rc;
    }
    const bool elevation = surface == BAG_ELEVATION;
    for (long r = 0; r < p.rows; ++r) {
        const int64_t nodeRow = p.firstRow + int64_t(double(r) * p.ry);
        if (nodeRow > p.lastRow) break;
        const float* values = nullptr;
        if (byRow) {
            rc = bagReadRow(m_handle, uint32_t(nodeRow), uint32_t(p.firstColumn), uint32_t(p.lastColumn), surface,
                            row.data());
            if (rc != BAG_SUCCESS) break;
            values = row.data();
        } else {
            values = region->rows[size_t(nodeRow - p.firstRow)];
        }
        for (long c = 0; c < p.columns; ++c) {
            const int64_t nodeColumn = p.firstColumn + int64_t(double(c) * p.rx);
            if (nodeColumn > p.lastColumn) break;
            writeCell(config, out, r, c, values[nodeColumn - p.firstColumn], elevation);
        }
    }
    bagFreeRegion(m_handle, surface);
    return rc == BAG_SUCCESS ? 0 : kErrorBase + rc;
}
