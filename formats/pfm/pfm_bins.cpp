#include "formats/pfm/pfm_bins.h"

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "formats/pfm/pfm_bits.h"
#include "formats/pfm/pfm_error.h"
#include "formats/pfm/pfm_handles.h"
#include "formats/pfm/pfm_header.h"
#include "formats/pfm/pfm_huge.h"

namespace {

// Validity bits that older records keep as separate flags.
const uint32_t kFlagValidity[PFM_FLAGS] = {32, 512, 8, 1024, 4, 64, 128};

int32_t toBin(double v) {
    if (std::isnan(v)) return INT32_MIN;
    const double t = std::trunc(v);
    if (t <= static_cast<double>(INT32_MIN)) return INT32_MIN;
    if (t >= static_cast<double>(INT32_MAX)) return INT32_MAX;
    return static_cast<int32_t>(t);
}

float depthOf(uint32_t u, const PFM_LAYOUT& layout) {
    return static_cast<float>(static_cast<double>(u) / layout.depth_scale - layout.depth_offset);
}

// A 64-bit field can hold more than a signed address; such a pointer points
// past any file, and stays so rather than turning negative.
int64_t pointerOf(uint64_t value) {
    return value > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(value);
}

void binCentre(const BIN_HEADER& head, int32_t column, int32_t row, double& x, double& y) {
    const double sizeX = head.projection != 0 ? head.bin_size_xy : head.x_bin_size_degrees;
    const double sizeY = head.projection != 0 ? head.bin_size_xy : head.y_bin_size_degrees;
    x = (column + 0.5) * sizeX + head.mbr_min_x;
    y = (row + 0.5) * sizeY + head.mbr_min_y;
}

// A new file when creating; else opened for update unless the handle is
// read-only, and read-only when update is refused (a file another user
// owns can still be read).
int32_t openHugeFile(const PFM_HANDLE_STATE& state, const char* path, bool create) {
    if (create) return pfm_huge_open(path, true, true);
    int32_t file = -1;
    if (!state.read_only) file = pfm_huge_open(path, true, false);
    if (file < 0) file = pfm_huge_open(path, false, false);
    return file;
}

}  // namespace

int32_t pfm_bin_read_error() {
    return pfm_set_error(PFM_READ_BIN_FILE_ERROR, "%s", "Error reading from bin file");
}

bool pfm_compute_positions(int32_t versionCode, const PFM_LAYOUT& l, PFM_POSITIONS& p) {
    p = PFM_POSITIONS();
    int64_t bit = 0;
    p.count = bit;
    bit += l.count_bits;
    p.std = bit;
    bit += l.std_bits;
    for (int64_t& depth : p.depth) {
        depth = bit;
        bit += l.depth_bits;
    }
    if (versionCode >= 40) {
        for (int i = 0; i < PFM_ATTRIBUTES; ++i) {
            p.attr[i] = bit;
            bit += l.ndx_attr_bits[i];
        }
        p.validity = bit;
        bit += l.validity_bits;
    } else {
        for (int i = 0; i < PFM_FLAGS; ++i) {
            p.flag[i] = bit;
            bit += l.flag_bits[i];
        }
        p.projected_x = bit;
        bit += l.projected_x_bits;
    }
    p.head = bit;
    bit += l.record_pointer_bits;
    p.tail = bit;
    bit += l.record_pointer_bits;
    if (bit <= 0 || bit > 8 * 4096) return false;
    p.bin_record_bytes = static_cast<int32_t>((bit + 7) / 8);

    int64_t sounding = static_cast<int64_t>(l.file_number_bits) + l.line_number_bits + l.ping_number_bits +
                       l.beam_number_bits + l.depth_bits + 2 * static_cast<int64_t>(l.offset_bits) + l.validity_bits;
    if (versionCode >= 40) sounding += l.ndx_attr_bits[0] + l.ndx_attr_bits[1] + l.ndx_attr_bits[2];
    p.sounding_bits = static_cast<int32_t>(sounding);
    const int64_t indexBits = sounding * l.record_length + l.record_pointer_bits;
    if (l.record_length <= 0 || indexBits > 8LL * 16 * 1024 * 1024) return false;
    p.index_record_bytes = static_cast<int32_t>((indexBits + 7) / 8);
    p.max_offset = static_cast<int32_t>(std::min<int64_t>(INT32_MAX, (1LL << l.offset_bits) - 1));
    p.max_count = 1LL << l.count_bits;
    return true;
}

int32_t pfm_setup_layout(int32_t handle) {
    PFM_HANDLE_STATE* state = pfm_state(handle);
    if (!state) return pfm_set_error(PFM_BAD_HANDLE, "Invalid PFM handle %d", handle);
    PFM_POSITIONS positions;
    if (!pfm_compute_positions(state->version_code, state->layout, positions))
        return pfm_set_error(PFM_BIN_HEADER_CORRUPT, "%s bin file header corrupt.\n\n", state->list_path);
    const BIN_HEADER& h = state->head;
    // The last bin's address must stay inside 64-bit arithmetic.
    const int64_t bins = static_cast<int64_t>(h.bin_width) * h.bin_height;
    if (h.bin_width <= 0 || h.bin_height <= 0 || bins > (INT64_MAX - PFM_HEADER_SIZE) / positions.bin_record_bytes)
        return pfm_set_error(PFM_BIN_HEADER_CORRUPT, "%s bin file header corrupt.\n\n", state->list_path);
    try {
        state->bin_buffer.assign(static_cast<size_t>(positions.bin_record_bytes), 0);
    } catch (const std::bad_alloc&) {
        return pfm_set_error(PFM_ALLOCATE_BIN_RECORD_ERROR, "%s", "Unable to allocate memory for bin record");
    }
    try {
        state->index_buffer.assign(static_cast<size_t>(positions.index_record_bytes), 0);
    } catch (const std::bad_alloc&) {
        return pfm_set_error(PFM_ALLOCATE_DEPTH_RECORD_ERROR, "%s", "Unable to allocate memory for depth record");
    }
    state->positions = positions;
    state->layout_ready = true;
    state->cache_valid = false;
    state->last_read_address = -1;
    return 0;
}

void pfm_decode_bin_record(const uint8_t* buffer, size_t size, int32_t versionCode, const BIN_HEADER& head,
                           const PFM_LAYOUT& l, const PFM_POSITIONS& p, int32_t column, int32_t row,
                           BIN_RECORD& r) {
    r = BIN_RECORD();
    r.num_soundings = pfm_bit_unpack(buffer, size, p.count, l.count_bits);
    const uint32_t std = pfm_bit_unpack(buffer, size, p.std, l.std_bits);
    r.standard_dev = l.std_bits > 0 && l.std_scale != 0.0f ? static_cast<float>(std / static_cast<double>(l.std_scale))
                                                             : 0.0f;
    float* depths[6] = {&r.avg_filtered_depth, &r.min_filtered_depth, &r.max_filtered_depth,
                        &r.avg_depth,          &r.min_depth,          &r.max_depth};
    for (int i = 0; i < 6; ++i) *depths[i] = depthOf(pfm_bit_unpack(buffer, size, p.depth[i], l.depth_bits), l);
    if (versionCode >= 40) {
        for (int i = 0; i < PFM_ATTRIBUTES && i < l.num_ndx_attr; ++i) {
            if (l.ndx_attr_bits[i] == 0 || l.ndx_attr_scale[i] == 0.0f) continue;
            const uint32_t u = pfm_bit_unpack(buffer, size, p.attr[i], l.ndx_attr_bits[i]);
            r.attr[i] = static_cast<float>(u / static_cast<double>(l.ndx_attr_scale[i]) + head.min_ndx_attr[i]);
        }
        r.validity = pfm_bit_unpack(buffer, size, p.validity, l.validity_bits);
    } else {
        for (int i = 0; i < PFM_FLAGS; ++i)
            if (pfm_bit_unpack(buffer, size, p.flag[i], l.flag_bits[i]) != 0) r.validity += kFlagValidity[i];
    }
    r.head = pointerOf(pfm_double_bit_unpack(buffer, size, p.head, l.record_pointer_bits));
    r.tail = pointerOf(pfm_double_bit_unpack(buffer, size, p.tail, l.record_pointer_bits));
    r.coord_x = column;
    r.coord_y = row;
    binCentre(head, column, row, r.xy_x, r.xy_y);
}

int64_t pfm_bin_address(const BIN_HEADER& head, const PFM_POSITIONS& p, int32_t column, int32_t row) {
    if (column < 0 || row < 0 || column >= head.bin_width || row >= head.bin_height) return -1;
    return PFM_HEADER_SIZE +
           (static_cast<int64_t>(row) * head.bin_width + column) * static_cast<int64_t>(p.bin_record_bytes);
}

void position_to_bin(double x, double y, BIN_HEADER head, int32_t* column, int32_t* row) {
    double c = 0.0, r = 0.0;
    if (head.projection != 0) {
        c = (x - head.mbr_min_x) * (1.0 / head.bin_size_xy);
        r = (y - head.mbr_min_y) * (1.0 / head.bin_size_xy);
    } else {
        c = (x - head.mbr_min_x) / head.x_bin_size_degrees;
        r = (y - head.mbr_min_y) / head.y_bin_size_degrees;
    }
    if (column) *column = toBin(c);
    if (row) *row = toBin(r);
}

int32_t pfm_write_bin_buffer(int32_t handle, int64_t address) {
    PFM_HANDLE_STATE* state = pfm_state(handle);
    if (!state || !state->layout_ready || address < PFM_HEADER_SIZE)
        return pfm_set_error(PFM_WRITE_BIN_FILE_ERROR, "%s", "Error writing to bin file");
    const size_t n = state->bin_buffer.size();
    if (pfm_huge_seek(state->bin_handle, address, PFM_HUGE_SEEK_SET) != 0 ||
        pfm_huge_write(state->bin_handle, state->bin_buffer.data(), n) != n)
        return pfm_set_error(PFM_WRITE_BIN_FILE_ERROR, "%s", "Error writing to bin file");
    state->last_written_address = address;
    return 0;
}

int32_t pfm_flush_bin_cache(int32_t handle) {
    PFM_HANDLE_STATE* state = pfm_state(handle);
    if (!state || !state->cache_modified) return 0;
    state->cache_modified = false;
    return pfm_write_bin_buffer(handle, state->last_read_address);
}

int64_t pfm_bins_held(int32_t handle) {
    const PFM_HANDLE_STATE* state = pfm_state(handle);
    if (!state || !state->layout_ready) return -1;
    const int64_t records = pfm_huge_size(state->bin_handle) - PFM_HEADER_SIZE;
    return records <= 0 ? 0 : records / state->positions.bin_record_bytes;
}

int32_t fetch_bin_record(int32_t handle, int32_t column, int32_t row, BIN_RECORD* record) {
    PFM_HANDLE_STATE* state = pfm_state(handle);
    if (!state || !state->layout_ready || !record) return pfm_bin_read_error();
    // A bin outside the grid would otherwise read a neighbouring row's bin.
    const int64_t address = pfm_bin_address(state->head, state->positions, column, row);
    if (address < 0) return pfm_bin_read_error();
    const size_t n = state->bin_buffer.size();
    if (address != state->last_read_address || !state->cache_valid) {
        const int32_t flushed = pfm_flush_bin_cache(handle);
        if (flushed != 0) return flushed;
        state->last_read_address = address;
        state->cache_valid = false;
        if (pfm_huge_seek(state->bin_handle, address, PFM_HUGE_SEEK_SET) != 0 ||
            pfm_huge_read(state->bin_handle, state->bin_buffer.data(), n) != n) {
            state->last_read_address = -1;
            return pfm_bin_read_error();
        }
        pfm_decode_bin_record(state->bin_buffer.data(), n, state->version_code, state->head, state->layout,
                              state->positions, column, row, state->cached);
        state->cache_valid = true;
    } else if (state->cache_modified) {
        pfm_decode_bin_record(state->bin_buffer.data(), n, state->version_code, state->head, state->layout,
                              state->positions, column, row, state->cached);
    }
    *record = state->cached;
    return 0;
}

int32_t read_bin_row(int32_t handle, int32_t count, int32_t row, int32_t firstColumn, BIN_RECORD* records) {
    PFM_HANDLE_STATE* state = pfm_state(handle);
    if (!state || !state->layout_ready || !records || count <= 0) return pfm_bin_read_error();
    const int32_t flushed = pfm_flush_bin_cache(handle);
    if (flushed != 0) return flushed;
    state->index_modified = false;  // index records are never changed through this library
    if (row < 0 || row >= state->head.bin_height || firstColumn < 0 ||
        static_cast<int64_t>(firstColumn) + count > state->head.bin_width)
        return pfm_bin_read_error();
    const int64_t address = pfm_bin_address(state->head, state->positions, firstColumn, row);
    const int64_t recordBytes = state->positions.bin_record_bytes;
    const int64_t bytes = static_cast<int64_t>(count) * recordBytes;
    // Allocate only what the file holds.
    state->cache_valid = false;
    if (address < 0 || address + bytes > pfm_huge_size(state->bin_handle)) return pfm_bin_read_error();
    std::vector<uint8_t> buffer;
    try {
        buffer.resize(static_cast<size_t>(bytes));
    } catch (const std::bad_alloc&) {
        return pfm_set_error(PFM_READ_BIN_FILE_ERROR, "%s", "Allocating memory in read_bin_row");
    }
    if (pfm_huge_seek(state->bin_handle, address, PFM_HUGE_SEEK_SET) != 0 ||
        pfm_huge_read(state->bin_handle, buffer.data(), buffer.size()) != buffer.size()) {
        state->last_read_address = -1;
        return pfm_bin_read_error();
    }
    for (int32_t i = 0; i < count; ++i)
        pfm_decode_bin_record(buffer.data() + i * recordBytes, static_cast<size_t>(recordBytes), state->version_code,
                              state->head, state->layout, state->positions, firstColumn + i, row, records[i]);
    state->last_read_address = address + (count - 1) * recordBytes;
    return 0;
}

int32_t pfm_open_bin_file(int32_t handle, const char* path, bool create) {
    PFM_HANDLE_STATE* state = pfm_state(handle);
    if (!state) return pfm_set_error(PFM_BAD_HANDLE, "Invalid PFM handle %d", handle);
    const int32_t bin = openHugeFile(*state, path, create);
    if (bin < 0) return pfm_set_error(PFM_OPEN_BIN_FILE_ERROR, "Unable to open bin file %s", path);
    state->bin_handle = bin;
    if (create) return 0;
    char first[PFM_HEADER_LINE] = {};
    pfm_huge_seek(bin, 0, PFM_HUGE_SEEK_SET);
    const size_t got = pfm_huge_read(bin, first, sizeof first - 1);
    first[got] = '\0';
    if (char* nl = std::strchr(first, '\n')) *nl = '\0';
    if (!std::strstr(first, "Software - PFM I/O library"))
        return pfm_set_error(PFM_BIN_HEADER_CORRUPT, "%s bin file header corrupt.\n\n", path);
    return pfm_load_header(handle);
}

int32_t pfm_open_index_file(int32_t handle, const char* path, bool create) {
    PFM_HANDLE_STATE* state = pfm_state(handle);
    if (!state) return pfm_set_error(PFM_BAD_HANDLE, "Invalid PFM handle %d", handle);
    const int32_t index = openHugeFile(*state, path, create);
    if (index < 0) return pfm_set_error(PFM_OPEN_INDEX_FILE_ERROR, "Unable to open index file %s", path);
    state->index_handle = index;
    return 0;
}
