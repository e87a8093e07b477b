#include "platform/core/NORVALockedFiles.h"

#include <pthread.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// Taken across every fork, so that a child inherits the list whole and no
// descriptor in it is closed, or made, halfway.
std::mutex s_mutex;
std::vector<int>* s_made = nullptr;  // never freed: a thread may release after exit starts

void beforeFork() { s_mutex.lock(); }
void inParent() { s_mutex.unlock(); }

void inChild() {
    if (s_made) {
        for (const int fd : *s_made) ::close(fd);
        s_made->clear();
    }
    s_mutex.unlock();
}

const bool kForkHandled = ::pthread_atfork(beforeFork, inParent, inChild) == 0;

}  // namespace

int NORVALockedFiles::make(const std::function<int()>& make) {
    std::lock_guard<std::mutex> hold(s_mutex);
    const int fd = make();
    if (fd < 0) return fd;
    if (!s_made) s_made = new std::vector<int>;
    s_made->push_back(fd);
    return fd;
}

void NORVALockedFiles::release(int fd) {
    if (fd < 0) return;
    (void)::flock(fd, LOCK_UN);
    // Forgotten and closed in one step: a child must never close the number
    // once another file may have it.
    std::lock_guard<std::mutex> hold(s_mutex);
    if (s_made) {
        const auto found = std::find(s_made->begin(), s_made->end(), fd);
        if (found != s_made->end()) s_made->erase(found);
    }
    ::close(fd);
}
