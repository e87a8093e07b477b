#pragma once
// The checkpoint file "<list>.chk": written when a structure is opened for a
// load, it lets an aborted load be undone.
//
// Layout (little-endian): u8 state (non-zero while a load is under way),
// u8 layout version (1), i64 index file size, i64 bin file size,
// u32 byte count and the list file's text, u32 byte count and the line
// file's text, and nothing after them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PFMCheckpoint {
    uint8_t running = 0;
    int64_t index_size = 0;
    int64_t bin_size = 0;
    std::vector<uint8_t> list, line;
};

// Reads checkpoint bytes; false unless they hold exactly one checkpoint.
bool pfm_checkpoint_parse(const uint8_t* data, size_t size, PFMCheckpoint& checkpoint);

std::string pfm_checkpoint_path(const char* listPath);
// 1 when the checkpoint exists with a non-zero first byte, 0 when it exists
// with a zero one, -1 when there is none.
int32_t pfm_checkpoint_state(const char* listPath);
// Writes the checkpoint of an open handle; 0 or -1.
int32_t pfm_checkpoint_write(int32_t handle);
// Restores the list and line files and the index file's size from the
// checkpoint and removes it; 0 or -1 (the checkpoint then removed as well).
int32_t pfm_checkpoint_recover(const char* listPath, const char* linePath, const char* indexPath);
