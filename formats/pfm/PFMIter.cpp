#include "formats/pfm/PFMIter.h"

#include <algorithm>

#include "formats/pfm/KIVOPFMDataIO.h"
#include "formats/pfm/PFMLibrary.h"
#include "platform/shapes/NORVAAreaGeometry.h"
#include "platform/shapes/NORVAPointGeometry.h"

PFMIter::PFMIter(double minX, double minY, double maxX, double maxY, KIVOPFMDataIO& dataIO)
    : m_dataIO(dataIO), m_attributes(&dataIO) {
    m_dataIO.open();
    init(minX, minY, maxX, maxY);
}

// Geometries come in the surface's own coordinates: there is nothing to transform.
PFMIter::PFMIter(const NORVAGeometry& geometry, KIVOPFMDataIO& dataIO) : m_dataIO(dataIO), m_attributes(&dataIO) {
    m_dataIO.open();
    switch (geometry.getType()) {
    case NORVAGeometry::POINT: {
        const auto& point = static_cast<const NORVAPointGeometry&>(geometry);
        initPoint(point.getX(), point.getY());
        break;
    }
    case NORVAGeometry::AREA: {
        const auto& area = static_cast<const NORVAAreaGeometry&>(geometry);
        const NORVABox2D box = area.getBoundingBox();
        // The polygon is in place before the first scan, so every node lies inside it.
        m_polygon = std::make_unique<NORVACompGeom::NORVAPolygonPrimitive>(area.getPrimitive());
        if (box.isEmpty())
            finish();
        else
            init(box.getMinimum().x(), box.getMinimum().y(), box.getMaximum().x(), box.getMaximum().y());
        break;
    }
    default:
        finish();
        break;
    }
}

void PFMIter::finish() {
    m_attributes.reset();
    markDone();
}

void PFMIter::init(double minX, double minY, double maxX, double maxY) {
    const NORVAArray<double> low = m_dataIO.getMinimum();
    const NORVAArray<double> high = m_dataIO.getMaximum();
    minX = std::max(minX, low[0]);
    minY = std::max(minY, low[1]);
    maxX = std::min(maxX, high[0]);
    maxY = std::min(maxY, high[1]);
    if (!(minX < maxX && minY < maxY) || m_dataIO.m_handle < 0) {
        finish();
        return;
    }
    const BIN_HEADER& head = m_dataIO.m_header;
    position_to_bin(minX, minY, head, &m_firstColumn, &m_firstRow);
    position_to_bin(maxX, maxY, head, &m_lastColumn, &m_lastRow);
    // A cover that is a whole number of bins puts its far edge on bin W (or H).
    m_firstColumn = std::clamp(m_firstColumn, 0, head.bin_width - 1);
    m_lastColumn = std::clamp(m_lastColumn, 0, head.bin_width - 1);
    m_firstRow = std::clamp(m_firstRow, 0, head.bin_height - 1);
    m_lastRow = std::clamp(m_lastRow, 0, head.bin_height - 1);
    m_column = m_firstColumn - 1;
    m_row = m_firstRow;
    m_binsHeld = pfm_bins_held(m_dataIO.m_handle);
    if (!scan()) finish();
}

void PFMIter::initPoint(double x, double y) {
    m_single = true;
    if (m_dataIO.m_handle < 0) {
        finish();
        return;
    }
    int32_t column = 0, row = 0;
    position_to_bin(x, y, m_dataIO.m_header, &column, &row);
    if (column < 0 || row < 0 || fetch_bin_record(m_dataIO.m_handle, column, row, &m_record) != 0) {
        finish();
        return;
    }
    m_firstColumn = m_lastColumn = m_column = column;
    m_firstRow = m_lastRow = m_row = row;
    m_attributes.set(m_record);
}

bool PFMIter::scan() {
    const int32_t handle = m_dataIO.m_handle;
    for (;;) {
        if (m_column >= m_lastColumn) {
            m_column = m_firstColumn;
            if (m_row >= m_lastRow) return false;
            ++m_row;
        } else {
            ++m_column;
        }
        // Bins lie in the file in scan order: once one lies past the end of
        // a file cut short, so does every later one.
        if (static_cast<int64_t>(m_row) * m_dataIO.m_header.bin_width + m_column >= m_binsHeld) return false;
        BIN_RECORD record;
        // A bin that cannot be read is skipped like an empty one.
        if (fetch_bin_record(handle, m_column, m_row, &record) != 0 || record.num_soundings == 0) continue;
        long status = 0;
        if (m_polygon && !m_polygon->isPointInPolygon(record.xy_x, record.xy_y, status)) continue;
        m_record = record;
        m_attributes.set(record);
        return true;
    }
}

bool PFMIter::next(long& status) {
    status = 0;
    long doneStatus = 0;
    if (done(doneStatus)) return false;
    if (m_single || m_dataIO.m_handle < 0 || !scan()) {
        finish();
        return false;
    }
    return true;
}

long PFMIter::getPosition(double& x, double& y, const long& attribute) const {
    x = m_record.xy_x;
    y = m_record.xy_y;
    return 0;
}

long PFMIter::count() const {
    return static_cast<long>(m_lastRow - m_firstRow) * static_cast<long>(m_lastColumn - m_firstColumn);
}

const KIVODescriptor& PFMIter::getAttributeDescriptor() const {
    return m_dataIO.getAttributeInfo()->getDescriptor();
}

void PFMIter::print(std::ostream& os) const {
    os << "PFMIter(columns " << m_firstColumn << ".." << m_lastColumn << ", rows " << m_firstRow << ".." << m_lastRow
       << ", at " << m_column << "," << m_row << ")";
}
