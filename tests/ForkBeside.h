#pragma once
// Forks children while another thread keeps doing the same kind of work, so a
// library lock that a fork can inherit held shows up as a child that hangs.
#include <atomic>
#include <functional>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

// Runs `busy` over and over on a thread while forking `children` children that
// each run `inChild` once; returns how many children did not end with success
// within 5 s.
inline int childrenFailingBeside(const std::function<void()>& busy, const std::function<bool()>& inChild,
                                 int children = 200) {
    std::atomic<bool> stop{false};
    std::thread other([&] {
        while (!stop) busy();
    });
    int failed = 0;
    for (int i = 0; i < children; ++i) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(5);  // a child that waits on an inherited lock ends here
            ::_exit(inChild() ? 0 : 1);
        }
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            ++failed;
    }
    stop = true;
    other.join();
    return failed;
}

}  // namespace testsupport
