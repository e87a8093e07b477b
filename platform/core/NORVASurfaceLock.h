#pragma once
// Keeps a commit and the reads of other processes and threads apart: a
// commit holds the folders it changes exclusively while its journal is
// written and applied; a read holds its surface's folder shared while it
// looks at what is on disk (an open before and after it reads the files, a
// grid read when first asked for), so that it never sees a commit halfway.
//
// The lock is flock(2) on the folder itself: it needs no write permission
// and creates no file, so a read-only folder is read as before. A folder
// whose file system keeps no such locks is used unlocked, as before. Holds
// are short (no hold outlives the call that takes it); a wait is bounded,
// then kBusy. One lock serves every surface of a folder. A hold is let go of
// by an explicit unlock, and a child made by fork holds none of its parent's
// folders, whichever thread held them (NORVALockedFiles).
//
// A thread that holds a folder takes it again without waiting (exclusive
// serves shared too), so nested opens (a compound's members) and the reads
// of a committing thread never wait on themselves. A thread holding a folder
// shared that asks for it exclusive is refused with kBusy at once: the
// change would first drop the shared hold that its outer read relies on.
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

class NORVASurfaceLock {
public:
    enum Mode { SHARED, EXCLUSIVE };
    // Another process (or thread) held the surface's folder longer than the wait.
    static constexpr long kBusy = 146024;

    NORVASurfaceLock() = default;
    ~NORVASurfaceLock() { release(); }
    NORVASurfaceLock(const NORVASurfaceLock&) = delete;
    NORVASurfaceLock& operator=(const NORVASurfaceLock&) = delete;

    // Takes every folder (absolute paths) in one order, sorted, so that two
    // commits never hold one each and wait for the other; a folder that does
    // not exist is skipped. 0, or kBusy with nothing taken.
    long lock(std::vector<std::string> folders, Mode mode);
    long lock(const std::string& folder, Mode mode) { return lock(std::vector<std::string>{folder}, mode); }
    void release();
    bool empty() const { return m_held.empty(); }

    // The folder that holds a path ("." for a bare name).
    static std::string folderOf(const std::string& path);

    // How long a lock is waited for (10 s unless set); returns the one before.
    static double setWaitSeconds(double seconds);

private:
    using Key = std::pair<dev_t, ino_t>;
    long take(const std::string& folder, Mode mode);

    std::vector<std::pair<Key, Mode>> m_held;
};
