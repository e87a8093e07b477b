#include "platform/kestrin/NORVAKestrinHeader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/core/NORVAAtomicFile.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/kestrin/KestrinStatus.h"
#include "platform/kestrin/KestrinStoreType.h"

namespace NORVAKestrinHeader {

namespace {

const uint8_t kMagic[12] = {0x89, 'K', 'I', 'V', 'O', 'K', 'P', 'S', '\r', '\n', 0x1A, '\n'};

using NORVAByteIO::Buffer;

void putText(Buffer& buf, const NORVAUString& s) {
    const std::string utf8 = s.toUTF8();
    NORVAByteIO::putU32(buf, static_cast<uint32_t>(utf8.size()));
    NORVAByteIO::putBytes(buf, utf8.data(), utf8.size());
}

// A cursor over untrusted bytes; every read fails once one has failed.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool ok() const { return m_ok; }
    size_t left() const { return m_ok ? m_size - m_pos : 0; }
    uint16_t u16() { uint16_t v = 0; m_ok = m_ok && NORVAByteIO::getU16(m_data, m_size, m_pos, v); return v; }
    uint32_t u32() { uint32_t v = 0; m_ok = m_ok && NORVAByteIO::getU32(m_data, m_size, m_pos, v); return v; }
    int32_t i32() { int32_t v = 0; m_ok = m_ok && NORVAByteIO::getI32(m_data, m_size, m_pos, v); return v; }
    uint8_t u8() { uint8_t v = 0; m_ok = m_ok && NORVAByteIO::getU8(m_data, m_size, m_pos, v); return v; }
    double f64() {
        double v = 0.0;
        m_ok = m_ok && NORVAByteIO::getF64(m_data, m_size, m_pos, v);
        if (!std::isfinite(v)) m_ok = false;
        return v;
    }
    bool bytes(void* out, size_t n) { return m_ok = m_ok && NORVAByteIO::getBytes(m_data, m_size, m_pos, out, n); }
    NORVAUString text() {
        const uint32_t n = u32();
        if (!m_ok || n > left()) {
            m_ok = false;
            return NORVAUString();
        }
        std::string s(reinterpret_cast<const char*>(m_data + m_pos), n);
        m_pos += n;
        // Text that is not UTF-8 would not be stored back as it was read.
        NORVAUString text(s);
        if (text.toUTF8() != s) m_ok = false;
        return text;
    }
    // A count of items of at least `minBytes` each that the bytes left can hold.
    uint32_t count(size_t minBytes) {
        const uint32_t n = u32();
        if (m_ok && static_cast<uint64_t>(n) * minBytes > left()) m_ok = false;
        return m_ok ? n : 0;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
};

bool decodeAttributes(Reader& r, NORVAKestrinGenericDataDescriptor& d) {
    const uint32_t n = r.count(4 + 4 + 4 + 4 + 4 + 4 + 1);
    if (!r.ok() || n > kMaxAttributes) return false;
    d.setNumAtts(n);
    std::vector<std::pair<int32_t, int32_t>> companions;
    for (uint32_t i = 0; i < n && r.ok(); ++i) {
        d.setAttributeName(i, r.text());
        const int32_t type = r.i32();
        const uint32_t size = r.u32();
        d.setAttributeUnit(i, r.text());
        const int32_t x = r.i32();
        const int32_t y = r.i32();
        const uint8_t indexed = r.u8();
        if (!r.ok() || d.setType(i, type) != 0) return false;
        if (type == KestrinStoreType::FIXED_TEXT ? (size == 0 || size > kMaxFixedTextSize)
                                                 : size != KestrinStoreType::fixedSize(type))
            return false;
        d.setAttributeSize(i, size);
        if (x < -1 || y < -1 || x >= static_cast<int64_t>(n) || y >= static_cast<int64_t>(n) || indexed > 1) return false;
        if (indexed) d.loadIndexedStringTable(i, nullptr);
        companions.emplace_back(x, y);
    }
    if (!r.ok()) return false;
    // Companion indices may point forward, so they are set once all exist.
    for (uint32_t i = 0; i < n; ++i) d.setAttrCoordIndices(i, companions[i].first, companions[i].second);
    return true;
}

std::vector<NORVAUString> decodeTexts(Reader& r) {
    std::vector<NORVAUString> texts;
    const uint32_t n = r.count(4);
    for (uint32_t i = 0; i < n && r.ok(); ++i) texts.push_back(r.text());
    return texts;
}

}  // namespace

Buffer encode(const NORVAKestrinPointDataConfig& config) {
    Buffer buf;
    NORVAByteIO::putBytes(buf, kMagic, sizeof kMagic);
    NORVAByteIO::putU16(buf, kVersion);
    NORVAByteIO::putU16(buf, 0);
    NORVAArray<double> mn, mx;
    config.getCover(mn, mx);
    for (double v : {mn[0], mn[1], mx[0], mx[1]}) NORVAByteIO::putF64(buf, v);
    NORVAByteIO::putU32(buf, static_cast<uint32_t>(config.getResolutions().size()));
    for (double v : config.getResolutions()) NORVAByteIO::putF64(buf, v);
    const auto& types = config.getDimensionTypes();
    const auto& names = config.getDimensionNames();
    const size_t dims = std::min(types.size(), names.size());
    NORVAByteIO::putU32(buf, static_cast<uint32_t>(dims));
    for (size_t i = 0; i < dims; ++i) {
        NORVAByteIO::putI32(buf, types[i]);
        putText(buf, names[i]);
    }
    NORVAUString cs[3];
    config.getCoordinateInfo(cs[0], cs[1], cs[2]);
    for (const NORVAUString& s : cs) putText(buf, s);
    const NORVAKestrinGenericDataDescriptor& d = config.getGenericDataDescriptor();
    NORVAByteIO::putU32(buf, static_cast<uint32_t>(d.getNumAtts()));
    for (long i = 0; i < d.getNumAtts(); ++i) {
        putText(buf, d.getAttributeName(i));
        NORVAByteIO::putI32(buf, d.getType(i));
        NORVAByteIO::putU32(buf, d.getAttributeSize(i));
        putText(buf, d.getAttributeUnit(i));
        NORVAByteIO::putI32(buf, static_cast<int32_t>(d.getAttrXCoordIndex(i)));
        NORVAByteIO::putI32(buf, static_cast<int32_t>(d.getAttrYCoordIndex(i)));
        NORVAByteIO::putU8(buf, d.hasIndexedStringTable(i) ? 1 : 0);
    }
    NORVAByteIO::putU32(buf, static_cast<uint32_t>(d.getSourceKeys().size()));
    for (const NORVAUString& s : d.getSourceKeys()) putText(buf, s);
    NORVAByteIO::putU32(buf, static_cast<uint32_t>(d.getSourceValues().size()));
    for (const NORVAUString& s : d.getSourceValues()) putText(buf, s);
    return buf;
}

long decode(const uint8_t* data, size_t size, NORVAKestrinPointDataConfig& config) {
    Reader r(data, size);
    uint8_t magic[sizeof kMagic] = {};
    if (!r.bytes(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0)
        return KestrinStatus::DAMAGED;
    const uint16_t version = r.u16();
    const uint16_t zero = r.u16();
    if (!r.ok()) return KestrinStatus::DAMAGED;
    if (version != kVersion || zero != 0) return KestrinStatus::BAD_VERSION;
    const double minX = r.f64(), minY = r.f64(), maxX = r.f64(), maxY = r.f64();
    NORVAArray<double> resolutions;
    const uint32_t nRes = r.count(8);
    for (uint32_t i = 0; i < nRes && r.ok(); ++i) {
        const double v = r.f64();
        if (!(v >= 0.0)) return KestrinStatus::DAMAGED;
        resolutions.add(v);
    }
    std::vector<int32_t> dimTypes;
    std::vector<NORVAUString> dimNames;
    const uint32_t nDims = r.count(8);
    for (uint32_t i = 0; i < nDims && r.ok(); ++i) {
        dimTypes.push_back(r.i32());
        dimNames.push_back(r.text());
    }
    NORVAUString cs[3];
    for (NORVAUString& s : cs) s = r.text();
    NORVAKestrinGenericDataDescriptor d;
    if (!r.ok() || !decodeAttributes(r, d)) return KestrinStatus::DAMAGED;
    const std::vector<NORVAUString> keys = decodeTexts(r);
    const std::vector<NORVAUString> values = decodeTexts(r);
    if (!r.ok() || r.left() != 0) return KestrinStatus::DAMAGED;
    d.setSourceMetaData(keys, values);
    NORVAKestrinPointDataConfig out(NORVAArray<double>{minX, minY}, NORVAArray<double>{maxX, maxY}, resolutions,
                                    dimTypes, dimNames, d);
    out.setCoordinateInfo(cs[0], cs[1], cs[2]);
    config = out;
    return 0;
}

long write(const NORVAUString& path, const NORVAKestrinPointDataConfig& config) {
    const Buffer buf = encode(config);
    NORVAAtomicFile file;
    if (!file.open(path) || !file.write(buf.data(), buf.size()) || !file.commit()) return KestrinStatus::WRITE_FAILED;
    return 0;
}

long read(const NORVAUString& path, NORVAKestrinPointDataConfig& config) {
    uint64_t size = 0;
    if (!NORVAFileUtils::isRegularFile(path) || !NORVAFileUtils::fileSize(path, size))
        return KestrinStatus::CANNOT_OPEN;
    if (size > kMaxHeaderBytes) return KestrinStatus::DAMAGED;
    FILE* f = NORVAFileUtils::openRegularFile(path);
    if (f == nullptr) return KestrinStatus::CANNOT_OPEN;
    Buffer buf(static_cast<size_t>(size));
    const size_t got = buf.empty() ? 0 : std::fread(buf.data(), 1, buf.size(), f);
    std::fclose(f);
    if (got != buf.size()) return KestrinStatus::DAMAGED;
    return decode(buf.data(), buf.size(), config);
}

}  // namespace NORVAKestrinHeader
