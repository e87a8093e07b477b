#pragma once
// The 16,384-byte text header of the bin file: the key table, reading it into
// a BIN_HEADER and the record layout, and writing it back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/pfm/pfm_types.h"

enum { PFM_KEY_COUNT = 100 };

// Reads every "[KEY] = value" line of the text (at most PFM_HEADER_SIZE bytes,
// stopping at a zero byte) into the header and layout; unknown lines are
// ignored, points beyond PFM_POLYGON_POINTS too.
void pfm_parse_header_text(const char* text, size_t size, BIN_HEADER& head, PFM_LAYOUT& layout);
// The version-dependent defaults, the attribute count and the geodesic bin
// size of a geographic header; 0, or PFM_BIN_HEADER_CORRUPT when a width,
// size, scale or coordinate cannot describe a usable file.
int32_t pfm_complete_header(int32_t versionCode, BIN_HEADER& head, PFM_LAYOUT& layout);
// The text header (exactly PFM_HEADER_SIZE bytes, zero padded); empty when it
// does not fit.
std::string pfm_header_text(int32_t versionCode, const BIN_HEADER& head, const PFM_LAYOUT& layout);

// Reads the handle's bin-file header into its tables and sets up its record
// layout; 0 or a negative code.
int32_t pfm_load_header(int32_t handle);
// Copies the handle's header to the caller after reading it again.
int32_t parse_bin_header(int32_t handle, BIN_HEADER* head);
// Writes the header text at the start of the bin file.
int32_t write_bin_header(int32_t handle, const BIN_HEADER* head);

// Key of a table row (tests, writers).
const char* pfm_header_key(int32_t row);
