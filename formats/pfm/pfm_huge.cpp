#include "formats/pfm/pfm_huge.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <string>

#include "formats/pfm/pfm_files.h"
#include "platform/core/NORVAFileUtils.h"

namespace {

struct HugeFile {
    bool used = false;
    bool update = false;
    bool sizeChanged = false;
    std::string folder;
    uint64_t pieceSize = PFM_HUGE_PIECE_SIZE;
    int64_t size = 0;
    int64_t position = 0;
    int pieces[PFM_HUGE_MAX_PIECES] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                       -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

HugeFile g_files[PFM_HUGE_MAX_FILES];
uint64_t g_pieceSize = PFM_HUGE_PIECE_SIZE;

std::string piecePath(const HugeFile& f, int64_t piece) {
    char name[32];
    std::snprintf(name, sizeof name, "/hugefile.%03d", static_cast<int>(piece));
    return f.folder + name;
}

bool regularSize(const std::string& path, int64_t& size) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size = static_cast<int64_t>(st.st_size);
    return true;
}

bool readConfig(const std::string& folder, int64_t& size) {
    FILE* f = NORVAFileUtils::openRegularFile((folder + "/config").c_str(), false);
    if (!f) return false;
    char line[64] = {};
    const bool ok = std::fgets(line, sizeof line, f) != nullptr;
    std::fclose(f);
    long long value = -1;
    if (!ok || std::sscanf(line, "%lld", &value) != 1 || value < 0) return false;
    size = value;
    return true;
}

bool writeConfig(const HugeFile& f) {
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%" PRId64 "\n", f.size);
    return pfm_write_whole_file((f.folder + "/config").c_str(), text, static_cast<size_t>(n));
}

// The bytes the pieces actually hold, counted in order while each piece is full.
int64_t bytesPresent(const HugeFile& f) {
    int64_t present = 0;
    for (int64_t piece = 0; piece < PFM_HUGE_MAX_PIECES; ++piece) {
        int64_t size = 0;
        if (!regularSize(piecePath(f, piece), size)) break;
        const int64_t full = static_cast<int64_t>(f.pieceSize);
        present += size < full ? size : full;
        if (size < full) break;
    }
    return present;
}

// Pieces are read and written with positioned calls: no stream buffer can
// serve bytes that changed on disk, and no seek state is shared.
int piece(HugeFile& f, int64_t index, bool forWrite) {
    if (index < 0 || index >= PFM_HUGE_MAX_PIECES) return -1;
    if (f.pieces[index] >= 0) return f.pieces[index];
    const std::string path = piecePath(f, index);
    // The folder is named by a list file: a piece that is not a regular file
    // is refused, never waited on.
    int p = NORVAFileUtils::openRegular(path.c_str(), f.update ? O_RDWR : O_RDONLY);
    // A piece that refuses update is still read.
    if (p < 0 && f.update && !forWrite && errno != ENOENT) p = NORVAFileUtils::openRegular(path.c_str(), O_RDONLY);
    if (p < 0 && forWrite && f.update && errno == ENOENT) p = ::open(path.c_str(), O_RDWR | O_CREAT, 0666);
    f.pieces[index] = p;
    return p;
}

HugeFile* fileOf(int32_t handle) {
    if (handle < 0 || handle >= PFM_HUGE_MAX_FILES || !g_files[handle].used) return nullptr;
    return &g_files[handle];
}

}  // namespace

PFMHugePlace pfm_huge_place(int64_t position, uint64_t pieceSize) {
    PFMHugePlace place;
    if (position < 0 || pieceSize == 0) return place;
    place.piece = static_cast<int64_t>(static_cast<uint64_t>(position) / pieceSize);
    place.offset = static_cast<int64_t>(static_cast<uint64_t>(position) % pieceSize);
    return place;
}

void pfm_huge_set_piece_size(uint64_t pieceSize) { g_pieceSize = pieceSize ? pieceSize : PFM_HUGE_PIECE_SIZE; }

int32_t pfm_huge_open(const char* folder, bool update, bool create) {
    if (!folder || !*folder) return -1;
    int32_t handle = -1;
    for (int32_t i = 0; i < PFM_HUGE_MAX_FILES && handle < 0; ++i)
        if (!g_files[i].used) handle = i;
    if (handle < 0) return -1;
    HugeFile& f = g_files[handle];
    f = HugeFile();
    f.folder = folder;
    f.update = update || create;
    f.pieceSize = g_pieceSize;
    if (create) {
        if (::mkdir(folder, 0777) != 0 && errno != EEXIST) return -1;
        f.size = 0;
        if (!writeConfig(f)) return -1;
    } else {
        int64_t configured = 0;
        if (!readConfig(f.folder, configured)) return -1;
        if (static_cast<uint64_t>(configured) > f.pieceSize * PFM_HUGE_MAX_PIECES) return -1;
        // A "config" larger than what the pieces hold is not trusted.
        const int64_t present = bytesPresent(f);
        f.size = configured < present ? configured : present;
    }
    f.used = true;
    return handle;
}

int32_t pfm_huge_seek(int32_t handle, int64_t offset, int32_t mode) {
    HugeFile* f = fileOf(handle);
    if (!f) return -1;
    int64_t base = 0;
    if (mode == PFM_HUGE_SEEK_SET)
        base = 0;
    else if (mode == PFM_HUGE_SEEK_CUR)
        base = f->position;
    else if (mode == PFM_HUGE_SEEK_END)
        base = f->size;
    else
        return -1;
    if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return -1;
    f->position = base + offset;
    return 0;
}

size_t pfm_huge_read(int32_t handle, void* data, size_t size) {
    HugeFile* f = fileOf(handle);
    if (!f || !data) return 0;
    uint8_t* out = static_cast<uint8_t*>(data);
    size_t done = 0;
    while (done < size && f->position < f->size) {
        const PFMHugePlace place = pfm_huge_place(f->position, f->pieceSize);
        const int p = piece(*f, place.piece, false);
        if (p < 0) return 0;
        uint64_t want = static_cast<uint64_t>(size - done);
        want = std::min<uint64_t>(want, f->pieceSize - static_cast<uint64_t>(place.offset));
        want = std::min<uint64_t>(want, static_cast<uint64_t>(f->size - f->position));
        const ssize_t got = ::pread(p, out + done, static_cast<size_t>(want), place.offset);
        if (got <= 0) return 0;
        done += static_cast<size_t>(got);
        f->position += got;
        if (static_cast<uint64_t>(got) < want) break;
    }
    return done;
}

size_t pfm_huge_write(int32_t handle, const void* data, size_t size) {
    HugeFile* f = fileOf(handle);
    if (!f || !f->update || !data) return 0;
    const uint8_t* in = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        const PFMHugePlace place = pfm_huge_place(f->position, f->pieceSize);
        const int p = piece(*f, place.piece, true);
        if (p < 0) return 0;
        const uint64_t want =
            std::min<uint64_t>(size - done, f->pieceSize - static_cast<uint64_t>(place.offset));
        const ssize_t put = ::pwrite(p, in + done, static_cast<size_t>(want), place.offset);
        if (put < 0 || static_cast<uint64_t>(put) != want) return 0;
        done += static_cast<size_t>(put);
        f->position += put;
        if (f->position > f->size) {
            f->size = f->position;
            f->sizeChanged = true;
        }
    }
    return done;
}

int64_t pfm_huge_size(int32_t handle) {
    HugeFile* f = fileOf(handle);
    return f ? f->size : -1;
}

int64_t pfm_huge_tell(int32_t handle) {
    HugeFile* f = fileOf(handle);
    return f ? f->position : -1;
}

int32_t pfm_huge_truncate(int32_t handle, int64_t size) {
    HugeFile* f = fileOf(handle);
    if (!f || !f->update || size < 0 || size > f->size) return -1;
    f->size = size;
    f->sizeChanged = true;
    return 0;
}

int32_t pfm_huge_close(int32_t handle) {
    HugeFile* f = fileOf(handle);
    if (!f) return -1;
    int32_t result = 0;
    for (int& p : f->pieces) {
        if (p >= 0 && ::close(p) != 0) result = -1;
        p = -1;
    }
    if (f->update && f->sizeChanged && !writeConfig(*f)) result = -1;
    f->used = false;
    return result;
}
