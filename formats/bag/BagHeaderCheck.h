#pragma once
// Checks HDF5 leaves out, made on an object's header read from the file
// directly before HDF5 decodes it further:
// - a chunk must lie within a fixed extent and within 16 MiB, and
//   the element size its layout message records must match the datatype;
// - each attribute message must hold the name, datatype, dataspace and data
//   its own fields announce;
// - no message may be shared (BAG objects keep every message in their own
//   header; HDF5 follows damaged shared-message references into nothing);
// - a group's local heap of link names must lie in the file at a modest size.
// HDF5 otherwise copies past its buffers on such damaged headers. The same
// holds for damaged chunk indexes (below).
#include <cstddef>
#include <cstdint>

#include "formats/bag/BagHDF5.h"

namespace BagHeaderCheck {
// False only when the header is understood and contradicts itself or the
// dataset; header formats this check does not know pass. `elementSize` is
// the dataset's element size, 0 for a group (a file stands for its root).
bool objectConsistent(const char* fileName, hid_t file, hid_t object, size_t elementSize);
// The header checks for the object a hard link names, before HDF5 opens it.
bool linkedHeaderConsistent(const char* fileName, hid_t file, hid_t location, const char* name);
}  // namespace BagHeaderCheck

namespace BagHeaderCheck {
// The whole chunk index of a chunked dataset of up to 2,048 chunks: every
// entry must be readable, aligned, inside the extent and the file, and a
// chunk stored without its filters (all marked skipped, or none in the
// pipeline) must hold exactly one chunk of elements, or HDF5 reads past it.
// Larger indexes pass unlisted.
bool chunkIndexConsistent(hid_t dataset, int rank, const hsize_t* chunk, unsigned filters, size_t elementSize,
                          uint64_t fileSize);
}  // namespace BagHeaderCheck
