#include "platform/cloudkit/ORBOCloudValue.h"

#include <cmath>
#include <limits>

namespace ORBO_3_12_0_ {
namespace DataSet {
namespace Cloud {

namespace {

template <class T>
double held(double v) {
    if (std::isnan(v)) return 0.0;
    const double t = std::trunc(v);
    const double lo = static_cast<double>(std::numeric_limits<T>::lowest());
    const double hi = static_cast<double>(std::numeric_limits<T>::max());
    return t < lo ? lo : (t > hi ? hi : t);
}

}  // namespace

void CloudValue::setNumber(double value) {
    switch (m_type) {
        case VT_FLOAT:
            m_number = std::fabs(value) > std::numeric_limits<float>::max() && std::isfinite(value)
                           ? (value > 0 ? std::numeric_limits<float>::max() : std::numeric_limits<float>::lowest())
                           : static_cast<float>(value);
            break;
        case VT_UCHAR: m_number = held<uint8_t>(value); break;
        case VT_SHORT: m_number = held<int16_t>(value); break;
        case VT_USHORT: m_number = held<uint16_t>(value); break;
        case VT_LONG: m_number = held<int32_t>(value); break;
        case VT_ULONG: m_number = held<uint32_t>(value); break;
        case VT_INT64:
            m_int64 = !(value > 0.0) ? 0 : value >= 18446744073709551615.0 ? UINT64_MAX : static_cast<uint64_t>(value);
            break;
        default: m_number = value; break;
    }
}

double CloudValue::getAsDouble() const {
    if (m_type == VT_INT64) return static_cast<double>(m_int64);
    return m_number;
}

}  // namespace Cloud
}  // namespace DataSet
}  // namespace ORBO_3_12_0_
