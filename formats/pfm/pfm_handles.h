#pragma once
// The process-wide tables of open PFM structures: 32 entries, each the state
// of one handle.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "formats/pfm/pfm_types.h"

struct PFM_HANDLE_STATE {
    bool used = false;
    FILE* list_fp = nullptr;
    FILE* line_fp = nullptr;
    int32_t bin_handle = -1;    // huge-file handles
    int32_t index_handle = -1;
    char list_path[PFM_PATH_SIZE] = {};
    char line_path[PFM_PATH_SIZE] = {};
    int16_t version_code = 0;   // ten times the version that wrote the list file
    BIN_HEADER head;
    PFM_LAYOUT config_layout;  // defaults and ".pfm_cfg", before the header
    PFM_LAYOUT layout;
    PFM_POSITIONS positions;
    bool layout_ready = false;  // header read and positions computed
    bool list_created = false;
    bool read_only = false;
    bool wrote_checkpoint = false;
    int64_t last_read_address = -1;
    int64_t last_written_address = -1;
    BIN_RECORD cached;          // the decoded record at last_read_address
    bool cache_valid = false;
    bool cache_modified = false;
    bool index_modified = false;
    std::vector<uint8_t> bin_buffer;    // one packed bin record
    std::vector<uint8_t> index_buffer;  // one packed index record
};

// The state of an open handle, null for anything else.
PFM_HANDLE_STATE* pfm_state(int32_t handle);
// Takes the first free entry and resets it; -1 when all are in use.
int32_t pfm_allocate_handle();
void pfm_free_handle(int32_t handle);
// A free entry holds -1 in the handle table.
int32_t pfm_handle_table(int32_t index);

// Checkpoint files are on unless switched off for the whole process.
void pfm_set_checkpoints(bool on);
bool pfm_checkpoints_on();
