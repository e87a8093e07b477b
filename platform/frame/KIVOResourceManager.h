#pragma once
// The one process-wide memory budget shared by the caches of open surfaces.
// Members report the bytes they hold; the available count is the limit less
// what all members hold, after `resetMemoryLimit`. Callers take a block of n
// bytes by subtracting from `m_available` once they have made room.
//
// Independent surfaces may be used on different threads (each object by one
// thread at a time): the budget has one lock, held around every use of the
// available count and the member list and around the callbacks into
// members. A member holds it too while it changes what getHeldBytes and
// releaseCache read or free, and releaseCache never touches what the
// member's own caller may be using at that moment.
#include <cstddef>
#include <cstdint>
#include <atomic>
#include <mutex>
#include <vector>

#include "platform/core/KIVOExport.h"

class KIVOSurfaceDataIO;

// A data-IO that keeps cached memory implements this to take part.
class KIVO_EXPORT KIVOResourceMember {
public:
    virtual ~KIVOResourceMember() = default;
    // Both are called with the budget's lock held, from any thread.
    virtual uint64_t getHeldBytes() const = 0;
    // Frees what can be freed without losing data; leaves alone what the
    // member's own caller holds.
    virtual void releaseCache() = 0;
};

class KIVO_EXPORT KIVOResourceManager {
public:
    using Lock = std::unique_lock<std::recursive_mutex>;

    static KIVOResourceManager m_instance;

    // Default limit 1 GiB; "KIVO_MEMORY_LIMIT" (megabytes) changes it at start-up.
    KIVOResourceManager();

    void add(KIVOSurfaceDataIO* dataIO);
    // Harmless for an object that is not a member.
    void remove(KIVOSurfaceDataIO* dataIO);
    // Frees the caches of every member but `except` (null: every member),
    // then recomputes the available count.
    void flush(const KIVOSurfaceDataIO* except);
    void resetMemoryLimit();
    void setMemoryLimit(uint64_t bytes);
    uint64_t getMemoryLimit() const;
    bool isMember(const KIVOSurfaceDataIO* dataIO) const;
    size_t memberCount() const;

    // The budget's lock; recursive, so that a member holding it may ask for
    // room and be called back.
    Lock hold() const { return Lock(m_lock); }
    // Takes a block for a cache of `requester` (null: of no member) the way
    // every cache does: when the count is short, the other members' caches
    // are flushed, then every member's. False, and nothing taken, when the
    // block still does not fit.
    bool take(uint64_t bytes, const KIVOSurfaceDataIO* requester);

    // Only in a child just forked, before anything else runs there.
    void startAfresh();

    // Bytes still available: read directly by callers, like the original,
    // with the lock held.
    uint32_t m_available = 0;

private:
    uint64_t heldByMembers() const;

    // Read without the lock: an open that holds its surface's folder asks
    // for it, while a commit waiting for that folder may hold the lock.
    std::atomic<uint64_t> m_limit;
    std::vector<KIVOSurfaceDataIO*> m_members;
    mutable std::recursive_mutex m_lock;
};
