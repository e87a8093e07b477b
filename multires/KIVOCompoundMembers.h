#pragma once
// Walking a list of member iterators as one, shared by the compound node and
// sounding iterators: they differ only in what a member yields and in how
// members are held (NORVAType or std::shared_ptr), so the walk takes both.
//
// A member's failure (a non-zero status from its `done` or `next`) ends the
// walk of them all and is handed to the caller: the members after it cannot
// make up for the items it lost, and a walk that went on would end with
// status 0 and those items missing.
#include <utility>

#include "platform/frame/KIVOIter.h"

namespace KIVOCompoundMembers {

// Drops exhausted iterators, taking the next from the front of `members`,
// until `current` has an item; false when the list ran out first or a
// member failed (its failure in `status`, and `current` dropped).
template <class Member, class MemberList>
bool takeNext(Member& current, MemberList& members, long& status) {
    status = 0;
    while (true) {
        if (current) {
            const bool through = current->done(status);
            if (status != 0) break;
            if (!through) return true;
        }
        current.reset();
        if (members.empty()) return false;
        current = std::move(members.front());
        members.pop_front();
    }
    current.reset();
    return false;
}

// Steps the current member and moves on to the next once it is through;
// false when no member has an item left or a member failed (its failure
// in `status`).
template <class Member, class MemberList>
bool step(Member& current, MemberList& members, long& status) {
    status = 0;
    if (!current) return false;
    current->next(status);
    if (status == 0) return takeNext(current, members, status);
    current.reset();
    return false;
}

}  // namespace KIVOCompoundMembers
