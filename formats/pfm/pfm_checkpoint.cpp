#include "formats/pfm/pfm_checkpoint.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "formats/pfm/pfm_files.h"
#include "formats/pfm/pfm_handles.h"
#include "formats/pfm/pfm_huge.h"
#include "platform/core/NORVAByteIO.h"
#include "platform/core/NORVAFileUtils.h"

namespace {

const uint8_t kLayoutVersion = 1;
const long kMaxTextBytes = 64L * 1024 * 1024;

bool readWhole(const std::string& path, std::vector<uint8_t>& bytes, long limit) {
    FILE* f = NORVAFileUtils::openRegularFile(path.c_str(), false);
    if (!f) return false;
    bytes.clear();
    uint8_t chunk[4096];
    size_t n = 0;
    bool ok = true;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (static_cast<long>(bytes.size()) > limit) {
            ok = false;
            break;
        }
    }
    std::fclose(f);
    return ok;
}

bool getText(const std::vector<uint8_t>& bytes, size_t& pos, std::vector<uint8_t>& text) {
    uint32_t n = 0;
    if (!NORVAByteIO::getU32(bytes, pos, n) || n > bytes.size() - pos) return false;
    text.assign(bytes.begin() + static_cast<long>(pos), bytes.begin() + static_cast<long>(pos + n));
    pos += n;
    return true;
}

}  // namespace

std::string pfm_checkpoint_path(const char* listPath) { return std::string(listPath) + ".chk"; }

int32_t pfm_checkpoint_state(const char* listPath) {
    FILE* f = NORVAFileUtils::openRegularFile(pfm_checkpoint_path(listPath).c_str(), false);
    if (!f) return -1;
    const int c = std::fgetc(f);
    std::fclose(f);
    return c > 0 ? 1 : 0;
}

int32_t pfm_checkpoint_write(int32_t handle) {
    PFM_HANDLE_STATE* state = pfm_state(handle);
    if (!state || state->read_only) return -1;
    std::vector<uint8_t> list, line;
    if (!readWhole(state->list_path, list, kMaxTextBytes) || !readWhole(state->line_path, line, kMaxTextBytes))
        return -1;
    NORVAByteIO::Buffer out;
    NORVAByteIO::putU8(out, 1);
    NORVAByteIO::putU8(out, kLayoutVersion);
    NORVAByteIO::putU64(out, static_cast<uint64_t>(pfm_huge_size(state->index_handle)));
    NORVAByteIO::putU64(out, static_cast<uint64_t>(pfm_huge_size(state->bin_handle)));
    NORVAByteIO::putU32(out, static_cast<uint32_t>(list.size()));
    NORVAByteIO::putBytes(out, list.data(), list.size());
    NORVAByteIO::putU32(out, static_cast<uint32_t>(line.size()));
    NORVAByteIO::putBytes(out, line.data(), line.size());
    const std::string path = pfm_checkpoint_path(state->list_path);
    if (!pfm_write_whole_file(path.c_str(), out.data(), out.size())) return -1;
    state->wrote_checkpoint = true;
    return 0;
}

bool pfm_checkpoint_parse(const uint8_t* data, size_t size, PFMCheckpoint& checkpoint) {
    if (!data) return false;
    const std::vector<uint8_t> bytes(data, data + size);
    size_t pos = 0;
    uint8_t version = 0;
    uint64_t indexSize = 0, binSize = 0;
    PFMCheckpoint c;
    const bool ok = NORVAByteIO::getU8(bytes, pos, c.running) && NORVAByteIO::getU8(bytes, pos, version) &&
                    version == kLayoutVersion && NORVAByteIO::getU64(bytes, pos, indexSize) &&
                    NORVAByteIO::getU64(bytes, pos, binSize) && getText(bytes, pos, c.list) &&
                    getText(bytes, pos, c.line) && pos == bytes.size() &&
                    indexSize <= static_cast<uint64_t>(INT64_MAX) && binSize <= static_cast<uint64_t>(INT64_MAX);
    if (!ok) return false;
    c.index_size = static_cast<int64_t>(indexSize);
    c.bin_size = static_cast<int64_t>(binSize);
    checkpoint = std::move(c);
    return true;
}

int32_t pfm_checkpoint_recover(const char* listPath, const char* linePath, const char* indexPath) {
    const std::string path = pfm_checkpoint_path(listPath);
    std::vector<uint8_t> bytes;
    PFMCheckpoint c;
    bool ok = readWhole(path, bytes, 3 * kMaxTextBytes) && pfm_checkpoint_parse(bytes.data(), bytes.size(), c);
    ok = ok && pfm_write_whole_file(listPath, c.list.data(), c.list.size()) &&
         pfm_write_whole_file(linePath, c.line.data(), c.line.size());
    if (ok) {
        const int32_t index = pfm_huge_open(indexPath, true, false);
        ok = index >= 0 && c.index_size <= pfm_huge_size(index) && pfm_huge_truncate(index, c.index_size) == 0;
        if (index >= 0 && pfm_huge_close(index) != 0) ok = false;
    }
    // A checkpoint left behind would be recovered again after later loads and
    // undo them: the recovery counts as done only once it is gone.
    const bool removed = std::remove(path.c_str()) == 0;
    return ok && removed ? 0 : -1;
}
