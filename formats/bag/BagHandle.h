#pragma once
// The BAG access library: plain structures and functions over one open BAG
// file (an HDF5 container holding elevation and uncertainty grids and the ISO
// metadata XML). Every function returns a bagError code, 0 for success.
#include "formats/bag/BagHDF5.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/bag/BagErrors.h"
#include "formats/bag/BagRecords.h"

// Which grid a read addresses.
enum bagSurface : int32_t { BAG_ELEVATION = 1, BAG_UNCERTAINTY = 2 };

// How `bagOpen` opens a file.
enum bagAccessMode : int32_t {
    BAG_OPEN_READONLY = 1,              // with metadata
    BAG_OPEN_READ_WRITE = 2,            // with metadata and signature block (HDF5 is only read)
    BAG_OPEN_READ_WRITE_NO_METADATA = 3 // with signature block, without metadata
};

constexpr float kBagNullValue = 1000000.0f;
constexpr size_t kBagMetadataLimit = 1000000;   // metadata text must be shorter
constexpr size_t kBagSignatureBlockSize = 1024;
constexpr size_t kBagSignatureBufferMin = 518;
constexpr size_t kBagVersionLength = 32;
constexpr size_t kBagFileNameLength = 254;

// Identifiers of one grid dataset and its cached memory dataspace, with
// its chunk layout.
struct bagDatasetIds {
    hid_t dataset = -1;
    hid_t datatype = -1;
    hid_t filespace = -1;
    hid_t memspace = -1;
    hsize_t chunk[2] = {0, 0};  // 0: not chunked
    unsigned filters = 0;
    bool storageSound = false;  // its storage holds every element: safe to read
};

struct bagHandle {
    uint32_t nrows = 0, ncols = 0;   // from the elevation dataset
    bagDefinition def;
    char version[kBagVersionLength + 1] = {};
    std::string metadata;            // the metadata XML text
    bagRegion elevationRegion;
    bagRegion uncertaintyRegion;
    float minElevation = 0.0f, maxElevation = 0.0f;
    float minUncertainty = 0.0f, maxUncertainty = 0.0f;
    std::vector<uint8_t> signature;  // empty when the file holds no valid block
    uint32_t signatureId = 0;
    std::string fileName;
    uint64_t fileBytes = 0;          // size of the file when opened

    hid_t file = -1;
    hid_t group = -1;
    bagDatasetIds elevation;
    bagDatasetIds uncertainty;
    hid_t trackingDataset = -1, trackingType = -1, trackingSpace = -1;
    hid_t metadataDataset = -1, metadataType = -1, metadataSpace = -1;
    hid_t metadataPlist = -1;
    hsize_t metadataChunk = 0;
    bool metadataStorageSound = false;
    hid_t metadataMemspace = -1;
};

// On failure nothing stays open, the handle is freed and *handle is null.
// HDF5 is only ever read; modes 2 and 3 add the signature block, written
// back with plain file I/O at close.
bagError bagOpen(bagHandle** handle, int32_t accessMode, const char* fileName);
// Closes and frees the handle whatever fails on the way; writes a held
// signature block back.
bagError bagClose(bagHandle* handle);
bagError bagReadValue(bagHandle* handle, uint32_t row, uint32_t column, int32_t surface, float* value);
// Columns first..last inclusive of one row into the caller's buffer.
bagError bagReadRow(bagHandle* handle, uint32_t row, uint32_t firstColumn, uint32_t lastColumn, int32_t surface,
                    float* buffer);
// The inclusive rectangle into the handle's region of that surface.
bagError bagReadRegion(bagHandle* handle, uint32_t startRow, uint32_t startColumn, uint32_t endRow,
                       uint32_t endColumn, int32_t surface);
bagError bagFreeRegion(bagHandle* handle, int32_t surface);
// The region of a surface, or null for another selector.
bagRegion* bagGetRegion(bagHandle* handle, int32_t surface);
bagError bagReadMetadataText(bagHandle* handle);
// A numeric scalar attribute as a native float.
bagError bagReadAttribute(bagHandle* handle, hid_t object, const char* name, float* value);
// A fixed-length text attribute; at most `size` - 1 characters are kept.
bagError bagReadTextAttribute(bagHandle* handle, hid_t object, const char* name, char* text, size_t size);

// Metadata (BagMetadata.cpp).
bagError bagLoadMetadata(bagHandle* handle);
bagError bagParseMetadataBuffer(bagHandle* handle, const char* text, size_t length);

// Silences HDF5's own error printing; the library reports through codes.
void bagSilenceHDF5();
