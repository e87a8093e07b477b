#pragma once
// Opening, creating and closing PFM structures.
#include <cstdint>

#include "formats/pfm/pfm_types.h"

// Opens an existing structure named by a handle file or a list file; the
// handle (0 to 31) or a negative code (-46, -47, -4, or -1 with the specific
// code as pfm_last_error_code()).
int32_t pfm_open_existing(PFM_OPEN_ARGS* args);
// Opens a structure, creating it when the named file does not exist (never
// with `read_only`). The handle or a negative code.
int32_t pfm_open_common(PFM_OPEN_ARGS* args);
// Writes back what is pending and closes every file. Removes the checkpoint
// only when this handle wrote one. 0, or -1 for a handle that is not open or
// a write-back or removal that failed.
int32_t pfm_close(int32_t handle);
