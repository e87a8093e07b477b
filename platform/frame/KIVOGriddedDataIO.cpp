#include "platform/frame/KIVOGriddedDataIO.h"

#include <sys/stat.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <ostream>

#include "platform/core/NORVAAtomicFile.h"
#include "platform/core/NORVAFileTransaction.h"
#include "platform/core/NORVAByteIO.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOGriddedIter.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOResourceManager.h"
#include "platform/frame/KIVOSurfaceUtils.h"
#include "platform/pathkit/PathUtilities.h"
#include "platform/polyops/NORVAPolygonPrimitive.h"
#include "platform/shapes/NORVAAreaGeometry.h"
#include "platform/shapes/NORVALineGeometry.h"
#include "platform/shapes/NORVAPointGeometry.h"

namespace {

const char kMagic[4] = {'K', 'V', 'N', 'S'};
// Node counts such as 0.3 / 0.1 land just below the whole number.
const double kCountTolerance = 1e-9;
// Largest text attribute we lay out; longer lengths are a corrupt descriptor.
const uint32_t kMaxTextLength = 1u << 16;
const uint32_t kMaxStrings = 0xFFFF;  // 0xFFFF itself is the invalid index

NORVAType<KIVOSurfaceDataIO> createGridded(const NORVAUString& path) {
    return makeNORVAType<KIVOGriddedDataIO>(path);
}

[[maybe_unused]] const bool kRegistered =
    (KIVOSurfaceUtils::registerDataIO("Gridded Format", ".vns", KIVOSurfaceUtils::GRIDDED, createGridded, true),
     true);

// Node values are read and written once per sounding when a surface is
// built: on a little-endian host the bytes are copied as they stand.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kLittleEndianHost = true;
#else
constexpr bool kLittleEndianHost = false;
#endif

void putLE(uint8_t* p, uint64_t v, unsigned bytes) {
    if (kLittleEndianHost) {
        std::memcpy(p, &v, bytes);
        return;
    }
    for (unsigned i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint64_t getLE(const uint8_t* p, unsigned bytes) {
    uint64_t v = 0;
    if (kLittleEndianHost) {
        std::memcpy(&v, p, bytes);
        return v;
    }
    for (unsigned i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
    return v;
}

// A numeric value of the given type at p.
double readNumber(const uint8_t* p, int32_t type) {
    switch (type) {
        case KIVODataType::FLOAT: {
            const uint32_t bits = static_cast<uint32_t>(getLE(p, 4));
            float f = 0.0f;
            std::memcpy(&f, &bits, 4);
            return f;
        }
        case KIVODataType::USHORT: return static_cast<uint16_t>(getLE(p, 2));
        case KIVODataType::SHORT: return static_cast<int16_t>(getLE(p, 2));
        case KIVODataType::LONG: return static_cast<int32_t>(getLE(p, 4));
        case KIVODataType::ULONG: return static_cast<uint32_t>(getLE(p, 4));
        case KIVODataType::UCHAR: return p[0];
        default: {
            const uint64_t bits = getLE(p, 8);
            double value = 0.0;
            std::memcpy(&value, &bits, 8);
            return value;
        }
    }
}

// Cut toward zero; false for NaN or a value outside [lo, hi].
bool toWhole(double v, double lo, double hi, double& out) {
    if (std::isnan(v)) return false;
    const double t = std::trunc(v);
    if (t < lo || t > hi) return false;
    out = t;
    return true;
}

NORVAUString stemOf(const NORVAUString& path) {
    NORVAUString drive, folder, name;
    PathUtilities::parsePath(path, &drive, &folder, &name, nullptr);
    return drive + folder + name;
}

// At most `limit` bytes of UTF-8, never splitting a character.
std::string clipUTF8(const std::string& s, size_t limit) {
    if (s.size() <= limit) return s;
    size_t end = limit;
    while (end > 0 && (static_cast<uint8_t>(s[end]) & 0xC0) == 0x80) --end;
    return s.substr(0, end);
}

// Nodes along an extent such that every position of it, the far edge
// included, has a node within half a spacing: a position goes to its nearest
// node, so the last node must lie less than half a spacing short of the edge.
// The tolerance keeps inside an edge that arithmetic moved by an ulp.
double nodesCovering(double extent, double spacing) {
    return std::floor(extent / spacing + 0.5 + kCountTolerance) + 1.0;
}

bool allZero(const uint8_t* p, size_t n) {
    uint64_t any = 0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t word = 0;
        std::memcpy(&word, p + i, 8);
        any |= word;
    }
    for (; i < n; ++i) any |= p[i];
    return any == 0;
}

// Blocks of empty records are left as holes in the file, which read back
// as the zero bytes they are: a grid that soundings fill only in part is
// neither copied nor flushed to disk in full.
bool writeSparse(FILE* f, const uint8_t* data, size_t size) {
    const size_t kBlock = 64 * 1024;
    bool endsInHole = false;
    for (size_t at = 0; at < size; at += kBlock) {
        const size_t n = std::min(kBlock, size - at);
        endsInHole = allZero(data + at, n);
        const bool ok = endsInHole ? std::fseek(f, static_cast<long>(n), SEEK_CUR) == 0
                                   : NORVAByteIO::writeBytes(f, data + at, n);
        if (!ok) return false;
    }
    // A file that ends in a hole gets its size from its last byte.
    const uint8_t zero = 0;
    return !endsInHole || (std::fseek(f, -1, SEEK_CUR) == 0 && NORVAByteIO::writeBytes(f, &zero, 1));
}

uint64_t memoryCap() { return KIVOResourceManager::m_instance.getMemoryLimit(); }

}  // namespace

// ---------------------------------------------------------------- construction

KIVOGriddedDataIO::KIVOGriddedDataIO(const NORVAUString& path) : m_path(stemOf(path) + ".vns") {
    // A store cut short by a crash is finished (or dropped) first, and both
    // files are read again when a commit replaced them meanwhile.
    m_status = NORVAFileTransaction::readCommitted(stemOf(path), m_path, m_pin, GRIDDED_CANNOT_OPEN,
                                                   [this] { return readFiles(); });
}

long KIVOGriddedDataIO::readFiles() {
    m_metadata = makeNORVAType<KIVOSurfaceXMLMetaData>(stem() + ".xml");
    if (m_metadata->getStatus() != 0) return m_metadata->getStatus();
    m_descriptor = m_metadata->getAttributeTable()->getDescriptor().newCopy();
    if (!buildLayout()) return GRIDDED_BAD_FILE;
    return readGrid(m_path);
}

KIVOGriddedDataIO::KIVOGriddedDataIO(const NORVAUString& path, NORVAType<KIVOSurfaceXMLMetaData> metadata)
    : m_path(stemOf(path) + ".vns"), m_metadata(std::move(metadata)) {
    if (!m_metadata || m_metadata->getStatus() != 0) {
        m_status = m_metadata ? m_metadata->getStatus() : static_cast<long>(GRIDDED_NO_METADATA);
        return;
    }
    if ((m_status = KIVOSurfaceUtils::checkNameFree(m_path)) != 0) return;
    m_metadata->setFileName(stemOf(path) + ".xml");
    // Created over the files of another surface, it may replace those, and
    // only those: what a crash left is finished first.
    (void)NORVAFileTransaction::recover(stemOf(path));
    m_pin.take(m_path);
    m_descriptor = m_metadata->getAttributeTable()->getDescriptor().newCopy();
    double minX = 0, minY = 0, maxX = 0, maxY = 0, resX = 0, resY = 0;
    m_metadata->getCover(minX, minY, maxX, maxY);
    m_metadata->getResolution(resX, resY);
    const double cols = nodesCovering(maxX - minX, resX);
    const double rows = nodesCovering(maxY - minY, resY);
    if (!buildLayout() || !(resX > 0.0 && resY > 0.0) || !std::isfinite(minX) || !std::isfinite(minY) ||
        !(cols >= 1.0 && cols <= UINT32_MAX) || !(rows >= 1.0 && rows <= UINT32_MAX)) {
        m_status = GRIDDED_NO_METADATA;
        return;
    }
    m_originX = minX;
    m_originY = minY;
    m_spacingX = resX;
    m_spacingY = resY;
    m_columns = static_cast<uint32_t>(cols);
    m_rows = static_cast<uint32_t>(rows);
    m_status = allocateNodes(true);
}

KIVOGriddedDataIO::~KIVOGriddedDataIO() = default;

// Our own layout from the types, so that the file never depends on how a
// descriptor chose its offsets.
bool KIVOGriddedDataIO::buildLayout() {
    m_types.clear();
    m_textLengths.clear();
    m_offsets.clear();
    m_sizes.clear();
    const long n = m_descriptor->getNumberOfPersistent();
    if (n < 0 || n > static_cast<long>(UINT16_MAX)) return false;
    m_flagBytes = static_cast<uint32_t>((n + 7) / 8);
    uint64_t offset = m_flagBytes;
    for (long i = 0; i < n; ++i) {
        const KIVODataType::DATA_TYPE type = KIVODataType::fromInt(m_descriptor->getAttributeType(i));
        const uint32_t text = type == KIVODataType::TEXT ? m_descriptor->getLength(i) : 0;
        if (text > kMaxTextLength) return false;
        const uint32_t size = KIVODataType::storageSize(type, text);
        m_types.push_back(type);
        m_textLengths.push_back(text);
        m_offsets.push_back(static_cast<uint32_t>(offset));
        m_sizes.push_back(size);
        offset += size;
    }
    m_recordSize = static_cast<uint32_t>(offset);
    m_attributeCount = m_types.size();
    // Records of no bytes leave the node count unbounded by any file size or
    // memory limit: a surface needs at least one attribute.
    return m_recordSize != 0;
}

namespace {

// 1 / spacing when dividing by the spacing and multiplying by this give the
// same double for every value (a power of two, whose inverse is exact and
// normal); else 0.
double exactInverse(double spacing) {
    int exponent = 0;
    if (!std::isfinite(spacing) || std::frexp(spacing, &exponent) != 0.5) return 0.0;
    const double inverse = std::ldexp(1.0, 1 - exponent);
    return std::isnormal(inverse) ? inverse : 0.0;
}

}  // namespace

// Runs once the grid's extent is known, on both ways in.
long KIVOGriddedDataIO::allocateNodes(bool zeroed) {
    // A position is turned into a node once per node of a combine: a
    // multiplication where it gives what the division gives.
    m_inverseX = exactInverse(m_spacingX);
    m_inverseY = exactInverse(m_spacingY);
    const uint64_t nodes = getNodeCount();
    if (m_recordSize != 0 && nodes > memoryCap() / m_recordSize) return GRIDDED_NO_MEMORY;
    // A new grid takes zeroed pages straight from the system: it costs memory
    // and time only where nodes are written, not for its whole extent up
    // front. A grid read from its file has every byte overwritten: zeroing
    // it first would only cost time.
    const size_t bytes = static_cast<size_t>(nodes * m_recordSize);
    m_heldNodes = 0;
    void* block = bytes == 0 ? nullptr : zeroed ? std::calloc(bytes, 1) : std::malloc(bytes);
    m_nodes.reset(static_cast<uint8_t*>(block));
    if (bytes != 0 && !m_nodes) {
        m_nodeBytes = 0;
        return GRIDDED_NO_MEMORY;
    }
    m_nodeBytes = bytes;
    m_heldNodes = bytes != 0 ? nodes : 0;
    return 0;
}

NORVAUString KIVOGriddedDataIO::stem() const { return stemOf(m_path); }

void KIVOGriddedDataIO::print(std::ostream& os) const {
    os << "KIVOGriddedDataIO(" << m_path << ", " << m_columns << " x " << m_rows << " nodes from " << m_originX
       << " " << m_originY << " at " << m_spacingX << ", status " << m_status << ")";
}

// ---------------------------------------------------------------- reading

long KIVOGriddedDataIO::readGrid(const NORVAUString& vnsPath) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(NORVAFileUtils::openRegularFile(vnsPath), &std::fclose);
    struct stat st;
    if (!file || ::fstat(::fileno(file.get()), &st) != 0) return GRIDDED_CANNOT_OPEN;
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    FILE* f = file.get();
    long status = readHeader(f, size);
    if (status != 0) return status;
    const long position = std::ftell(f);
    if (position < 0 || static_cast<uint64_t>(position) > size) return GRIDDED_BAD_FILE;
    uint64_t remaining = size - static_cast<uint64_t>(position);
    status = readStrings(f, remaining);
    if (status != 0) return status;
    const uint64_t nodes = getNodeCount();
    if (m_recordSize != 0 && nodes > remaining / m_recordSize) return GRIDDED_BAD_FILE;
    if (nodes * m_recordSize != remaining) return GRIDDED_BAD_FILE;
    status = allocateNodes(false);
    if (status != 0) return status;
    if (m_nodeBytes != 0 && !NORVAByteIO::readBytes(f, m_nodes.get(), m_nodeBytes)) {
        // No node is held whose bytes were never read.
        m_nodes.reset();
        m_nodeBytes = 0;
        m_heldNodes = 0;
        return GRIDDED_BAD_FILE;
    }
    return 0;
}

long KIVOGriddedDataIO::readHeader(FILE* f, uint64_t fileSize) {
    using namespace NORVAByteIO;
    char magic[4] = {};
    uint16_t version = 0, reserved = 0;
    if (!readBytes(f, magic, 4) || std::memcmp(magic, kMagic, 4) != 0) return GRIDDED_BAD_FILE;
    if (!readU16(f, version)) return GRIDDED_BAD_FILE;
    if (version != kVersion) return GRIDDED_BAD_VERSION;
    uint32_t attributes = 0, recordSize = 0;
    if (!readU16(f, reserved) || reserved != 0 || !readF64(f, m_originX) || !readF64(f, m_originY) ||
        !readF64(f, m_spacingX) || !readF64(f, m_spacingY) || !readU32(f, m_columns) || !readU32(f, m_rows) ||
        !readU32(f, attributes) || !readU32(f, recordSize))
        return GRIDDED_BAD_FILE;
    if (!std::isfinite(m_originX) || !std::isfinite(m_originY) || !(m_spacingX > 0.0) || !(m_spacingY > 0.0) ||
        !std::isfinite(m_spacingX) || !std::isfinite(m_spacingY) || m_columns == 0 || m_rows == 0)
        return GRIDDED_BAD_FILE;
    // The file must describe the layout its metadata's descriptor gives.
    if (attributes != m_types.size() || recordSize != m_recordSize) return GRIDDED_BAD_FILE;
    for (size_t i = 0; i < m_types.size(); ++i) {
        int32_t type = 0;
        uint32_t text = 0;
        if (!readI32(f, type) || !readU32(f, text) || type != m_types[i] || text != m_textLengths[i])
            return GRIDDED_BAD_FILE;
    }
    return 0;
}

long KIVOGriddedDataIO::readStrings(FILE* f, uint64_t& remaining) {
    uint32_t count = 0;
    if (remaining < 4 || !NORVAByteIO::readU32(f, count)) return GRIDDED_BAD_FILE;
    remaining -= 4;
    if (count > kMaxStrings || static_cast<uint64_t>(count) * 4 > remaining) return GRIDDED_BAD_FILE;
    m_strings.clear();
    m_strings.reserve(count);
    std::string bytes;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t length = 0;
        if (remaining < 4 || !NORVAByteIO::readU32(f, length)) return GRIDDED_BAD_FILE;
        remaining -= 4;
        if (length > remaining) return GRIDDED_BAD_FILE;
        bytes.assign(length, '\0');
        if (length != 0 && !NORVAByteIO::readBytes(f, &bytes[0], length)) return GRIDDED_BAD_FILE;
        remaining -= length;
        m_strings.emplace_back(bytes);
    }
    return 0;
}

// ---------------------------------------------------------------- writing

long KIVOGriddedDataIO::writeGrid(const NORVAUString& vnsPath) const {
    using namespace NORVAByteIO;
    NORVAAtomicFile out;
    if (!out.open(vnsPath)) return GRIDDED_WRITE_FAILED;
    FILE* f = out.file();
    bool ok = writeBytes(f, kMagic, 4) && writeU16(f, kVersion) && writeU16(f, 0) && writeF64(f, m_originX) &&
              writeF64(f, m_originY) && writeF64(f, m_spacingX) && writeF64(f, m_spacingY) &&
              writeU32(f, m_columns) && writeU32(f, m_rows) && writeU32(f, static_cast<uint32_t>(m_types.size())) &&
              writeU32(f, m_recordSize);
    for (size_t i = 0; ok && i < m_types.size(); ++i) ok = writeI32(f, m_types[i]) && writeU32(f, m_textLengths[i]);
    ok = ok && writeU32(f, static_cast<uint32_t>(m_strings.size()));
    for (size_t i = 0; ok && i < m_strings.size(); ++i) {
        const std::string s = m_strings[i].toUTF8();
        ok = writeU32(f, static_cast<uint32_t>(s.size())) && writeBytes(f, s.data(), s.size());
    }
    // The records are already little-endian field by field (see setNode*).
    ok = ok && (m_nodeBytes == 0 || writeSparse(f, m_nodes.get(), m_nodeBytes));
    if (!ok) {
        out.markFailed();
        return GRIDDED_WRITE_FAILED;
    }
    return out.commit() ? 0L : static_cast<long>(GRIDDED_WRITE_FAILED);
}

// Minimum and maximum of every numeric attribute over the nodes that hold
// it, in one pass over the records.
void KIVOGriddedDataIO::updateRange() {
    KIVOMetaAttribute& meta = m_metadata->getAttributeTable()->getMetaAttribute();
    KIVOMemAttributeSet minimum(meta.getDescriptor()), maximum(meta.getDescriptor());
    std::vector<long> numeric;
    for (long a = 0; a < static_cast<long>(m_types.size()); ++a)
        if (!isTextAttribute(a)) numeric.push_back(a);
    const double infinity = std::numeric_limits<double>::infinity();
    std::vector<double> lo(m_types.size(), infinity), hi(m_types.size(), -infinity);
    // A block of records at a time, each attribute in turn: the block stays
    // in the cache while its attributes are read.
    const uint64_t kBlock = 4096;
    for (uint64_t first = 0; first < m_heldNodes; first += kBlock)
        for (const long a : numeric) rangeOf(a, first, std::min(kBlock, m_heldNodes - first), lo[a], hi[a]);
    for (const long a : numeric) {
        if (lo[a] > hi[a]) continue;
        minimum.setValue(a, lo[a]);
        maximum.setValue(a, hi[a]);
    }
    meta.setMinimum(minimum);
    meta.setMaximum(maximum);
}

namespace {

// Widens [lo, hi] by the values of one attribute of type T over the records
// whose flag bit says they hold it. One attribute at a time, the type fixed:
// a store walks every record. The bounds are kept in locals: through the
// references every record would wait for the last one's stores.
template <class T>
void widenRange(const uint8_t* records, uint64_t count, uint32_t recordSize, uint32_t flagByte, uint8_t flagBit,
                uint32_t offset, double& lo, double& hi) {
    double low = lo, high = hi;
    const uint8_t* r = records;
    for (uint64_t node = 0; node < count; ++node, r += recordSize) {
        if (!(r[flagByte] & flagBit)) continue;
        T stored;
        std::memcpy(&stored, r + offset, sizeof stored);
        const double v = static_cast<double>(stored);
        if (std::isnan(v)) continue;
        low = std::min(low, v);
        high = std::max(high, v);
    }
    lo = low;
    hi = high;
}

}  // namespace

void KIVOGriddedDataIO::rangeOf(long a, uint64_t first, uint64_t count, double& lo, double& hi) const {
    const uint8_t* records = record(first);
    const uint32_t flagByte = static_cast<uint32_t>(KIVOGriddedDataIO::flagByte(a));
    const uint8_t flagBit = KIVOGriddedDataIO::flagBit(a);
    const uint32_t offset = m_offsets[a];
    if (kLittleEndianHost) {
        switch (m_types[a]) {
            case KIVODataType::FLOAT:
                return widenRange<float>(records, count, m_recordSize, flagByte, flagBit, offset, lo, hi);
            case KIVODataType::USHORT:
                return widenRange<uint16_t>(records, count, m_recordSize, flagByte, flagBit, offset, lo, hi);
            case KIVODataType::SHORT:
                return widenRange<int16_t>(records, count, m_recordSize, flagByte, flagBit, offset, lo, hi);
            case KIVODataType::LONG:
                return widenRange<int32_t>(records, count, m_recordSize, flagByte, flagBit, offset, lo, hi);
            case KIVODataType::ULONG:
                return widenRange<uint32_t>(records, count, m_recordSize, flagByte, flagBit, offset, lo, hi);
            case KIVODataType::UCHAR:
                return widenRange<uint8_t>(records, count, m_recordSize, flagByte, flagBit, offset, lo, hi);
            default:
                return widenRange<double>(records, count, m_recordSize, flagByte, flagBit, offset, lo, hi);
        }
    }
    const uint8_t* r = records;
    for (uint64_t node = 0; node < count; ++node, r += m_recordSize) {
        if (!(r[flagByte] & flagBit)) continue;
        const double v = readNumber(r + offset, m_types[a]);
        if (std::isnan(v)) continue;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
}

long KIVOGriddedDataIO::store(NORVAProgress* progress) {
    if (m_status != 0) return m_status;
    if (progress) progress->setSteps(2);
    updateRange();
    if (const long recovered = NORVAFileTransaction::recoverStatus(stem(), GRIDDED_CANNOT_OPEN)) return recovered;
    // The grid and its metadata describe each other (range, attribute set):
    // both commit together or neither does.
    NORVAFileTransaction transaction(stem());
    transaction.guard(m_pin);
    long status = KIVOSurfaceUtils::requireNameFree(transaction, m_path, m_pin);
    if (status == 0) status = writeGrid(m_path);
    if (status != 0) return status;
    if (progress) progress->step();
    m_metadata->setFileName(stem() + ".xml");
    status = m_metadata->store();
    if (status != 0) return status;
    status = transaction.commitStatus(GRIDDED_WRITE_FAILED);
    if (status != 0) return status;
    if (progress) progress->step();
    m_modified = false;
    return 0;
}

// ---------------------------------------------------------------- nodes

void KIVOGriddedDataIO::nodePosition(uint64_t node, double& x, double& y) const {
    nodePosition(node % m_columns, node / m_columns, x, y);
}

int64_t KIVOGriddedDataIO::nearestNode(double x, double y) const {
    int64_t column = 0, row = 0;
    if (worldToIndex(x, y, column, row) != 0) return -1;
    return row * static_cast<int64_t>(m_columns) + column;
}

long KIVOGriddedDataIO::worldToIndex(double x, double y, int64_t& column, int64_t& row) const {
    if (m_columns == 0 || m_rows == 0) return GRIDDED_OUTSIDE;
    // The nearest index is floor(c) and floor(r); for the whole bounds below
    // the bound tests give the same answer on c and r themselves, and
    // truncating a value of at least 0 is its floor. A combine asks once per
    // node.
    const double c = (m_inverseX != 0.0 ? (x - m_originX) * m_inverseX : (x - m_originX) / m_spacingX) + 0.5;
    const double r = (m_inverseY != 0.0 ? (y - m_originY) * m_inverseY : (y - m_originY) / m_spacingY) + 0.5;
    if (!(c >= 0.0 && c < m_columns) || !(r >= 0.0 && r < m_rows)) return GRIDDED_OUTSIDE;
    column = static_cast<int64_t>(c);
    row = static_cast<int64_t>(r);
    return 0;
}

long KIVOGriddedDataIO::indexToWorld(int64_t column, int64_t row, double& x, double& y) const {
    if (column < 0 || row < 0 || column >= m_columns || row >= m_rows) return GRIDDED_OUTSIDE;
    nodePosition(static_cast<uint64_t>(row) * m_columns + static_cast<uint64_t>(column), x, y);
    return 0;
}


namespace {

// Zeroes n bytes with plain whole-word stores where n allows: a node is
// cleared and then written field by field, and the flag bytes read back
// right away come straight from such stores, not from the wide masked ones
// a general memset may use for a few bytes.
void zeroBytes(uint8_t* p, size_t n) {
    const uint64_t zero = 0;
    if (n >= 8 && n <= 16) {
        std::memcpy(p, &zero, 8);
        std::memcpy(p + n - 8, &zero, 8);
    } else if (n >= 4 && n < 8) {
        std::memcpy(p, &zero, 4);
        std::memcpy(p + n - 4, &zero, 4);
    } else {
        std::memset(p, 0, n);
    }
}

}  // namespace

void KIVOGriddedDataIO::clearNode(uint64_t node) {
    if (node >= m_heldNodes) return;
    zeroBytes(record(node), m_recordSize);
    m_modified = true;
}

void KIVOGriddedDataIO::unsetNode(uint64_t node, long attribute) {
    if (!validField(node, attribute)) return;
    uint8_t* r = record(node);
    r[flagByte(attribute)] = static_cast<uint8_t>(r[flagByte(attribute)] & ~flagBit(attribute));
    std::memset(r + m_offsets[attribute], 0, m_sizes[attribute]);
    m_modified = true;
}

long KIVOGriddedDataIO::getTextNumber(uint64_t node, long attribute, double& value) const {
    NORVAUString text;
    return getNodeText(node, attribute, text) == 0 && text.parseDouble(value) ? 0 : -1;
}

// The value of a numeric attribute held in a record, whatever its flag says.
double KIVOGriddedDataIO::numberAt(const uint8_t* r, long attribute) const {
    return readNumber(r + m_offsets[attribute], m_types[attribute]);
}

long KIVOGriddedDataIO::convertAndSet(uint64_t node, long attribute, double value) {
    if (!validField(node, attribute)) return -1;
    if (isTextAttribute(attribute)) return setNodeText(node, attribute, NORVAUString::formatDouble(value));
    uint8_t* p = record(node) + m_offsets[attribute];
    double whole = 0.0;
    switch (m_types[attribute]) {
        case KIVODataType::FLOAT: {
            if (std::isfinite(value) && std::fabs(value) > FLT_MAX) return -1;
            const float f = static_cast<float>(value);
            uint32_t bits = 0;
            std::memcpy(&bits, &f, 4);
            putLE(p, bits, 4);
            break;
        }
        case KIVODataType::USHORT:
            if (!toWhole(value, 0, UINT16_MAX, whole)) return -1;
            putLE(p, static_cast<uint16_t>(whole), 2);
            break;
        case KIVODataType::SHORT:
            if (!toWhole(value, INT16_MIN, INT16_MAX, whole)) return -1;
            putLE(p, static_cast<uint16_t>(static_cast<int16_t>(whole)), 2);
            break;
        case KIVODataType::LONG:
            if (!toWhole(value, INT32_MIN, INT32_MAX, whole)) return -1;
            putLE(p, static_cast<uint32_t>(static_cast<int32_t>(whole)), 4);
            break;
        case KIVODataType::ULONG:
            if (!toWhole(value, 0, UINT32_MAX, whole)) return -1;
            putLE(p, static_cast<uint32_t>(whole), 4);
            break;
        case KIVODataType::UCHAR:
            if (!toWhole(value, 0, UINT8_MAX, whole)) return -1;
            p[0] = static_cast<uint8_t>(whole);
            break;
        default: {
            uint64_t bits = 0;
            std::memcpy(&bits, &value, 8);
            putLE(p, bits, 8);
            break;
        }
    }
    record(node)[flagByte(attribute)] |= flagBit(attribute);
    m_modified = true;
    return 0;
}

long KIVOGriddedDataIO::getNodeText(uint64_t node, long attribute, NORVAUString& value) const {
    if (!isNodeSet(node, attribute)) return -1;
    const uint8_t* p = record(node) + m_offsets[attribute];
    if (m_types[attribute] == KIVODataType::STRING) {
        const uint16_t index = static_cast<uint16_t>(getLE(p, 2));
        if (index >= m_strings.size()) return -1;  // a corrupt file can point anywhere
        // A caller reading node after node mostly holds this text already;
        // the copy would cost two atomic steps on the text's shared buffer.
        if (value != m_strings[index]) value = m_strings[index];
        return 0;
    }
    if (m_types[attribute] == KIVODataType::TEXT) {
        const size_t n = strnlen(reinterpret_cast<const char*>(p), m_sizes[attribute]);
        value = NORVAUString(std::string(reinterpret_cast<const char*>(p), n));
        return 0;
    }
    double v = 0.0;
    if (getNodeNumber(node, attribute, v) != 0) return -1;
    value = NORVAUString::formatDouble(v);
    return 0;
}

long KIVOGriddedDataIO::setNodeText(uint64_t node, long attribute, const NORVAUString& value) {
    if (!validField(node, attribute)) return -1;
    if (!isTextAttribute(attribute)) {
        double v = 0.0;
        return value.parseDouble(v) ? setNodeNumber(node, attribute, v) : -1;
    }
    uint8_t* p = record(node) + m_offsets[attribute];
    if (m_types[attribute] == KIVODataType::STRING) {
        const long index = stringEntry(value);
        if (index < 0) return -1;
        putLE(p, static_cast<uint64_t>(index), 2);
    } else {
        // One byte stays zero: the field always ends its text.
        const std::string s = clipUTF8(value.toUTF8(), m_sizes[attribute] - 1);
        std::memset(p, 0, m_sizes[attribute]);
        std::memcpy(p, s.data(), s.size());
    }
    record(node)[flagByte(attribute)] |= flagBit(attribute);
    m_modified = true;
    return 0;
}

long KIVOGriddedDataIO::stringEntry(const NORVAUString& value) {
    // Nodes written one after another mostly repeat the last string.
    size_t index = m_lastString;
    if (index >= m_strings.size() || m_strings[index] != value) {
        index = 0;
        while (index < m_strings.size() && m_strings[index] != value) ++index;
    }
    if (index == m_strings.size()) {
        if (m_strings.size() >= kMaxStrings) return -1;
        m_strings.push_back(value);
    }
    m_lastString = index;
    return static_cast<long>(index);
}

long KIVOGriddedDataIO::copyIn(uint64_t node, long attribute, const KIVOAttributeSet& src, long srcIndex) {
    if (!src.isSet(srcIndex)) return 0;
    if (isTextAttribute(attribute)) {
        NORVAUString text;
        if (src.getStringValue(srcIndex, text, false) != 0) return -1;
        return setNodeText(node, attribute, text);
    }
    double v = 0.0;
    if (src.getDoubleValue(srcIndex, v, false) != 0) return -1;
    return setNodeNumber(node, attribute, v);
}

long KIVOGriddedDataIO::set(double x, double y, const KIVOAttributeSet& attributes, const KIVODescriptor& descriptor,
                            double resolution) {
    if (m_status != 0) return m_status;
    const int64_t node = nearestNode(x, y);
    if (node < 0) return GRIDDED_OUTSIDE;
    long result = 0;
    for (long j = 0; j < descriptor.getNumberOfAttributes(); ++j) {
        const long i = m_descriptor->getAttributeIndex(descriptor.getAttributeName(j));
        if (i < 0 || i >= static_cast<long>(m_types.size())) continue;
        const long status = copyIn(static_cast<uint64_t>(node), i, attributes, j);
        if (status != 0 && result == 0) result = status;
    }
    return result;
}

// ---------------------------------------------------------------- queries

NORVAType<KIVOSurfaceIter> KIVOGriddedDataIO::makeIter(int64_t c0, int64_t r0, int64_t c1, int64_t r1, bool create,
                                                       std::function<bool(double, double)> inside, long& status) {
    status = 0;
    return makeNORVAType<KIVOGriddedIter>(*this, c0, r0, c1, r1, !create, std::move(inside));
}

// Candidate window from the box, a node wide on each side; the exact test
// on the node's own position decides, so a box that just touches a node
// serves it.
NORVAType<KIVOSurfaceIter> KIVOGriddedDataIO::boxIter(double x0, double y0, double x1, double y1, bool create,
                                                      std::function<bool(double, double)> inside, long& status) {
    if (std::isnan(x0) || std::isnan(y0) || std::isnan(x1) || std::isnan(y1) || m_status != 0) {
        status = m_status != 0 ? m_status : static_cast<long>(GRIDDED_OUTSIDE);
        return NORVAType<KIVOSurfaceIter>();
    }
    const double minX = std::min(x0, x1), maxX = std::max(x0, x1);
    const double minY = std::min(y0, y1), maxY = std::max(y0, y1);
    auto clampIndex = [](double v, uint32_t count) {
        return static_cast<int64_t>(std::max(-1.0, std::min(v, static_cast<double>(count))));
    };
    const int64_t c0 = std::max<int64_t>(0, clampIndex(std::floor((minX - m_originX) / m_spacingX) - 1, m_columns));
    const int64_t c1 = clampIndex(std::ceil((maxX - m_originX) / m_spacingX) + 1, m_columns - 1);
    const int64_t r0 = std::max<int64_t>(0, clampIndex(std::floor((minY - m_originY) / m_spacingY) - 1, m_rows));
    const int64_t r1 = clampIndex(std::ceil((maxY - m_originY) / m_spacingY) + 1, m_rows - 1);
    // A window whose corner nodes lie in the box lies in it whole: no node
    // needs the test.
    double cornerX0 = 0.0, cornerY0 = 0.0, cornerX1 = 0.0, cornerY1 = 0.0;
    nodePosition(static_cast<uint64_t>(std::max<int64_t>(c0, 0)), static_cast<uint64_t>(std::max<int64_t>(r0, 0)),
                 cornerX0, cornerY0);
    nodePosition(static_cast<uint64_t>(std::max<int64_t>(c1, 0)), static_cast<uint64_t>(std::max<int64_t>(r1, 0)),
                 cornerX1, cornerY1);
    if (!inside && cornerX0 >= minX && cornerX1 <= maxX && cornerY0 >= minY && cornerY1 <= maxY)
        return makeIter(c0, r0, c1, r1, create, nullptr, status);
    auto test = [minX, minY, maxX, maxY, inside](double x, double y) {
        return x >= minX && x <= maxX && y >= minY && y <= maxY && (!inside || inside(x, y));
    };
    return makeIter(c0, r0, c1, r1, create, test, status);
}

NORVAType<KIVOSurfaceIter> KIVOGriddedDataIO::query(double x0, double y0, double x1, double y1, bool create,
                                                    long& status, NORVAProgress* progress, double resolution) {
    return boxIter(x0, y0, x1, y1, create, nullptr, status);
}

namespace {

double segmentDistance(const NORVAPoint2D& a, const NORVAPoint2D& b, double x, double y) {
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double length2 = dx * dx + dy * dy;
    double t = length2 > 0.0 ? ((x - a.x()) * dx + (y - a.y()) * dy) / length2 : 0.0;
    t = std::max(0.0, std::min(1.0, t));
    return std::hypot(x - (a.x() + t * dx), y - (a.y() + t * dy));
}

bool nearLine(const std::vector<NORVAPoint2D>& points, double reach, double x, double y) {
    if (points.size() == 1) return std::hypot(x - points[0].x(), y - points[0].y()) <= reach;
    for (size_t i = 1; i < points.size(); ++i)
        if (segmentDistance(points[i - 1], points[i], x, y) <= reach) return true;
    return false;
}

}  // namespace

NORVAType<KIVOSurfaceIter> KIVOGriddedDataIO::queryPoint(double x, double y, bool create, long& status) {
    if (m_status != 0) {
        status = m_status;
        return NORVAType<KIVOSurfaceIter>();
    }
    int64_t column = 0, row = 0;
    if (worldToIndex(x, y, column, row) != 0) return makeIter(0, 0, -1, -1, create, nullptr, status);
    status = 0;
    return makeNORVAType<KIVOGriddedIter>(*this, column, row, !create);
}

NORVAType<KIVOSurfaceIter> KIVOGriddedDataIO::query(const NORVAGeometry& geometry, bool create, long& status,
                                                    NORVAProgress* progress, double resolution) {
    if (m_status != 0) {
        status = m_status;
        return NORVAType<KIVOSurfaceIter>();
    }
    if (geometry.getType() == NORVAGeometry::POINT) {
        const auto& point = static_cast<const NORVAPointGeometry&>(geometry);
        return queryPoint(point.getX(), point.getY(), create, status);
    }
    const NORVABox2D box = geometry.getBoundingBox();
    if (box.isEmpty()) return makeIter(0, 0, -1, -1, create, nullptr, status);
    const double x0 = box.getMinimum().x(), y0 = box.getMinimum().y();
    const double x1 = box.getMaximum().x(), y1 = box.getMaximum().y();
    if (geometry.getType() == NORVAGeometry::AREA) {
        auto polygon = std::make_shared<NORVACompGeom::NORVAPolygonPrimitive>(
            static_cast<const NORVAAreaGeometry&>(geometry));
        auto inside = [polygon](double x, double y) {
            long s = 0;
            return polygon->isPointInPolygon(x, y, s);
        };
        return boxIter(x0, y0, x1, y1, create, inside, status);
    }
    if (geometry.getType() == NORVAGeometry::LINE) {
        // Nodes whose cells the line may cross: within half a cell diagonal.
        const double reach = 0.5 * std::hypot(m_spacingX, m_spacingY);
        auto points = std::make_shared<std::vector<NORVAPoint2D>>(
            static_cast<const NORVALineGeometry&>(geometry).getPoints());
        auto inside = [points, reach](double x, double y) { return nearLine(*points, reach, x, y); };
        return boxIter(x0 - reach, y0 - reach, x1 + reach, y1 + reach, create, inside, status);
    }
    return boxIter(x0, y0, x1, y1, create, nullptr, status);
}

// ---------------------------------------------------------------- files

long KIVOGriddedDataIO::deleteAllFiles(bool withMetadata) {
    const NORVAUString xml = stem() + ".xml";
    (void)NORVAFileTransaction::recover(stem());
    {
        NORVAFileTransaction transaction(stem());
        transaction.remove(m_path);
        if (withMetadata) transaction.remove(xml);
        // Inside another surface's commit (a compound's members) the files
        // go when that one commits; it checks what remains.
        if (transaction.isNested()) return transaction.commit() ? 0L : static_cast<long>(GRIDDED_CANNOT_OPEN);
        (void)transaction.commit();
    }
    // Only what is truly gone counts: files, and temporaries a crash left.
    const bool remains = NORVAFileUtils::exists(m_path) || (withMetadata && NORVAFileUtils::exists(xml)) ||
                         !NORVAFileTransaction::leftovers(stem()).empty();
    return remains ? static_cast<long>(GRIDDED_CANNOT_OPEN) : 0L;
}

long KIVOGriddedDataIO::getAssociatedFiles(std::vector<NORVAUString>& files) const {
    files.push_back(m_path);
    files.push_back(stem() + ".xml");
    return 0;
}

long KIVOGriddedDataIO::rename(const NORVAUString& newName) {
    NORVAUString drive, folder, name, newStem;
    PathUtilities::parsePath(m_path, &drive, &folder, nullptr, nullptr);
    // Only the name counts: the surface stays in its folder.
    PathUtilities::parsePath(newName, nullptr, nullptr, &name, nullptr);
    if (name.isEmpty()) return GRIDDED_CANNOT_OPEN;
    newStem = drive + folder + name;
    const NORVAUString oldStem = stem();
    if (newStem == oldStem) return 0;
    for (const NORVAUString& s : {oldStem, newStem})
        if (const long recovered = NORVAFileTransaction::recoverStatus(s, GRIDDED_CANNOT_OPEN)) return recovered;
    const char* const extensions[] = {".vns", ".xml"};
    for (const char* ext : extensions)
        if (NORVAFileUtils::exists(newStem + ext)) return GRIDDED_CANNOT_OPEN;  // never over another surface
    // Like a store, a rename moves only the files this object read.
    NORVAFileTransaction transaction(oldStem);
    transaction.guard(m_pin, newStem + ".vns");
    transaction.journalAlsoAt(newStem);
    for (const char* ext : extensions) transaction.move(oldStem + ext, newStem + ext);
    if (const long status = transaction.commitStatus(GRIDDED_CANNOT_OPEN)) return status;
    m_path = newStem + ".vns";
    m_metadata->setFileName(newStem + ".xml");
    return 0;
}
