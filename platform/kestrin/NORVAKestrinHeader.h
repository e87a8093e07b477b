#pragma once
// The header file of a tile store (s.kps): its whole layout. Fixed-width
// little-endian fields:
//   12-byte magic 0x89 "KIVOKPS" CR LF 0x1A LF, u16 version 1, u16 0,
//   f64 min x, min y, max x, max y,
//   u32 n, n × f64 resolutions; u32 n, n × (i32 type, text name) dimensions,
//   three texts of the coordinate system,
//   u32 n, n × attribute (text name, i32 type, u32 size, text unit,
//     i32 x companion, i32 y companion, u8 indexed string table),
//   u32 n, n × text source keys; u32 n, n × text source values.
// A text is u32 byte count and UTF-8 bytes. Everything read is checked
// against the bytes present before anything is allocated.
#include <cstdint>

#include "platform/core/NORVAByteIO.h"
#include "platform/core/NORVAUString.h"
#include "platform/kestrin/NORVAKestrinPointDataConfig.h"

namespace NORVAKestrinHeader {

constexpr uint16_t kVersion = 1;
// More attributes than the points file can give columns is a damaged header.
constexpr uint32_t kMaxAttributes = 1000;
constexpr uint32_t kMaxFixedTextSize = 65536;
constexpr uint64_t kMaxHeaderBytes = 64ull * 1024 * 1024;

NORVAByteIO::Buffer encode(const NORVAKestrinPointDataConfig& config);
// 0, or KestrinStatus::DAMAGED / BAD_VERSION; the config is replaced only on success.
long decode(const uint8_t* data, size_t size, NORVAKestrinPointDataConfig& config);

// Through the atomic writer: the old header survives a failure (WRITE_FAILED).
long write(const NORVAUString& path, const NORVAKestrinPointDataConfig& config);
// CANNOT_OPEN when the file cannot be read, else as decode.
long read(const NORVAUString& path, NORVAKestrinPointDataConfig& config);

}  // namespace NORVAKestrinHeader
