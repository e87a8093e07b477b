#include "formats/bag/BAGIter.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "formats/bag/KIVOBAGDataIO.h"
#include "formats/bag/BagHandle.h"

namespace {

constexpr double kCornerTolerance = 1e-10;

// floor/ceil of a node coordinate, limited to [0, limit] before it becomes
// an index (the box may be far outside or not finite).
uint32_t clampIndex(double v, uint32_t limit) {
    if (!(v > 0.0)) return 0;
    if (v >= double(limit)) return limit;
    return uint32_t(v);
}

}  // namespace

BAGIter::BAGIter(KIVOBAGDataIO& io) : m_io(io) { finish(); }

BAGIter::BAGIter(KIVOBAGDataIO& io, double x0, double y0, double x1, double y1,
                 std::unique_ptr<NORVACompGeom::NORVAPolygonPrimitive> polygon)
    : m_io(io), m_polygon(std::move(polygon)) {
    planBlocks(x0, y0, x1, y1);
    if (m_blocks.empty() || !loadBlock(0)) {
        finish();
        return;
    }
    m_column = m_blocks[0].firstColumn;
    m_row = m_blocks[0].firstRow;
    enterRow();
    // The first node is tested like every other.
    if (!seekBox(false)) finish();
}

BAGIter::BAGIter(KIVOBAGDataIO& io, std::vector<NORVAPoint2D> points)
    : m_io(io), m_pointMode(true), m_points(std::move(points)) {
    if (!seekPoint(false)) finish();
}

void BAGIter::planBlocks(double x0, double y0, double x1, double y1) {
    const BAGMetaData* meta = m_io.getBAGMetaData();
    if (!meta) return;
    const bagDefinition& def = meta->getDefinition();
    double minX, minY, maxX, maxY;
    meta->getCover(minX, minY, maxX, maxY);
    const double bx0 = std::max(std::min(x0, x1), minX), bx1 = std::min(std::max(x0, x1), maxX);
    const double by0 = std::max(std::min(y0, y1), minY), by1 = std::min(std::max(y0, y1), maxY);
    if (!(bx0 <= bx1) || !(by0 <= by1)) return;
    const double dx = def.nodeSpacingX, dy = def.nodeSpacingY;
    m_firstColumn = clampIndex(std::ceil((bx0 - minX) / dx), def.ncols);
    m_firstRow = clampIndex(std::ceil((by0 - minY) / dy), def.nrows);
    // Ends are exclusive and may reach the counts: the last row and column
    // belong to the surface like the others.
    m_endColumn = clampIndex(std::floor((bx1 - minX) / dx) + 1.0, def.ncols);
    m_endRow = clampIndex(std::floor((by1 - minY) / dy) + 1.0, def.nrows);
    if (m_firstColumn >= m_endColumn || m_firstRow >= m_endRow) {
        m_endColumn = m_firstColumn;
        m_endRow = m_firstRow;
        return;
    }
    for (uint32_t r = m_firstRow; r < m_endRow; r += std::min(kBlockSize, m_endRow - r))
        for (uint32_t c = m_firstColumn; c < m_endColumn; c += std::min(kBlockSize, m_endColumn - c))
            m_blocks.push_back({c, std::min(c + kBlockSize, m_endColumn), r, std::min(r + kBlockSize, m_endRow)});
}

bool BAGIter::loadBlock(size_t index) {
    bagHandle* h = m_io.getHandle();
    if (!h) {
        m_readStatus = KIVOBAGDataIO::kNotOpen;
        return false;
    }
    const Block& b = m_blocks[index];
    for (int32_t surface : {BAG_ELEVATION, BAG_UNCERTAINTY}) {
        const bagError rc = bagReadRegion(h, b.firstRow, b.firstColumn, b.endRow - 1, b.endColumn - 1, surface);
        if (rc != BAG_SUCCESS) {
            m_readStatus = KIVOBAGDataIO::kErrorBase + rc;
            return false;
        }
        // The iterator takes the region, so several may read at once; the
        // handle keeps the iterator's previous storage for the next read.
        std::swap(surface == BAG_ELEVATION ? m_elevation : m_uncertainty, *bagGetRegion(h, surface));
    }
    m_block = index;
    return true;
}

void BAGIter::enterRow() {
    const Block& b = m_blocks[m_block];
    m_elevationRow = m_elevation.rows[m_row - b.firstRow] - b.firstColumn;
    m_uncertaintyRow = m_uncertainty.rows[m_row - b.firstRow] - b.firstColumn;
}

// Moves to the next node of the box; false past the last one or when a
// block cannot be read.
bool BAGIter::step() {
    const Block& b = m_blocks[m_block];
    if (++m_column < b.endColumn) return true;
    m_column = b.firstColumn;
    if (++m_row < b.endRow) {
        enterRow();
        return true;
    }
    if (m_block + 1 >= m_blocks.size() || !loadBlock(m_block + 1)) return false;
    m_column = m_blocks[m_block].firstColumn;
    m_row = m_blocks[m_block].firstRow;
    enterRow();
    return true;
}

bool BAGIter::currentIsServed() {
    const float elevation = m_elevationRow[m_column];
    if (elevation == BAGAttributeSet::kNull) {
        m_set.reset();
        return false;
    }
    if (m_polygon) {
        double x = 0.0, y = 0.0;
        getPosition(x, y, -1);
        long status = 0;
        if (!m_polygon->isPointInPolygon(x, y, status)) {
            m_set.reset();
            return false;
        }
    }
    m_set.set(-elevation, m_uncertaintyRow[m_column]);
    return true;
}

bool BAGIter::seekBox(bool advanceFirst) {
    if (advanceFirst && !step()) return false;
    while (!currentIsServed())
        if (!step()) return false;
    return true;
}

bool BAGIter::seekPoint(bool advanceFirst) {
    if (advanceFirst) ++m_point;
    const BAGMetaData* meta = m_io.getBAGMetaData();
    if (!meta) return false;
    const bagDefinition& def = meta->getDefinition();
    double minX, minY, maxX, maxY;
    meta->getCover(minX, minY, maxX, maxY);
    for (; m_point < m_points.size(); ++m_point) {
        m_set.reset();
        const double x = m_points[m_point].x(), y = m_points[m_point].y();
        if (!(x >= minX - kCornerTolerance && x <= maxX + kCornerTolerance && y >= minY - kCornerTolerance &&
              y <= maxY + kCornerTolerance))
            continue;
        const double column = std::floor((x - minX) / def.nodeSpacingX + 0.5);
        const double row = std::floor((y - minY) / def.nodeSpacingY + 0.5);
        if (column < 0.0 || row < 0.0 || column >= double(def.ncols) || row >= double(def.nrows)) continue;
        float elevation = BAGAttributeSet::kNull, uncertainty = BAGAttributeSet::kNull;
        if (m_io.getPair(uint32_t(row), uint32_t(column), elevation, uncertainty) != 0) continue;
        if (elevation == BAGAttributeSet::kNull) continue;
        m_set.set(-elevation, uncertainty);
        return true;
    }
    return false;
}

bool BAGIter::next(long& status) {
    status = 0;
    if (m_finished) return false;
    // The common case, a box without polygon, stays within the row here.
    if (!m_pointMode && !m_polygon) {
        const uint32_t end = m_blocks[m_block].endColumn;
        while (m_column + 1 < end) {
            const float elevation = m_elevationRow[++m_column];
            if (elevation != BAGAttributeSet::kNull) {
                m_set.set(-elevation, m_uncertaintyRow[m_column]);
                return true;
            }
        }
    }
    const bool more = m_pointMode ? seekPoint(true) : seekBox(true);
    if (!more) {
        status = m_readStatus;
        finish();
    }
    return more;
}

KIVOAttributeSet* BAGIter::getAttributes() { return m_finished ? nullptr : &m_set; }

long BAGIter::getPosition(double& x, double& y, const long&) const {
    if (m_pointMode) {
        if (m_point >= m_points.size()) return -1;
        x = m_points[m_point].x();
        y = m_points[m_point].y();
        return 0;
    }
    const BAGMetaData* meta = m_io.getBAGMetaData();
    const bagDefinition& def = meta->getDefinition();
    x = def.swCornerX + double(m_column) * def.nodeSpacingX;
    y = def.swCornerY + double(m_row) * def.nodeSpacingY;
    return 0;
}

long BAGIter::count() const {
    if (m_pointMode) return long(m_points.size());
    return long(uint64_t(m_endRow - m_firstRow) * (m_endColumn - m_firstColumn));
}

const KIVODescriptor& BAGIter::getAttributeDescriptor() const {
    return m_io.getBAGMetaData()->getAttributeTable()->getDescriptor();
}

void BAGIter::print(std::ostream& os) const {
    os << "BAGIter(columns " << m_firstColumn << "-" << m_endColumn << ", rows " << m_firstRow << "-" << m_endRow
       << ", blocks " << m_blocks.size() << ")";
}
