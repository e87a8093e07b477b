#pragma once
// Standard output goes nowhere while this object lives: the CUBE data-IO
// reports its caches there, which a test's own output would drown in.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

class QuietOutput {
public:
    QuietOutput() {
        std::fflush(stdout);
        m_saved = ::dup(1);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            ::dup2(null, 1);
            ::close(null);
        }
    }
    ~QuietOutput() {
        std::fflush(stdout);
        if (m_saved >= 0) {
            ::dup2(m_saved, 1);
            ::close(m_saved);
        }
    }
    QuietOutput(const QuietOutput&) = delete;
    QuietOutput& operator=(const QuietOutput&) = delete;

private:
    int m_saved = -1;
};
