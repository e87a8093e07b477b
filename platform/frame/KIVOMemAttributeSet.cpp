#include "platform/frame/KIVOMemAttributeSet.h"

#include <cfloat>
#include <cmath>
#include <limits>

namespace {

// The whole part of v when it fits T, else false (NaN never fits).
template <class T>
bool toInteger(double v, T& out) {
    if (std::isnan(v)) return false;
    double t = std::trunc(v);
    // Both bounds are exact powers of two (or 0), so the test is exact.
    const double lo = static_cast<double>(std::numeric_limits<T>::min());
    const double hiExclusive = std::ldexp(1.0, std::numeric_limits<T>::digits);
    if (!(t >= lo && t < hiExclusive)) return false;
    out = static_cast<T>(t);
    return true;
}

bool toFloat(double v, float& out) {
    if (std::isfinite(v) && std::fabs(v) > FLT_MAX) return false;
    out = static_cast<float>(v);
    return true;
}

}  // namespace

KIVOMemAttributeSet::KIVOMemAttributeSet(const KIVODescriptor& descriptor)
    : m_descriptor(descriptor.newCopy()),
      m_slots(m_descriptor && m_descriptor->getNumberOfAttributes() > 0
                  ? static_cast<size_t>(m_descriptor->getNumberOfAttributes())
                  : 0) {}

KIVOMemAttributeSet::KIVOMemAttributeSet(const KIVOMemAttributeSet& o)
    : KIVOAttributeSet(o), m_descriptor(o.m_descriptor ? o.m_descriptor->newCopy() : nullptr), m_slots(o.m_slots) {}

KIVOMemAttributeSet& KIVOMemAttributeSet::operator=(const KIVOMemAttributeSet& o) {
    if (this == &o) return *this;
    m_descriptor = o.m_descriptor ? o.m_descriptor->newCopy() : nullptr;
    m_slots = o.m_slots;
    return *this;
}

bool KIVOMemAttributeSet::isText(long index) const {
    auto type = m_descriptor->getAttributeType(index);
    return type == KIVODataType::STRING || type == KIVODataType::TEXT;
}

// Puts a number into the slot of the attribute's type: integers are cut
// toward zero and refused (-1, slot unchanged) when NaN or out of range;
// a float refuses finite values beyond its range; text takes the decimal text.
long KIVOMemAttributeSet::storeNumber(long index, double v) {
    if (!valid(index)) return -1;
    Slot& slot = m_slots[index];
    switch (m_descriptor->getAttributeType(index)) {
        case KIVODataType::FLOAT: {
            float f = 0.0f;
            if (!toFloat(v, f)) return -1;
            slot.number = f;
            break;
        }
        case KIVODataType::USHORT: {
            uint16_t i = 0;
            if (!toInteger(v, i)) return -1;
            slot.number = i;
            break;
        }
        case KIVODataType::SHORT: {
            int16_t i = 0;
            if (!toInteger(v, i)) return -1;
            slot.number = i;
            break;
        }
        case KIVODataType::LONG: {
            int32_t i = 0;
            if (!toInteger(v, i)) return -1;
            slot.number = i;
            break;
        }
        case KIVODataType::ULONG: {
            uint32_t i = 0;
            if (!toInteger(v, i)) return -1;
            slot.number = i;
            break;
        }
        case KIVODataType::UCHAR: {
            uint8_t i = 0;
            if (!toInteger(v, i)) return -1;
            slot.number = i;
            break;
        }
        case KIVODataType::STRING:
        case KIVODataType::TEXT:
            return setValue(index, NORVAUString::formatDouble(v));
        default:  // DOUBLE, DATETIME, DATE, TIME
            slot.number = v;
            break;
    }
    slot.text = NORVAUString();
    slot.set = true;
    return 0;
}

template <class T>
long KIVOMemAttributeSet::readInteger(long index, T& v) const {
    double d = 0.0;
    if (getValue(index, d) != 0) return -1;
    T out{};
    if (!toInteger(d, out)) return -1;
    v = out;
    return 0;
}

long KIVOMemAttributeSet::getValue(long index, unsigned char& v) const { return readInteger(index, v); }
long KIVOMemAttributeSet::getValue(long index, long& v) const { return readInteger(index, v); }
long KIVOMemAttributeSet::getValue(long index, unsigned long& v) const { return readInteger(index, v); }
long KIVOMemAttributeSet::getValue(long index, short& v) const { return readInteger(index, v); }
long KIVOMemAttributeSet::getValue(long index, unsigned short& v) const { return readInteger(index, v); }

long KIVOMemAttributeSet::getValue(long index, NORVAUString& v) const {
    if (!valid(index) || !m_slots[index].set) return -1;
    if (isText(index)) {
        v = m_slots[index].text;
    } else {
        v = NORVAUString::formatDouble(m_slots[index].number);
    }
    return 0;
}

long KIVOMemAttributeSet::getValue(long index, double& v) const {
    if (!valid(index) || !m_slots[index].set) return -1;
    if (isText(index)) {
        double d = 0.0;
        if (!m_slots[index].text.parseDouble(d)) return -1;
        v = d;
        return 0;
    }
    v = m_slots[index].number;
    return 0;
}

long KIVOMemAttributeSet::getValue(long index, float& v) const {
    double d = 0.0;
    if (getValue(index, d) != 0) return -1;
    float f = 0.0f;
    if (!toFloat(d, f)) return -1;
    v = f;
    return 0;
}

long KIVOMemAttributeSet::setValue(long index, const unsigned char& v) { return storeNumber(index, v); }
// Longs pass through a double: every integer slot type is 32 bits or less,
// so values beyond 2^53 are refused there as out of range anyway.
long KIVOMemAttributeSet::setValue(long index, const long& v) { return storeNumber(index, static_cast<double>(v)); }
long KIVOMemAttributeSet::setValue(long index, const unsigned long& v) {
    return storeNumber(index, static_cast<double>(v));
}
long KIVOMemAttributeSet::setValue(long index, const short& v) { return storeNumber(index, v); }
long KIVOMemAttributeSet::setValue(long index, const unsigned short& v) { return storeNumber(index, v); }
long KIVOMemAttributeSet::setValue(long index, const double& v) { return storeNumber(index, v); }
long KIVOMemAttributeSet::setValue(long index, const float& v) { return storeNumber(index, v); }

// Text attributes keep the text (fixed-length text is cut to its length);
// numeric attributes take the number the text reads as (-1 when it does not).
long KIVOMemAttributeSet::setValue(long index, const NORVAUString& v) {
    if (!valid(index)) return -1;
    if (!isText(index)) {
        double d = 0.0;
        if (!v.parseDouble(d)) return -1;
        return storeNumber(index, d);
    }
    Slot& slot = m_slots[index];
    NORVAUString text = v;
    if (m_descriptor->getAttributeType(index) == KIVODataType::TEXT) {
        uint32_t length = m_descriptor->getLength(index);
        if (length > 0 && static_cast<uint32_t>(text.length()) > length)
            text = text.substring(0, static_cast<int32_t>(length));
    }
    slot.text = text;
    slot.number = 0.0;
    slot.set = true;
    return 0;
}

long KIVOMemAttributeSet::getStringValue(long index, NORVAUString& v, bool userFormat) const {
    return getValue(index, v);
}

long KIVOMemAttributeSet::getDoubleValue(long index, double& v, bool convert) const { return getValue(index, v); }

std::unique_ptr<KIVOAttributeSet> KIVOMemAttributeSet::newCopy() const {
    return std::make_unique<KIVOMemAttributeSet>(*this);
}

bool KIVOMemAttributeSet::isSet(long index) const { return valid(index) && m_slots[index].set; }

bool KIVOMemAttributeSet::isEmpty() const {
    for (const Slot& s : m_slots)
        if (s.set) return false;
    return true;
}

bool KIVOMemAttributeSet::reset() {
    for (Slot& s : m_slots) s = Slot();
    return true;
}

void KIVOMemAttributeSet::unset(long index) {
    if (valid(index)) m_slots[index] = Slot();
}
