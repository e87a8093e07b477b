// The crash test: for every registered kind, a child process repeats the
// kind's operation and is killed with SIGKILL after a pseudo-random delay
// drawn from a fixed seed; after each kill the parent opens the surface,
// which must hold one whole generation no older than before the kill, with
// no temporary file or journal left once it has been opened.
//
// KIVO_CRASH_COUNT sets the kills per kind (20 by default, as CI runs it),
// KIVO_CRASH_SEED the seed; scripts/crash-test.sh KIND COUNT runs one kind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "CrashKind.h"
#include "TempFolder.h"

namespace fs = std::filesystem;

namespace crashtest {

std::vector<std::unique_ptr<CrashKind>>& kinds() {
    static std::vector<std::unique_ptr<CrashKind>> all;
    return all;
}

std::string kindTestName(size_t index) {
    std::string n = kinds()[index]->name();
    for (char& c : n)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
}

// Temporaries and journals under the folder; their names go to `names`.
unsigned leftovers(const std::string& folder, std::string* names) {
    unsigned found = 0;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder)) {
        const std::string n = e.path().filename().string();
        if (n.find(".tmp-") == std::string::npos && !(n.size() > 8 && n.compare(n.size() - 8, 8, ".journal") == 0))
            continue;
        ++found;
        if (names) *names += " " + n;
    }
    return found;
}

}  // namespace crashtest

namespace {

unsigned envNumber(const char* name, unsigned fallback) {
    const char* v = std::getenv(name);
    return v && *v ? static_cast<unsigned>(std::strtoul(v, nullptr, 10)) : fallback;
}

// Seconds one operation takes, measured in this process.
double secondsPerOperation(CrashKind& kind, const std::string& folder, long& generation) {
    const auto start = std::chrono::steady_clock::now();
    const int runs = 3;
    for (int i = 0; i < runs; ++i)
        if (kind.advance(folder, generation)) ++generation;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / runs;
}

// Tells the parent through `ready` that the loop starts, so that its delay
// counts from there and not from the fork.
[[noreturn]] void runUntilKilled(CrashKind& kind, const std::string& folder, long generation, int ready) {
    const char go = 1;
    if (::write(ready, &go, 1) != 1) ::_exit(4);
    for (;; ++generation)
        if (!kind.advance(folder, generation)) ::_exit(3);
}

class Crash : public ::testing::TestWithParam<size_t> {};

}  // namespace

TEST_P(Crash, EveryKillLeavesOneWholeGeneration) {
    CrashKind& kind = *crashtest::kinds()[GetParam()];
    const unsigned count = envNumber("KIVO_CRASH_COUNT", 20);
    std::mt19937_64 random(envNumber("KIVO_CRASH_SEED", 20261207) + GetParam());
    TempFolder tmp;
    const std::string folder = tmp.path().toUTF8();
    ASSERT_TRUE(kind.create(folder));
    long generation = 0;
    const double period = secondsPerOperation(kind, folder, generation);
    std::uniform_real_distribution<double> delay(0.0, 2.5 * period);
    unsigned survived = 0, left = 0, advanced = 0, cleaned = 0;
    for (unsigned i = 0; i < count; ++i) {
        std::string why;
        const long before = kind.check(folder, why);
        ASSERT_GE(before, 0) << why;
        int ready[2];
        ASSERT_EQ(0, ::pipe(ready));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) runUntilKilled(kind, folder, before, ready[1]);
        char go = 0;
        EXPECT_EQ(1, ::read(ready[0], &go, 1));
        ::close(ready[0]);
        ::close(ready[1]);
        ::usleep(static_cast<useconds_t>(delay(random) * 1e6));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(child, ::waitpid(child, &status, 0));
        EXPECT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << status;
        cleaned += crashtest::leftovers(folder) > 0;
        const long after = kind.check(folder, why);
        std::string names;
        const unsigned extra = crashtest::leftovers(folder, &names);
        left += extra;
        advanced += after > before;
        if (after >= before && extra == 0) {
            ++survived;
        } else {
            ADD_FAILURE() << "kill " << i << ": generation " << before << " -> " << after << " (" << why << "), "
                          << extra << " leftovers:" << names;
            // Counting goes on from a fresh surface.
            for (const fs::directory_entry& e : fs::directory_iterator(folder)) fs::remove_all(e.path());
            ASSERT_TRUE(kind.create(folder));
        }
    }
    std::printf("crash %s: %u/%u kills survived, %u leftovers after reopening; %u kills after a new generation, "
                "%u left temporaries or a journal for the reopening to clean\n",
                kind.name(), survived, count, left, advanced, cleaned);
    EXPECT_EQ(count, survived);
}

KIVO_INSTANTIATE_OVER_KINDS(Crash);
