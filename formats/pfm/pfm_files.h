#pragma once
// Small file helpers of the PFM I/O library.
#include <cstddef>
#include <cstdio>

// The text after the last "/" of a path (the whole path without one).
const char* pfm_file_name_part(const char* path);
// Reads one line of at most size - 1 bytes; a trailing line feed and carriage
// return are removed. Null at end of file. The rest of a longer line is left
// for the next call.
char* pfm_ngets(char* buffer, int size, FILE* stream);
// Writes a whole file through a temporary file renamed over the target; false
// on any failure, the old file then intact.
bool pfm_write_whole_file(const char* path, const void* data, size_t size);
bool pfm_file_exists(const char* path);
// Copies text into a fixed field, refusing (false, field emptied) what does not fit.
bool pfm_copy_path(char* field, size_t fieldSize, const char* text);
