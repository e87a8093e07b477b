#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "FrameTestSupport.h"
#include "platform/frame/KIVOResourceManager.h"

using namespace frametest;

namespace {
// A data-IO with a cache of `held` bytes that releaseCache empties.
class CachingIO : public VectorDataIO, public KIVOResourceMember {
public:
    explicit CachingIO(uint64_t held) : VectorDataIO({}), held(held) {}
    uint64_t getHeldBytes() const override { return held; }
    void releaseCache() override {
        ++releases;
        held = 0;
    }
    uint64_t held;
    int releases = 0;
};
constexpr uint64_t MB = 1 << 20;
}  // namespace

TEST(FrameResourceManager, DefaultLimitIsOneGiBUnlessEnvironmentSaysOtherwise) {
    const char* env = std::getenv("KIVO_MEMORY_LIMIT");
    KIVOResourceManager m;
    if (!env) {
        EXPECT_EQ(m.getMemoryLimit(), uint64_t(1) << 30);
        EXPECT_EQ(m.m_available, uint32_t(1) << 30);
    }
    ::setenv("KIVO_MEMORY_LIMIT", "64", 1);
    KIVOResourceManager m64;
    EXPECT_EQ(m64.getMemoryLimit(), 64 * MB);
    ::setenv("KIVO_MEMORY_LIMIT", "lots", 1);
    KIVOResourceManager bad;
    EXPECT_EQ(bad.getMemoryLimit(), uint64_t(1) << 30);
    if (env)
        ::setenv("KIVO_MEMORY_LIMIT", env, 1);
    else
        ::unsetenv("KIVO_MEMORY_LIMIT");
}

TEST(FrameResourceManager, ProtocolWithTwoMembers) {
    KIVOResourceManager m;
    m.setMemoryLimit(100 * MB);
    CachingIO a(30 * MB), b(50 * MB);
    m.add(&a);
    m.add(&b);
    m.add(&a);  // already a member
    EXPECT_EQ(m.memberCount(), 2u);
    EXPECT_TRUE(m.isMember(&a));

    m.resetMemoryLimit();
    EXPECT_EQ(m.m_available, 20 * MB);

    // A caller takes a block, as the CUBE data-IO does.
    m.m_available -= 5 * MB;
    EXPECT_EQ(m.m_available, 15 * MB);

    // flush(member): every member but that one, then recount.
    m.flush(&a);
    EXPECT_EQ(a.releases, 0);
    EXPECT_EQ(b.releases, 1);
    EXPECT_EQ(a.held, 30 * MB);
    EXPECT_EQ(m.m_available, 70 * MB);

    // flush(null): every member.
    b.held = 10 * MB;
    m.flush(nullptr);
    EXPECT_EQ(a.releases, 1);
    EXPECT_EQ(b.releases, 2);
    EXPECT_EQ(m.m_available, 100 * MB);

    // Removing a non-member is harmless; removing a member stops its counting.
    CachingIO stranger(1);
    m.remove(&stranger);
    m.remove(nullptr);
    EXPECT_EQ(m.memberCount(), 2u);
    a.held = 40 * MB;
    m.remove(&a);
    m.remove(&a);
    EXPECT_FALSE(m.isMember(&a));
    m.resetMemoryLimit();
    EXPECT_EQ(m.m_available, 100 * MB);
    m.flush(nullptr);
    EXPECT_EQ(a.releases, 1);
}

TEST(FrameResourceManager, ResetSaturates) {
    KIVOResourceManager m;
    m.setMemoryLimit(10 * MB);
    CachingIO big(11 * MB);
    m.add(&big);
    m.resetMemoryLimit();
    EXPECT_EQ(m.m_available, 0u);  // held beyond the limit: nothing, not a wrap-around
    m.remove(&big);
    m.setMemoryLimit(uint64_t(8) << 30);  // 8 GiB does not fit 32 bits
    EXPECT_EQ(m.m_available, UINT32_MAX);
    CachingIO huge(UINT64_MAX), more(5);
    m.add(&huge);
    m.add(&more);
    m.resetMemoryLimit();
    EXPECT_EQ(m.m_available, 0u);
}

TEST(FrameResourceManager, DataIOWithoutMemberInterfaceHoldsNothing) {
    KIVOResourceManager m;
    m.setMemoryLimit(10 * MB);
    VectorDataIO plain({});
    m.add(&plain);
    EXPECT_TRUE(m.isMember(&plain));
    m.flush(nullptr);
    EXPECT_EQ(m.m_available, 10 * MB);
    m.remove(&plain);
}

namespace {
// Leaves the manager while releasing, as a surface closing itself might.
class LeavingIO : public CachingIO {
public:
    LeavingIO(KIVOResourceManager& m, uint64_t held) : CachingIO(held), manager(m) {}
    void releaseCache() override {
        CachingIO::releaseCache();
        manager.remove(this);
        if (other) manager.remove(other);
    }
    KIVOResourceManager& manager;
    KIVOSurfaceDataIO* other = nullptr;
};
}  // namespace

TEST(FrameResourceManager, MembersMayLeaveDuringFlush) {
    KIVOResourceManager m;
    m.setMemoryLimit(100 * MB);
    LeavingIO a(m, 10 * MB);
    CachingIO b(20 * MB);
    a.other = &b;
    m.add(&a);
    m.add(&b);
    m.flush(nullptr);
    EXPECT_EQ(a.releases, 1);
    EXPECT_EQ(b.releases, 0);  // it left before its turn
    EXPECT_EQ(m.memberCount(), 0u);
    EXPECT_EQ(m.m_available, 100 * MB);
}

TEST(FrameResourceManager, ProcessWideInstanceExists) {
    KIVOResourceManager& m = KIVOResourceManager::m_instance;
    CachingIO a(1);
    m.remove(&a);  // harmless
    EXPECT_FALSE(m.isMember(&a));
    EXPECT_GT(m.getMemoryLimit(), 0u);
}
