#pragma once
// Little-endian fixed-width fields, written and read one by one, over a byte
// buffer or a FILE*. Every read is bounds-checked: bytes from disk are
// untrusted, so a short read answers false and leaves the output unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace NORVAByteIO {

using Buffer = std::vector<uint8_t>;

// Appending to a buffer.
void putU8(Buffer& buf, uint8_t v);
void putU16(Buffer& buf, uint16_t v);
void putI16(Buffer& buf, int16_t v);
void putU32(Buffer& buf, uint32_t v);
void putI32(Buffer& buf, int32_t v);
void putU64(Buffer& buf, uint64_t v);
void putF32(Buffer& buf, float v);
void putF64(Buffer& buf, double v);
void putBytes(Buffer& buf, const void* data, size_t n);

// Reading at `pos` from `size` bytes at `data`; on success `pos` advances.
bool getU8(const uint8_t* data, size_t size, size_t& pos, uint8_t& out);
bool getU16(const uint8_t* data, size_t size, size_t& pos, uint16_t& out);
bool getI16(const uint8_t* data, size_t size, size_t& pos, int16_t& out);
bool getU32(const uint8_t* data, size_t size, size_t& pos, uint32_t& out);
bool getI32(const uint8_t* data, size_t size, size_t& pos, int32_t& out);
bool getU64(const uint8_t* data, size_t size, size_t& pos, uint64_t& out);
bool getF32(const uint8_t* data, size_t size, size_t& pos, float& out);
bool getF64(const uint8_t* data, size_t size, size_t& pos, double& out);
bool getBytes(const uint8_t* data, size_t size, size_t& pos, void* out, size_t n);

// The same over a whole buffer.
inline bool getU8(const Buffer& b, size_t& pos, uint8_t& out) { return getU8(b.data(), b.size(), pos, out); }
inline bool getU16(const Buffer& b, size_t& pos, uint16_t& out) { return getU16(b.data(), b.size(), pos, out); }
inline bool getI16(const Buffer& b, size_t& pos, int16_t& out) { return getI16(b.data(), b.size(), pos, out); }
inline bool getU32(const Buffer& b, size_t& pos, uint32_t& out) { return getU32(b.data(), b.size(), pos, out); }
inline bool getI32(const Buffer& b, size_t& pos, int32_t& out) { return getI32(b.data(), b.size(), pos, out); }
inline bool getU64(const Buffer& b, size_t& pos, uint64_t& out) { return getU64(b.data(), b.size(), pos, out); }
inline bool getF32(const Buffer& b, size_t& pos, float& out) { return getF32(b.data(), b.size(), pos, out); }
inline bool getF64(const Buffer& b, size_t& pos, double& out) { return getF64(b.data(), b.size(), pos, out); }
inline bool getBytes(const Buffer& b, size_t& pos, void* out, size_t n) {
    return getBytes(b.data(), b.size(), pos, out, n);
}

// Writing to a stream; false when the stream refused a byte.
bool writeU8(FILE* f, uint8_t v);
bool writeU16(FILE* f, uint16_t v);
bool writeI16(FILE* f, int16_t v);
bool writeU32(FILE* f, uint32_t v);
bool writeI32(FILE* f, int32_t v);
bool writeU64(FILE* f, uint64_t v);
bool writeF32(FILE* f, float v);
bool writeF64(FILE* f, double v);
bool writeBytes(FILE* f, const void* data, size_t n);

// Reading from a stream; false on a short read or a null stream. The typed
// readers then leave their output unchanged; readBytes may have filled part.
bool readU8(FILE* f, uint8_t& out);
bool readU16(FILE* f, uint16_t& out);
bool readI16(FILE* f, int16_t& out);
bool readU32(FILE* f, uint32_t& out);
bool readI32(FILE* f, int32_t& out);
bool readU64(FILE* f, uint64_t& out);
bool readF32(FILE* f, float& out);
bool readF64(FILE* f, double& out);
bool readBytes(FILE* f, void* out, size_t n);

}  // namespace NORVAByteIO
