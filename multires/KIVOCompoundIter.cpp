#include "multires/KIVOCompoundIter.h"

#include <ostream>

#include "multires/KIVOCompoundMembers.h"

KIVOCompoundIter::KIVOCompoundIter(MemberList members, std::shared_ptr<NORVAProgress> monitor,
                                   std::shared_ptr<const KIVODescriptor> merged)
    : m_members(std::move(members)), m_descriptor(std::move(merged)), m_monitor(std::move(monitor)) {
    if (!m_descriptor) {
        std::vector<const KIVODescriptor*> descriptors;
        for (const NORVAType<KIVOSurfaceIter>& member : m_members)
            if (member) descriptors.push_back(&member->getAttributeDescriptor());
        m_descriptor = merge(descriptors);
    }
    takeNextMember();
}

std::shared_ptr<const KIVODescriptor> KIVOCompoundIter::merge(const std::vector<const KIVODescriptor*>& descriptors) {
    auto merged = std::make_shared<KIVOMemDescriptor>();
    for (const KIVODescriptor* d : descriptors)
        for (long i = 0; i < d->getNumberOfAttributes(); ++i)
            if (merged->getAttributeIndex(d->getAttributeName(i)) < 0)
                merged->addAttribute(d->getAttributeEntry(i));
    return merged;
}

bool KIVOCompoundIter::takeNextMember() {
    long status = 0;
    return KIVOCompoundMembers::takeNext(m_current, m_members, status) || finish(status);
}

bool KIVOCompoundIter::finish(long status) {
    m_failure = status;
    // The members after a failed one are not walked: they go at once.
    if (status != 0) m_members.clear();
    markDone();
    return false;
}

bool KIVOCompoundIter::done(long& status) const {
    long ignored = 0;
    const bool ended = KIVOIter::done(ignored);
    status = ended ? m_failure : 0;
    return ended;
}

bool KIVOCompoundIter::next(long& status) {
    if (done(status)) return false;
    return KIVOCompoundMembers::step(m_current, m_members, status) || finish(status);
}

KIVOAttributeSet* KIVOCompoundIter::getAttributes() { return m_current ? m_current->getAttributes() : nullptr; }

const KIVOAttributeSet* KIVOCompoundIter::getAttributes() const {
    return m_current ? static_cast<const KIVOSurfaceIter&>(*m_current).getAttributes() : nullptr;
}

long KIVOCompoundIter::getPosition(double& x, double& y, const long& attribute) const {
    return m_current ? m_current->getPosition(x, y, attribute) : -1;
}

long KIVOCompoundIter::count() const {
    long total = m_current ? m_current->count() : 0;
    for (const NORVAType<KIVOSurfaceIter>& member : m_members)
        if (member) total += member->count();
    return total;
}

const KIVODescriptor& KIVOCompoundIter::getAttributeDescriptor() const {
    return m_current ? m_current->getAttributeDescriptor() : *m_descriptor;
}

long KIVOCompoundIter::setAttributes(const KIVOAttributeSet& attributes) {
    return m_current ? m_current->setAttributes(attributes) : -1;
}

void KIVOCompoundIter::print(std::ostream& os) const {
    os << "KIVOCompoundIter(members left=" << m_members.size() + (m_current ? 1 : 0) << ")";
}
