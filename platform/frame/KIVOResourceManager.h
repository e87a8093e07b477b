#pragma once
// The one process-wide memory budget shared by the caches of open surfaces.
// Members report the bytes they hold; the available count is the limit less
// what all members hold, after `resetMemoryLimit`. Callers take a block of n
// bytes by subtracting from `m_available` once they have made room.
#include "platform/core/KIVOExport.h"
#include <cstddef>
#include <cstdint>
#include <vector>

class KIVOSurfaceDataIO;

// A data-IO that keeps cached memory implements this to take part.
class KIVO_EXPORT KIVOResourceMember {
public:
    virtual ~KIVOResourceMember() = default;
    virtual uint64_t getHeldBytes() const = 0;
    // Frees what can be freed without losing data.
    virtual void releaseCache() = 0;
};

class KIVO_EXPORT KIVOResourceManager {
public:
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
    uint64_t getMemoryLimit() const { return m_limit; }
    bool isMember(const KIVOSurfaceDataIO* dataIO) const;
    size_t memberCount() const { return m_members.size(); }

    // Bytes still available: read directly by callers, like the original.
    uint32_t m_available = 0;

private:
    uint64_t heldByMembers() const;

    uint64_t m_limit;
    std::vector<KIVOSurfaceDataIO*> m_members;
};
