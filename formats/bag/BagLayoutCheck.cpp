#include "formats/bag/BagLayoutCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr uint16_t kLayoutMessage = 0x0008;
constexpr uint16_t kContinuationMessage = 0x0010;
constexpr size_t kMaxHeaderBlock = 1 << 20;
constexpr int kMaxBlocks = 64;
// HDF5 decompresses a whole chunk at a time; a larger chunk than this is
// taken for damage rather than honoured with the memory it would need.
constexpr uint64_t kMaxChunkBytes = 16ull << 20;

struct Reader {
    FILE* file = nullptr;
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

struct Layout {
    bool found = false;
    std::vector<uint64_t> dims;  // chunk dimensions, element size last
};

// Reads a layout message body; only chunked layouts fill `dims`.
void parseLayout(const uint8_t* p, size_t n, const Reader& r, Layout& out) {
    if (n < 2) return;
    const unsigned version = p[0];
    if (version == 1 || version == 2) {
        if (n < 8) return;
        const unsigned rank = p[1], cls = p[2];
        size_t at = 8 + (cls != 0 ? r.offsetSize : 0);
        if (cls != 2 || at + 4 * size_t(rank) > n) return;
        out.found = true;
        for (unsigned i = 0; i < rank; ++i) out.dims.push_back(little(p + at + 4 * i, 4));
    } else if (version == 3) {
        if (p[1] != 2 || n < 3) return;
        const unsigned rank = p[2];
        const size_t at = 3 + r.offsetSize;
        if (at + 4 * size_t(rank) > n) return;
        out.found = true;
        for (unsigned i = 0; i < rank; ++i) out.dims.push_back(little(p + at + 4 * i, 4));
    } else if (version == 4) {
        if (p[1] != 2 || n < 5) return;
        const unsigned rank = p[3], width = p[4];
        if (width < 1 || width > 8 || 5 + size_t(rank) * width > n) return;
        out.found = true;
        for (unsigned i = 0; i < rank; ++i) out.dims.push_back(little(p + 5 + size_t(i) * width, width));
    }
}

struct Block {
    uint64_t address, length;
};

// Walks version 1 messages in [from, to); continuations are queued.
void walkV1(const std::vector<uint8_t>& b, size_t from, size_t to, const Reader& r, std::vector<Block>& more,
            Layout& out) {
    for (size_t at = from; at + 8 <= to && !out.found;) {
        const uint16_t type = uint16_t(little(&b[at], 2));
        const size_t size = size_t(little(&b[at + 2], 2));
        if (at + 8 + size > to) return;
        const uint8_t* body = &b[at + 8];
        if (type == kLayoutMessage) parseLayout(body, size, r, out);
        if (type == kContinuationMessage && size >= r.offsetSize + r.lengthSize)
            more.push_back({little(body, r.offsetSize), little(body + r.offsetSize, r.lengthSize)});
        at += 8 + ((size + 7) & ~size_t(7));
    }
}

void walkV2(const std::vector<uint8_t>& b, size_t from, size_t to, bool creationOrder, const Reader& r,
            std::vector<Block>& more, Layout& out) {
    const size_t prefix = creationOrder ? 6 : 4;
    for (size_t at = from; at + prefix <= to && !out.found;) {
        const uint8_t type = b[at];
        const size_t size = size_t(little(&b[at + 1], 2));
        if (at + prefix + size > to) return;
        const uint8_t* body = &b[at + prefix];
        if (type == kLayoutMessage) parseLayout(body, size, r, out);
        if (type == kContinuationMessage && size >= r.offsetSize + r.lengthSize)
            more.push_back({little(body, r.offsetSize), little(body + r.offsetSize, r.lengthSize)});
        at += prefix + size;
    }
}

Layout findLayout(const Reader& r, uint64_t address) {
    Layout out;
    std::vector<uint8_t> b;
    if (!r.read(address, 16, b)) return out;
    std::vector<Block> more;
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
    for (int i = 0; i < int(more.size()) && i < kMaxBlocks && !out.found; ++i) {
        const Block c = more[size_t(i)];
        if (c.length > kMaxHeaderBlock || !r.read(c.address, size_t(c.length), b)) return out;
        if (!v2)
            walkV1(b, 0, b.size(), r, more, out);
        else if (b.size() >= 8 && std::memcmp(b.data(), "OCHK", 4) == 0)
            walkV2(b, 4, b.size() - 4, creationOrder, r, more, out);
    }
    return out;
}

bool objectAddress(hid_t dataset, uint64_t& address) {
#if H5_VERSION_GE(1, 12, 0)
    H5O_info2_t info;
    if (H5Oget_info3(dataset, &info, H5O_INFO_BASIC) < 0) return false;
    haddr_t a = 0;
    if (H5VLnative_token_to_addr(dataset, info.token, &a) < 0) return false;
    address = a;
#else
    H5O_info_t info;
    if (H5Oget_info2(dataset, &info, H5O_INFO_BASIC) < 0) return false;
    address = info.addr;
#endif
    return true;
}

}  // namespace

namespace BagLayoutCheck {

bool chunkLayoutConsistent(const char* fileName, hid_t file, hid_t dataset, size_t elementSize) {
    hid_t dcpl = H5Dget_create_plist(dataset);
    if (dcpl < 0) return true;
    hsize_t chunk[32] = {};
    const int rank = H5Pget_layout(dcpl) == H5D_CHUNKED ? H5Pget_chunk(dcpl, 32, chunk) : -1;
    H5Pclose(dcpl);
    if (rank <= 0) return true;
    // A grid's extent is fixed: a chunk larger than the grid is a damaged
    // layout, which HDF5 would read past its buffers.
    hid_t space = H5Dget_space(dataset);
    hsize_t dims[32] = {};
    const int spaceRank = space >= 0 ? H5Sget_simple_extent_dims(space, dims, nullptr) : -1;
    if (space >= 0) H5Sclose(space);
    if (spaceRank != rank) return false;
    uint64_t chunkBytes = elementSize;
    for (int i = 0; i < rank; ++i) {
        if (chunk[i] == 0 || (dims[i] > 0 && chunk[i] > dims[i])) return false;
        chunkBytes *= chunk[i];
        if (chunkBytes > kMaxChunkBytes) return false;
    }
    Reader r;
    hid_t fcpl = H5Fget_create_plist(file);
    if (fcpl >= 0) {
        size_t offsets = 8, lengths = 8;
        hsize_t userBlock = 0;
        if (H5Pget_sizes(fcpl, &offsets, &lengths) >= 0 && offsets <= 8 && lengths <= 8) {
            r.offsetSize = unsigned(offsets);
            r.lengthSize = unsigned(lengths);
        }
        if (H5Pget_userblock(fcpl, &userBlock) >= 0) r.base = userBlock;
        H5Pclose(fcpl);
    }
    uint64_t address = 0;
    if (!objectAddress(dataset, address)) return true;
    r.file = std::fopen(fileName, "rb");
    if (!r.file) return true;
    const Layout layout = findLayout(r, address);
    std::fclose(r.file);
    if (!layout.found) return true;
    if (layout.dims.size() != size_t(rank) + 1 || layout.dims.back() != elementSize) return false;
    for (int i = 0; i < rank; ++i)
        if (layout.dims[size_t(i)] != chunk[i]) return false;
    return true;
}

}  // namespace BagLayoutCheck
