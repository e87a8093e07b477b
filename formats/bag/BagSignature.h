#pragma once
// The signature block: the last 1,024 bytes of a BAG file.
//   "CSNO", u8 version 1, u32 identifier, signature (a count byte n, then n
//   parts each a length byte and its bytes), u32 CRC-32 over identifier and
//   signature, zeros up to 1,024. Integers little-endian.
// The caller's buffer holds the signature followed by the CRC-32 of the
// signature bytes alone. Nothing here signs or verifies a signature.
#include <cstddef>
#include <cstdint>

#include "formats/bag/BagErrors.h"

// Reads and checks the block at the end of the file; 200 when the buffer now
// holds a valid signature, else 201 (none), 202 (bad block), 205, 206 or 1.
bagError bagReadSignatureBlock(const char* path, uint8_t* buffer, size_t size, uint32_t* identifier);
// Writes the buffer's signature as the file's block, over an old block or
// appended; 0 on success.
bagError bagWriteSignatureBlock(const char* path, const uint8_t* buffer, size_t size, uint32_t identifier);

namespace BagSignature {
// Length of the counted signature at `data` (count byte included), or 0 when
// it runs past `available` bytes.
size_t signatureLength(const uint8_t* data, size_t available);
uint32_t crc32(const uint8_t* data, size_t length);
}  // namespace BagSignature
