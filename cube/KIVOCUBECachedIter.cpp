#include "cube/KIVOCUBECachedIter.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

#include "cube/KIVOSurfaceCUBEIO.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOSurfaceAttributeTable.h"

namespace {

// First node at or past `distance` from the grid edge: a node missed by no
// more than 1e-10 m counts as reached, so rounding in the caller's box does
// not drop an edge node.
double firstIndex(double distance, double spacing) {
    // Only a start inside the grid rounds up: one west or north of it starts
    // at the edge, the grid's first node included.
    if (!(distance > 0.0)) return 0.0;
    double index = std::trunc(distance / spacing);
    if (std::fmod(distance, spacing) > 1e-10) index += 1.0;
    return index;
}

}  // namespace

KIVOCUBECachedIter::KIVOCUBECachedIter(KIVOSurfaceCUBEIO& surface, double x0, double y0, double x1, double y1,
                                       NORVAProgress* progress)
    : m_surface(surface), m_x0(x0), m_y0(y0), m_x1(x1), m_y1(y1), m_emptyValue(FLT_MAX), m_progress(progress) {
    m_status = init(x0, y0, x1, y1);
}

KIVOCUBECachedIter::KIVOCUBECachedIter(KIVOSurfaceCUBEIO& surface, const NORVAAreaGeometry& area,
                                       NORVAProgress* progress)
    : m_surface(surface),
      m_polygon(std::make_unique<NORVACompGeom::NORVAPolygonPrimitive>(area)),
      m_x0(0.0), m_y0(0.0), m_x1(0.0), m_y1(0.0),
      m_emptyValue(FLT_MAX),
      m_progress(progress) {
    const NORVABox2D box = area.getBoundingBox();
    m_status = init(box.getMinimum().x(), box.getMinimum().y(), box.getMaximum().x(), box.getMaximum().y());
}

KIVOCUBECachedIter::KIVOCUBECachedIter(KIVOSurfaceCUBEIO& surface, const NORVAPointGeometry& point,
                                       NORVAProgress* progress)
    : m_surface(surface), m_x0(0.0), m_y0(0.0), m_x1(0.0), m_y1(0.0), m_emptyValue(FLT_MAX), m_progress(progress) {
    m_points.emplace_back(point.getX(), point.getY());
    m_status = init(point.getX(), point.getY(), point.getX(), point.getY());
}

KIVOCUBECachedIter::KIVOCUBECachedIter(KIVOSurfaceCUBEIO& surface, const NORVALineGeometry& line,
                                       NORVAProgress* progress)
    : m_surface(surface),
      m_x0(0.0), m_y0(0.0), m_x1(0.0), m_y1(0.0),
      m_emptyValue(FLT_MAX),
      m_points(line.getPoints()),
      m_progress(progress) {
    const NORVABox2D box = line.getBoundingBox();
    m_status = init(box.getMinimum().x(), box.getMinimum().y(), box.getMaximum().x(), box.getMaximum().y());
}

void KIVOCUBECachedIter::followLayer(const std::vector<float>* layer) {
    m_layer = layer;
    m_rowEnd = 0;
}

bool KIVOCUBECachedIter::finished() const {
    long status = 0;
    return KIVOIter::done(status);
}

bool KIVOCUBECachedIter::done(long& status) const {
    const bool ended = finished();
    status = ended ? m_refusal : 0;
    return ended;
}

long KIVOCUBECachedIter::init(double x0, double y0, double x1, double y1) {
    m_x0 = x0;
    m_y0 = y0;
    m_x1 = x1;
    m_y1 = y1;
    // Points are held to the surface's extent like boxes: one outside it,
    // however close to an edge node, meets no grid.
    m_surface.getGrids(m_grids, x0, y0, x1, y1, false);
    if (m_progress != nullptr) m_progress->setSteps(m_grids.size());
    if (m_grids.empty()) {
        markDone();
        return 0;
    }
    m_attributes = std::make_unique<KIVOCachedAttributeSet>(m_surface, -1);
    m_attribute = 0;
    if (!m_points.empty()) {
        takePoint();
        if (m_attributes->isEmpty()) nextPoint();
        return 0;
    }
    long result = -1;
    for (m_grid = 0; m_grid < m_grids.size(); ++m_grid) {
        m_gridKey = m_grids[m_grid];
        m_layers.clear();
        followLayer(layerOf(m_attribute).get());
        result = m_refusal != 0 ? m_refusal : initCurrentGrid();
        if (result == 0 || result == m_refusal) break;
    }
    if (result != 0) {
        markDone();
        return result;
    }
    // The set follows the iterator's attribute from the first node on.
    m_attributes->set(m_gridKey.row, m_gridKey.column, m_current.row, m_current.column, m_emptyValue, m_attribute);
    takeBoxNode();
    if (m_attributes->isEmpty()) nextBoxNode();
    return 0;
}

long KIVOCUBECachedIter::initCurrentGrid() {
    const CUBEGridIdx& grid = m_gridKey;
    const double spacingX = grid.spacingX, spacingY = grid.spacingY;
    if (!(spacingX > 0.0) || !(spacingY > 0.0) || grid.columns == 0 || grid.rows == 0) return -1;
    const double firstColumn = firstIndex(m_x0 - grid.left, spacingX);
    const double firstRow = firstIndex(grid.top - m_y1, spacingY);
    if (!(firstColumn < grid.columns) || !(firstRow < grid.rows)) return -1;
    const double lastColumn = std::fmin(std::trunc((m_x1 - grid.left) / spacingX), grid.columns - 1.0);
    const double lastRow = std::fmin(std::trunc((grid.top - m_y0) / spacingY), grid.rows - 1.0);
    // A box that falls between two node columns or rows holds no node of this grid.
    if (!(lastColumn >= firstColumn) || !(lastRow >= firstRow)) return -1;
    m_first.row = static_cast<uint16_t>(firstRow);
    m_first.column = static_cast<uint16_t>(firstColumn);
    m_last.row = static_cast<uint16_t>(lastRow);
    m_last.column = static_cast<uint16_t>(lastColumn);
    m_first.left = grid.left + m_first.column * spacingX;
    m_first.top = grid.top - m_first.row * spacingY;
    placeCursor(m_first.row, m_first.column);
    return 0;
}

void KIVOCUBECachedIter::placeCursor(uint32_t row, uint32_t column) {
    m_current.row = static_cast<uint16_t>(row);
    m_current.column = static_cast<uint16_t>(column);
    m_current.left = nodeX(column);
    m_current.top = nodeY(row);
    m_positionPending = false;
}

// From the grid's corner each time, so positions do not drift along a row.
double KIVOCUBECachedIter::nodeX(uint32_t column) const {
    return m_gridKey.left + column * static_cast<double>(m_gridKey.spacingX);
}

double KIVOCUBECachedIter::nodeY(uint32_t row) const { return m_gridKey.top - row * static_cast<double>(m_gridKey.spacingY); }

// Before the walk leaves the grid a pending position refers to.
void KIVOCUBECachedIter::settlePosition() {
    if (m_positionPending) placeCursor(m_current.row, m_current.column);
}

const KIVOCUBECachedIter::Layer& KIVOCUBECachedIter::layerOf(long attribute) {
    auto found = m_layers.find(attribute);
    if (found != m_layers.end()) return found->second;
    CUBEGridIdx key = m_gridKey;
    Layer layer = m_surface.getSurface(key, attribute, m_emptyValue, m_refusal);
    return m_layers.emplace(attribute, std::move(layer)).first->second;
}

long KIVOCUBECachedIter::load(long attribute) {
    if (finished()) {
        printf("KIVOCUBECachedIter::init() : aborting.  Iterator is at the end of the data.\n");
        return -1;
    }
    m_attribute = attribute;
    followLayer(layerOf(attribute).get());
    float value = m_emptyValue;
    const uint64_t element = static_cast<uint64_t>(m_current.row) * m_gridKey.columns + m_current.column;
    if (m_layer != nullptr && m_current.column < m_gridKey.columns && element < m_layer->size())
        value = (*m_layer)[element];
    m_attributes->set(m_gridKey.row, m_gridKey.column, m_current.row, m_current.column, value, attribute);
    return 0;
}

bool KIVOCUBECachedIter::next(long& status) {
    status = 0;
    // Most steps of a box query land on the next node of the row. An open
    // row (m_rowEnd > 0) means a box walk that is not done; the caller must
    // still be reading the followed attribute.
    const uint32_t column = m_current.column + 1u;
    if (column < m_rowEnd && m_attributes->getAttribIdx() == m_attribute) {
        const float value = m_rowValues[column];
        if (value != m_emptyValue) {
            m_current.column = static_cast<uint16_t>(column);
            m_positionPending = true;
            m_attributes->stepEast(value, m_attribute);
            return true;
        }
    }
    if (finished() || !m_attributes) {
        status = m_refusal;
        return false;
    }
    const long asked = m_attributes->getAttribIdx();
    if (asked > -1 && asked != m_attribute) load(asked);
    m_attributes->reset();
    const bool found = m_refusal == 0 && (m_points.empty() ? nextBoxNode() : nextPoint());
    if (!found) {
        markDone();
        status = m_refusal;
    }
    return found;
}

bool KIVOCUBECachedIter::nextBoxNode() {
    uint32_t row = m_current.row, column = m_current.column + 1u;
    while (!findBoxNode(row, column)) {
        if (!advanceGrid()) return false;
        row = m_first.row;
        column = m_first.column;
    }
    return true;
}

// The walk's inner loop: scans the layer row by row from (row, column) for
// the next node with a value (inside the polygon, if any) and places the
// cursor and the set on it. Straight over the floats, since a box query
// spends nearly all its time here.
bool KIVOCUBECachedIter::findBoxNode(uint32_t row, uint32_t column) {
    if (m_layer == nullptr) return false;
    const float* values = m_layer->data();
    const uint64_t size = m_layer->size(), columns = m_gridKey.columns;
    const float empty = m_emptyValue;
    for (; row <= m_last.row; ++row, column = m_first.column) {
        const uint64_t rowStart = row * columns;
        // Values past the layer's end are missing for every later node too.
        if (rowStart + m_first.column >= size) return false;
        const uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(m_last.column + 1u, size - rowStart));
        for (; column < end; ++column) {
            const float value = values[rowStart + column];
            if (value == empty) continue;
            if (m_polygon) {
                long status = 0;
                if (!m_polygon->isPointInPolygon(nodeX(column), nodeY(row), status)) continue;
            }
            // The node's position is worked out only when it is asked for.
            m_current.row = static_cast<uint16_t>(row);
            m_current.column = static_cast<uint16_t>(column);
            m_positionPending = true;
            m_attributes->set(m_gridKey.row, m_gridKey.column, row, column, value, m_attribute);
            // The rest of the row is open to next()'s short step, unless each
            // node must be tested against the polygon.
            m_rowValues = values + rowStart;
            m_rowEnd = m_polygon ? 0 : end;
            return true;
        }
    }
    return false;
}

bool KIVOCUBECachedIter::advanceGrid() {
    settlePosition();
    m_attributes->setEmpty(m_emptyValue);
    // Grids without the followed layer, or whose part of the box holds no
    // node, are passed over rather than ending the walk early.
    while (++m_grid < m_grids.size()) {
        if (m_progress != nullptr) m_progress->step();
        m_gridKey = m_grids[m_grid];
        m_layers.clear();
        followLayer(layerOf(m_attribute).get());
        if (m_refusal != 0) break;
        if (m_layer != nullptr && initCurrentGrid() == 0) return true;
    }
    if (m_progress != nullptr) m_progress->step();
    m_layers.clear();
    followLayer(nullptr);
    markDone();
    return false;
}

void KIVOCUBECachedIter::takeBoxNode() {
    if (m_layer == nullptr) return;
    const uint64_t element = static_cast<uint64_t>(m_current.row) * m_gridKey.columns + m_current.column;
    if (element >= m_layer->size()) return;
    const float value = (*m_layer)[element];
    if (value == m_emptyValue) return;
    if (m_polygon) {
        long status = 0;
        if (!m_polygon->isPointInPolygon(m_current.left, m_current.top, status)) return;
    }
    m_attributes->set(m_gridKey.row, m_gridKey.column, m_current.row, m_current.column, value, m_attribute);
}

bool KIVOCUBECachedIter::nextPoint() {
    while (m_attributes->isEmpty()) {
        if (++m_point >= m_points.size()) {
            m_layers.clear();
            followLayer(nullptr);
            markDone();
            return false;
        }
        takePoint();
    }
    return true;
}

// Each point is looked up in the grid that holds its nearest node, so a line
// crossing grids reads every node from its own grid.
void KIVOCUBECachedIter::takePoint() {
    CUBEGridIdx grid;
    uint32_t row = 0, column = 0;
    if (!nearestNode(m_points[m_point], grid, row, column)) return;
    if (grid != m_gridKey) {
        m_gridKey = grid;
        m_layers.clear();
        followLayer(layerOf(m_attribute).get());
    }
    placeCursor(row, column);
    if (m_layer == nullptr) return;
    const uint64_t element = static_cast<uint64_t>(row) * grid.columns + column;
    if (element >= m_layer->size() || (*m_layer)[element] == m_emptyValue) return;
    m_attributes->set(grid.row, grid.column, row, column, (*m_layer)[element], m_attribute);
}

bool KIVOCUBECachedIter::nearestNode(const NORVAPoint2D& point, CUBEGridIdx& grid, uint32_t& row,
                                     uint32_t& column) const {
    const KIVOCUBEDataHeader* header = m_surface.getHeader();
    if (header == nullptr || header->getGridSize() == 0 || !(header->getResolution() > 0.0f)) return false;
    const double spacing = header->getResolution();
    const double nodeColumn = std::floor((point.x() - header->getMinimum()[0]) / spacing + 0.5);
    double nodeRow = std::floor((header->getMaximum()[1] - point.y()) / spacing + 0.5);
    // The extent reaches a whole spacing past the last node row; a point in
    // the southern half of that strip reads the last row. Past the last
    // column, as off the surface, there is no node (NaN neither).
    const uint32_t rows = header->getNumYPixels();
    if (nodeRow >= rows && rows > 0 && point.y() >= header->getMinimum()[1]) nodeRow = rows - 1.0;
    if (!(nodeColumn >= 0.0 && nodeColumn < header->getNumXPixels())) return false;
    if (!(nodeRow >= 0.0 && nodeRow < rows)) return false;
    const uint32_t tile = header->getGridSize();
    const uint32_t c = static_cast<uint32_t>(nodeColumn), r = static_cast<uint32_t>(nodeRow);
    if (r / tile >= CUBEGridIdx::kInvalid || c / tile >= CUBEGridIdx::kInvalid) return false;
    grid = m_surface.makeKey(static_cast<uint16_t>(r / tile), static_cast<uint16_t>(c / tile));
    row = r - grid.rowOffset;
    column = c - grid.colOffset;
    return row < grid.rows && column < grid.columns;
}

long KIVOCUBECachedIter::getPosition(double& x, double& y, const long& attribute) const {
    if (attribute > -1 && m_attributes && attribute != m_attributes->getAttribIdx()) m_attributes->isSet(attribute);
    x = m_positionPending ? nodeX(m_current.column) : m_current.left;
    y = m_positionPending ? nodeY(m_current.row) : m_current.top;
    return 0;
}

long KIVOCUBECachedIter::count() const {
    if (!m_points.empty()) return static_cast<long>(m_points.size());
    if (!m_first.isValid() || !m_last.isValid()) return 0;
    return (static_cast<long>(m_last.column) - m_first.column + 1) * (static_cast<long>(m_last.row) - m_first.row + 1);
}

const KIVODescriptor& KIVOCUBECachedIter::getAttributeDescriptor() const {
    static const KIVOMemDescriptor kNone;
    const KIVOSurfaceAttributeTable* table = m_surface.getAttributeInfo();
    return table != nullptr ? table->getDescriptor() : kNone;
}
