#include "platform/frame/KIVOMemAttributeSet.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

#include "platform/core/NORVASpareBlock.h"

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

KIVOMemAttributeSet::Layout::Layout(const KIVODescriptor& d) : descriptor(d.newCopy()) {
    const long n = descriptor ? std::max(0L, descriptor->getNumberOfAttributes()) : 0;
    for (long i = 0; i < n; ++i) {
        const KIVODataType::DATA_TYPE type = descriptor->getAttributeType(i);
        types.push_back(type);
        lengths.push_back(descriptor->getLength(i));
        const bool isText = type == KIVODataType::STRING || type == KIVODataType::TEXT;
        textSlot.push_back(isText ? static_cast<int32_t>(texts++) : -1);
    }
}

void* KIVOMemAttributeSet::operator new(size_t size) { return NORVASpareBlock<KIVOMemAttributeSet>::take(size); }

void KIVOMemAttributeSet::operator delete(void* p, size_t size) { NORVASpareBlock<KIVOMemAttributeSet>::give(p, size); }

const NORVAUString& KIVOMemAttributeSet::emptyText() {
    static const NORVAUString empty;
    return empty;
}

KIVOMemAttributeSet::KIVOMemAttributeSet(const KIVODescriptor& descriptor)
    : m_layout(std::make_shared<const Layout>(descriptor)),
      m_slots(m_layout->types.size()),
      m_texts(m_layout->texts) {}

// Puts a number into the slot of the attribute's type: integers are cut
// toward zero and refused (-1, slot unchanged) when NaN or out of range;
// a float refuses finite values beyond its range; text takes the decimal text.
long KIVOMemAttributeSet::storeNumber(long index, double v) {
    if (!valid(index)) return -1;
    Slot& slot = m_slots[index];
    switch (m_layout->types[index]) {
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
        v = text(index);
    } else {
        v = NORVAUString::formatDouble(m_slots[index].number);
    }
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

// Text attributes keep the text (fixed-length text is cut to its length);
// numeric attributes take the number the text reads as (-1 when it does not).
long KIVOMemAttributeSet::setValue(long index, const NORVAUString& v) {
    if (!valid(index)) return -1;
    if (!isText(index)) {
        double d = 0.0;
        if (!v.parseDouble(d)) return -1;
        return storeNumber(index, d);
    }
    const uint32_t length = m_layout->lengths[index];
    if (m_layout->types[index] == KIVODataType::TEXT && length > 0 && static_cast<uint32_t>(v.length()) > length)
        m_texts[m_layout->textSlot[index]] = std::make_shared<const NORVAUString>(v.substring(0, static_cast<int32_t>(length)));
    else
        m_texts[m_layout->textSlot[index]] = std::make_shared<const NORVAUString>(v);
    m_slots[index].number = 0.0;
    m_slots[index].set = true;
    return 0;
}

long KIVOMemAttributeSet::getStringValue(long index, NORVAUString& v, bool userFormat) const {
    return getValue(index, v);
}

long KIVOMemAttributeSet::textNumber(long index, double& v) const {
    double d = 0.0;
    if (!text(index).parseDouble(d)) return -1;
    v = d;
    return 0;
}

long KIVOMemAttributeSet::getDoubleValue(long index, double& v, bool convert) const { return getValue(index, v); }

std::unique_ptr<KIVOAttributeSet> KIVOMemAttributeSet::newCopy() const {
    return std::make_unique<KIVOMemAttributeSet>(*this);
}


bool KIVOMemAttributeSet::isEmpty() const {
    for (const Slot& s : m_slots)
        if (s.set) return false;
    return true;
}

bool KIVOMemAttributeSet::reset() {
    for (Slot& s : m_slots) s = Slot();
    for (Text& t : m_texts) t.reset();
    return true;
}

void KIVOMemAttributeSet::unset(long index) {
    if (!valid(index)) return;
    m_slots[index] = Slot();
    if (isText(index)) m_texts[m_layout->textSlot[index]].reset();
}
