#pragma once
// Redirections of the engine's error stream for the tests.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cube_engine/cube.h"

namespace enginetest {

// Collects what the engine reports while it is alive.
struct CapturedReports {
    char *text = nullptr;
    size_t size = 0;
    FILE *stream;
    CapturedReports() : stream(open_memstream(&text, &size)) { cube_set_error_stream(stream); }
    ~CapturedReports()
    {
        cube_set_error_stream(nullptr);
        fclose(stream);
        free(text);
    }
    CapturedReports(const CapturedReports &) = delete;
    CapturedReports &operator=(const CapturedReports &) = delete;
    std::string str()
    {
        fflush(stream);
        return std::string(text, size);
    }
};

// Silences the engine where a test provokes failures on purpose.
struct Quiet {
    FILE *sink = fopen("/dev/null", "w");
    Quiet() { cube_set_error_stream(sink); }
    ~Quiet()
    {
        cube_set_error_stream(nullptr);
        fclose(sink);
    }
    Quiet(const Quiet &) = delete;
    Quiet &operator=(const Quiet &) = delete;
};

}  // namespace enginetest
