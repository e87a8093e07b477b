#include "multires/KIVOCompoundPointIter.h"

#include <ostream>

#include "multires/KIVOCompoundMembers.h"
#include "platform/proj/NORVACoordSystem.h"

namespace {

bool sameCoordSystem(const NORVACoordSystem* a, const NORVACoordSystem* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return a->isEqual(*b, true);
}

}  // namespace

KIVOCompoundPointIter::KIVOCompoundPointIter(MemberList members) : m_members(std::move(members)) {
    m_members.remove(nullptr);
    if (m_members.empty() || !membersAgree()) {
        m_members.clear();
        markDone();
        return;
    }
    m_coordSystem = m_members.front()->getCoordSystem();
    for (const auto& member : m_members) m_count += member->count();
    takeNextMember();
}

bool KIVOCompoundPointIter::membersAgree() const {
    const KIVOPointIter& first = *m_members.front();
    std::vector<NORVAUString> firstNames, names;
    first.getAvailable(firstNames);
    for (const auto& member : m_members) {
        if (!sameCoordSystem(first.getCoordSystem(), member->getCoordSystem())) return false;
        member->getAvailable(names);
        if (names != firstNames) return false;
    }
    return true;
}

bool KIVOCompoundPointIter::takeNextMember() {
    long status = 0;
    return KIVOCompoundMembers::takeNext(m_current, m_members, status) || finish(status);
}

bool KIVOCompoundPointIter::finish(long status) {
    m_failure = status;
    // The members after a failed one are not walked: they go at once.
    if (status != 0) m_members.clear();
    markDone();
    return false;
}

bool KIVOCompoundPointIter::done(long& status) const {
    long ignored = 0;
    const bool ended = KIVOIter::done(ignored);
    status = ended ? m_failure : 0;
    return ended;
}

bool KIVOCompoundPointIter::next(long& status) {
    if (done(status)) return false;
    return KIVOCompoundMembers::step(m_current, m_members, status) || finish(status);
}

long KIVOCompoundPointIter::getPosition(double& x, double& y) const {
    return m_current ? m_current->getPosition(x, y) : -1;
}

const NORVACoordSystem* KIVOCompoundPointIter::getCoordSystem() const {
    return m_current ? m_current->getCoordSystem() : m_coordSystem;
}

void KIVOCompoundPointIter::getAdditionalAttributes(std::vector<NORVAUString>& names) const {
    if (m_current) m_current->getAdditionalAttributes(names);
    else names.clear();
}

void KIVOCompoundPointIter::getAvailable(std::vector<NORVAUString>& names) const {
    if (m_current) m_current->getAvailable(names);
    else names.clear();
}

long KIVOCompoundPointIter::getAsDouble(long index, double& value) const {
    return m_current ? m_current->getAsDouble(index, value) : -1;
}

KIVOPointIter::DATA_TYPE KIVOCompoundPointIter::getType(long index) const {
    return m_current ? m_current->getType(index) : KIVODataType::DOUBLE;
}

long KIVOCompoundPointIter::get(long index, NORVAUString& value) const {
    return m_current ? m_current->get(index, value) : -1;
}

long KIVOCompoundPointIter::get(long index, long& value) const {
    return m_current ? m_current->get(index, value) : -1;
}

long KIVOCompoundPointIter::get(long index, double& value) const {
    return m_current ? m_current->get(index, value) : -1;
}

bool KIVOCompoundPointIter::indexOf(const NORVAUString& name, long& index, DATA_TYPE& type) const {
    if (m_current) return m_current->indexOf(name, index, type);
    index = -1;
    return false;
}

void KIVOCompoundPointIter::print(std::ostream& os) const {
    os << "KIVOCompoundPointIter(count=" << m_count << ", members left=" << m_members.size() + (m_current ? 1 : 0)
       << ")";
}
