#pragma once
// The handle file, the list (control) file, the line file and the names of
// input data types.
#include <cstdint>
#include <string>
#include <vector>

#include "formats/pfm/pfm_types.h"

// The data-type name of a list-file line; "Undefined" outside the table.
const char* pfm_data_type_name(int32_t type);
void pfm_fill_data_type_names();

// True when the file's first line says it is a PFM handle file.
bool pfm_is_handle_file(const char* path);
// Paths derived from a handle file: "<handle>.data/<name>" + extension.
std::string pfm_handle_data_stem(const char* handlePath);
// Writes the text of a new handle file and makes its ".data" folder; 0, -48 or -49.
int32_t pfm_create_handle_file(const char* handlePath);

// The version code of a list file's first line ("... library V4.73 ..." -> 47);
// -1 when the line lacks the version text.
int32_t pfm_version_code(const char* line);

// One input-file line of a list file.
struct PFMInputFile {
    char status = ' ';
    int16_t number = 0;
    int16_t type = 0;
    std::string name;
};

struct PFMListContents {
    int32_t version_code = 0;
    std::string bin, index, mosaic, target;
    std::vector<PFMInputFile> inputs;
};
// Parses list-file text (the reader below uses it; so do the tests and fuzz
// targets). 0, a negative code with its text, or one of the warnings -30/-31
// when an input file could not be opened (with `probeInputs`).
int32_t pfm_parse_list_text(const char* text, size_t size, const char* listPath, PFMListContents& contents,
                            bool probeInputs);
// Reads the handle's list file into the open arguments; same results.
int32_t pfm_read_list_file(int32_t handle, PFM_OPEN_ARGS* args);
// Writes a new list file; 0, -55 when it exists, -56 when it cannot be written.
int32_t create_list_file(int32_t handle, const PFM_OPEN_ARGS* args);
// The line file: opened (0 or -38) or created empty (0, -36, -37).
int32_t pfm_open_line_file(int32_t handle, const char* path);
int32_t create_line_file(int32_t handle, const char* path);
