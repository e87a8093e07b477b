#pragma once
// Walking a list of member iterators as one, shared by the compound node and
// sounding iterators: they differ only in what a member yields and in how
// members are held (NORVAType or std::shared_ptr), so the walk takes both.
#include <utility>

#include "platform/frame/KIVOIter.h"

namespace KIVOCompoundMembers {

// A member that failed counts as through, so one bad member does not stall
// the whole walk.
inline bool exhausted(const KIVOIter& iter) {
    long status = 0;
    return iter.done(status) || status != 0;
}

// Drops exhausted iterators, taking the next from the front of `members`,
// until `current` has an item; false when the list ran out first.
template <class Member, class MemberList>
bool takeNext(Member& current, MemberList& members) {
    while (!current || exhausted(*current)) {
        current.reset();
        if (members.empty()) return false;
        current = std::move(members.front());
        members.pop_front();
    }
    return true;
}

// Steps the current member and moves on to the next once it is through;
// false when no member has an item left.
template <class Member, class MemberList>
bool step(Member& current, MemberList& members, long& status) {
    if (!current) return false;
    current->next(status);
    if (!exhausted(*current)) return true;
    return takeNext(current, members);
}

}  // namespace KIVOCompoundMembers
