#include "platform/frame/KIVOSurfaceFilteredIter.h"

#include "platform/frame/KIVOMemDescriptor.h"

namespace {
const KIVODescriptor& emptyDescriptor() {
    static const KIVOMemDescriptor empty;
    return empty;
}
}  // namespace

KIVOSurfaceFilteredIter::KIVOSurfaceFilteredIter(NORVAType<KIVOSurfaceIter> iter, const KIVOAttributeFilter& filter)
    : m_iter(std::move(iter)), m_filter(filter.newCopy()) {
    if (m_iter) m_status = m_iter->getStatus();
    long status = 0;
    skipRejected(status);
}

// Moves on until the inner iterator stands on a node the filter passes, or
// is done. Without a filter copy every node passes.
void KIVOSurfaceFilteredIter::skipRejected(long& status) {
    status = 0;
    if (!m_iter || !m_filter) return;
    while (true) {
        long doneStatus = 0;
        if (m_iter->done(doneStatus)) return;
        if (doneStatus != 0) {
            status = doneStatus;
            return;
        }
        if (m_filter->passes(m_iter->getAttributes())) return;
        long nextStatus = 0;
        bool more = m_iter->next(nextStatus);
        if (nextStatus != 0) {
            status = nextStatus;
            return;
        }
        if (!more) return;
    }
}

bool KIVOSurfaceFilteredIter::done(long& status) const {
    status = 0;
    if (!m_iter) return true;
    return m_iter->done(status);
}

bool KIVOSurfaceFilteredIter::next(long& status) {
    status = 0;
    if (!m_iter) return false;
    if (m_iter->done(status)) return false;
    bool more = m_iter->next(status);
    if (status != 0 || !more) return false;
    skipRejected(status);
    if (status != 0) return false;
    long doneStatus = 0;
    return !m_iter->done(doneStatus);
}

KIVOAttributeSet* KIVOSurfaceFilteredIter::getAttributes() {
    if (!m_iter) return nullptr;
    long status = 0;
    if (m_iter->done(status)) return nullptr;
    return m_iter->getAttributes();
}

long KIVOSurfaceFilteredIter::getPosition(double& x, double& y, const long& attribute) const {
    if (!m_iter) return -1;
    return m_iter->getPosition(x, y, attribute);
}

// The inner iterator's count: the nodes before filtering.
long KIVOSurfaceFilteredIter::count() const { return m_iter ? m_iter->count() : -1; }

const KIVODescriptor& KIVOSurfaceFilteredIter::getAttributeDescriptor() const {
    return m_iter ? m_iter->getAttributeDescriptor() : emptyDescriptor();
}

long KIVOSurfaceFilteredIter::setAttributes(const KIVOAttributeSet& attributes) {
    if (!m_iter) return -1;
    return m_iter->setAttributes(attributes);
}
