#pragma once
// The PFM I/O library as the surface classes use it: its public operations,
// and the open-and-read-header step they share.
#include <cstdint>

#include "formats/pfm/pfm_bins.h"
#include "formats/pfm/pfm_error.h"
#include "formats/pfm/pfm_header.h"
#include "formats/pfm/pfm_open.h"
#include "formats/pfm/pfm_types.h"
#include "platform/core/NORVAUString.h"

namespace PFMLibrary {

// Opens the structure read-only and reads its header. 0 with the handle open,
// or -1 with the handle -1 (closed again when the header failed); every
// failure prints "PFM Error: <library text>" to standard output.
long openReadOnly(const NORVAUString& path, int32_t& handle, BIN_HEADER& head);
// Prints the library's last error text, when there is one.
void printLastError();

}  // namespace PFMLibrary
