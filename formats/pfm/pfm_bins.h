#pragma once
// Bin records: layout setup, decoding, the one-record cache, rows and the
// bin of a map position.
#include <cstddef>
#include <cstdint>

#include "formats/pfm/pfm_types.h"

// Bit positions of every field for a layout and a version code; false when
// the widths give no usable record.
bool pfm_compute_positions(int32_t versionCode, const PFM_LAYOUT& layout, PFM_POSITIONS& positions);
// Computes the handle's positions and allocates its record buffers; 0, -25 or -26.
int32_t pfm_setup_layout(int32_t handle);

// Decodes one packed record (of positions.bin_record_bytes bytes).
void pfm_decode_bin_record(const uint8_t* buffer, size_t size, int32_t versionCode, const BIN_HEADER& head,
                           const PFM_LAYOUT& layout, const PFM_POSITIONS& positions, int32_t column, int32_t row,
                           BIN_RECORD& record);

// Byte address of bin (column, row) in the bin file; -1 outside the grid.
int64_t pfm_bin_address(const BIN_HEADER& head, const PFM_POSITIONS& positions, int32_t column, int32_t row);

// Column and row of a map position, truncated toward zero; positions beyond
// the 32-bit range saturate and NaN gives INT32_MIN.
void position_to_bin(double x, double y, BIN_HEADER head, int32_t* column, int32_t* row);

// Whole bin records the bin file holds (a file cut short holds fewer than
// its header promises); -1 for a handle without a layout. Bins are stored
// row by row, so bin (column, row) is held exactly when
// row x width + column is below this count.
int64_t pfm_bins_held(int32_t handle);

// Records -14, "Error reading from bin file", as the last error; returns -14.
int32_t pfm_bin_read_error();

// 0, or -14 for a bin outside the grid or a failed read.
int32_t fetch_bin_record(int32_t handle, int32_t column, int32_t row, BIN_RECORD* record);
// Reads `count` bins of a row from `firstColumn`; 0 or -14.
int32_t read_bin_row(int32_t handle, int32_t count, int32_t row, int32_t firstColumn, BIN_RECORD* records);
// Writes the handle's packed bin buffer at an address; 0 or -24.
int32_t pfm_write_bin_buffer(int32_t handle, int64_t address);
// Writes back a modified cached record; 0 or -24.
int32_t pfm_flush_bin_cache(int32_t handle);

// Open the bin and index huge files of a handle; 0 or -10/-40, 0 or -12.
int32_t pfm_open_bin_file(int32_t handle, const char* path, bool create);
int32_t pfm_open_index_file(int32_t handle, const char* path, bool create);
