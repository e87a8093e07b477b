#include "platform/frame/KIVOSelectingSurfaceIter.h"

#include "platform/frame/KIVOMemDescriptor.h"

namespace {
const long kNoIterator = -1;

const KIVODescriptor& emptyDescriptor() {
    static const KIVOMemDescriptor empty;
    return empty;
}
}  // namespace

long KIVOSelectingSurfaceIter::skipUnselected() {
    const long status = findSelected();
    if (status != 0) m_failure = status;
    return status;
}

long KIVOSelectingSurfaceIter::findSelected() {
    if (!m_iter) return 0;
    while (true) {
        long doneStatus = 0;
        const bool ended = m_iter->done(doneStatus);
        if (doneStatus != 0) return doneStatus;
        if (ended || selects()) return 0;
        long nextStatus = 0;
        bool more = m_iter->next(nextStatus);
        if (nextStatus != 0) return nextStatus;
        if (!more) return 0;
    }
}

// A wrapped iterator need not report its own failure once done: the one
// this walk met is kept.
bool KIVOSelectingSurfaceIter::done(long& status) const {
    status = m_failure;
    if (m_failure != 0) return true;
    return !m_iter || m_iter->done(status);
}

bool KIVOSelectingSurfaceIter::next(long& status) {
    if (done(status)) return false;
    bool more = m_iter->next(status);
    if (status != 0) m_failure = status;
    if (status != 0 || !more) return false;
    status = skipUnselected();
    if (status != 0) return false;
    long doneStatus = 0;
    return !m_iter->done(doneStatus);
}

KIVOAttributeSet* KIVOSelectingSurfaceIter::getAttributes() {
    long status = 0;
    if (done(status)) return nullptr;
    return m_iter->getAttributes();
}

long KIVOSelectingSurfaceIter::getPosition(double& x, double& y, const long& attribute) const {
    return m_iter ? m_iter->getPosition(x, y, attribute) : kNoIterator;
}

long KIVOSelectingSurfaceIter::count() const { return m_iter ? m_iter->count() : kNoIterator; }

const KIVODescriptor& KIVOSelectingSurfaceIter::getAttributeDescriptor() const {
    return m_iter ? m_iter->getAttributeDescriptor() : emptyDescriptor();
}

long KIVOSelectingSurfaceIter::setAttributes(const KIVOAttributeSet& attributes) {
    return m_iter ? m_iter->setAttributes(attributes) : kNoIterator;
}
