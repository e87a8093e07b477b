#pragma once
// Checks HDF5 leaves out, made on an object's header read from the file
// directly before HDF5 decodes it further:
// - a chunk must lie within a fixed extent and within 16 MiB, and
//   the element size its layout message records must match the datatype;
// - each attribute message must hold the name, datatype, dataspace and data
//   its own fields announce;
// - no message may be shared (BAG objects keep every message in their own
//   header; HDF5 follows damaged shared-message references into nothing).
// HDF5 otherwise copies past its buffers on such damaged headers. The same
// holds for chunks stored without their filters (below).
#include <cstddef>
#include <cstdint>
#include <unordered_set>

#include "formats/bag/BagHDF5.h"

namespace BagHeaderCheck {
// False only when the header is understood and contradicts itself or the
// dataset; header formats this check does not know pass. `elementSize` is
// the dataset's element size, 0 for a group.
bool objectConsistent(const char* fileName, hid_t file, hid_t object, size_t elementSize);
// The header checks for the object a hard link names, before HDF5 opens it.
bool linkedHeaderConsistent(const char* fileName, hid_t file, hid_t location, const char* name);
}  // namespace BagHeaderCheck

namespace BagHeaderCheck {
// Before chunks of a 1-D or 2-D dataset are read (the box at `start` of
// `count` elements): every stored chunk must lie within the file's
// `fileSize` bytes, and a chunk stored without its filters (all of them
// marked skipped, or none in the pipeline) must hold exactly one chunk of
// elements, or HDF5 reads past it. Chunks checked once are remembered.
bool chunksConsistent(hid_t dataset, int rank, const hsize_t* chunk, unsigned filters, size_t elementSize,
                      uint64_t fileSize, const uint64_t* start, const uint64_t* count,
                      std::unordered_set<uint64_t>& checked);
// The whole chunk index of a small chunked dataset (up to 512 chunks): every
// entry must be readable, aligned, inside the extent and the file, and sized
// as above when stored unfiltered. Larger indexes pass (checked per read).
bool chunkIndexConsistent(hid_t dataset, int rank, const hsize_t* chunk, unsigned filters, size_t elementSize,
                          uint64_t fileSize);
}  // namespace BagHeaderCheck
