#include "formats/wgrid/KIVOWGridIter.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <ostream>

#include "platform/frame/KIVOMemDescriptor.h"

namespace {
// Raised by init when the box does not meet the raster (distinct from the
// data-IO's codes, which are all other values).
constexpr long kOutside = WGridStatus::kFailed;
}  // namespace

KIVOWGridIter::KIVOWGridIter(KIVOWGridDataIO& dataIO, double x0, double y0, double x1, double y1,
                             NORVAProgress* progress)
    : m_dataIO(dataIO), m_attributes(dataIO), m_progress(progress) {
    const long status = init(x0, y0, x1, y1);
    if (status != 0) {
        finish(status);
        return;
    }
    if (!seek()) finish(0);
}

KIVOWGridIter::KIVOWGridIter(KIVOWGridDataIO& dataIO, const NORVAAreaGeometry& area, NORVAProgress* progress)
    : m_dataIO(dataIO), m_attributes(dataIO), m_progress(progress) {
    const NORVABox2D box = area.getBoundingBox();
    if (box.isEmpty()) {
        finish(kOutside);
        return;
    }
    m_polygon = std::make_unique<NORVACompGeom::NORVAPolygonPrimitive>(area.getPrimitive());
    const long status =
        init(box.getMinimum().x(), box.getMinimum().y(), box.getMaximum().x(), box.getMaximum().y());
    if (status != 0) {
        finish(status);
        return;
    }
    if (!seek()) finish(0);
}

KIVOWGridIter::KIVOWGridIter(KIVOWGridDataIO& dataIO, const std::vector<NORVAPoint2D>& points, bool single,
                             NORVAProgress* progress)
    : m_dataIO(dataIO), m_attributes(dataIO), m_points(points), m_pointList(true), m_progress(progress) {
    m_count = static_cast<long>(m_points.size());
    const long status = m_dataIO.readGridIndex();
    if (status != 0) {
        finish(status);
        return;
    }
    if (m_points.empty()) {
        finish(0);
        return;
    }
    if (m_progress) m_progress->setSteps(static_cast<unsigned long>(m_points.size()));
    setPointValue();
    if (single && !m_attributes.isSet(0)) finish(0);
}

KIVOWGridIter::KIVOWGridIter(KIVOWGridDataIO& dataIO) : m_dataIO(dataIO), m_attributes(dataIO) { finish(0); }

// A failure to read the index is this iterator's status and what `done`
// reports; a box outside the raster only sets the status word.
void KIVOWGridIter::finish(long status) {
    markDone();
    m_depth.reset();
    m_intensity.reset();
    if (status != 0) m_status = status;
    if (status != 0 && status != kOutside) m_doneStatus = status;
}

bool KIVOWGridIter::done(long& status) const {
    long ignored = 0;
    status = m_doneStatus;
    return KIVOIter::done(ignored);
}

// Pixels are whole cells from the south-west corner: column c covers
// [c·r, (c+1)·r) east of it. The box takes every pixel it meets, clipped to
// the raster; a box that meets none is outside.
long KIVOWGridIter::init(double x0, double y0, double x1, double y1) {
    const WGridDefinition& d = m_dataIO.getDefinition();
    const double r = d.resolution;
    const double c0 = std::floor((x0 - d.swCorner[0]) / r), c1 = std::floor((x1 - d.swCorner[0]) / r);
    const double r0 = std::floor((y0 - d.swCorner[1]) / r), r1 = std::floor((y1 - d.swCorner[1]) / r);
    const double nx = d.pixelsX, ny = d.pixelsY;
    if (!(c1 >= 0.0 && r1 >= 0.0 && c0 < nx && r0 < ny && c0 <= c1 && r0 <= r1)) return kOutside;
    m_firstColumn = static_cast<int64_t>(std::max(c0, 0.0));
    m_endColumn = static_cast<int64_t>(std::min(c1, nx - 1.0)) + 1;
    m_firstRow = static_cast<int64_t>(std::max(r0, 0.0));
    m_endRow = static_cast<int64_t>(std::min(r1, ny - 1.0)) + 1;

    const long status = m_dataIO.readGridIndex();
    if (status != 0) return status;
    const uint64_t s = m_dataIO.getFragDim();
    const uint64_t fx = m_dataIO.getNumFragsX();
    m_cells = s * s;
    uint64_t cells = 0;
    for (uint64_t fr = static_cast<uint64_t>(m_firstRow) / s; fr <= static_cast<uint64_t>(m_endRow - 1) / s; ++fr) {
        for (uint64_t fc = static_cast<uint64_t>(m_firstColumn) / s;
             fc <= static_cast<uint64_t>(m_endColumn - 1) / s; ++fc) {
            const uint64_t fragment = fr * fx + fc;
            if (m_dataIO.getIndexEntry(fragment) <= 0) continue;
            m_fragments.push_back(fragment);
            const uint64_t w = std::min<uint64_t>(s, d.pixelsX - fc * s), h = std::min<uint64_t>(s, d.pixelsY - fr * s);
            cells += w * h;
        }
    }
    m_count = static_cast<long>(std::min<uint64_t>(cells, static_cast<uint64_t>(LONG_MAX)));
    if (m_progress) {
        m_progress->setSteps(static_cast<unsigned long>(m_fragments.size()));
        m_step = 1;
    }
    return 0;
}

bool KIVOWGridIter::loadFragment() {
    const uint64_t fragment = m_fragments[m_position];
    if (m_dataIO.isIntensity())
        m_intensity = m_dataIO.getIntensityFragment(fragment);
    else
        m_depth = m_dataIO.getDepthFragment(fragment);
    return m_depth || m_intensity;
}

bool KIVOWGridIter::serves(uint64_t cell) const {
    const uint64_t s = m_dataIO.getFragDim();
    const uint64_t fragment = m_fragments[m_position];
    const uint64_t column = (fragment % m_dataIO.getNumFragsX()) * s + cell % s;
    const uint64_t row = (fragment / m_dataIO.getNumFragsX()) * s + cell / s;
    if (column >= m_dataIO.getNumPixX() || row >= m_dataIO.getNumPixY()) return false;
    const float value = m_depth ? (*m_depth)[cell] : static_cast<float>((*m_intensity)[cell]);
    if (value == KIVOWGridDataIO::emptyValue(m_dataIO.isIntensity())) return false;
    if (!m_polygon) return true;
    double x = 0.0, y = 0.0;
    cellPosition(cell, x, y);
    long status = 0;
    return m_polygon->isPointInPolygon(x, y, status);
}

bool KIVOWGridIter::seek() {
    while (m_position < m_fragments.size()) {
        if (m_depth || m_intensity || loadFragment()) {
            for (; m_cell < m_cells; ++m_cell) {
                if (!serves(m_cell)) continue;
                m_attributes.set(m_depth ? (*m_depth)[m_cell] : static_cast<float>((*m_intensity)[m_cell]));
                return true;
            }
        }
        ++m_position;
        m_cell = 0;
        m_depth.reset();
        m_intensity.reset();
        if (m_progress && m_position < m_fragments.size()) {
            ++m_step;
            m_progress->step();
        }
    }
    return false;
}

void KIVOWGridIter::setPointValue() {
    int64_t column = 0, row = 0;
    float value = 0.0f;
    const NORVAPoint2D& p = m_points[m_point];
    if (m_dataIO.userToDiskUnits(p.x(), p.y(), column, row, true) == 0 &&
        m_dataIO.getDepth(static_cast<uint32_t>(column), static_cast<uint32_t>(row), value) == 0)
        m_attributes.set(value);
    else
        m_attributes.reset();
}

bool KIVOWGridIter::next(long& status) {
    if (done(status)) return false;
    if (m_pointList) {
        if (m_progress) m_progress->step();
        if (++m_point >= m_points.size()) {
            finish(0);
            return false;
        }
        setPointValue();
        return true;
    }
    ++m_cell;
    if (seek()) return true;
    finish(0);
    return false;
}

KIVOAttributeSet* KIVOWGridIter::getAttributes() {
    long status = 0;
    return done(status) ? nullptr : &m_attributes;
}

void KIVOWGridIter::cellPosition(uint64_t cell, double& x, double& y) const {
    const uint64_t s = m_dataIO.getFragDim();
    const uint64_t fragment = m_fragments[m_position];
    const uint64_t column = (fragment % m_dataIO.getNumFragsX()) * s + cell % s;
    const uint64_t row = (fragment / m_dataIO.getNumFragsX()) * s + cell / s;
    m_dataIO.diskToUserUnits(static_cast<double>(column), static_cast<double>(row), x, y);
}

long KIVOWGridIter::getPosition(double& x, double& y, const long& attribute) const {
    long status = 0;
    if (done(status)) return -1;
    if (m_pointList) {
        x = m_points[m_point].x();
        y = m_points[m_point].y();
        return 1;
    }
    cellPosition(m_cell, x, y);
    return 0;
}

const KIVODescriptor& KIVOWGridIter::getAttributeDescriptor() const {
    static const KIVOMemDescriptor kNone;
    const KIVOSurfaceAttributeTable* table = m_dataIO.getAttributeInfo();
    return table ? table->getDescriptor() : kNone;
}

void KIVOWGridIter::print(std::ostream& os) const {
    os << "KIVOWGridIter(";
    if (m_pointList)
        os << m_points.size() << " points";
    else
        os << "columns " << m_firstColumn << ".." << m_endColumn << ", rows " << m_firstRow << ".." << m_endRow
           << ", " << m_fragments.size() << " fragments";
    os << ", status " << m_status << ")";
}
