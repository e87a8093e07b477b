#pragma once
// ".pfm_cfg": record-layout defaults and substitute paths, read from the
// current folder, then HOME, then each folder of PATH.
#include <cstddef>
#include <string>

#include "formats/pfm/pfm_types.h"

enum { PFM_MAX_SUBSTITUTES = 10 };

// Finds and reads ".pfm_cfg" into the layout; the substitute paths are reset
// first. Without a file the layout keeps its values. Returns 0 when a file
// was read, -1 when none was found.
int32_t pfm_read_config(PFM_LAYOUT& layout);
// Reads ".pfm_cfg" text (the reader above uses it; so do the tests).
void pfm_parse_config_text(const char* text, size_t size, PFM_LAYOUT& layout);
// Applies the substitute paths to a file name read from a list file. The
// result never grows past PFM_PATH_SIZE - 1 bytes (a pair that would make it
// longer is skipped).
std::string pfm_substitute(const std::string& name);
int pfm_substitute_count();
