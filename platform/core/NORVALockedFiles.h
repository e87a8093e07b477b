#pragma once
// Descriptors that carry flock(2) locks. Such a lock belongs to the open file
// description, which a child made by fork shares with its parent: closing
// the parent's descriptor lets go of nothing while the child's copy lives.
// So every such lock is let go of by an explicit unlock before the close.
//
// A descriptor made here is also closed in every child forked while it is
// open (closed, not unlocked: an unlock would let go of the parent's lock
// too), so that no hold another process waits on outlives the parent in a
// child. Only for descriptors that nothing in a child releases: whatever a
// child still has of them after the fork must never close them again.
#include <functional>

class NORVALockedFiles {
public:
    // The descriptor `make` returns (open, mkstemp, ...: -1 for none),
    // registered with no fork in between.
    static int make(const std::function<int()>& make);
    // Unlocks and closes `fd`, made here or not; -1 is nothing.
    static void release(int fd);
};
