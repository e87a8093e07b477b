#include "platform/core/NORVAByteIO.h"

#include <cstring>

namespace NORVAByteIO {
namespace {

template <class U>
void putLE(Buffer& buf, U v) {
    for (size_t i = 0; i < sizeof(U); ++i) buf.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

template <class U>
U decodeLE(const uint8_t* p) {
    U v = 0;
    for (size_t i = 0; i < sizeof(U); ++i) v |= static_cast<U>(static_cast<U>(p[i]) << (8 * i));
    return v;
}

template <class U>
bool getLE(const uint8_t* data, size_t size, size_t& pos, U& out) {
    if (!data || pos > size || size - pos < sizeof(U)) return false;
    out = decodeLE<U>(data + pos);
    pos += sizeof(U);
    return true;
}

template <class U>
bool writeLE(FILE* f, U v) {
    uint8_t b[sizeof(U)];
    for (size_t i = 0; i < sizeof(U); ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    return writeBytes(f, b, sizeof b);
}

template <class U>
bool readLE(FILE* f, U& out) {
    uint8_t b[sizeof(U)];
    if (!readBytes(f, b, sizeof b)) return false;
    out = decodeLE<U>(b);
    return true;
}

template <class To, class From>
To bitCast(From v) {
    static_assert(sizeof(To) == sizeof(From), "same size");
    To out;
    std::memcpy(&out, &v, sizeof out);
    return out;
}

}  // namespace

void putU8(Buffer& buf, uint8_t v) { buf.push_back(v); }
void putU16(Buffer& buf, uint16_t v) { putLE(buf, v); }
void putI16(Buffer& buf, int16_t v) { putLE(buf, static_cast<uint16_t>(v)); }
void putU32(Buffer& buf, uint32_t v) { putLE(buf, v); }
void putI32(Buffer& buf, int32_t v) { putLE(buf, static_cast<uint32_t>(v)); }
void putU64(Buffer& buf, uint64_t v) { putLE(buf, v); }
void putF32(Buffer& buf, float v) { putLE(buf, bitCast<uint32_t>(v)); }
void putF64(Buffer& buf, double v) { putLE(buf, bitCast<uint64_t>(v)); }
void putBytes(Buffer& buf, const void* data, size_t n) {
    if (n == 0) return;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    buf.insert(buf.end(), p, p + n);
}

bool getU8(const uint8_t* data, size_t size, size_t& pos, uint8_t& out) { return getLE(data, size, pos, out); }
bool getU16(const uint8_t* data, size_t size, size_t& pos, uint16_t& out) { return getLE(data, size, pos, out); }
bool getI16(const uint8_t* data, size_t size, size_t& pos, int16_t& out) {
    uint16_t u;
    if (!getLE(data, size, pos, u)) return false;
    out = static_cast<int16_t>(u);
    return true;
}
bool getU32(const uint8_t* data, size_t size, size_t& pos, uint32_t& out) { return getLE(data, size, pos, out); }
bool getI32(const uint8_t* data, size_t size, size_t& pos, int32_t& out) {
    uint32_t u;
    if (!getLE(data, size, pos, u)) return false;
    out = static_cast<int32_t>(u);
    return true;
}
bool getU64(const uint8_t* data, size_t size, size_t& pos, uint64_t& out) { return getLE(data, size, pos, out); }
bool getF32(const uint8_t* data, size_t size, size_t& pos, float& out) {
    uint32_t u;
    if (!getLE(data, size, pos, u)) return false;
    out = bitCast<float>(u);
    return true;
}
bool getF64(const uint8_t* data, size_t size, size_t& pos, double& out) {
    uint64_t u;
    if (!getLE(data, size, pos, u)) return false;
    out = bitCast<double>(u);
    return true;
}
bool getBytes(const uint8_t* data, size_t size, size_t& pos, void* out, size_t n) {
    if (n == 0) return pos <= size;
    if (!data || !out || pos > size || size - pos < n) return false;
    std::memcpy(out, data + pos, n);
    pos += n;
    return true;
}

bool writeU8(FILE* f, uint8_t v) { return writeBytes(f, &v, 1); }
bool writeU16(FILE* f, uint16_t v) { return writeLE(f, v); }
bool writeI16(FILE* f, int16_t v) { return writeLE(f, static_cast<uint16_t>(v)); }
bool writeU32(FILE* f, uint32_t v) { return writeLE(f, v); }
bool writeI32(FILE* f, int32_t v) { return writeLE(f, static_cast<uint32_t>(v)); }
bool writeU64(FILE* f, uint64_t v) { return writeLE(f, v); }
bool writeF32(FILE* f, float v) { return writeLE(f, bitCast<uint32_t>(v)); }
bool writeF64(FILE* f, double v) { return writeLE(f, bitCast<uint64_t>(v)); }
bool writeBytes(FILE* f, const void* data, size_t n) {
    if (!f) return false;
    if (n == 0) return true;
    return data && std::fwrite(data, 1, n, f) == n;
}

bool readU8(FILE* f, uint8_t& out) { return readBytes(f, &out, 1); }
bool readU16(FILE* f, uint16_t& out) { return readLE(f, out); }
bool readI16(FILE* f, int16_t& out) {
    uint16_t u;
    if (!readLE(f, u)) return false;
    out = static_cast<int16_t>(u);
    return true;
}
bool readU32(FILE* f, uint32_t& out) { return readLE(f, out); }
bool readI32(FILE* f, int32_t& out) {
    uint32_t u;
    if (!readLE(f, u)) return false;
    out = static_cast<int32_t>(u);
    return true;
}
bool readU64(FILE* f, uint64_t& out) { return readLE(f, out); }
bool readF32(FILE* f, float& out) {
    uint32_t u;
    if (!readLE(f, u)) return false;
    out = bitCast<float>(u);
    return true;
}
bool readF64(FILE* f, double& out) {
    uint64_t u;
    if (!readLE(f, u)) return false;
    out = bitCast<double>(u);
    return true;
}
bool readBytes(FILE* f, void* out, size_t n) {
    if (!f) return false;
    if (n == 0) return true;
    return out && std::fread(out, 1, n, f) == n;
}

}  // namespace NORVAByteIO
