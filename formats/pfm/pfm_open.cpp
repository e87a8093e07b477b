#include "formats/pfm/pfm_open.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "formats/pfm/pfm_bins.h"
#include "formats/pfm/pfm_bits.h"
#include "formats/pfm/pfm_checkpoint.h"
#include "formats/pfm/pfm_config.h"
#include "formats/pfm/pfm_error.h"
#include "formats/pfm/pfm_files.h"
#include "formats/pfm/pfm_geodesic.h"
#include "formats/pfm/pfm_handles.h"
#include "formats/pfm/pfm_header.h"
#include "formats/pfm/pfm_huge.h"
#include "formats/pfm/pfm_list.h"
#include "platform/core/NORVAFileUtils.h"

namespace {

const int32_t kThisVersionCode = 47;

bool terminated(const char* field) { return std::memchr(field, '\0', PFM_PATH_SIZE) != nullptr; }

int32_t nearestBits(double range) {
    if (!(range >= 1.0) || !std::isfinite(range)) return 0;
    const double bits = std::round(std::log2(range));
    return bits > 32.0 ? 32 : static_cast<int32_t>(bits);
}

// Layout values of a structure being created, from the open arguments.
void creationLayout(const PFM_OPEN_ARGS& args, PFM_LAYOUT& layout) {
    layout.depth_offset = args.offset;
    layout.depth_scale = args.scale;
    layout.null_depth = args.max_depth + 1.0f;
    layout.depth_bits = nearestBits((static_cast<double>(args.max_depth) + args.offset + 1.0) * args.scale);
    for (int i = 0; i < PFM_ATTRIBUTES; ++i) {
        const double range = static_cast<double>(args.head.max_ndx_attr[i]) - args.head.min_ndx_attr[i];
        layout.ndx_attr_bits[i] =
            args.head.max_ndx_attr[i] > args.head.min_ndx_attr[i] ? nearestBits((range + 1.0) * layout.ndx_attr_scale[i]) : 0;
    }
    layout.coverage_map_address = 0;
}

// Bin sizes and counts of a new header that gives only the map-unit bin size.
void completeNewHeader(BIN_HEADER& head) {
    if (head.projection == 0 && head.bin_size_xy > 0.0 && head.x_bin_size_degrees <= 0.0) {
        const double lat = head.mbr_min_y, lon = head.mbr_min_x;
        double lat2 = lat, lon2 = lon;
        if (pfm_geodesic_direct(PFM_WGS84_A, PFM_WGS84_B, lat, lon, head.bin_size_xy, 0.0, &lat2, &lon2) == 0)
            head.y_bin_size_degrees = lat2 - lat;
        if (pfm_geodesic_direct(PFM_WGS84_A, PFM_WGS84_B, lat, lon, head.bin_size_xy, 90.0, &lat2, &lon2) == 0)
            head.x_bin_size_degrees = lon2 - lon;
    }
    const double sizeX = head.projection != 0 ? head.bin_size_xy : head.x_bin_size_degrees;
    const double sizeY = head.projection != 0 ? head.bin_size_xy : head.y_bin_size_degrees;
    if (head.bin_width <= 0 && sizeX > 0.0)
        head.bin_width = static_cast<int32_t>(std::min(2147483647.0, std::ceil((head.mbr_max_x - head.mbr_min_x) / sizeX)));
    if (head.bin_height <= 0 && sizeY > 0.0)
        head.bin_height = static_cast<int32_t>(std::min(2147483647.0, std::ceil((head.mbr_max_y - head.mbr_min_y) / sizeY)));
    if (head.version[0] == '\0') std::snprintf(head.version, sizeof head.version, "%s", PFM_VERSION_TEXT);
}

// Writes the header and one empty record per bin.
int32_t initialiseBinFile(int32_t handle, PFM_OPEN_ARGS& args) {
    PFM_HANDLE_STATE* state = pfm_state(handle);
    completeNewHeader(args.head);
    state->head = args.head;
    if (pfm_complete_header(state->version_code, state->head, state->layout) != 0 || pfm_setup_layout(handle) != 0)
        return pfm_set_error(PFM_BIN_HEADER_CORRUPT, "%s bin file header corrupt.\n\n", args.bin_path);
    const int32_t status = write_bin_header(handle, &args.head);
    if (status != 0) return status;
    const PFM_POSITIONS& p = state->positions;
    const PFM_LAYOUT& l = state->layout;
    std::vector<uint8_t> record(static_cast<size_t>(p.bin_record_bytes), 0);
    const uint32_t nullDepth =
        static_cast<uint32_t>(std::llround((static_cast<double>(l.null_depth) + l.depth_offset) * l.depth_scale));
    for (int64_t depth : p.depth) pfm_bit_pack(record.data(), record.size(), depth, l.depth_bits, nullDepth);
    std::vector<uint8_t> row;
    for (int32_t c = 0; c < state->head.bin_width; ++c) row.insert(row.end(), record.begin(), record.end());
    for (int32_t r = 0; r < state->head.bin_height; ++r)
        if (pfm_huge_write(state->bin_handle, row.data(), row.size()) != row.size())
            return pfm_set_error(PFM_WRITE_BIN_FILE_ERROR, "%s", "Error writing to bin file");
    return 0;
}

void closeStreams(PFM_HANDLE_STATE* state) {
    if (state->list_fp) std::fclose(state->list_fp);
    if (state->line_fp) std::fclose(state->line_fp);
    state->list_fp = state->line_fp = nullptr;
}

int32_t failOpen(int32_t handle) {
    PFM_HANDLE_STATE* state = pfm_state(handle);
    if (state) {
        closeStreams(state);
        if (state->bin_handle >= 0) pfm_huge_close(state->bin_handle);
        if (state->index_handle >= 0) pfm_huge_close(state->index_handle);
    }
    pfm_free_handle(handle);
    return PFM_FAILURE;
}

// Step 1 of opening: the list, bin and index paths from a handle file, which
// is created when nothing exists under the name.
int32_t resolvePaths(PFM_OPEN_ARGS& args, bool& listExists) {
    const bool exists = pfm_file_exists(args.list_path);
    if (!exists && args.read_only) return pfm_set_error(PFM_NO_SUCH_FILE, "%s does not exist", args.list_path);
    if (!exists) {
        const int32_t status = pfm_create_handle_file(args.list_path);
        if (status != 0) return status;
    }
    if (!exists || pfm_is_handle_file(args.list_path)) {
        const std::string stem = pfm_handle_data_stem(args.list_path);
        if (!pfm_copy_path(args.bin_path, PFM_PATH_SIZE, (stem + ".bin").c_str()) ||
            !pfm_copy_path(args.index_path, PFM_PATH_SIZE, (stem + ".ndx").c_str()) ||
            !pfm_copy_path(args.list_path, PFM_PATH_SIZE, (stem + ".ctl").c_str()))
            return pfm_set_error(PFM_PATH_TOO_LONG, "%s", "PFM path too long");
    }
    listExists = pfm_file_exists(args.list_path);
    return 0;
}

int32_t checkCheckpoint(const PFM_OPEN_ARGS& args, const std::string& linePath) {
    if (!pfm_checkpoints_on()) return 0;
    const int32_t state = pfm_checkpoint_state(args.list_path);
    if (state < 0) return 0;
    if (state == 0) {
        if (!args.read_only) std::remove(pfm_checkpoint_path(args.list_path).c_str());
        return 0;
    }
    if (args.checkpoint != 2)
        return pfm_set_error(PFM_CHECKPOINT_EXISTS,
                             "\nCheckpoint file exists.\nPrevious load or append operation aborted.\n"
                             "Please run pfm_recompute %s to rebuild the file.\n",
                             args.list_path);
    if (args.read_only || pfm_checkpoint_recover(args.list_path, linePath.c_str(), args.index_path) != 0)
        return pfm_set_error(PFM_CHECKPOINT_RECOVER_ERROR, "Unable to recover checkpoint file for %s.  Bummer!\n",
                             args.list_path);
    return 0;
}

std::string linePathOf(const char* listPath) {
    const std::string list = listPath;
    if (list.size() >= 4 && list.compare(list.size() - 4, 4, ".ctl") == 0) return list.substr(0, list.size() - 4) + ".lin";
    return list + ".lin";
}

}  // namespace

int32_t pfm_open_existing(PFM_OPEN_ARGS* args) {
    if (!args) return pfm_set_error(PFM_NO_SUCH_FILE, "%s does not exist", "(null)");
    if (!terminated(args->list_path)) return pfm_set_error(PFM_PATH_TOO_LONG, "%s", "PFM path too long");
    char line[PFM_PATH_SIZE] = {};
    FILE* f = NORVAFileUtils::openRegularFile(args->list_path, false);
    if (!f) return pfm_set_error(PFM_NO_SUCH_FILE, "%s does not exist", args->list_path);
    const bool gotLine = pfm_ngets(line, sizeof line, f) != nullptr;
    std::fclose(f);
    std::string list = args->list_path;
    if (gotLine && std::strstr(line, "PFM Handle File")) list = pfm_handle_data_stem(args->list_path) + ".ctl";

    f = NORVAFileUtils::openRegularFile(list.c_str(), false);
    if (!f) return pfm_set_error(PFM_OPEN_FAILED, "Unable to open %s, %s", args->list_path, std::strerror(errno));
    const bool gotVersion = pfm_ngets(line, sizeof line, f) != nullptr;
    std::fclose(f);
    if (!gotVersion)
        return pfm_set_error(PFM_READ_VERSION_ERROR, "Error reading version number from list file %s", list.c_str());
    if (!std::strstr(line, "Software - PFM I/O library V"))
        return pfm_set_error(PFM_READ_VERSION_ERROR, "Version string in list file %s in error", list.c_str());

    args->max_depth = 0.0f;
    args->offset = 0.0f;
    args->scale = 0.0f;
    return pfm_open_common(args);
}

int32_t pfm_open_common(PFM_OPEN_ARGS* args) {
    if (!args) return pfm_set_error(PFM_NO_SUCH_FILE, "%s does not exist", "(null)");
    if (!terminated(args->list_path) || !terminated(args->bin_path) || !terminated(args->index_path))
        return pfm_set_error(PFM_PATH_TOO_LONG, "%s", "PFM path too long");
    bool listExists = false;
    int32_t status = resolvePaths(*args, listExists);
    if (status != 0) return status;
    const std::string linePath = linePathOf(args->list_path);
    status = checkCheckpoint(*args, linePath);
    if (status != 0) return status;
    pfm_fill_data_type_names();

    const int32_t handle = pfm_allocate_handle();
    if (handle < 0) return pfm_set_error(PFM_NO_FREE_HANDLE, "Too many open PFM files (%d)", PFM_MAX_FILES);
    PFM_HANDLE_STATE* state = pfm_state(handle);
    state->read_only = args->read_only;
    pfm_copy_path(state->list_path, sizeof state->list_path, args->list_path);
    pfm_copy_path(state->line_path, sizeof state->line_path, linePath.c_str());
    pfm_read_config(state->config_layout);
    state->layout = state->config_layout;

    const bool creating = !listExists;
    if (creating && args->read_only) {
        pfm_set_error(PFM_OPEN_LIST_FILE_ERROR, "Error opening %s", args->list_path);
        return failOpen(handle);
    }
    if (creating) {
        state->version_code = kThisVersionCode;
        creationLayout(*args, state->layout);
        state->config_layout = state->layout;
        if (create_list_file(handle, args) != 0 || create_line_file(handle, linePath.c_str()) != 0)
            return failOpen(handle);
    } else {
        status = pfm_read_list_file(handle, args);
        if (status != 0 && status != PFM_OPEN_INPUT_FILE_ERROR && status != PFM_OPEN_INPUT_FILE_WARNING)
            return failOpen(handle);
        if (pfm_open_line_file(handle, linePath.c_str()) != 0) return failOpen(handle);
    }

    if (pfm_open_bin_file(handle, args->bin_path, creating) != 0) return failOpen(handle);
    if (creating && initialiseBinFile(handle, *args) != 0) return failOpen(handle);
    if (state->version_code < 40) state->layout.coverage_map_address = 0;
    args->offset = state->layout.depth_offset;
    args->max_depth = state->layout.null_depth - 1.0f;
    args->scale = state->layout.depth_scale;
    args->head = state->head;

    if (pfm_open_index_file(handle, args->index_path, creating) != 0) return failOpen(handle);
    if (!creating && args->checkpoint == 1 && !args->read_only && pfm_checkpoints_on() &&
        pfm_checkpoint_write(handle) != 0) {
        pfm_set_error(PFM_FAILURE, "Unable to write checkpoint file for %s", args->list_path);
        return failOpen(handle);
    }
    return handle;
}

int32_t pfm_close(int32_t handle) {
    PFM_HANDLE_STATE* state = pfm_state(handle);
    if (!state) return -1;
    int32_t result = 0;
    closeStreams(state);
    if (pfm_flush_bin_cache(handle) != 0) result = -1;
    if (pfm_huge_close(state->bin_handle) != 0) result = -1;
    state->index_modified = false;  // no index record is ever changed through this library
    if (pfm_huge_close(state->index_handle) != 0) result = -1;
    if (state->wrote_checkpoint && std::remove(pfm_checkpoint_path(state->list_path).c_str()) != 0) result = -1;
    pfm_free_handle(handle);
    return result;
}
