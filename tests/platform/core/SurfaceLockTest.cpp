// The folder lock between commits and reads: another process's hold is
// waited for a bounded time, then reported; a thread takes again what it
// holds without waiting on itself (and a child it forks holds nothing); an
// open reads again what a commit replaced while it read.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "TempFolder.h"
#include "TestSupport.h"
#include "platform/core/NORVAAtomicFile.h"
#include "platform/core/NORVAFileTransaction.h"
#include "platform/core/NORVASurfaceLock.h"
#include "platform/core/NORVASurfacePin.h"

namespace {

using Lock = NORVASurfaceLock;

// Sets a short wait for the test and puts the usual one back.
class ShortWait {
public:
    explicit ShortWait(double seconds) : m_before(Lock::setWaitSeconds(seconds)) {}
    ~ShortWait() { Lock::setWaitSeconds(m_before); }

private:
    double m_before;
};

// A child process that holds the folder in `mode` until this object dies.
class HeldElsewhere {
public:
    HeldElsewhere(const std::string& folder, Lock::Mode mode) {
        int up[2], down[2];
        if (::pipe(up) != 0 || ::pipe(down) != 0) return;
        m_child = ::fork();
        if (m_child == 0) {
            ::close(up[0]);
            ::close(down[1]);  // so that the parent's close ends the wait below
            Lock lock;
            const char held = lock.lock(folder, mode) == 0 ? 1 : 0;
            char go = 0;
            ::_exit(::write(up[1], &held, 1) == 1 && ::read(down[0], &go, 1) >= 0 ? 0 : 1);
        }
        char held = 0;
        m_held = ::read(up[0], &held, 1) == 1 && held == 1;
        m_release = down[1];
        ::close(up[0]);
        ::close(up[1]);
        ::close(down[0]);
    }
    ~HeldElsewhere() {
        ::close(m_release);
        int status = 0;
        if (m_child > 0) ::waitpid(m_child, &status, 0);
    }
    bool held() const { return m_held; }

private:
    pid_t m_child = -1;
    int m_release = -1;
    bool m_held = false;
};

double secondsTaking(Lock& lock, const std::string& folder, Lock::Mode mode, long& status) {
    const auto start = std::chrono::steady_clock::now();
    status = lock.lock(folder, mode);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST(SurfaceLock, AnotherProcessesHoldIsWaitedForABoundedTime) {
    struct Case {
        Lock::Mode held, asked;
        bool busy;
    };
    const Case cases[] = {{Lock::SHARED, Lock::SHARED, false},
                          {Lock::SHARED, Lock::EXCLUSIVE, true},
                          {Lock::EXCLUSIVE, Lock::SHARED, true},
                          {Lock::EXCLUSIVE, Lock::EXCLUSIVE, true}};
    TempFolder dir;
    const std::string folder = dir.path().toUTF8();
    ShortWait wait(0.2);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.held) + " then " + std::to_string(c.asked));
        {
            HeldElsewhere other(folder, c.held);
            ASSERT_TRUE(other.held());
            Lock lock;
            long status = 0;
            const double waited = secondsTaking(lock, folder, c.asked, status);
            EXPECT_EQ(c.busy ? Lock::kBusy : 0, status);
            EXPECT_EQ(c.busy, lock.empty());
            if (c.busy) {
                EXPECT_GE(waited, 0.2);
            }
        }
        Lock after;
        EXPECT_EQ(0, after.lock(folder, c.asked)) << "free once the other process let go";
    }
}

TEST(SurfaceLock, AThreadTakesWhatItHoldsAgainWithoutWaiting) {
    TempFolder dir;
    const std::string folder = dir.path().toUTF8(), missing = folder + "/none";
    ShortWait wait(0.5);
    long status = 0;
    {
        Lock outer, inner, again;
        ASSERT_EQ(0, outer.lock({folder, missing}, Lock::EXCLUSIVE));
        EXPECT_LT(secondsTaking(inner, folder, Lock::SHARED, status), 0.1);
        EXPECT_EQ(0, status);
        EXPECT_EQ(0, again.lock(folder, Lock::EXCLUSIVE));
        inner.release();
        HeldElsewhere other(folder, Lock::SHARED);
        EXPECT_FALSE(other.held()) << "still held exclusively by the outer hold";
    }
    {
        // Exclusive inside shared would drop the shared hold first: refused at once.
        Lock outer, inner;
        ASSERT_EQ(0, outer.lock(folder, Lock::SHARED));
        EXPECT_LT(secondsTaking(inner, folder, Lock::EXCLUSIVE, status), 0.1);
        EXPECT_EQ(Lock::kBusy, status);
        HeldElsewhere other(folder, Lock::SHARED);
        EXPECT_TRUE(other.held()) << "the outer hold stayed shared";
    }
    HeldElsewhere other(folder, Lock::EXCLUSIVE);
    EXPECT_TRUE(other.held()) << "every hold is gone";
}

// The child is forked while another thread holds the folder; it idles on.
TEST(SurfaceLock, AHoldLetGoOfIsFreeWhileAChildForkedDuringItLives) {
    TempFolder dir;
    const std::string folder = dir.path().toUTF8();
    ShortWait wait(0.2);
    int forked[2], done[2];
    ASSERT_EQ(0, ::pipe(forked));
    ASSERT_EQ(0, ::pipe(done));
    std::thread holder([&] {
        Lock lock;
        char c = lock.lock(folder, Lock::EXCLUSIVE) == 0 ? 1 : 0;
        EXPECT_EQ(1, ::write(done[1], &c, 1));
        EXPECT_EQ(1, ::read(forked[0], &c, 1));
    });
    char c = 0;
    ASSERT_EQ(1, ::read(done[0], &c, 1));
    ASSERT_EQ(1, c);
    const pid_t child = ::fork();
    if (child == 0) {
        ::sleep(5);
        ::_exit(0);
    }
    EXPECT_EQ(1, ::write(forked[1], &c, 1));
    holder.join();
    {
        HeldElsewhere other(folder, Lock::EXCLUSIVE);
        EXPECT_TRUE(other.held());
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    for (const int fd : {forked[0], forked[1], done[0], done[1]}) ::close(fd);
}

TEST(SurfaceLock, AnOpenReadsUnderASharedHoldThatACommitUnderWayDelays) {
    TempFolder dir;
    const std::string folder = dir.path().toUTF8();
    ShortWait wait(0.2);
    {
        HeldElsewhere committing(folder, Lock::EXCLUSIVE);
        Lock reading;
        EXPECT_EQ(Lock::kBusy, NORVAFileTransaction::holdForReading(dir.file("s"), reading));
    }
    Lock reading;
    EXPECT_EQ(0, NORVAFileTransaction::holdForReading(dir.file("s"), reading));
    HeldElsewhere writer(folder, Lock::EXCLUSIVE);
    EXPECT_FALSE(writer.held()) << "the open holds the folder";
}

// The commit is made from inside the read, as another process's would land.
TEST(SurfaceLock, AnOpenThatACommitOvertookReadsAgain) {
    TempFolder dir;
    const NORVAUString main = dir.file("s.vns");
    const auto commit = [&](const std::string& text) {
        NORVAFileTransaction t(dir.file("s"));
        NORVAAtomicFile f(main);
        return f.write(text.data(), text.size()) && f.commit() && t.commit();
    };
    ASSERT_TRUE(commit("first"));
    ShortWait wait(0.2);
    for (const int overtaken : {1, 3}) {
        SCOPED_TRACE(overtaken);
        NORVASurfacePin pin;
        int reads = 0;
        std::string seen;
        const long status = NORVAFileTransaction::readCommitted(dir.file("s"), main, pin, -7, [&] {
            seen = testsupport::readFile(main.toUTF8());
            if (reads++ < overtaken && !commit("read " + std::to_string(reads))) return -8L;
            return 0L;
        });
        EXPECT_TRUE(pin.unchanged());
        if (overtaken == 1) {
            EXPECT_EQ(0, status);
            EXPECT_EQ(2, reads);
            EXPECT_EQ("read 1", seen) << "what the second read found";
        } else {
            // The third read holds the folder: the commit it tries is refused.
            EXPECT_EQ(-8, status);
            EXPECT_EQ(3, reads);
            EXPECT_EQ("read 2", seen);
        }
    }
}
