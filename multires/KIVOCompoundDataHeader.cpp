#include "multires/KIVOCompoundDataHeader.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include <sys/stat.h>

#include "platform/core/NORVAByteIO.h"

const uint8_t KIVOCompoundDataHeader::kMagic[kMagicSize] = {0x89, 'K', 'I', 'V', 'O', 'M',
                                                            'R',  'S', '\r', '\n', 0x1A, '\n'};

namespace {

constexpr size_t kEntryBytes = 20;

bool finite(const NORVAArray<double>& a) {
    for (double v : a)
        if (!std::isfinite(v)) return false;
    return true;
}

bool finiteTable(const KIVOResolutionTable& table) {
    for (const auto& entry : table)
        if (!std::isfinite(entry.first.first) || !std::isfinite(entry.first.second) || !std::isfinite(entry.second))
            return false;
    return true;
}

constexpr size_t kFixedBytes = 52;  // magic to name length

// Bytes from the stream's position to its end; the largest value when
// that cannot be told (a pipe), so reading then stops at the end instead.
uint64_t bytesLeft(FILE* file) {
    struct stat st {};
    const off_t at = ftello(file);
    if (at < 0 || fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < at) return UINT64_MAX;
    return static_cast<uint64_t>(st.st_size - at);
}

// Appends up to `n` more bytes of the stream; nothing when fewer are left
// (the decoder then reports the short header). False on a stream error.
bool readMore(FILE* file, std::vector<uint8_t>& out, uint64_t n) {
    if (n > bytesLeft(file)) return true;
    uint8_t chunk[65536];
    while (n > 0) {
        const size_t want = n < sizeof chunk ? static_cast<size_t>(n) : sizeof chunk;
        const size_t got = std::fread(chunk, 1, want, file);
        out.insert(out.end(), chunk, chunk + got);
        if (got < want) return !std::ferror(file);
        n -= got;
    }
    return true;
}

uint32_t u32At(const std::vector<uint8_t>& b, size_t at) {
    size_t pos = at;
    uint32_t v = 0;
    NORVAByteIO::getU32(b.data(), b.size(), pos, v);
    return v;
}

// The header's bytes, read part by part: each length read decides how much
// more to read, so a damaged file costs no more than the header it claims
// to be (and never more than the bytes it holds).
bool readHeaderBytes(FILE* file, std::vector<uint8_t>& out) {
    const uint64_t fixed = std::min<uint64_t>(kFixedBytes, bytesLeft(file));
    if (!readMore(file, out, fixed)) return false;
    if (out.size() < kFixedBytes || !std::equal(out.begin(), out.begin() + 12, KIVOCompoundDataHeader::kMagic))
        return true;
    const uint64_t nameAndCount = 2ull * u32At(out, kFixedBytes - 4) + 4;
    if (!readMore(file, out, nameAndCount)) return false;
    if (out.size() != kFixedBytes + nameAndCount) return true;
    const int32_t count = static_cast<int32_t>(u32At(out, out.size() - 4));
    return count <= 0 || readMore(file, out, static_cast<uint64_t>(count) * kEntryBytes);
}

}  // namespace

KIVOCompoundDataHeader::KIVOCompoundDataHeader(const NORVAArray<double>& minimum, const NORVAArray<double>& maximum,
                                               const NORVAUString& selector, const KIVOResolutionTable& table)
    : m_selector(selector), m_table(table) {
    for (size_t i = 0; i < 2; ++i) {
        m_minimum[i] = i < minimum.size() ? minimum[i] : 0.0;
        m_maximum[i] = i < maximum.size() ? maximum[i] : 0.0;
    }
    if (!finite(m_minimum) || !finite(m_maximum) || !finiteTable(m_table)) m_status = kBadValue;
}

KIVOCompoundDataHeader::KIVOCompoundDataHeader(FILE* file) {
    if (file == nullptr) {
        m_status = kNoStream;
        return;
    }
    std::vector<uint8_t> bytes;
    if (!readHeaderBytes(file, bytes)) {
        m_status = kBadHeader;
        return;
    }
    m_status = decode(bytes.data(), bytes.size());
}

KIVOCompoundDataHeader::KIVOCompoundDataHeader(const uint8_t* data, size_t size) {
    m_status = data == nullptr && size != 0 ? kNoStream : decode(data, size);
}

long KIVOCompoundDataHeader::decode(const uint8_t* data, size_t size) {
    using namespace NORVAByteIO;
    size_t pos = 0;
    uint8_t magic[kMagicSize];
    if (!getBytes(data, size, pos, magic, kMagicSize) || !std::equal(magic, magic + kMagicSize, kMagic))
        return kBadHeader;
    if (!getU16(data, size, pos, m_version)) return kBadHeader;
    if (m_version > kVersion) return kBadVersion;
    if (!getU16(data, size, pos, m_reserved)) return kBadHeader;
    if (m_reserved != 0) return kBadReserved;
    double bounds[4];
    for (double& b : bounds)
        if (!getF64(data, size, pos, b)) return kBadHeader;
    m_minimum = NORVAArray<double>{bounds[0], bounds[1]};
    m_maximum = NORVAArray<double>{bounds[2], bounds[3]};
    if (!finite(m_minimum) || !finite(m_maximum)) return kBadHeader;
    const long status = decodeName(data, size, pos);
    return status != 0 ? status : decodeTable(data, size, pos);
}

long KIVOCompoundDataHeader::decodeName(const uint8_t* data, size_t size, size_t& pos) {
    uint32_t units = 0;
    if (!NORVAByteIO::getU32(data, size, pos, units)) return kBadHeader;
    // The length is checked against the bytes left before anything is built.
    if (static_cast<uint64_t>(units) * 2u > static_cast<uint64_t>(size - pos)) return kBadHeader;
    icu::UnicodeString name;
    for (uint32_t i = 0; i < units; ++i) {
        uint16_t unit = 0;
        NORVAByteIO::getU16(data, size, pos, unit);
        name.append(static_cast<char16_t>(unit));
    }
    m_selector = NORVAUString(name);
    return 0;
}

long KIVOCompoundDataHeader::decodeTable(const uint8_t* data, size_t size, size_t& pos) {
    int32_t count = 0;
    if (!NORVAByteIO::getI32(data, size, pos, count)) return kBadHeader;
    if (count <= 0) return 0;
    // A table shorter than its count is a failed read of its entries.
    if (static_cast<uint64_t>(count) * kEntryBytes > static_cast<uint64_t>(size - pos)) return kWriteFailed;
    for (int32_t i = 0; i < count; ++i) {
        double low = 0.0, high = 0.0;
        float resolution = 0.0f;
        NORVAByteIO::getF64(data, size, pos, low);
        NORVAByteIO::getF64(data, size, pos, high);
        NORVAByteIO::getF32(data, size, pos, resolution);
        // A NaN key would leave the ordered table without an order, and a
        // member with a resolution that is not a number has no grid.
        if (!std::isfinite(low) || !std::isfinite(high) || !std::isfinite(resolution)) return kBadHeader;
        m_table[KIVORangeEntry(low, high)] = resolution;
    }
    return 0;
}

void KIVOCompoundDataHeader::encode(std::vector<uint8_t>& out) const {
    using namespace NORVAByteIO;
    putBytes(out, kMagic, kMagicSize);
    putU16(out, m_version);
    putU16(out, m_reserved);
    putF64(out, m_minimum[0]);
    putF64(out, m_minimum[1]);
    putF64(out, m_maximum[0]);
    putF64(out, m_maximum[1]);
    const icu::UnicodeString& name = m_selector.unicode();
    putU32(out, static_cast<uint32_t>(name.length()));
    for (int32_t i = 0; i < name.length(); ++i) putU16(out, name.charAt(i));
    putI32(out, static_cast<int32_t>(m_table.size()));
    for (const auto& entry : m_table) {
        putF64(out, entry.first.first);
        putF64(out, entry.first.second);
        putF32(out, entry.second);
    }
}

long KIVOCompoundDataHeader::write(FILE* file) const {
    if (file == nullptr) return kNoStream;
    if (std::fseek(file, 0, SEEK_SET) != 0) return kSeekFailed;
    std::vector<uint8_t> bytes;
    encode(bytes);
    if (!NORVAByteIO::writeBytes(file, bytes.data(), bytes.size())) return kWriteFailed;
    return 0;
}

void KIVOCompoundDataHeader::print(std::ostream& os) const {
    os << "KIVOCompoundDataHeader(version=" << m_version << ", min=(" << m_minimum[0] << ", " << m_minimum[1]
       << "), max=(" << m_maximum[0] << ", " << m_maximum[1] << "), selector=" << m_selector
       << ", entries=" << m_table.size() << ")";
    for (const auto& entry : m_table)
        os << "\n  [" << entry.first.first << ", " << entry.first.second << "] -> " << entry.second;
}
