#pragma once
// Checks HDF5 leaves out on a chunked grid: a chunk must lie within the grid
// and within 16 MiB, and the element size its layout message records must
// match the datatype, or HDF5 copies past its chunk buffers while reading.
// The object header is read from the file directly.
#include <cstddef>

#include "formats/bag/BagHDF5.h"

namespace BagLayoutCheck {
// False only when the layout is understood and contradicts the dataset's
// chunk dimensions or its element size; headers in formats this check does
// not know pass.
bool chunkLayoutConsistent(const char* fileName, hid_t file, hid_t dataset, size_t elementSize);
}  // namespace BagLayoutCheck
