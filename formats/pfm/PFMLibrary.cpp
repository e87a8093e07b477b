#include "formats/pfm/PFMLibrary.h"

#include <cstdio>
#include <string>

namespace PFMLibrary {

void printLastError() {
    const char* text = pfm_last_error_text();
    if (text && *text) std::printf("PFM Error: %s\n", text);
}

long openReadOnly(const NORVAUString& path, int32_t& handle, BIN_HEADER& head) {
    handle = -1;
    PFM_OPEN_ARGS args;
    const std::string narrow = path.toUTF8();
    pfm_clear_error();
    if (narrow.size() >= sizeof args.list_path) {
        pfm_set_error(PFM_PATH_TOO_LONG, "PFM path too long: %s", narrow.c_str());
        printLastError();
        return -1;
    }
    narrow.copy(args.list_path, narrow.size());
    // Viewing a surface never changes its files.
    args.read_only = true;
    const int32_t opened = pfm_open_existing(&args);
    if (opened < 0) {
        printLastError();
        return -1;
    }
    if (parse_bin_header(opened, &head) != 0) {
        printLastError();
        pfm_close(opened);
        return -1;
    }
    handle = opened;
    return 0;
}

}  // namespace PFMLibrary
