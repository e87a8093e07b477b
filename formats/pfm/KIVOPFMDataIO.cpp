#include "formats/pfm/KIVOPFMDataIO.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

#include "formats/pfm/PFMAttributeSet.h"
#include "formats/pfm/PFMIter.h"
#include "formats/pfm/PFMLibrary.h"
#include "platform/core/NORVAFileUtils.h"

namespace {

// The record field a rasterised attribute name stands for; null for none.
const float* rasterField(const BIN_RECORD& record, const NORVAUString& name) {
    if (name == NORVAUString("Depth") || name == NORVAUString("DEPTH")) return &record.min_depth;
    if (name == NORVAUString("Max_Depth")) return &record.max_depth;
    if (name == NORVAUString("Average_Depth")) return &record.avg_depth;
    return nullptr;
}

double lowerBound(double bound, double minimum, double resolution) {
    if (bound < minimum) return minimum;
    const double n = std::trunc((bound - minimum) / resolution);
    return std::max(minimum, minimum + (n - 2.0) * resolution);
}

double upperBound(double bound, double minimum, double maximum, double resolution) {
    if (bound > maximum) return maximum;
    const double n = std::trunc((bound - minimum) / resolution);
    return std::min(maximum, minimum + (n + 2.0) * resolution);
}

long cellsAlong(double low, double high, double resolution) {
    const double n = std::ceil((high - low) / resolution - 1e-9);
    return n < 1.0 ? 1 : static_cast<long>(std::min(n, 2147483647.0));
}

}  // namespace

KIVOPFMDataIO::KIVOPFMDataIO(const NORVAUString& path)
    : m_metadata(std::make_shared<PFMMetaData>(path)), m_minimum(2, 0.0), m_maximum(2, 0.0), m_path(path) {
    if (m_metadata->getStatus() != 0) {
        m_status = m_metadata->getStatus();
        return;
    }
    m_metadata->getCover(m_minimum[0], m_minimum[1], m_maximum[0], m_maximum[1]);
}

KIVOPFMDataIO::KIVOPFMDataIO(const KIVOPFMDataIO& other)
    : KIVOSurfaceDataIO(other),
      m_metadata(other.m_metadata),
      m_minimum(other.m_minimum),
      m_maximum(other.m_maximum),
      m_path(other.m_path),
      m_handle(-1),
      m_header(other.m_header) {}

KIVOPFMDataIO& KIVOPFMDataIO::operator=(const KIVOPFMDataIO& other) {
    if (this == &other) return *this;
    close();
    KIVOSurfaceDataIO::operator=(other);
    m_metadata = other.m_metadata;
    m_minimum = other.m_minimum;
    m_maximum = other.m_maximum;
    m_path = other.m_path;
    m_header = other.m_header;
    m_handle = -1;
    return *this;
}

KIVOPFMDataIO::~KIVOPFMDataIO() { close(); }

void KIVOPFMDataIO::print(std::ostream& os) const {
    os << "KIVOPFMDataIO(" << m_path.toUTF8() << ", handle=" << m_handle << ", status=" << m_status << ")";
}

KIVOSurfaceAttributeTable* KIVOPFMDataIO::getAttributeInfo() { return m_metadata->getAttributeTable(); }

const KIVOSurfaceAttributeTable* KIVOPFMDataIO::getAttributeInfo() const { return m_metadata->getAttributeTable(); }

const NORVACoordSystem* KIVOPFMDataIO::getCoordSystem() const {
    long status = 0;
    return m_metadata->getCoordSystem(status);
}

long KIVOPFMDataIO::open() {
    if (m_handle >= 0) return 0;
    int32_t handle = -1;
    BIN_HEADER head;
    if (PFMLibrary::openReadOnly(m_path, handle, head) != 0) return -1;
    m_handle = handle;
    m_header = head;
    return 0;
}

long KIVOPFMDataIO::close() {
    if (m_handle >= 0) {
        pfm_close(m_handle);
        m_handle = -1;
    }
    return 0;
}

NORVAType<KIVOSurfaceIter> KIVOPFMDataIO::query(double x0, double y0, double x1, double y1, bool create,
                                                long& status, NORVAProgress* progress, double resolution) {
    status = 0;
    return NORVAType<KIVOSurfaceIter>(new PFMIter(x0, y0, x1, y1, *this));
}

NORVAType<KIVOSurfaceIter> KIVOPFMDataIO::query(const NORVAGeometry& geometry, bool create, long& status,
                                                NORVAProgress* progress, double resolution) {
    status = 0;
    return NORVAType<KIVOSurfaceIter>(new PFMIter(geometry, *this));
}

long KIVOPFMDataIO::deleteAllFiles(bool keepOpen) {
    return NORVAFileUtils::removeFile(m_path) ? 0 : kCannotDelete;
}

long KIVOPFMDataIO::getAssociatedFiles(std::vector<NORVAUString>& files) const {
    files.push_back(m_path);
    return 0;
}

long KIVOPFMDataIO::rasterize(rasterizeConfig& config) {
    const long opened = open();
    if (opened != 0) return opened;
    const BIN_RECORD probe;
    if (!rasterField(probe, config.attribute)) return -1;

    const BIN_HEADER& head = m_header;
    const bool geographic = head.projection == 0;
    const double binX = geographic ? head.x_bin_size_degrees : head.bin_size_xy;
    const double binY = geographic ? head.y_bin_size_degrees : head.bin_size_xy;
    const bool ownGrid = config.buffer && config.columns > 0 && config.rows > 0 && config.cellX > 0.0 &&
                         config.cellY > 0.0 && std::isfinite(config.cellX) && std::isfinite(config.cellY);
    if (!ownGrid) {
        if (!(config.cellX >= binX)) config.cellX = binX;
        if (!(config.cellY >= binY)) config.cellY = binY;
        config.minX = lowerBound(config.minX, m_minimum[0], config.cellX);
        config.minY = lowerBound(config.minY, m_minimum[1], config.cellY);
        config.maxX = upperBound(config.maxX, m_minimum[0], m_maximum[0], config.cellX);
        config.maxY = upperBound(config.maxY, m_minimum[1], m_maximum[1], config.cellY);
        if (!(config.minX < config.maxX) || !(config.minY < config.maxY)) return -1;
        config.columns = cellsAlong(config.minX, config.maxX, config.cellX);
        config.rows = cellsAlong(config.minY, config.maxY, config.cellY);
        // Never more cells than the bins (plus the rounding margins) justify.
        if (config.columns > static_cast<long>(head.bin_width) + 4 || config.rows > static_cast<long>(head.bin_height) + 4)
            return -1;
    }

    int32_t firstColumn = 0, firstRow = 0, lastColumn = 0, lastRow = 0;
    position_to_bin(config.minX, config.minY, head, &firstColumn, &firstRow);
    position_to_bin(config.maxX, config.maxY, head, &lastColumn, &lastRow);
    firstColumn = std::clamp(firstColumn, 0, head.bin_width - 1);
    lastColumn = std::clamp(lastColumn, 0, head.bin_width - 1);
    firstRow = std::clamp(firstRow, 0, head.bin_height - 1);
    lastRow = std::clamp(lastRow, 0, head.bin_height - 1);
    const bool anyBin = firstColumn <= lastColumn && firstRow <= lastRow;
    // Rows are read upwards and bins lie in the file row by row: when the
    // last bin wanted lies past the end of a file cut short, the reading
    // would fail there, so it fails before any memory is taken.
    if (anyBin && static_cast<int64_t>(lastRow) * head.bin_width + lastColumn >= pfm_bins_held(m_handle)) return -1;

    if (!ownGrid) {
        config.buffer = nullptr;
        try {
            config.output.assign(static_cast<size_t>(config.columns) * static_cast<size_t>(config.rows), config.noData);
        } catch (const std::bad_alloc&) {
            return -1;
        }
    } else {
        std::fill(config.buffer, config.buffer + config.columns * config.rows, config.noData);
    }
    float* out = config.buffer ? config.buffer : config.output.data();
    if (!anyBin) return 0;
    const double stepX = config.cellX / binX;
    const double stepY = config.cellY / binY;
    const int32_t count = lastColumn - firstColumn + 1;
    std::vector<BIN_RECORD> row;
    try {
        row.resize(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    PFMAttributeSet attributes(this);
    for (long r = 0; r < config.rows; ++r) {
        const double binRow = std::trunc(firstRow + r * stepY);
        if (binRow > lastRow) break;
        if (read_bin_row(m_handle, count, static_cast<int32_t>(binRow), firstColumn, row.data()) != 0) return -1;
        for (long c = 0; c < config.columns; ++c) {
            const double offset = std::trunc(c * stepX);
            if (offset >= count) break;
            const BIN_RECORD& record = row[static_cast<size_t>(offset)];
            if (record.num_soundings == 0) continue;
            attributes.set(record);
            if (config.filter && !config.filter->passes(&attributes)) continue;
            const float value = *rasterField(record, config.attribute);
            const long at = config.columnMajor ? c * config.rows + r : r * config.columns + c;
            out[at] = config.negate ? -value : value;
        }
    }
    return 0;
}
