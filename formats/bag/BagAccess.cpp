// Opening, reading and closing a BAG file through HDF5.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "formats/bag/BagHandle.h"
#include "formats/bag/BagHeaderCheck.h"
#include "formats/bag/BagSignature.h"

namespace {

// Oldest HDF5 release whose file format these files use.
constexpr unsigned kMinMajor = 1, kMinMinor = 6, kMinRelease = 3;
// Callers read grids in blocks of this many rows and columns; the chunk
// cache holds every chunk one band of blocks touches.
constexpr uint64_t kReadBlock = 1000;
constexpr uint64_t kMaxChunkCache = 64ull << 20;
// Largest region read into memory at once (floats).
constexpr uint64_t kMaxRegion = 1ull << 28;

bagError checkLibraryVersion() {
    unsigned major = 0, minor = 0, release = 0;
    if (H5get_libversion(&major, &minor, &release) < 0) return BAG_HDF_INTERNAL_ERROR;
    const bool old = major < kMinMajor || (major == kMinMajor && minor < kMinMinor) ||
                     (major == kMinMajor && minor == kMinMinor && release < kMinRelease);
    return old ? BAG_HDF_INTERNAL_ERROR : BAG_SUCCESS;
}

bool closeId(hid_t& id, herr_t (*closer)(hid_t)) {
    if (id < 0) return true;
    const bool ok = closer(id) >= 0;
    id = -1;
    return ok;
}

// A missing or bad block leaves the handle without signature; opening goes on.
void readSignature(bagHandle* h) {
    h->signature.assign(kBagSignatureBlockSize, 0);
    if (bagReadSignatureBlock(h->fileName.c_str(), h->signature.data(), h->signature.size(), &h->signatureId) !=
        BAG_CRYPTO_SIGNATURE_OK)
        h->signature.clear();
}

uint64_t bytesOnDisk(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0 ? uint64_t(st.st_size) : 0;
}

uint64_t nextPrime(uint64_t n) {
    if (n < 3) return 3;
    for (uint64_t c = n | 1;; c += 2) {
        bool prime = true;
        for (uint64_t d = 3; d * d <= c && prime; d += 2) prime = c % d != 0;
        if (prime) return c;
    }
}

// A dataset access list whose chunk cache holds one band of blocks across the
// whole width, so no chunk is decompressed twice while reading block by block.
hid_t chunkCacheList(hid_t dataset, const hsize_t dims[2]) {
    hid_t dapl = H5Pcreate(H5P_DATASET_ACCESS);
    if (dapl < 0) return H5P_DEFAULT;
    hid_t dcpl = H5Dget_create_plist(dataset);
    hsize_t chunk[2] = {0, 0};
    const bool chunked = dcpl >= 0 && H5Pget_layout(dcpl) == H5D_CHUNKED && H5Pget_chunk(dcpl, 2, chunk) == 2 &&
                         chunk[0] > 0 && chunk[1] > 0;
    if (dcpl >= 0) H5Pclose(dcpl);
    if (chunked) {
        const uint64_t across = (dims[1] + chunk[1] - 1) / chunk[1];
        const uint64_t down = (kReadBlock + chunk[0] - 1) / chunk[0] + 1;
        const uint64_t chunkBytes = uint64_t(chunk[0]) * chunk[1] * sizeof(float);
        const uint64_t chunks = across * down;
        uint64_t bytes = chunks <= kMaxChunkCache / chunkBytes ? chunks * chunkBytes : kMaxChunkCache;
        if (bytes < chunkBytes && chunkBytes <= kMaxChunkCache) bytes = chunkBytes;
        const uint64_t slots = nextPrime(chunks * 10 < (1u << 20) ? chunks * 10 : (1u << 20));
        H5Pset_chunk_cache(dapl, size_t(slots), size_t(bytes), 0.75);
    }
    return dapl;
}

// Whether a dataset's storage holds every element its dataspace declares.
// HDF5 1.10 takes a compact dataset's stored byte count on trust: a compact
// layout of fewer bytes than elements x element size (three zeroed bytes
// turn a contiguous layout into a compact one of size 0) makes H5Dread copy
// from a null or short buffer. A contiguous layout with less storage than
// its elements reads past it likewise. Storage in other files (external or
// virtual layouts) is not a BAG's and is never followed.
// `dcpl` is the dataset's creation property list, which the caller holds.
bool storageHoldsElements(hid_t dataset, hid_t dcpl, hid_t type, hid_t space) {
    const hssize_t elements = space >= 0 ? H5Sget_simple_extent_npoints(space) : -1;
    const size_t elementSize = type >= 0 ? H5Tget_size(type) : 0;
    if (elements < 0 || elementSize == 0 || uint64_t(elements) > UINT64_MAX / elementSize) return false;
    const uint64_t needed = uint64_t(elements) * elementSize;
    const H5D_layout_t layout = H5Pget_layout(dcpl);
    if (H5Pget_external_count(dcpl) != 0) return false;
    const uint64_t stored = H5Dget_storage_size(dataset);
    switch (layout) {
        case H5D_COMPACT:
            return stored == needed;
        case H5D_CONTIGUOUS:
            // Never allocated: HDF5 serves the fill value without reading.
            return H5Dget_offset(dataset) == HADDR_UNDEF || stored >= needed;
        case H5D_CHUNKED:
            return true;  // each chunk is checked against its index (BagHeaderCheck)
        default:
            return false;
    }
}

bool isFloat32(hid_t type) { return H5Tget_class(type) == H5T_FLOAT && H5Tget_size(type) == sizeof(float); }

bagError gridDims(hid_t space, hsize_t dims[2]) {
    if (H5Sis_simple(space) <= 0) return BAG_HDF_DATASPACE_CORRUPTED;
    const int rank = H5Sget_simple_extent_ndims(space);
    if (rank != 2) {
        std::fprintf(stderr,
                     "Error - The BAG is corrupted.  The rank of this dataset is said to be = %d, when it should be "
                     "= %d. \n",
                     rank, 2);
        return BAG_HDF_RANK_INCOMPATIBLE;
    }
    if (H5Sget_simple_extent_dims(space, dims, nullptr) != 2) return BAG_HDF_DATASPACE_CORRUPTED;
    if (dims[0] > UINT32_MAX || dims[1] > UINT32_MAX) return BAG_HDF_DATASPACE_CORRUPTED;
    return BAG_SUCCESS;
}

// Damaged headers HDF5 would read past are refused before it decodes more.
bagError checkHeader(bagHandle* h, hid_t object, hid_t type) {
    const size_t element = type >= 0 ? H5Tget_size(type) : 0;
    return BagHeaderCheck::objectConsistent(h->fileName.c_str(), h->file, object, element)
               ? BAG_SUCCESS
               : BAG_HDF_DATASPACE_CORRUPTED;
}

// Opens one grid dataset with its type and space, and its two range attributes.
bagError openGrid(bagHandle* h, const char* name, bagDatasetIds& ids, const char* minName, const char* maxName,
                  float& minimum, float& maximum, hsize_t dims[2]) {
    if (!BagHeaderCheck::linkedHeaderConsistent(h->fileName.c_str(), h->file, h->group, name))
        return BAG_HDF_DATASPACE_CORRUPTED;
    hid_t probe = H5Dopen2(h->group, name, H5P_DEFAULT);
    if (probe < 0) return BAG_HDF_DATASET_OPEN_FAILURE;
    hid_t space = H5Dget_space(probe);
    bagError rc = space < 0 ? BAG_HDF_DATASPACE_CORRUPTED : gridDims(space, dims);
    if (space >= 0) H5Sclose(space);
    hid_t dapl = rc == BAG_SUCCESS ? chunkCacheList(probe, dims) : H5P_DEFAULT;
    H5Dclose(probe);
    if (rc != BAG_SUCCESS) return rc;
    ids.dataset = H5Dopen2(h->group, name, dapl);
    if (dapl != H5P_DEFAULT) H5Pclose(dapl);
    if (ids.dataset < 0) return BAG_HDF_DATASET_OPEN_FAILURE;
    ids.datatype = H5Dget_type(ids.dataset);
    if (ids.datatype < 0 || !isFloat32(ids.datatype)) return BAG_HDF_TYPE_NOT_FOUND;
    if ((rc = checkHeader(h, ids.dataset, ids.datatype)) != BAG_SUCCESS) return rc;
    if ((rc = bagReadAttribute(h, ids.dataset, minName, &minimum)) != BAG_SUCCESS) return rc;
    if ((rc = bagReadAttribute(h, ids.dataset, maxName, &maximum)) != BAG_SUCCESS) return rc;
    ids.filespace = H5Dget_space(ids.dataset);
    if (ids.filespace < 0) return BAG_HDF_DATASPACE_CORRUPTED;
    hid_t dcpl = H5Dget_create_plist(ids.dataset);
    if (dcpl < 0) return BAG_HDF_CREATE_PROPERTY_CLASS_FAILURE;
    ids.storageSound = storageHoldsElements(ids.dataset, dcpl, ids.datatype, ids.filespace);
    if (H5Pget_layout(dcpl) == H5D_CHUNKED && H5Pget_chunk(dcpl, 2, ids.chunk) == 2) {
        const int filters = H5Pget_nfilters(dcpl);
        ids.filters = filters > 0 ? unsigned(filters) : 0;
    } else {
        ids.chunk[0] = ids.chunk[1] = 0;
    }
    H5Pclose(dcpl);
    if (ids.chunk[0] > 0 && !BagHeaderCheck::chunkIndexConsistent(ids.dataset, 2, ids.chunk, ids.filters,
                                                                  sizeof(float), h->fileBytes))
        return BAG_HDF_DATASPACE_CORRUPTED;
    return BAG_SUCCESS;
}

bagError openTrackingList(bagHandle* h) {
    if (!BagHeaderCheck::linkedHeaderConsistent(h->fileName.c_str(), h->file, h->group, "tracking_list"))
        return BAG_HDF_DATASPACE_CORRUPTED;
    h->trackingDataset = H5Dopen2(h->group, "tracking_list", H5P_DEFAULT);
    if (h->trackingDataset < 0) return BAG_HDF_DATASET_OPEN_FAILURE;
    h->trackingType = H5Dget_type(h->trackingDataset);
    if (h->trackingType < 0) return BAG_HDF_TYPE_NOT_FOUND;
    const bagError rc = checkHeader(h, h->trackingDataset, h->trackingType);
    if (rc != BAG_SUCCESS) return rc;
    h->trackingSpace = H5Dget_space(h->trackingDataset);
    return h->trackingSpace < 0 ? BAG_HDF_DATASPACE_CORRUPTED : BAG_SUCCESS;
}

bagError openMetadataDataset(bagHandle* h) {
    if (!BagHeaderCheck::linkedHeaderConsistent(h->fileName.c_str(), h->file, h->group, "metadata"))
        return BAG_HDF_DATASPACE_CORRUPTED;
    h->metadataDataset = H5Dopen2(h->group, "metadata", H5P_DEFAULT);
    if (h->metadataDataset < 0) return BAG_HDF_DATASET_OPEN_FAILURE;
    h->metadataType = H5Dget_type(h->metadataDataset);
    if (h->metadataType < 0) return BAG_HDF_TYPE_NOT_FOUND;
    const bagError rc = checkHeader(h, h->metadataDataset, h->metadataType);
    if (rc != BAG_SUCCESS) return rc;
    h->metadataSpace = H5Dget_space(h->metadataDataset);
    if (h->metadataSpace < 0) return BAG_HDF_DATASPACE_CORRUPTED;
    if (H5Sis_simple(h->metadataSpace) <= 0 || H5Sget_simple_extent_ndims(h->metadataSpace) != 1)
        return BAG_HDF_DATASPACE_CORRUPTED;
    h->metadataPlist = H5Dget_create_plist(h->metadataDataset);
    if (h->metadataPlist < 0) return BAG_HDF_CREATE_PROPERTY_CLASS_FAILURE;
    h->metadataStorageSound =
        storageHoldsElements(h->metadataDataset, h->metadataPlist, h->metadataType, h->metadataSpace);
    hsize_t chunk = 0;
    if (H5Pget_layout(h->metadataPlist) == H5D_CHUNKED && H5Pget_chunk(h->metadataPlist, 1, &chunk) == 1) {
        h->metadataChunk = chunk;
        const int filters = H5Pget_nfilters(h->metadataPlist);
        if (!BagHeaderCheck::chunkIndexConsistent(h->metadataDataset, 1, &chunk, filters > 0 ? unsigned(filters) : 0,
                                                  H5Tget_size(h->metadataType), h->fileBytes))
            return BAG_HDF_DATASPACE_CORRUPTED;
    }
    return BAG_SUCCESS;
}

bagError openContents(bagHandle* h, int32_t mode) {
    bagError rc = checkLibraryVersion();
    if (rc != BAG_SUCCESS) return rc;
    // Nothing is written through HDF5, so every mode opens read-only: HDF5
    // closing a file it opened for writing cuts off the signature block that
    // follows its data, and may write into a damaged file.
    h->file = H5Fopen(h->fileName.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
    if (h->file < 0) return BAG_HDF_FILE_OPEN_FAILURE;
    h->fileBytes = bytesOnDisk(h->fileName.c_str());
    if (!BagHeaderCheck::objectConsistent(h->fileName.c_str(), h->file, h->file, 0) ||
        !BagHeaderCheck::linkedHeaderConsistent(h->fileName.c_str(), h->file, h->file, "/BAG_root"))
        return BAG_HDF_DATASPACE_CORRUPTED;
    h->group = H5Gopen2(h->file, "/BAG_root", H5P_DEFAULT);
    if (h->group < 0) return BAG_HDF_GROUP_OPEN_FAILURE;
    if ((rc = checkHeader(h, h->group, -1)) != BAG_SUCCESS) return rc;
    if ((rc = bagReadTextAttribute(h, h->group, "Bag Version", h->version, sizeof h->version)) != BAG_SUCCESS)
        return rc;
    hsize_t dims[2] = {0, 0}, udims[2] = {0, 0};
    if ((rc = openGrid(h, "elevation", h->elevation, "Minimum Elevation Value", "Maximum Elevation Value",
                       h->minElevation, h->maxElevation, dims)) != BAG_SUCCESS)
        return rc;
    if ((rc = openGrid(h, "uncertainty", h->uncertainty, "Minimum Uncertainty Value", "Maximum Uncertainty Value",
                       h->minUncertainty, h->maxUncertainty, udims)) != BAG_SUCCESS)
        return rc;
    // Every node is read from both grids.
    if (udims[0] != dims[0] || udims[1] != dims[1]) return BAG_HDF_DATASPACE_CORRUPTED;
    if ((rc = openTrackingList(h)) != BAG_SUCCESS) return rc;
    const hsize_t ten = 10;
    h->metadataMemspace = H5Screate_simple(1, &ten, nullptr);
    if (h->metadataMemspace < 0) return BAG_HDF_CREATE_DATASPACE_FAILURE;
    if ((rc = openMetadataDataset(h)) != BAG_SUCCESS) return rc;
    h->nrows = uint32_t(dims[0]);
    h->ncols = uint32_t(dims[1]);
    return mode == BAG_OPEN_READ_WRITE_NO_METADATA ? BAG_SUCCESS : bagLoadMetadata(h);
}

// Closes every identifier; the first failure's code.
bagError closeContents(bagHandle* h) {
    bagError rc = BAG_SUCCESS;
    auto note = [&rc](bool ok, bagError code) {
        if (!ok && rc == BAG_SUCCESS) rc = code;
    };
    note(closeId(h->group, H5Gclose), BAG_HDF_GROUP_CLOSE_FAILURE);
    for (bagDatasetIds* ids : {&h->elevation, &h->uncertainty}) {
        note(closeId(ids->memspace, H5Sclose), BAG_HDF_INTERNAL_ERROR);
        note(closeId(ids->datatype, H5Tclose), BAG_HDF_INTERNAL_ERROR);
        note(closeId(ids->dataset, H5Dclose), BAG_HDF_INTERNAL_ERROR);
        note(closeId(ids->filespace, H5Sclose), BAG_HDF_INTERNAL_ERROR);
    }
    note(closeId(h->trackingType, H5Tclose), BAG_HDF_INTERNAL_ERROR);
    note(closeId(h->trackingDataset, H5Dclose), BAG_HDF_INTERNAL_ERROR);
    note(closeId(h->trackingSpace, H5Sclose), BAG_HDF_INTERNAL_ERROR);
    note(closeId(h->metadataMemspace, H5Sclose), BAG_HDF_INTERNAL_ERROR);
    note(closeId(h->metadataType, H5Tclose), BAG_HDF_INTERNAL_ERROR);
    note(closeId(h->metadataDataset, H5Dclose), BAG_HDF_INTERNAL_ERROR);
    note(closeId(h->metadataSpace, H5Sclose), BAG_HDF_INTERNAL_ERROR);
    note(closeId(h->metadataPlist, H5Pclose), BAG_HDF_INTERNAL_ERROR);
    note(closeId(h->file, H5Fclose), BAG_HDF_FILE_CLOSE_FAILURE);
    return rc;
}

bagDatasetIds* gridIds(bagHandle* h, int32_t surface) {
    if (surface == BAG_ELEVATION) return &h->elevation;
    if (surface == BAG_UNCERTAINTY) return &h->uncertainty;
    return nullptr;
}

// The surface's cached memory dataspace, recreated when its size differs.
bagError memorySpace(bagDatasetIds& ids, hsize_t rows, hsize_t columns) {
    if (ids.memspace >= 0 && H5Sget_simple_extent_npoints(ids.memspace) == hssize_t(rows * columns)) {
        const hsize_t dims[2] = {rows, columns};
        return H5Sset_extent_simple(ids.memspace, 2, dims, nullptr) < 0 ? BAG_HDF_INTERNAL_ERROR : BAG_SUCCESS;
    }
    if (!closeId(ids.memspace, H5Sclose)) return BAG_HDF_INTERNAL_ERROR;
    const hsize_t dims[2] = {rows, columns};
    ids.memspace = H5Screate_simple(2, dims, nullptr);
    return ids.memspace < 0 ? BAG_HDF_DATASPACE_CORRUPTED : BAG_SUCCESS;
}

// Reads the rectangle at (row, column) of the given size into `out`.
bagError readRectangle(bagDatasetIds& ids, uint32_t row, uint32_t column, hsize_t rows, hsize_t columns,
                       float* out) {
    if (!ids.storageSound) return BAG_HDF_READ_FAILURE;
    bagError rc = memorySpace(ids, rows, columns);
    if (rc != BAG_SUCCESS) return rc;
    const hsize_t start[2] = {row, column};
    const hsize_t count[2] = {rows, columns};
    if (H5Sselect_hyperslab(ids.filespace, H5S_SELECT_SET, start, nullptr, count, nullptr) < 0)
        return BAG_HDF_INTERNAL_ERROR;
    if (H5Dread(ids.dataset, H5T_NATIVE_FLOAT, ids.memspace, ids.filespace, H5P_DEFAULT, out) < 0)
        return BAG_HDF_INTERNAL_ERROR;
    return BAG_SUCCESS;
}

void printExtentError(uint32_t r0, uint32_t c0, uint32_t r1, uint32_t c1, uint32_t rows, uint32_t columns) {
    std::fprintf(stderr, "Internal error, bad parameters given to access surface extents! Aborting...\n");
    std::fprintf(stderr, "\tCannot access region, %d-%d / %d-%d, with surface extents 0-%d / 0-%d\n", int(r0),
                 int(c0), int(r1), int(c1), int(rows), int(columns));
}

}  // namespace

void bagSilenceHDF5() { H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr); }

bagError bagOpen(bagHandle** handle, int32_t accessMode, const char* fileName) {
    if (!handle) return BAG_INVALID_BAG_HANDLE;
    *handle = nullptr;
    if (!fileName || accessMode < BAG_OPEN_READONLY || accessMode > BAG_OPEN_READ_WRITE_NO_METADATA)
        return BAG_INVALID_FUNCTION_ARGUMENT;
    // HDF5 and the signature reader open the name as they find it: a FIFO
    // would wait for a writer, a device might never end.
    struct stat st;
    if (::stat(fileName, &st) != 0 || !S_ISREG(st.st_mode)) return BAG_HDF_FILE_OPEN_FAILURE;
    bagSilenceHDF5();
    bagHandle* h = new (std::nothrow) bagHandle;
    if (!h) return BAG_MEMORY_ALLOCATION_FAILED;
    h->fileName.assign(fileName, strnlen(fileName, kBagFileNameLength));
    if (accessMode != BAG_OPEN_READONLY) readSignature(h);
    const bagError rc = openContents(h, accessMode);
    if (rc != BAG_SUCCESS) {
        // A failed opening leaves the file as it was: no block is written.
        h->signature.clear();
        bagClose(h);
        return rc;
    }
    *handle = h;
    return BAG_SUCCESS;
}

bagError bagClose(bagHandle* handle) {
    if (!handle) return BAG_INVALID_BAG_HANDLE;
    bagFreeRegion(handle, BAG_ELEVATION);
    bagFreeRegion(handle, BAG_UNCERTAINTY);
    bagError rc = closeContents(handle);
    if (!handle->signature.empty()) {
        const bagError written = bagWriteSignatureBlock(handle->fileName.c_str(), handle->signature.data(),
                                                        handle->signature.size(), handle->signatureId);
        if (written != BAG_SUCCESS && rc == BAG_SUCCESS) rc = written;
    }
    delete handle;
    return rc;
}

bagError bagReadValue(bagHandle* handle, uint32_t row, uint32_t column, int32_t surface, float* value) {
    if (!handle) return BAG_INVALID_BAG_HANDLE;
    if (row >= handle->nrows || column >= handle->ncols) {
        std::fprintf(stderr, "Fail to access out of bounds row/col = %d/%d out of possible size: %d/%d. Aborting\n",
                     int(row), int(column), int(handle->nrows), int(handle->ncols));
        return BAG_HDF_ACCESS_EXTENTS_ERROR;
    }
    if (!value) return BAG_INVALID_FUNCTION_ARGUMENT;
    bagDatasetIds* ids = gridIds(handle, surface);
    if (!ids) return BAG_HDF_TYPE_NOT_FOUND;
    return readRectangle(*ids, row, column, 1, 1, value);
}

bagError bagReadRow(bagHandle* handle, uint32_t row, uint32_t firstColumn, uint32_t lastColumn, int32_t surface,
                    float* buffer) {
    if (!handle) return BAG_INVALID_BAG_HANDLE;
    if (lastColumn >= handle->ncols || row >= handle->nrows || firstColumn > lastColumn) {
        printExtentError(row, firstColumn, row, lastColumn, handle->nrows, handle->ncols);
        return BAG_HDF_ACCESS_EXTENTS_ERROR;
    }
    if (!buffer) return BAG_INVALID_FUNCTION_ARGUMENT;
    bagDatasetIds* ids = gridIds(handle, surface);
    if (!ids) return BAG_HDF_TYPE_NOT_FOUND;
    return readRectangle(*ids, row, firstColumn, 1, hsize_t(lastColumn) - firstColumn + 1,
                         buffer);
}

bagRegion* bagGetRegion(bagHandle* handle, int32_t surface) {
    if (!handle) return nullptr;
    if (surface == BAG_ELEVATION) return &handle->elevationRegion;
    if (surface == BAG_UNCERTAINTY) return &handle->uncertaintyRegion;
    return nullptr;
}

bagError bagReadRegion(bagHandle* handle, uint32_t startRow, uint32_t startColumn, uint32_t endRow,
                       uint32_t endColumn, int32_t surface) {
    if (!handle) return BAG_INVALID_BAG_HANDLE;
    if (endColumn >= handle->ncols || endRow >= handle->nrows || startRow > endRow || startColumn > endColumn) {
        printExtentError(startRow, startColumn, endRow, endColumn, handle->nrows, handle->ncols);
        return BAG_HDF_ACCESS_EXTENTS_ERROR;
    }
    bagDatasetIds* ids = gridIds(handle, surface);
    bagRegion* region = bagGetRegion(handle, surface);
    if (!ids || !region) return BAG_HDF_TYPE_NOT_FOUND;
    const uint64_t rows = uint64_t(endRow) - startRow + 1, columns = uint64_t(endColumn) - startColumn + 1;
    if (rows > kMaxRegion / columns) {
        bagFreeRegion(handle, surface);
        return BAG_MEMORY_ALLOCATION_FAILED;
    }
    // Regions are read block after block: the storage is kept and reused.
    const size_t count = size_t(rows * columns);
    try {
        if (region->capacity < count) {
            region->block.reset();
            region->block.reset(new float[count]);
            region->capacity = count;
        }
        region->rows.resize(size_t(rows));
    } catch (const std::bad_alloc&) {
        bagFreeRegion(handle, surface);
        return BAG_MEMORY_ALLOCATION_FAILED;
    }
    for (uint64_t r = 0; r < rows; ++r) region->rows[size_t(r)] = region->block.get() + r * columns;
    const bagError rc = readRectangle(*ids, startRow, startColumn, rows, columns,
                                      region->block.get());
    if (rc != BAG_SUCCESS) {
        bagFreeRegion(handle, surface);
        return rc;
    }
    region->startRow = startRow;
    region->startCol = startColumn;
    region->nrows = uint32_t(rows);
    region->ncols = uint32_t(columns);
    return BAG_SUCCESS;
}

bagError bagFreeRegion(bagHandle* handle, int32_t surface) {
    if (!handle) return BAG_INVALID_BAG_HANDLE;
    bagRegion* region = bagGetRegion(handle, surface);
    if (!region) return BAG_HDF_TYPE_NOT_FOUND;
    *region = bagRegion();
    return BAG_SUCCESS;
}

bagError bagReadMetadataText(bagHandle* handle) {
    if (!handle) return BAG_INVALID_BAG_HANDLE;
    if (handle->metadataDataset < 0) return BAG_HDF_DATASET_OPEN_FAILURE;
    hsize_t length = 0;
    if (H5Sget_simple_extent_dims(handle->metadataSpace, &length, nullptr) != 1) return BAG_HDF_INTERNAL_ERROR;
    if (length >= kBagMetadataLimit) return BAG_METADTA_BUFFER_EXCEEDED;
    const H5T_class_t cls = H5Tget_class(handle->metadataType);
    if ((cls != H5T_STRING && cls != H5T_INTEGER) || H5Tget_size(handle->metadataType) != 1 ||
        H5Tis_variable_str(handle->metadataType) > 0)
        return BAG_HDF_TYPE_NOT_FOUND;
    handle->metadata.clear();
    if (length == 0) return BAG_SUCCESS;
    if (!handle->metadataStorageSound) return BAG_HDF_READ_FAILURE;
    std::vector<char> text(size_t(length) + 1, '\0');
    hid_t memspace = H5Screate_simple(1, &length, nullptr);
    if (memspace < 0) return BAG_HDF_CREATE_DATASPACE_FAILURE;
    // The dataset's own one-byte type: converting between string paddings
    // would turn the characters into zeros.
    const herr_t read = H5Dread(handle->metadataDataset, handle->metadataType, memspace, H5S_ALL, H5P_DEFAULT,
                                text.data());
    H5Sclose(memspace);
    if (read < 0) return BAG_HDF_INTERNAL_ERROR;
    handle->metadata.assign(text.data(), strnlen(text.data(), size_t(length)));
    return BAG_SUCCESS;
}

bagError bagReadAttribute(bagHandle* handle, hid_t object, const char* name, float* value) {
    if (!handle) return BAG_INVALID_BAG_HANDLE;
    if (!value) return BAG_HDF_CANNOT_WRITE_NULL_DATA;
    hid_t attribute = H5Aopen_by_name(object, ".", name, H5P_DEFAULT, H5P_DEFAULT);
    if (attribute < 0) return BAG_HDF_ATTRIBUTE_OPEN_FAILURE;
    hid_t type = H5Aget_type(attribute);
    hid_t space = H5Aget_space(attribute);
    const H5T_class_t cls = type < 0 ? H5T_NO_CLASS : H5Tget_class(type);
    bagError rc = BAG_SUCCESS;
    if (cls != H5T_FLOAT && cls != H5T_INTEGER)
        rc = BAG_HDF_TYPE_NOT_FOUND;
    else if (space < 0 || H5Sget_simple_extent_npoints(space) != 1)
        rc = BAG_HDF_DATASPACE_CORRUPTED;
    else if (H5Aread(attribute, H5T_NATIVE_FLOAT, value) < 0)
        rc = BAG_HDF_INTERNAL_ERROR;
    if (space >= 0) H5Sclose(space);
    if (type >= 0 && H5Tclose(type) < 0 && rc == BAG_SUCCESS) rc = BAG_HDF_INTERNAL_ERROR;
    if (H5Aclose(attribute) < 0 && rc == BAG_SUCCESS) rc = BAG_HDF_INTERNAL_ERROR;
    return rc;
}

bagError bagReadTextAttribute(bagHandle* handle, hid_t object, const char* name, char* text, size_t size) {
    if (!handle) return BAG_INVALID_BAG_HANDLE;
    if (!text || size == 0) return BAG_HDF_CANNOT_WRITE_NULL_DATA;
    std::memset(text, 0, size);
    hid_t attribute = H5Aopen_by_name(object, ".", name, H5P_DEFAULT, H5P_DEFAULT);
    if (attribute < 0) return BAG_HDF_ATTRIBUTE_OPEN_FAILURE;
    hid_t type = H5Aget_type(attribute);
    hid_t space = H5Aget_space(attribute);
    bagError rc = BAG_SUCCESS;
    // Only a fixed-length text: its buffer is sized from the type itself.
    if (type < 0 || H5Tget_class(type) != H5T_STRING || H5Tis_variable_str(type) != 0)
        rc = BAG_HDF_TYPE_NOT_FOUND;
    else if (space < 0 || H5Sget_simple_extent_npoints(space) != 1)
        rc = BAG_HDF_DATASPACE_CORRUPTED;
    else {
        const size_t length = H5Tget_size(type);
        std::vector<char> buffer;
        try {
            buffer.assign(length + 1, '\0');
        } catch (const std::bad_alloc&) {
            rc = BAG_MEMORY_ALLOCATION_FAILED;
        }
        if (rc == BAG_SUCCESS && H5Aread(attribute, type, buffer.data()) < 0) rc = BAG_HDF_INTERNAL_ERROR;
        if (rc == BAG_SUCCESS) std::strncpy(text, buffer.data(), size - 1);
    }
    if (space >= 0) H5Sclose(space);
    if (type >= 0) H5Tclose(type);
    if (H5Aclose(attribute) < 0 && rc == BAG_SUCCESS) rc = BAG_HDF_INTERNAL_ERROR;
    return rc;
}
