#pragma once
// One value of a point-cloud band (a zero-dimensional data vector): its
// element type by the data-set layer's cloud codes, held as a number, a
// 64-bit whole number or a text.
#include "platform/core/KIVOExport.h"
#include <cstdint>
#include <string>

namespace ORBO_3_12_0_ {
namespace DataSet {
namespace Cloud {

// Element types of cloud bands.
enum ValueType : int32_t {
    VT_NONE = -1,
    VT_FLOAT = 0,
    VT_DOUBLE = 1,
    VT_UCHAR = 3,
    VT_SHORT = 4,
    VT_USHORT = 5,
    VT_LONG = 6,
    VT_ULONG = 7,
    VT_INT64 = 9,
    VT_TEXT = 100  // a text band; no numeric code of its own
};

class KIVO_EXPORT CloudValue {
public:
    CloudValue() = default;
    explicit CloudValue(int32_t type) : m_type(type) {}

    int32_t getType() const { return m_type; }
    // Numbers are held as the element type holds them (float precision for
    // VT_FLOAT, whole numbers cut toward zero and held inside the type).
    void setNumber(double value);
    void setInt64(uint64_t value) { m_int64 = value; }
    void setText(const std::string& text) { m_text = text; }

    double getAsDouble() const;
    uint64_t getInt64() const { return m_int64; }
    const std::string& getText() const { return m_text; }

private:
    int32_t m_type = VT_NONE;
    double m_number = 0.0;
    uint64_t m_int64 = 0;
    std::string m_text;
};

}  // namespace Cloud
}  // namespace DataSet
}  // namespace ORBO_3_12_0_
