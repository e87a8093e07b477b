#include "cube/CUBEGridEntry.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "cube/CUBEFileMagic.h"
#include "cube_engine/cube_serialise.h"
#include "cube_engine/cube_stream.h"
#include "platform/core/NORVAByteIO.h"

namespace {

const auto& kMagic = CUBEFileMagic::kGrid;

const uint64_t kGridHeaderBytes = 28;
// What a grid dump is laid out in before it goes to the file.
const size_t kWriteBuffer = size_t(1) << 20;
// The fewest bytes a node can take in a dump: its record (21 bytes in layout
// 0; 33 in the current layout, 28 in the older one the engine falls back to)
// and its hypothesis count; a cached value follows unless the mode has none.
uint64_t minimumNodeBytes(int16_t layout, uint32_t mode) {
    const uint64_t record = layout == 0 ? 21 : 28;
    return record + 4 + (mode == CUBE_GRID_NONE ? 0 : 4);
}

// Bytes between the stream's position and the end of the file.
bool remainingBytes(FILE* file, uint64_t& remaining) {
    struct stat info;
    const long position = std::ftell(file);
    if (position < 0 || fstat(fileno(file), &info) != 0 || info.st_size < position) return false;
    remaining = static_cast<uint64_t>(info.st_size) - static_cast<uint64_t>(position);
    return true;
}

// The rest of a grid file from the stream's position, mapped rather than
// copied where the system allows it: a grid file runs to tens of megabytes,
// and reading it into a fresh buffer cost nearly a fifth of decoding it. The
// library replaces grid files by renaming new ones over them, so a mapped
// file is never cut short under the reader.
class FileRest {
public:
    bool load(FILE* file, uint64_t size) {
        if (size == 0 || size > SIZE_MAX) return false;
        if (map(file, size)) return true;
        m_copy.reset(new (std::nothrow) uint8_t[size]);
        if (!m_copy || !NORVAByteIO::readBytes(file, m_copy.get(), size)) return false;
        m_data = m_copy.get();
        return true;
    }
    ~FileRest() {
        if (m_mapping != MAP_FAILED) munmap(m_mapping, m_mappedBytes);
    }
    const uint8_t* data() const { return m_data; }

private:
    bool map(FILE* file, uint64_t size) {
        const long position = std::ftell(file);
        const long page = sysconf(_SC_PAGESIZE);
        if (position < 0 || page <= 0) return false;
        const uint64_t start = static_cast<uint64_t>(position) / page * page;
        m_mappedBytes = static_cast<size_t>(size + (position - start));
        m_mapping = mmap(nullptr, m_mappedBytes, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fileno(file),
                         static_cast<off_t>(start));
        if (m_mapping == MAP_FAILED) return false;
        m_data = static_cast<const uint8_t*>(m_mapping) + (position - start);
        // The stream ends where the mapping does, as after reading.
        std::fseek(file, 0, SEEK_END);
        return true;
    }

    void* m_mapping = MAP_FAILED;
    size_t m_mappedBytes = 0;
    std::unique_ptr<uint8_t[]> m_copy;
    const uint8_t* m_data = nullptr;
};

// The heap's block for a request of `bytes`: a size word before the data,
// rounded up to 16 bytes and never below 32.
uint64_t heapBlock(uint64_t bytes) { return std::max<uint64_t>(32, (bytes + 8 + 15) / 16 * 16); }

}  // namespace

uint64_t CUBEGridEntry::residentBytes(const _cube_param* params) const {
    if (grid == nullptr) return 0;
    const uint64_t nodes = static_cast<uint64_t>(grid->nx) * grid->ny;
    uint64_t bytes = heapBlock(sizeof(_cube_grid)) + heapBlock(nodes * sizeof(_cube_node)) +
                     cube_pool_bytes(&grid->pool);
    if (grid->cache != nullptr) bytes += heapBlock(nodes * sizeof(float));
    const uint64_t configured = cube_param_queue_length(params);
    for (uint64_t i = 0; i < nodes; ++i) {
        const _cube_node& node = grid->nodes[i];
        if (node.queue != nullptr)
            bytes += heapBlock(std::max<uint64_t>(configured, node.queue_count) * sizeof(cube_queue_entry));
    }
    return bytes;
}

CUBEGridEntry::~CUBEGridEntry() {
    if (grid == nullptr) return;
    printf("Releasing grid %d x %d\n", row, column);
    cube_grid_release(grid);
}

long CUBEGridEntry::read(FILE* file, const _cube_param* params, bool modifiedOnly, uint32_t maxSide) {
    using namespace NORVAByteIO;
    uint8_t magic[sizeof kMagic];
    if (!readBytes(file, magic, sizeof magic)) {
        printf("Unable to read header for grid %d x %d\n", row, column);
        return kReadFailed;
    }
    if (std::memcmp(magic, kMagic, sizeof kMagic) != 0) {
        printf("Invalid format for grid %d x %d.\n", row, column);
        return kReadFailed;
    }
    uint16_t version = 0;
    int16_t layout = 0;
    if (!readU16(file, version) || !readI16(file, layout) || version != kFileVersion || layout > kLayout) {
        printf("Invalid version for grid %d x %d.\n", row, column);
        return kReadFailed;
    }
    if (!readU32(file, state)) {
        printf("Failed to read the modified status for grid %d x %d.\n", row, column);
        return kReadFailed;
    }
    if (modifiedOnly && state != kModified) return 0;
    const time_t now = std::time(nullptr);
    if (readBody(file, params, layout, maxSide) != 0) {
        printf("De-serialize failed for grid %d x %d\n", row, column);
        return kReadFailed;
    }
    stamp = now;
    return 0;
}

// The dump is taken into memory whole and checked against its own size
// before the engine sees it: the grid header's node counts are untrusted.
long CUBEGridEntry::readBody(FILE* file, const _cube_param* params, int16_t layout, uint32_t maxSide) {
    uint64_t size = 0;
    if (!remainingBytes(file, size) || size < kGridHeaderBytes || size > SIZE_MAX) return kReadFailed;
    FileRest bytes;
    if (!bytes.load(file, size)) return kReadFailed;
    const uint32_t nx = cube_get_u32(bytes.data());
    const uint32_t ny = cube_get_u32(bytes.data() + 4);
    const uint32_t mode = cube_get_u32(bytes.data() + 24);
    if (nx > maxSide || ny > maxSide) return kReadFailed;
    const uint64_t nodes = static_cast<uint64_t>(nx) * ny;
    if (nodes > (size - kGridHeaderBytes) / minimumNodeBytes(layout, mode)) return kReadFailed;
    cube_stream stream;
    cube_stream_memory_reader(&stream, bytes.data(), size);
    _cube_grid* loaded = cube_grid_deserialise(&stream, params, layout);
    if (loaded == nullptr) return kReadFailed;
    cube_grid_release(grid);
    grid = loaded;
    return 0;
}

// The dump is laid out in a buffer that goes to the file each time it
// fills: the stream's per-call cost stays out of a dump of millions of
// fields, and a dump of any size costs one buffer that the cache stays warm on.
long CUBEGridEntry::write(FILE* file, const _cube_param* params) const {
    using namespace NORVAByteIO;
    if (file == nullptr || !writeBytes(file, kMagic, sizeof kMagic) || !writeU16(file, kFileVersion) ||
        !writeI16(file, kLayout) || !writeU32(file, state))
        return kHeaderWriteFailed;
    if (grid == nullptr) return kGridWriteFailed;
    cube_stream stream;
    if (!cube_stream_file_writer(&stream, file, kWriteBuffer)) return kGridWriteFailed;
    const bool ok = cube_grid_serialise(&stream, grid, params) > 0 && cube_stream_drain(&stream);
    cube_stream_close(&stream);
    return ok ? 0 : kGridWriteFailed;
}
