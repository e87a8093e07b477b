#include "core/KIVORangeAttributeFilter.h"

KIVORangeAttributeFilter::KIVORangeAttributeFilter(long attributeIndex, double minimum, double maximum,
                                                   const FilterType& type)
    : m_type(type), m_min(minimum), m_max(maximum), m_attributeIndex(static_cast<int32_t>(attributeIndex)) {}

KIVORangeAttributeFilter::KIVORangeAttributeFilter(const KIVORangeAttributeFilter& o)
    : KIVOAttributeFilter(), m_type(o.m_type), m_min(o.m_min), m_max(o.m_max), m_attributeIndex(o.m_attributeIndex) {}

KIVORangeAttributeFilter& KIVORangeAttributeFilter::operator=(const KIVORangeAttributeFilter& o) {
    KIVOAttributeFilter::operator=(o);
    m_type = o.m_type;
    m_min = o.m_min;
    m_max = o.m_max;
    m_attributeIndex = o.m_attributeIndex;
    return *this;
}

// NaN fails every comparison, so it passes no type.
bool KIVORangeAttributeFilter::inRange(double v) const {
    switch (m_type) {
    case INSIDE_INCLUSIVE:
        return m_min <= v && v <= m_max;
    case INSIDE_EXCLUSIVE:
        return m_min < v && v < m_max;
    case OUTSIDE_INCLUSIVE:
        return v <= m_min || v >= m_max;
    case OUTSIDE_EXCLUSIVE:
        return v < m_min || v > m_max;
    }
    return false;
}

bool KIVORangeAttributeFilter::passes(const KIVOAttributeSet* attributes) const {
    if (!attributes || m_attributeIndex < 0 || !attributes->isSet(m_attributeIndex)) return false;
    double v = 0.0;
    if (attributes->getDoubleValue(m_attributeIndex, v, false) != 0) return false;
    return inRange(v);
}

NORVAType<KIVOAttributeFilter> KIVORangeAttributeFilter::newCopy() const {
    return NORVAType<KIVOAttributeFilter>(new KIVORangeAttributeFilter(*this));
}
