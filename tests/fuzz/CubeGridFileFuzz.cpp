// A ".vcg" grid file as the CUBE data-IO reads it (version 1: magic, version,
// layout word, state word, engine dump). A grid that reads must be sized by
// the bytes present and within the side limit asked for, and must write and
// read back whole.
#include <cstdlib>
#include <cstdio>

#include "cube/CUBEGridEntry.h"
#include "cube_engine/cube.h"
#include "cube_engine/cube_param.h"
#include "fuzz/FuzzSupport.h"

namespace {

// The smallest node of any layout: a short record and a hypothesis count.
constexpr uint64_t kMinNodeBytes = 21 + 4;
constexpr uint64_t kFileHeaderBytes = 13 + 2 + 2 + 4;
constexpr uint32_t kMaxSide = 4096;

long readFile(const std::string& path, CUBEGridEntry& entry, bool modifiedOnly) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) std::abort();
    const long status = entry.read(file, cube_default_param(), modifiedOnly, kMaxSide);
    std::fclose(file);
    return status;
}

std::vector<uint8_t> writeFile(const CUBEGridEntry& entry, const std::string& name) {
    const std::string path = fuzzsupport::scratchFolder() + "/" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    const long status = entry.write(file, cube_default_param());
    std::fclose(file);
    FUZZ_CHECK(status == 0);
    return fuzzsupport::readWhole(path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::silenceEngine();
    const std::string path = fuzzsupport::writeScratch("input.vcg", data, size);
    CUBEGridEntry entry;
    if (readFile(path, entry, false) != 0 || entry.grid == nullptr) return 0;
    fuzzsupport::noteAccepted();
    _cube_grid* grid = entry.grid;
    FUZZ_CHECK(grid->nx > 0 && grid->ny > 0 && grid->nx <= kMaxSide && grid->ny <= kMaxSide);
    FUZZ_CHECK(static_cast<uint64_t>(grid->nx) * grid->ny <= (size - kFileHeaderBytes) / kMinNodeBytes);
    // Written by the library, the grid must come back whole.
    writeFile(entry, "again.vcg");
    CUBEGridEntry back;
    FUZZ_CHECK(readFile(fuzzsupport::scratchFolder() + "/again.vcg", back, false) == 0);
    FUZZ_CHECK(back.grid != nullptr && back.grid->nx == grid->nx && back.grid->ny == grid->ny);
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    fuzzsupport::silenceEngine();
    const uint32_t modes[] = {CUBE_GRID_NONE, CUBE_GRID_DEPTH};
    const uint32_t states[] = {CUBEGridEntry::kModified, CUBEGridEntry::kClean};
    for (uint32_t mode : modes)
        for (uint32_t state : states) {
            CUBEGridEntry entry;
            entry.grid = fuzzsupport::sampleGrid(4, 3, mode, cube_default_param());
            entry.state = state;
            const std::string name = "grid-mode" + std::to_string(mode) + "-state" + std::to_string(state);
            const std::vector<uint8_t> bytes = writeFile(entry, "seed.vcg");
            seeds.add(name, bytes);
            seeds.add(name + "-truncated", std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() * 2 / 3));
        }
}
