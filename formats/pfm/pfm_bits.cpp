#include "formats/pfm/pfm_bits.h"

namespace {

bool fits(size_t size, int64_t first, int32_t count, int32_t limit) {
    if (first < 0 || count < 0 || count > limit) return false;
    return static_cast<uint64_t>(first) + static_cast<uint64_t>(count) <= static_cast<uint64_t>(size) * 8U;
}

// Any width up to 64, after `fits`.
uint64_t readBits(const uint8_t* buffer, int64_t first, int32_t count) {
    uint64_t value = 0;
    int64_t bit = first;
    int32_t left = count;
    while (left > 0) {
        const int32_t inByte = static_cast<int32_t>(bit % 8);
        const int32_t take = left < 8 - inByte ? left : 8 - inByte;
        const uint32_t byte = buffer[bit / 8];
        const uint32_t part = (byte >> (8 - inByte - take)) & ((1U << take) - 1U);
        value = (value << take) | part;
        bit += take;
        left -= take;
    }
    return value;
}

void writeBits(uint8_t* buffer, int64_t first, int32_t count, uint64_t value) {
    int64_t bit = first;
    int32_t left = count;
    while (left > 0) {
        const int32_t inByte = static_cast<int32_t>(bit % 8);
        const int32_t take = left < 8 - inByte ? left : 8 - inByte;
        const int32_t shift = 8 - inByte - take;
        const uint32_t mask = ((1U << take) - 1U) << shift;
        const uint32_t part = static_cast<uint32_t>((value >> (left - take)) & ((1U << take) - 1U)) << shift;
        uint8_t& byte = buffer[bit / 8];
        byte = static_cast<uint8_t>((byte & ~mask) | part);
        bit += take;
        left -= take;
    }
}

}  // namespace

uint32_t pfm_bit_unpack(const uint8_t* buffer, size_t size, int64_t first, int32_t count) {
    if (!buffer || !fits(size, first, count, 32)) return 0;
    return static_cast<uint32_t>(readBits(buffer, first, count));
}

void pfm_bit_pack(uint8_t* buffer, size_t size, int64_t first, int32_t count, uint32_t value) {
    if (!buffer || !fits(size, first, count, 32)) return;
    writeBits(buffer, first, count, value);
}

uint64_t pfm_double_bit_unpack(const uint8_t* buffer, size_t size, int64_t first, int32_t count) {
    if (!buffer || !fits(size, first, count, 64)) return 0;
    if (count < 32) return readBits(buffer, first, count);
    const uint64_t quotient = readBits(buffer, first, count - 31);
    const uint64_t remainder = readBits(buffer, first + count - 31, 31);
    return quotient * PFM_WIDE_SPLIT + remainder;
}

void pfm_double_bit_pack(uint8_t* buffer, size_t size, int64_t first, int32_t count, uint64_t value) {
    if (!buffer || !fits(size, first, count, 64)) return;
    if (count < 32) {
        writeBits(buffer, first, count, value);
        return;
    }
    writeBits(buffer, first, count - 31, value / PFM_WIDE_SPLIT);
    writeBits(buffer, first + count - 31, 31, value % PFM_WIDE_SPLIT);
}
