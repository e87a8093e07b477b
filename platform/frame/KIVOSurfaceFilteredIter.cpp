#include "platform/frame/KIVOSurfaceFilteredIter.h"

KIVOSurfaceFilteredIter::KIVOSurfaceFilteredIter(NORVAType<KIVOSurfaceIter> iter, const KIVOAttributeFilter& filter)
    : KIVOSelectingSurfaceIter(std::move(iter)), m_filter(filter.newCopy()) {
    if (wrapped()) m_status = wrapped()->getStatus();
    skipUnselected();
}

bool KIVOSurfaceFilteredIter::selects() const {
    return !m_filter || m_filter->passes(wrapped()->getAttributes());
}
