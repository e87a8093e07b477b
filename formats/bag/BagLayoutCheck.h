#pragma once
// Checks HDF5 leaves out: a chunk must not exceed the grid, and the element
// size a chunked dataset's layout
// message records must match its datatype, or HDF5 copies past its chunk
// buffers while reading. The object header is read from the file directly.
#include <cstddef>

#include "formats/bag/BagHDF5.h"

namespace BagLayoutCheck {
// False only when the layout is understood and contradicts the dataset's
// chunk dimensions or its element size; headers in formats this check does
// not know pass.
bool chunkLayoutConsistent(const char* fileName, hid_t file, hid_t dataset, size_t elementSize);
}  // namespace BagLayoutCheck
