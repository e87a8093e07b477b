#include "core/KIVOSurfaceFilteredPointIter.h"

namespace {
const long kNotServed = -1;
}

// The base is built without a query of its own: everything is served by the
// inner iterator, so a second walk over the whole surface would be wasted.
KIVOSurfaceFilteredPointIter::KIVOSurfaceFilteredPointIter(KIVOSurface& surface,
                                                           NORVAType<KIVOSurfacePointIter> inner,
                                                           NORVAType<KIVOAttributeFilter> filter)
    : KIVOSurfacePointIter(surface), m_filter(std::move(filter)), m_inner(std::move(inner)) {
    if (!m_inner || m_inner->getStatus() != 0) {
        if (m_inner) m_status = m_inner->getStatus();
        m_inner.reset();
        markDone();
        return;
    }
    long status = 0;
    skipRejected(status);
    if (status != 0) m_status = m_failure = status;
    markDone(done(status));
}

// Stops on a failing advance too, so a broken inner iterator cannot spin.
void KIVOSurfaceFilteredPointIter::skipRejected(long& status) {
    if (!m_filter) return;
    long doneStatus = 0;
    while (!m_inner->done(doneStatus) && doneStatus == 0 && !m_filter->passes(m_inner->getAttributes())) {
        m_inner->next(status);
        if (status != 0) return;
    }
    if (doneStatus != 0) status = doneStatus;
}

// An inner iterator need not report its own failure once done: the one
// this walk met is kept.
bool KIVOSurfaceFilteredPointIter::done(long& status) const {
    status = m_failure;
    if (m_failure != 0) return true;
    return !m_inner || m_inner->done(status);
}

bool KIVOSurfaceFilteredPointIter::next(long& status) {
    if (done(status)) return false;
    m_inner->next(status);
    if (status == 0) skipRejected(status);
    if (status != 0) m_failure = status;
    long doneStatus = 0;
    const bool finished = done(doneStatus);
    markDone(finished);
    return status == 0 && !finished;
}

long KIVOSurfaceFilteredPointIter::getPosition(double& x, double& y) const {
    return m_inner ? m_inner->getPosition(x, y) : kNotServed;
}

const NORVACoordSystem* KIVOSurfaceFilteredPointIter::getCoordSystem() const {
    return m_inner ? m_inner->getCoordSystem() : nullptr;
}

void KIVOSurfaceFilteredPointIter::getAvailable(std::vector<NORVAUString>& names) const {
    if (m_inner)
        m_inner->getAvailable(names);
    else
        names.clear();
}

KIVOPointIter::DATA_TYPE KIVOSurfaceFilteredPointIter::getType(long index) const {
    return m_inner ? m_inner->getType(index) : KIVOSurfacePointIter::getType(index);
}

long KIVOSurfaceFilteredPointIter::get(long index, NORVAUString& value) const {
    return m_inner ? m_inner->get(index, value) : kNotServed;
}

long KIVOSurfaceFilteredPointIter::get(long index, long& value) const {
    return m_inner ? m_inner->get(index, value) : kNotServed;
}

long KIVOSurfaceFilteredPointIter::get(long index, double& value) const {
    value = 0.0;
    return m_inner ? m_inner->get(index, value) : kNotServed;
}

long KIVOSurfaceFilteredPointIter::count() const { return m_inner ? m_inner->count() : kNotServed; }

bool KIVOSurfaceFilteredPointIter::indexOf(const NORVAUString& name, long& index, DATA_TYPE& type) const {
    index = -1;
    return m_inner && m_inner->indexOf(name, index, type);
}

KIVOAttributeSet* KIVOSurfaceFilteredPointIter::getAttributes() const {
    return m_inner ? m_inner->getAttributes() : nullptr;
}

const KIVODescriptor* KIVOSurfaceFilteredPointIter::getDescriptor() const {
    return m_inner ? m_inner->getDescriptor() : nullptr;
}

long KIVOSurfaceFilteredPointIter::getAttributeNames(std::vector<NORVAUString>& names) const {
    return m_inner ? m_inner->getAttributeNames(names) : kNotServed;
}
