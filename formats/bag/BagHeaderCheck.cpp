#include "formats/bag/BagHeaderCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr uint16_t kLayoutMessage = 0x0008;
constexpr uint16_t kAttributeMessage = 0x000C;
constexpr uint16_t kContinuationMessage = 0x0010;
constexpr uint16_t kSymbolTableMessage = 0x0011;
constexpr unsigned kVariableLengthClass = 9;
constexpr size_t kMaxHeaderBlock = 1 << 20;
constexpr int kMaxBlocks = 64;
// HDF5 decompresses a whole chunk at a time; a larger chunk than this is
// taken for damage rather than honoured with the memory it would need.
constexpr uint64_t kMaxChunkBytes = 16ull << 20;
// Listing chunks by index costs a walk of the index each (HDF5 1.10 has no
// cheaper way); larger indexes are left to HDF5.
constexpr hsize_t kMaxListedChunks = 2048;

struct Reader {
    FILE* file = nullptr;
    uint64_t fileSize = 0;
    uint64_t base = 0;
    unsigned offsetSize = 8, lengthSize = 8;

    bool read(uint64_t address, size_t size, std::vector<uint8_t>& out) const {
        out.assign(size, 0);
        const uint64_t at = base + address;
        if (at > uint64_t(INT64_MAX) || std::fseek(file, long(at), SEEK_SET) != 0) return false;
        return std::fread(out.data(), 1, size, file) == size;
    }
};

uint64_t little(const uint8_t* p, unsigned n) {
    uint64_t v = 0;
    for (unsigned i = 0; i < n; ++i) v |= uint64_t(p[i]) << (8 * i);
    return v;
}

// What the walk found: the chunk layout, and whether an attribute message
// contradicted itself.
struct Findings {
    bool layoutFound = false;
    std::vector<uint64_t> chunk;  // chunk dimensions, element size last
    bool badAttribute = false;
    bool sharedMessage = false;  // BAG objects keep every message in their own header
    bool hasHeap = false;        // a group's local heap of link names
    uint64_t heapAddress = 0;
};

void parseLayout(const uint8_t* p, size_t n, const Reader& r, Findings& out) {
    if (n < 2) return;
    const unsigned version = p[0];
    size_t at = 0, width = 4;
    unsigned rank = 0;
    if (version == 1 || version == 2) {
        if (n < 8 || p[2] != 2) return;
        rank = p[1];
        at = 8 + r.offsetSize;
    } else if (version == 3) {
        if (n < 3 || p[1] != 2) return;
        rank = p[2];
        at = 3 + r.offsetSize;
    } else if (version == 4) {
        if (n < 5 || p[1] != 2) return;
        rank = p[3];
        width = p[4];
        at = 5;
        if (width < 1 || width > 8) return;
    } else {
        return;
    }
    if (at + width * rank > n) return;
    out.layoutFound = true;
    for (unsigned i = 0; i < rank; ++i) out.chunk.push_back(little(p + at + width * i, unsigned(width)));
}

// Element size of an encoded datatype; 0 when unknown (variable length).
uint64_t datatypeSize(const uint8_t* p, size_t n) {
    if (n < 8 || (p[0] & 0x0F) == kVariableLengthClass) return 0;
    return little(p + 4, 4);
}

// Number of elements of an encoded dataspace; false when it cannot be read.
bool dataspacePoints(const uint8_t* p, size_t n, const Reader& r, uint64_t& points) {
    if (n < 4) return false;
    const unsigned version = p[0], rank = p[1];
    size_t at = version == 1 ? 8 : 4;
    if (version == 2 && p[3] == 2) {
        points = 0;  // null dataspace
        return true;
    }
    if ((version != 1 && version != 2) || at + size_t(rank) * r.lengthSize > n) return false;
    points = 1;
    for (unsigned i = 0; i < rank; ++i) {
        const uint64_t d = little(p + at + size_t(i) * r.lengthSize, r.lengthSize);
        if (d != 0 && points > UINT64_MAX / d) return false;
        points *= d;
    }
    return true;
}

size_t pad8(size_t v) { return (v + 7) & ~size_t(7); }

// An attribute message must hold what its fields announce.
bool attributeConsistent(const uint8_t* p, size_t n, const Reader& r) {
    if (n < 8) return false;
    const unsigned version = p[0], flags = p[1];
    const size_t nameSize = size_t(little(p + 2, 2)), typeSize = size_t(little(p + 4, 2));
    const size_t spaceSize = size_t(little(p + 6, 2));
    size_t at = version == 3 ? 9 : 8;
    if (version < 1 || version > 3 || nameSize == 0) return version > 3;
    const bool padded = version == 1;
    const size_t name = at, type = name + (padded ? pad8(nameSize) : nameSize);
    const size_t space = type + (padded ? pad8(typeSize) : typeSize);
    const size_t data = space + (padded ? pad8(spaceSize) : spaceSize);
    if (data > n || p[name + nameSize - 1] != '\0') return false;
    if (flags & 0x03) return true;  // shared datatype or dataspace: described elsewhere
    uint64_t points = 0;
    const uint64_t element = datatypeSize(p + type, typeSize);
    if (element == 0 || !dataspacePoints(p + space, spaceSize, r, points)) return true;
    return points == 0 || (element <= (n - data) && points <= (n - data) / element);
}

using Blocks = std::vector<std::pair<uint64_t, uint64_t>>;  // continuation address, length

void visit(uint16_t type, uint8_t flags, const uint8_t* body, size_t size, const Reader& r, Blocks& more,
           Findings& out) {
    if (flags & 0x02) out.sharedMessage = true;
    if (type == kSymbolTableMessage && size >= 2 * size_t(r.offsetSize)) {
        out.hasHeap = true;
        out.heapAddress = little(body + r.offsetSize, r.offsetSize);
    }
    if (type == kLayoutMessage) parseLayout(body, size, r, out);
    if (type == kAttributeMessage && !attributeConsistent(body, size, r)) out.badAttribute = true;
    if (type == kContinuationMessage && size >= r.offsetSize + r.lengthSize)
        more.emplace_back(little(body, r.offsetSize), little(body + r.offsetSize, r.lengthSize));
}

void walkV1(const std::vector<uint8_t>& b, size_t from, size_t to, const Reader& r, Blocks& more, Findings& out) {
    for (size_t at = from; at + 8 <= to;) {
        const size_t size = size_t(little(&b[at + 2], 2));
        if (at + 8 + size > to) return;
        visit(uint16_t(little(&b[at], 2)), b[at + 4], &b[at + 8], size, r, more, out);
        at += 8 + pad8(size);
    }
}

void walkV2(const std::vector<uint8_t>& b, size_t from, size_t to, bool creationOrder, const Reader& r,
            Blocks& more, Findings& out) {
    const size_t prefix = creationOrder ? 6 : 4;
    for (size_t at = from; at + prefix <= to;) {
        const size_t size = size_t(little(&b[at + 1], 2));
        if (at + prefix + size > to) return;
        visit(b[at], b[at + 3], &b[at + prefix], size, r, more, out);
        at += prefix + size;
    }
}

// A group's local heap must lie in the file at a modest size: HDF5 allocates
// and copies what its prefix announces.
bool heapConsistent(const Reader& r, uint64_t address) {
    std::vector<uint8_t> b;
    const size_t prefix = 8 + 2 * size_t(r.lengthSize) + r.offsetSize;
    if (!r.read(address, prefix, b) || std::memcmp(b.data(), "HEAP", 4) != 0 || b[4] != 0) return false;
    const uint64_t size = little(&b[8], r.lengthSize);
    const uint64_t data = little(&b[8 + 2 * r.lengthSize], r.offsetSize);
    return size <= kMaxHeaderBlock && data <= r.fileSize && size <= r.fileSize - data;
}

Findings walkHeader(const Reader& r, uint64_t address) {
    Findings out;
    std::vector<uint8_t> b;
    if (!r.read(address, 16, b)) return out;
    Blocks more;
    bool v2 = false, creationOrder = false;
    if (b[0] == 1) {
        const size_t size = size_t(little(&b[8], 4));
        if (size > kMaxHeaderBlock || !r.read(address + 16, size, b)) return out;
        walkV1(b, 0, size, r, more, out);
    } else if (std::memcmp(b.data(), "OHDR", 4) == 0 && b[4] == 2) {
        v2 = true;
        const uint8_t flags = b[5];
        creationOrder = (flags & 0x04) != 0;
        size_t at = 6 + ((flags & 0x20) ? 16 : 0) + ((flags & 0x10) ? 4 : 0);
        const unsigned width = 1u << (flags & 3);
        if (!r.read(address, at + width, b)) return out;
        const size_t size = size_t(little(&b[at], width));
        at += width;
        if (size > kMaxHeaderBlock || !r.read(address, at + size, b)) return out;
        walkV2(b, at, at + size, creationOrder, r, more, out);
    }
    for (size_t i = 0; i < more.size() && i < size_t(kMaxBlocks); ++i) {
        const auto block = more[i];
        if (block.second > kMaxHeaderBlock || !r.read(block.first, size_t(block.second), b)) return out;
        if (!v2)
            walkV1(b, 0, b.size(), r, more, out);
        else if (b.size() >= 8 && std::memcmp(b.data(), "OCHK", 4) == 0)
            walkV2(b, 4, b.size() - 4, creationOrder, r, more, out);
    }
    return out;
}

bool linkAddress(hid_t location, const char* name, uint64_t& address) {
    if (H5Lexists(location, name, H5P_DEFAULT) <= 0) return false;
#if H5_VERSION_GE(1, 12, 0)
    H5L_info2_t info;
    if (H5Lget_info2(location, name, &info, H5P_DEFAULT) < 0 || info.type != H5L_TYPE_HARD) return false;
    haddr_t a = 0;
    if (H5VLnative_token_to_addr(location, info.u.token, &a) < 0) return false;
    address = a;
#else
    H5L_info_t info;
    if (H5Lget_info(location, name, &info, H5P_DEFAULT) < 0 || info.type != H5L_TYPE_HARD) return false;
    address = info.u.address;
#endif
    return true;
}

bool objectAddress(hid_t object, uint64_t& address) {
#if H5_VERSION_GE(1, 12, 0)
    H5O_info2_t info;
    if (H5Oget_info3(object, &info, H5O_INFO_BASIC) < 0) return false;
    haddr_t a = 0;
    if (H5VLnative_token_to_addr(object, info.token, &a) < 0) return false;
    address = a;
#else
    H5O_info_t info;
    if (H5Oget_info2(object, &info, H5O_INFO_BASIC) < 0) return false;
    address = info.addr;
#endif
    return true;
}

// The chunk dimensions HDF5 reports, checked against the grid; rank 0 when
// the dataset is not chunked, -1 when its chunks cannot be right.
int chunkDimensions(hid_t dataset, size_t elementSize, hsize_t chunk[32]) {
    hid_t dcpl = H5Dget_create_plist(dataset);
    if (dcpl < 0) return 0;
    const int rank = H5Pget_layout(dcpl) == H5D_CHUNKED ? H5Pget_chunk(dcpl, 32, chunk) : 0;
    H5Pclose(dcpl);
    if (rank <= 0) return 0;
    hid_t space = H5Dget_space(dataset);
    hsize_t dims[32] = {}, maxDims[32] = {};
    const int spaceRank = space >= 0 ? H5Sget_simple_extent_dims(space, dims, maxDims) : -1;
    if (space >= 0) H5Sclose(space);
    if (spaceRank != rank) return -1;
    uint64_t bytes = elementSize;
    for (int i = 0; i < rank; ++i) {
        // HDF5 itself allows no chunk beyond a fixed extent.
        if (chunk[i] == 0 || (maxDims[i] != H5S_UNLIMITED && chunk[i] > maxDims[i])) return -1;
        bytes *= chunk[i];
        if (bytes > kMaxChunkBytes) return -1;
    }
    return rank;
}

Reader readerFor(hid_t file) {
    Reader r;
    hid_t fcpl = H5Fget_create_plist(file);
    if (fcpl < 0) return r;
    size_t offsets = 8, lengths = 8;
    hsize_t userBlock = 0;
    if (H5Pget_sizes(fcpl, &offsets, &lengths) >= 0 && offsets >= 2 && offsets <= 8 && lengths >= 2 &&
        lengths <= 8) {
        r.offsetSize = unsigned(offsets);
        r.lengthSize = unsigned(lengths);
    }
    if (H5Pget_userblock(fcpl, &userBlock) >= 0) r.base = userBlock;
    H5Pclose(fcpl);
    return r;
}

// Walks the header at `address`; false when it contradicts itself.
bool walkFile(const char* fileName, hid_t file, uint64_t address, Findings& found) {
    Reader r = readerFor(file);
    r.file = std::fopen(fileName, "rb");
    if (!r.file) return true;
    if (std::fseek(r.file, 0, SEEK_END) == 0) {
        const long end = std::ftell(r.file);
        r.fileSize = end > 0 ? uint64_t(end) : 0;
    }
    found = walkHeader(r, address);
    const bool heapSound = !found.hasHeap || heapConsistent(r, found.heapAddress);
    std::fclose(r.file);
    return heapSound && !found.badAttribute && !found.sharedMessage;
}

}  // namespace

namespace BagHeaderCheck {

bool linkedHeaderConsistent(const char* fileName, hid_t file, hid_t location, const char* name) {
    uint64_t address = 0;
    if (!linkAddress(location, name, address)) return true;  // HDF5 reports what is missing
    Findings found;
    return walkFile(fileName, file, address, found);
}

bool objectConsistent(const char* fileName, hid_t file, hid_t object, size_t elementSize) {
    hsize_t chunk[32] = {};
    const int rank = elementSize > 0 ? chunkDimensions(object, elementSize, chunk) : 0;
    if (rank < 0) return false;
    uint64_t address = 0;
    if (!objectAddress(object, address)) return true;
    Findings found;
    if (!walkFile(fileName, file, address, found)) return false;
    if (rank == 0 || !found.layoutFound) return true;
    if (found.chunk.size() != size_t(rank) + 1 || found.chunk.back() != elementSize) return false;
    for (int i = 0; i < rank; ++i)
        if (found.chunk[size_t(i)] != chunk[i]) return false;
    return true;
}

}  // namespace BagHeaderCheck

namespace BagHeaderCheck {

bool chunkIndexConsistent(hid_t dataset, int rank, const hsize_t* chunk, unsigned filters, size_t elementSize,
                          uint64_t fileSize) {
#if H5_VERSION_GE(1, 10, 5)
    if (rank < 1 || rank > 2) return true;
    hid_t space = H5Dget_space(dataset);
    if (space < 0) return true;
    hsize_t dims[2] = {0, 0}, count = 0;
    const bool listed = H5Sget_simple_extent_dims(space, dims, nullptr) == rank &&
                        H5Dget_num_chunks(dataset, space, &count) >= 0;
    bool sound = true;
    uint64_t expected = elementSize;
    for (int d = 0; d < rank; ++d) expected *= chunk[d];
    const uint64_t allSkipped = filters >= 32 ? 0xFFFFFFFFu : (1u << filters) - 1;
    for (hsize_t i = 0; listed && sound && count <= kMaxListedChunks && i < count; ++i) {
        hsize_t offset[2] = {0, 0}, stored = 0;
        unsigned mask = 0;
        haddr_t address = HADDR_UNDEF;
        if (H5Dget_chunk_info(dataset, space, i, offset, &mask, &address, &stored) < 0) {
            sound = false;
            break;
        }
        for (int d = 0; d < rank; ++d)
            sound = sound && chunk[d] > 0 && offset[d] % chunk[d] == 0 && offset[d] < dims[d];
        sound = sound && stored > 0 && address != HADDR_UNDEF && address <= fileSize && stored <= fileSize - address;
        sound = sound && ((mask & allSkipped) != allSkipped || stored == expected);
    }
    H5Sclose(space);
    return sound;
#else
    return true;
#endif
}

}  // namespace BagHeaderCheck
