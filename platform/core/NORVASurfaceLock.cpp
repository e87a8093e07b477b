#include "platform/core/NORVASurfaceLock.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "platform/core/NORVALockedFiles.h"

namespace {

// What this thread holds of a folder: one descriptor carrying the lock, and
// how many holds of each mode rest on it.
struct Held {
    int fd = -1;
    int shared = 0;
    int exclusive = 0;
};

thread_local std::map<std::pair<dev_t, ino_t>, Held> t_held;
std::atomic<double> s_waitSeconds{10.0};

// A child process holds none of its parent's folders: NORVALockedFiles
// closes its copies of every thread's descriptors; the forking thread's own
// record of them goes too.
void forgetInChild() { t_held.clear(); }

const bool kForkHandled = ::pthread_atfork(nullptr, nullptr, forgetInChild) == 0;

// Error numbers of a file system that keeps no flock locks.
bool unsupported(int error) { return error == EINVAL || error == ENOLCK || error == EBADF || error == EOPNOTSUPP; }

// Tries the lock until it is had or the wait is over. Commits and reads are
// short, so the first retries come quickly; later ones back off.
int waitFor(int fd, int operation) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(s_waitSeconds.load()));
    auto pause = std::chrono::microseconds(20);
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0) return 0;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return errno;
        if (Clock::now() >= end) return EWOULDBLOCK;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(200));
    }
}

}  // namespace

std::string NORVASurfaceLock::folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

double NORVASurfaceLock::setWaitSeconds(double seconds) { return s_waitSeconds.exchange(seconds); }

long NORVASurfaceLock::lock(std::vector<std::string> folders, Mode mode) {
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (const std::string& folder : folders) {
        if (take(folder, mode) == 0) continue;
        release();
        return kBusy;
    }
    return 0;
}

long NORVASurfaceLock::take(const std::string& folder, Mode mode) {
    const int fd = NORVALockedFiles::make([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0) return 0;  // no folder, nothing in it to keep apart
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        NORVALockedFiles::release(fd);
        return 0;
    }
    const Key key(st.st_dev, st.st_ino);
    auto found = t_held.find(key);
    if (found != t_held.end()) {
        NORVALockedFiles::release(fd);
        Held& held = found->second;
        if (mode == EXCLUSIVE && held.exclusive == 0) return kBusy;
        ++(mode == EXCLUSIVE ? held.exclusive : held.shared);
        m_held.emplace_back(key, mode);
        return 0;
    }
    const int error = waitFor(fd, mode == EXCLUSIVE ? LOCK_EX : LOCK_SH);
    if (error != 0) {
        NORVALockedFiles::release(fd);
        return unsupported(error) ? 0 : kBusy;
    }
    Held held;
    held.fd = fd;
    ++(mode == EXCLUSIVE ? held.exclusive : held.shared);
    t_held.emplace(key, held);
    m_held.emplace_back(key, mode);
    return 0;
}

// An exclusive hold with shared ones taken inside it stays exclusive until
// the last goes: giving it up first would let another writer in.
void NORVASurfaceLock::release() {
    for (auto it = m_held.rbegin(); it != m_held.rend(); ++it) {
        auto found = t_held.find(it->first);
        if (found == t_held.end()) continue;
        Held& held = found->second;
        --(it->second == EXCLUSIVE ? held.exclusive : held.shared);
        if (held.exclusive > 0 || held.shared > 0) continue;
        NORVALockedFiles::release(held.fd);
        t_held.erase(found);
    }
    m_held.clear();
}
