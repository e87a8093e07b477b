#pragma once
// Huge files: one logical file kept as a folder holding a text file "config"
// with the total size and pieces "hugefile.000", "hugefile.001", ... of
// PFM_HUGE_PIECE_SIZE bytes each, so that no single file passes 2 GB.
#include <cstddef>
#include <cstdint>

constexpr uint64_t PFM_HUGE_PIECE_SIZE = 2147418111ULL;
enum { PFM_HUGE_MAX_FILES = 64, PFM_HUGE_MAX_PIECES = 32 };
enum { PFM_HUGE_SEEK_SET = 0, PFM_HUGE_SEEK_CUR = 1, PFM_HUGE_SEEK_END = 2 };

// Where a position falls: which piece and how far into it.
struct PFMHugePlace {
    int64_t piece = 0;
    int64_t offset = 0;
};
PFMHugePlace pfm_huge_place(int64_t position, uint64_t pieceSize);

// Opens the folder; `update` allows writing (pieces are created when written
// to, "config" rewritten at close when the size changed); `create` makes the
// folder and an empty file. Returns a handle (0 to 63) or -1.
int32_t pfm_huge_open(const char* folder, bool update, bool create);
// Modes 0, 1, 2 from the start, the current position, the end; another mode
// or a position before the start: -1 and nothing moves.
int32_t pfm_huge_seek(int32_t handle, int64_t offset, int32_t mode);
// Bytes read (0 on failure); a read past the end stops there.
size_t pfm_huge_read(int32_t handle, void* data, size_t size);
// Bytes written (0 on failure or on a read-only file).
size_t pfm_huge_write(int32_t handle, const void* data, size_t size);
int64_t pfm_huge_size(int32_t handle);
int64_t pfm_huge_tell(int32_t handle);
// Sets the size (shrinking only drops what lies after it).
int32_t pfm_huge_truncate(int32_t handle, int64_t size);
int32_t pfm_huge_close(int32_t handle);

// Test seam: the piece size of files opened from now on (0 restores the default).
void pfm_huge_set_piece_size(uint64_t pieceSize);
