#include "core/KIVOAreaGeomIter.h"

#include "platform/frame/KIVOMemDescriptor.h"

namespace {
const long kNoIterator = -1;
const KIVOMemDescriptor kNoAttributes;
}  // namespace

KIVOAreaGeomIter::KIVOAreaGeomIter(NORVAType<KIVOSurfaceIter> iter, const NORVAAreaGeometry& area)
    : m_iter(std::move(iter)), m_polygon(area) {
    long status = 0;
    skipOutside(status);
    if (status != 0) m_status = status;
}

bool KIVOAreaGeomIter::isInside() const {
    double x = 0.0, y = 0.0;
    if (m_iter->getPosition(x, y, -1) != 0) return false;
    long status = 0;
    return m_polygon.isPointInPolygon(x, y, status, false);
}

// Stops on a failing advance too, so a broken wrapped iterator cannot spin.
void KIVOAreaGeomIter::skipOutside(long& status) {
    if (!m_iter) return;
    long doneStatus = 0;
    while (!m_iter->done(doneStatus) && doneStatus == 0 && !isInside()) {
        m_iter->next(status);
        if (status != 0) return;
    }
    if (doneStatus != 0) status = doneStatus;
}

bool KIVOAreaGeomIter::done(long& status) const {
    status = 0;
    return !m_iter || m_iter->done(status);
}

bool KIVOAreaGeomIter::next(long& status) {
    status = 0;
    if (!m_iter) return false;
    m_iter->next(status);
    if (status != 0) return false;
    skipOutside(status);
    long doneStatus = 0;
    return status == 0 && !m_iter->done(doneStatus);
}

KIVOAttributeSet* KIVOAreaGeomIter::getAttributes() { return m_iter ? m_iter->getAttributes() : nullptr; }

long KIVOAreaGeomIter::getPosition(double& x, double& y, const long& attribute) const {
    return m_iter ? m_iter->getPosition(x, y, attribute) : kNoIterator;
}

long KIVOAreaGeomIter::count() const { return m_iter ? m_iter->count() : kNoIterator; }

const KIVODescriptor& KIVOAreaGeomIter::getAttributeDescriptor() const {
    return m_iter ? m_iter->getAttributeDescriptor() : kNoAttributes;
}

long KIVOAreaGeomIter::setAttributes(const KIVOAttributeSet& attributes) {
    return m_iter ? m_iter->setAttributes(attributes) : kNoIterator;
}
