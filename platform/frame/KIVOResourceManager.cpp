#include "platform/frame/KIVOResourceManager.h"

#include <pthread.h>

#include <algorithm>
#include <new>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <string>

#include "platform/frame/KIVOSurfaceDataIO.h"

namespace {

constexpr uint64_t kDefaultLimit = uint64_t(1) << 30;  // 1 GiB
constexpr uint64_t kMegabyte = uint64_t(1) << 20;

// "KIVO_MEMORY_LIMIT" in megabytes: a whole positive number; anything else
// keeps the default. Read with getenv directly: this runs from a static
// initialiser and must depend on no other global.
uint64_t limitFromEnvironment() {
    const char* text = std::getenv("KIVO_MEMORY_LIMIT");
    if (!text || !*text) return kDefaultLimit;
    errno = 0;
    char* end = nullptr;
    unsigned long long mb = std::strtoull(text, &end, 10);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (errno != 0 || end == text || (end && *end) || mb == 0 || text[0] == '-') return kDefaultLimit;
    if (mb > std::numeric_limits<uint64_t>::max() / kMegabyte) return std::numeric_limits<uint64_t>::max();
    return mb * kMegabyte;
}

const KIVOResourceMember* asMember(const KIVOSurfaceDataIO* dataIO) {
    return dynamic_cast<const KIVOResourceMember*>(dataIO);
}

}  // namespace

KIVOResourceManager KIVOResourceManager::m_instance;

namespace {

void startChildAfresh() { KIVOResourceManager::m_instance.startAfresh(); }

}  // namespace

KIVOResourceManager::KIVOResourceManager() : m_limit(limitFromEnvironment()) {
    resetMemoryLimit();
    if (this == &m_instance) (void)::pthread_atfork(nullptr, nullptr, startChildAfresh);
}

// A child forked while another thread held the lock would inherit it held by
// a thread it does not have, and wait for it for ever; and the members that
// thread was changing may be halfway. The child's budget is a new one: no
// lock held, no members (their destructors' `remove` finds nothing), the
// whole limit available. The old list is left as it is, not freed: the
// thread may have been moving it. Nothing is taken in the parent, so forks
// never wait for a store and stores never wait for a fork.
void KIVOResourceManager::startAfresh() {
    new (&m_lock) std::recursive_mutex;
    new (&m_members) std::vector<KIVOSurfaceDataIO*>;
    resetMemoryLimit();
}

void KIVOResourceManager::add(KIVOSurfaceDataIO* dataIO) {
    Lock lock = hold();
    if (!dataIO || isMember(dataIO)) return;
    m_members.push_back(dataIO);
}

void KIVOResourceManager::remove(KIVOSurfaceDataIO* dataIO) {
    Lock lock = hold();
    auto it = std::find(m_members.begin(), m_members.end(), dataIO);
    if (it != m_members.end()) m_members.erase(it);
}

// A member may leave or enter the manager while it releases its cache, so the
// loop runs over a snapshot and skips whoever has left meanwhile.
void KIVOResourceManager::flush(const KIVOSurfaceDataIO* except) {
    Lock lock = hold();
    const std::vector<KIVOSurfaceDataIO*> snapshot = m_members;
    for (KIVOSurfaceDataIO* dataIO : snapshot) {
        if (dataIO == except || !isMember(dataIO)) continue;
        if (auto* member = dynamic_cast<KIVOResourceMember*>(dataIO)) member->releaseCache();
    }
    resetMemoryLimit();
}

void KIVOResourceManager::resetMemoryLimit() {
    Lock lock = hold();
    const uint64_t held = heldByMembers();
    const uint64_t limit = m_limit.load();
    const uint64_t available = limit > held ? limit - held : 0;
    m_available = available > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                                   : static_cast<uint32_t>(available);
}

void KIVOResourceManager::setMemoryLimit(uint64_t bytes) {
    Lock lock = hold();
    m_limit = bytes;
    resetMemoryLimit();
}

uint64_t KIVOResourceManager::getMemoryLimit() const { return m_limit.load(); }

size_t KIVOResourceManager::memberCount() const {
    Lock lock = hold();
    return m_members.size();
}

bool KIVOResourceManager::take(uint64_t bytes, const KIVOSurfaceDataIO* requester) {
    Lock lock = hold();
    resetMemoryLimit();
    if (bytes > m_available) flush(requester);
    if (bytes > m_available && requester != nullptr) flush(nullptr);
    if (bytes > m_available) return false;
    m_available -= static_cast<uint32_t>(bytes);
    return true;
}

bool KIVOResourceManager::isMember(const KIVOSurfaceDataIO* dataIO) const {
    Lock lock = hold();
    return dataIO && std::find(m_members.begin(), m_members.end(), dataIO) != m_members.end();
}

uint64_t KIVOResourceManager::heldByMembers() const {
    uint64_t held = 0;
    for (const KIVOSurfaceDataIO* dataIO : m_members) {
        const KIVOResourceMember* member = asMember(dataIO);
        if (!member) continue;
        const uint64_t bytes = member->getHeldBytes();
        held = bytes > std::numeric_limits<uint64_t>::max() - held ? std::numeric_limits<uint64_t>::max()
                                                                    : held + bytes;
    }
    return held;
}
