// Where renameat2 is refused outright (a seccomp filter answers EPERM, some
// FUSE and network file systems EOPNOTSUPP), every kind still makes, stores
// and renames its surface, and leaves no journal or temporary behind.
//
// This program's own renameat2 stands in front of the C library's for every
// caller linked into it; while `s_refusal` is 0 it passes the call on.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

#include "CrashKind.h"
#include "TempFolder.h"

namespace {

std::atomic<int> s_refusal{0};
std::atomic<unsigned> s_refused{0};

}  // namespace

extern "C" int renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned int flags) {
    if (const int refusal = s_refusal.load()) {
        ++s_refused;
        errno = refusal;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_renameat2, fromFolder, from, toFolder, to, flags));
}

namespace {

struct Refusal {
    int error;
    const char* name;
};

class RefusedRenameNoReplace : public ::testing::TestWithParam<size_t> {
protected:
    void TearDown() override { s_refusal = 0; }
};

}  // namespace

TEST_P(RefusedRenameNoReplace, EveryKindStoresAndRenames) {
    CrashKind& kind = *crashtest::kinds()[GetParam()];
    for (const Refusal refusal : {Refusal{EPERM, "EPERM"}, Refusal{EOPNOTSUPP, "EOPNOTSUPP"}}) {
        SCOPED_TRACE(refusal.name);
        s_refusal = refusal.error;
        s_refused = 0;
        TempFolder tmp;
        const std::string folder = tmp.path().toUTF8();
        ASSERT_TRUE(kind.create(folder));
        long generation = 0;
        for (; generation < 3; ++generation) ASSERT_TRUE(kind.advance(folder, generation)) << generation;
        std::string why;
        EXPECT_EQ(generation, kind.check(folder, why)) << why;
        std::string names;
        EXPECT_EQ(0u, crashtest::leftovers(folder, &names)) << names;
        EXPECT_GT(s_refused.load(), 0u) << "no commit asked for renameat2";
        std::printf("%s under %s: %ld operations, renameat2 refused %u times\n", kind.name(), refusal.name,
                    generation, s_refused.load());
    }
}

KIVO_INSTANTIATE_OVER_KINDS(RefusedRenameNoReplace);
