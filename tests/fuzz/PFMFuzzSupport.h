#pragma once
// What the PFM fuzz targets share: a structure made by the library's own
// creation path, for seeds and as the data folder behind fuzzed handle files.
#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "formats/pfm/pfm_header.h"
#include "formats/pfm/pfm_open.h"

namespace pfmfuzz {

// A creation header: projected 8 x 4 bins of 5 m, or geographic with the
// given degree bin size, with two index attributes.
inline BIN_HEADER sampleHeader(bool projected) {
    BIN_HEADER head;
    head.projection = projected ? 1 : 0;
    head.mbr_min_x = projected ? 500000.0 : -70.5;
    head.mbr_min_y = projected ? 4000000.0 : 42.25;
    head.mbr_max_x = head.mbr_min_x + (projected ? 40.0 : 0.008);
    head.mbr_max_y = head.mbr_min_y + (projected ? 20.0 : 0.004);
    head.bin_size_xy = projected ? 5.0 : 0.0;
    head.x_bin_size_degrees = projected ? 0.0 : 0.001;
    head.y_bin_size_degrees = projected ? 0.0 : 0.001;
    head.bin_width = 8;
    head.bin_height = 4;
    std::snprintf(head.date, sizeof head.date, "%s", "Mon Dec  7 06:00:00 2026");
    std::snprintf(head.ndx_attr_name[0], sizeof head.ndx_attr_name[0], "%s", "Tide");
    std::snprintf(head.ndx_attr_name[1], sizeof head.ndx_attr_name[1], "%s", "Quality");
    head.min_ndx_attr[0] = -5.0f;
    head.max_ndx_attr[0] = 5.0f;
    head.min_ndx_attr[1] = 0.0f;
    head.max_ndx_attr[1] = 100.0f;
    head.polygon_count = 2;
    head.polygon[1] = {head.mbr_max_x, head.mbr_max_y};
    return head;
}

// Creates <folder>/<name> through pfm_open_common; false when it failed.
inline bool createStructure(const std::string& folder, const std::string& name, bool projected) {
    ::mkdir(folder.c_str(), 0777);
    PFM_OPEN_ARGS args;
    std::snprintf(args.list_path, sizeof args.list_path, "%s/%s", folder.c_str(), name.c_str());
    args.head = sampleHeader(projected);
    args.max_depth = 1000.0f;
    args.offset = 10.0f;
    args.scale = 100.0f;
    const int32_t handle = pfm_open_common(&args);
    if (handle < 0) return false;
    return pfm_close(handle) == 0;
}

}  // namespace pfmfuzz
