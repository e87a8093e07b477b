// Two processes on one surface, for every kind that stores in place:
// - a reader beside a writer: a child stores generation after generation
//   while this process opens and checks the surface again and again; no
//   read may see files of two generations, and none may fail (a read
//   refused because the surface changed since it was opened is counted
//   apart: the caller reopens);
// - two writers: two children each open the surface, read its generation g
//   and store g + 1, again and again; every store reported done must show
//   in the final generation (none overwritten unseen).
//
// KIVO_TWO_PROCESS_SECONDS sets how long each runs (1.5 s by default, as CI
// runs it; the reader's time starts once the writer has stored once);
// scripts/crash-test.sh KIND SECONDS two-process runs a long one.
#include <errno.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "CrashKind.h"
#include "TempFolder.h"

namespace {

using Clock = std::chrono::steady_clock;

double runSeconds() {
    const char* v = std::getenv("KIVO_TWO_PROCESS_SECONDS");
    return v && *v ? std::strtod(v, nullptr) : 1.5;
}

Clock::time_point deadline() {
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(runSeconds()));
}

struct WriterCounts {
    long stored = 0, refused = 0, failed = 0;
};

// Updates until the deadline, then hands its counts to the parent.
[[noreturn]] void writeUntil(CrashKind& kind, const std::string& folder, Clock::time_point end, int out) {
    WriterCounts counts;
    std::string why;
    while (Clock::now() < end) {
        const long stored = kind.update(folder, why);
        if (stored > 0) ++counts.stored;
        else if (stored == CrashKind::kRefused) ++counts.refused;
        else if (++counts.failed == 1) std::fprintf(stderr, "writer %d: %s\n", static_cast<int>(::getpid()), why.c_str());
    }
    const bool sent = ::write(out, &counts, sizeof counts) == static_cast<ssize_t>(sizeof counts);
    ::_exit(sent ? 0 : 4);
}

// Stores generation after generation until killed; says on `stored` when
// the first store is done.
[[noreturn]] void advanceUntilKilled(CrashKind& kind, const std::string& folder, int stored) {
    for (long generation = 0;; ++generation) {
        if (!kind.advance(folder, generation)) {
            std::fprintf(stderr, "writer %d: generation %ld not stored\n", static_cast<int>(::getpid()),
                         generation + 1);
            ::_exit(3);
        }
        if (generation == 0) {
            const char done = 1;
            if (::write(stored, &done, 1) != 1) ::_exit(4);
            ::close(stored);
        }
    }
}

// True once the writer has said it stored; false if it ended first or said
// nothing within a bound far above a store's time on a busy machine.
bool firstStoreDone(int stored) {
    pollfd said{stored, POLLIN, 0};
    int ready = 0;
    do ready = ::poll(&said, 1, 30000);
    while (ready < 0 && errno == EINTR);
    char done = 0;
    return ready == 1 && ::read(stored, &done, 1) == 1;
}

// Each test starts from a surface of generation 1, updated in place once;
// kinds that do not store in place are left out.
class TwoProcess : public ::testing::TestWithParam<size_t> {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(kind.create(folder));
        if (kind.update(folder, why) == 1) return;
        if (why == CrashKind::kUnsupported) GTEST_SKIP() << kind.name() << " does not store in place";
        FAIL() << why;
    }

    CrashKind& kind = *crashtest::kinds()[GetParam()];
    TempFolder tmp;
    const std::string folder = tmp.path().toUTF8();
};

}  // namespace

TEST_P(TwoProcess, ReaderSeesOneGeneration) {
    std::string why;
    ASSERT_TRUE(kind.create(folder));  // generation 0 as the writer makes them
    int stored[2];
    ASSERT_EQ(0, ::pipe(stored));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(stored[0]);
        advanceUntilKilled(kind, folder, stored[1]);
    }
    ::close(stored[1]);
    // The reads count from the writer's first store: a busy machine may keep
    // the writer from storing for longer than the reads last.
    const bool started = firstStoreDone(stored[0]);
    ::close(stored[0]);
    if (!started) {
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        FAIL() << "the writer stored nothing within 30 s (wait status " << status << ")";
    }
    long reads = 0, mixed = 0, errors = 0, refused = 0;
    std::string firstMixed, firstError;
    for (const Clock::time_point end = deadline(); Clock::now() < end; ++reads) {
        if (kind.check(folder, why) >= 0) continue;
        if (why == CrashKind::kChanged) {
            ++refused;
        } else if (why.compare(0, 5, "open:") == 0) {
            if (errors++ == 0) firstError = why;
        } else if (mixed++ == 0) {
            firstMixed = why;
        }
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    EXPECT_TRUE(WIFSIGNALED(status)) << "the writer stopped: " << status;
    const long last = kind.check(folder, why);
    EXPECT_GE(last, 1) << why;
    std::printf("two-process %s reader: %ld reads, %ld mixed, %ld errors, %ld refused as changed since opened; "
                "the writer stored %ld generations\n",
                kind.name(), reads, mixed, errors, refused, last);
    EXPECT_EQ(0, mixed) << firstMixed;
    EXPECT_EQ(0, errors) << firstError;
}

TEST_P(TwoProcess, NoStoreIsLost) {
    std::string why;
    const Clock::time_point end = deadline();
    int pipes[2][2];
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(0, ::pipe(pipes[i]));
        children[i] = ::fork();
        ASSERT_GE(children[i], 0);
        if (children[i] == 0) writeUntil(kind, folder, end, pipes[i][1]);
        ::close(pipes[i][1]);
    }
    WriterCounts counts[2];
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(static_cast<ssize_t>(sizeof counts[i]), ::read(pipes[i][0], &counts[i], sizeof counts[i]));
        ::close(pipes[i][0]);
        int status = 0;
        ASSERT_EQ(children[i], ::waitpid(children[i], &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer " << i << ": " << status;
    }
    // One more update reads the final generation whole (and stores after it).
    const long final = kind.update(folder, why) - 1;
    ASSERT_GE(final, 1) << why;
    const long stored = counts[0].stored + counts[1].stored;
    std::printf("two-process %s writers: %ld + %ld stores done, %ld + %ld refused as changed since opened, "
                "%ld + %ld failed; final generation %ld, stores lost %ld\n",
                kind.name(), counts[0].stored, counts[1].stored, counts[0].refused, counts[1].refused,
                counts[0].failed, counts[1].failed, final, 1 + stored - final);
    EXPECT_EQ(1 + stored, final) << "stores reported done that the surface lost";
    EXPECT_EQ(0, counts[0].failed + counts[1].failed);
}

KIVO_INSTANTIATE_OVER_KINDS(TwoProcess);
