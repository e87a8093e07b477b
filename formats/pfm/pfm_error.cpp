#include "formats/pfm/pfm_error.h"

#include <cstdarg>
#include <cstdio>

namespace {
char g_message[2048];
int32_t g_code = 0;
}  // namespace

int32_t pfm_set_error(int32_t code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(g_message, sizeof g_message, format, args);
    va_end(args);
    g_code = code;
    return code;
}

const char* pfm_last_error_text() { return g_message; }

int32_t pfm_last_error_code() { return g_code; }

void pfm_clear_error() {
    g_message[0] = '\0';
    g_code = 0;
}
