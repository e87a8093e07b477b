#pragma once
// Structures and codes of the PFM I/O library: the bin header, the decoded
// bin record, the open arguments and the record layout of one structure.
#include <cstdint>

#define PFM_VERSION_TEXT "PFM Software - PFM I/O library V4.73 - 08/31/06"

// Sizes.
enum {
    PFM_MAX_FILES = 32,          // open structures at once
    PFM_PATH_SIZE = 512,         // every path field, terminator included
    PFM_HEADER_SIZE = 16384,     // text header at the start of the bin file
    PFM_HEADER_LINE = 1024,      // longest header line
    PFM_CONFIG_LINE = 1024,      // longest ".pfm_cfg" line
    PFM_POLYGON_POINTS = 200,
    PFM_ATTRIBUTES = 3,
    PFM_USER_FLAGS = 4,
    PFM_PROJECTION_PARAMETERS = 16,
    PFM_DATA_TYPES = 36,
};

// Status codes; each failure also leaves a text in the error buffer.
enum PFMStatus : int32_t {
    PFM_SUCCESS = 0,
    PFM_FAILURE = -1,
    PFM_OPEN_LIST_FILE_ERROR = -3,
    PFM_READ_VERSION_ERROR = -4,
    PFM_READ_BIN_NAME_ERROR = -5,
    PFM_READ_INDEX_NAME_ERROR = -6,
    PFM_READ_MOSAIC_NAME_ERROR = -7,
    PFM_READ_TARGET_NAME_ERROR = -8,
    PFM_OPEN_BIN_FILE_ERROR = -10,
    PFM_WRITE_INDEX_FILE_ERROR = -11,
    PFM_OPEN_INDEX_FILE_ERROR = -12,
    PFM_READ_BIN_FILE_ERROR = -14,
    PFM_WRITE_BIN_FILE_ERROR = -24,
    PFM_ALLOCATE_BIN_RECORD_ERROR = -25,
    PFM_ALLOCATE_DEPTH_RECORD_ERROR = -26,
    PFM_OPEN_INPUT_FILE_ERROR = -30,      // warning: an input file opened by no attempt
    PFM_OPEN_INPUT_FILE_WARNING = -31,    // warning: first attempt at an input file failed
    PFM_CREATE_LINE_FILE_EXISTS = -36,
    PFM_CREATE_LINE_FILE_ERROR = -37,
    PFM_OPEN_LINE_FILE_ERROR = -38,
    PFM_LIST_SEQUENCE_ERROR = -39,
    PFM_BIN_HEADER_CORRUPT = -40,
    PFM_NO_SUCH_FILE = -46,
    PFM_OPEN_FAILED = -47,
    PFM_CREATE_HANDLE_FILE_ERROR = -48,
    PFM_CREATE_DATA_FOLDER_ERROR = -49,
    PFM_CHECKPOINT_EXISTS = -50,
    PFM_CHECKPOINT_RECOVER_ERROR = -51,
    // Codes of this implementation for what has no code of its own.
    PFM_NO_FREE_HANDLE = -52,
    PFM_PATH_TOO_LONG = -53,
    PFM_BAD_HANDLE = -54,
    PFM_CREATE_LIST_FILE_EXISTS = -55,
    PFM_CREATE_LIST_FILE_ERROR = -56,
    PFM_HUGE_FILE_ERROR = -57,
};

struct PFMPoint {
    double x = 0.0, y = 0.0;
};

struct BIN_HEADER {
    char version[128] = {};
    char date[30] = {};
    char classification[42] = {};
    double mbr_min_y = 0.0;
    double mbr_min_x = 0.0;
    double mbr_max_y = 0.0;
    double mbr_max_x = 0.0;
    double bin_size_xy = 0.0;
    float chart_scale = 0.0f;
    double x_bin_size_degrees = 0.0;
    double y_bin_size_degrees = 0.0;
    int32_t bin_width = 0;
    int32_t bin_height = 0;
    PFMPoint polygon[PFM_POLYGON_POINTS];
    int32_t polygon_count = 0;
    float min_filtered_depth = 0.0f;
    float max_filtered_depth = 0.0f;
    int32_t min_filtered_coord[2] = {0, 0};
    int32_t max_filtered_coord[2] = {0, 0};
    float min_depth = 0.0f;
    float max_depth = 0.0f;
    int32_t min_coord[2] = {0, 0};
    int32_t max_coord[2] = {0, 0};
    float null_depth = 0.0f;
    int32_t min_bin_count = 0;
    int32_t max_bin_count = 0;
    int32_t min_count_coord[2] = {0, 0};
    int32_t max_count_coord[2] = {0, 0};
    double min_standard_dev = 0.0;
    double max_standard_dev = 0.0;
    int32_t class_type = 0;
    char average_filt_name[30] = {};
    char average_name[30] = {};
    uint8_t dynamic_reload = 0;
    uint8_t projection = 0;  // 0 geographic
    uint16_t projection_zone = 0;
    uint8_t hemisphere = 0;
    double projection_params[PFM_PROJECTION_PARAMETERS] = {};
    char ndx_attr_name[PFM_ATTRIBUTES][30] = {};
    float min_ndx_attr[PFM_ATTRIBUTES] = {};
    float max_ndx_attr[PFM_ATTRIBUTES] = {};
    float extra[3] = {};  // kept, never given a meaning
    char user_flag_name[PFM_USER_FLAGS][30] = {};
};

struct BIN_RECORD {
    uint32_t num_soundings = 0;
    float standard_dev = 0.0f;
    float avg_filtered_depth = 0.0f;
    float min_filtered_depth = 0.0f;
    float max_filtered_depth = 0.0f;
    float avg_depth = 0.0f;
    float min_depth = 0.0f;
    float max_depth = 0.0f;
    float attr[PFM_ATTRIBUTES] = {};
    uint32_t validity = 0;
    int32_t coord_x = 0, coord_y = 0;  // column, row
    double xy_x = 0.0, xy_y = 0.0;     // bin centre
    int64_t head = 0, tail = 0;
};

struct PFM_OPEN_ARGS {
    char list_path[PFM_PATH_SIZE] = {};
    char bin_path[PFM_PATH_SIZE] = {};
    char index_path[PFM_PATH_SIZE] = {};
    char image_path[PFM_PATH_SIZE] = {};
    char target_path[PFM_PATH_SIZE] = {};
    BIN_HEADER head;
    float max_depth = 0.0f;
    float offset = 0.0f;
    float scale = 0.0f;
    int32_t checkpoint = 0;  // 0 none, 1 write one after opening, 2 recover
    // Open every file read-only: nothing on disk changes, not even a
    // checkpoint or a huge file's "config".
    bool read_only = false;
};

// Flag order of older records and ".pfm_cfg".
enum PFMFlag { PFM_EDITED, PFM_CHECKED, PFM_SUSPECT, PFM_DATA, PFM_SELECTED, PFM_CLASS1, PFM_CLASS2, PFM_FLAGS };

// The record layout of one structure, as the header and ".pfm_cfg" give it.
struct PFM_LAYOUT {
    int32_t record_length = 6;  // soundings per index record
    float depth_offset = 0.0f;
    int32_t depth_bits = 0;
    float depth_scale = 0.0f;
    int32_t count_bits = 24;
    int32_t std_bits = 32;
    float std_scale = 1000000.0f;
    int32_t flag_bits[PFM_FLAGS] = {1, 1, 1, 1, 1, 1, 1};
    int32_t record_pointer_bits = 36;
    int32_t file_number_bits = 11;
    int32_t ping_number_bits = 27;
    int32_t line_number_bits = 12;
    int32_t beam_number_bits = 16;
    int32_t offset_bits = 10;
    int32_t validity_bits = 16;
    int32_t projected_x_bits = 0;
    float projected_x_offset = 0.0f;
    uint16_t num_ndx_attr = 0;
    int32_t ndx_attr_bits[PFM_ATTRIBUTES] = {0, 0, 0};
    float ndx_attr_scale[PFM_ATTRIBUTES] = {1000.0f, 1000.0f, 1000.0f};
    int64_t coverage_map_address = 0;
    float null_depth = 0.0f;
};

// Bit positions computed from a layout and a version code.
struct PFM_POSITIONS {
    int64_t count = 0, std = 0;
    int64_t depth[6] = {};  // average filtered, min filtered, max filtered, average, min, max
    int64_t attr[PFM_ATTRIBUTES] = {};
    int64_t validity = 0;
    int64_t flag[PFM_FLAGS] = {};
    int64_t projected_x = 0;
    int64_t head = 0, tail = 0;
    int32_t bin_record_bytes = 0;
    int32_t sounding_bits = 0;
    int32_t index_record_bytes = 0;
    int32_t max_offset = 0;   // largest x/y offset of a sounding in a bin
    int64_t max_count = 0;
};
