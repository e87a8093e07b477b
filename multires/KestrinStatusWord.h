#pragma once
// The "Status" value of a stored point read as the 32-bit word the suite
// keeps: bit 31 marks a rejected point, bit 30 a designated sounding. The
// value is cut toward zero first; an unsigned value with bit 31 set is as
// rejected as a negative one, and a value no 32-bit word can hold is treated
// as rejected rather than folded into some other word.
#include <cmath>
#include <cstdint>

namespace KestrinStatusWord {

constexpr uint32_t kRejectedBit = 0x80000000u;
constexpr uint32_t kDesignatedBit = 0x40000000u;

// NaN gives 0 (no bit set); a value outside -2^31 .. 2^32 - 1 gives the rejected bit alone.
inline uint32_t wordOf(double value) {
    if (std::isnan(value)) return 0;
    const double t = std::trunc(value);
    if (t < -2147483648.0 || t > 4294967295.0) return kRejectedBit;
    if (t < 0.0) return static_cast<uint32_t>(static_cast<int64_t>(t));
    return static_cast<uint32_t>(t);
}

inline bool isRejected(double value) { return (wordOf(value) & kRejectedBit) != 0; }

inline bool isDesignated(double value) {
    const uint32_t word = wordOf(value);
    return (word & kRejectedBit) == 0 && (word & kDesignatedBit) != 0;
}

}  // namespace KestrinStatusWord
