#include "formats/bag/BAGAttributeSet.h"

long BAGAttributeSet::getValue(long index, float& v) const {
    v = value(index);
    return 0;
}

long BAGAttributeSet::setValue(long index, const float& v) {
    (index == 0 ? m_depth : m_uncertainty) = v;
    return 0;
}

long BAGAttributeSet::getStringValue(long index, NORVAUString& v, bool) const {
    if (index != 0 && index != 1) return -1;
    v = NORVAUString::formatDouble(value(index));
    return 0;
}

long BAGAttributeSet::getDoubleValue(long index, double& v, bool) const {
    v = value(index);
    return 0;
}

std::unique_ptr<KIVOAttributeSet> BAGAttributeSet::newCopy() const {
    return std::make_unique<BAGAttributeSet>(m_depth, m_uncertainty);
}

bool BAGAttributeSet::isSet(long index) const {
    if (index != 0 && index != 1) return false;
    return value(index) != kNull;
}

bool BAGAttributeSet::isEmpty() const { return m_depth == kNull && m_uncertainty == kNull; }

bool BAGAttributeSet::reset() {
    m_depth = kNull;
    m_uncertainty = kNull;
    return true;
}
