#include "core/KIVOAcceptedStatusFilter.h"

#include <cmath>
#include <cstdint>

#include "core/SurfaceAttributeNames.h"

KIVOAcceptedStatusFilter::KIVOAcceptedStatusFilter(const KIVODescriptor& descriptor)
    : m_statusIndex(static_cast<int32_t>(descriptor.getAttributeIndex(SurfaceAttributeNames::kStatus))) {}

KIVOAcceptedStatusFilter::KIVOAcceptedStatusFilter(const KIVOAcceptedStatusFilter& o)
    : KIVOAttributeFilter(), m_statusIndex(o.m_statusIndex) {}

bool KIVOAcceptedStatusFilter::passes(const KIVOAttributeSet* attributes) const {
    if (!attributes || m_statusIndex < 0) return true;
    double value = 0.0;
    if (attributes->getDoubleValue(m_statusIndex, value, false) != 0) return true;
    // A status that no 32-bit word can hold (NaN among them) was never
    // written by a format; treat it as a rejection rather than guess.
    double truncated = std::trunc(value);
    if (!(truncated >= INT32_MIN && truncated <= INT32_MAX)) return false;
    return static_cast<int32_t>(truncated) >= 0;
}

NORVAType<KIVOAttributeFilter> KIVOAcceptedStatusFilter::newCopy() const {
    return NORVAType<KIVOAttributeFilter>(new KIVOAcceptedStatusFilter(*this));
}
