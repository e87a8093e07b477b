#pragma once
// Bit packing of PFM records: bit 0 is the most significant bit of byte 0 and
// a field is read most significant bit first. Every access is checked
// against the buffer size: a field that would reach past it reads as 0 and
// is not written.
#include <cstddef>
#include <cstdint>

// The divisor that splits fields wider than 31 bits (2^31 - 1, not 2^31).
constexpr uint64_t PFM_WIDE_SPLIT = 2147483647ULL;

// Fields of 0 to 32 bits.
uint32_t pfm_bit_unpack(const uint8_t* buffer, size_t size, int64_t first, int32_t count);
void pfm_bit_pack(uint8_t* buffer, size_t size, int64_t first, int32_t count, uint32_t value);

// Fields of 32 to 64 bits holding a 64-bit value as quotient and remainder
// by PFM_WIDE_SPLIT (the remainder in the last 31 bits).
uint64_t pfm_double_bit_unpack(const uint8_t* buffer, size_t size, int64_t first, int32_t count);
void pfm_double_bit_pack(uint8_t* buffer, size_t size, int64_t first, int32_t count, uint64_t value);
