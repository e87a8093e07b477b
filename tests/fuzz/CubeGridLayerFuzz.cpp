// A ".vcg" grid file as the grid layer (CUBE::Grid) loads it: version 2, or
// the data-IO's version 1 read-only. A grid that loads must be sized by the
// bytes present, disambiguate, and save and load back whole.
#include <cstdlib>
#include <cstdio>

#include "cube/CUBEGrid.h"
#include "cube/CUBEGridEntry.h"
#include "cube_engine/cube.h"
#include "fuzz/FuzzSupport.h"

namespace {

constexpr uint64_t kMinNodeBytes = 21 + 4;
constexpr uint64_t kFileHeaderBytes = 13 + 2;

_cube_param* params() {
    static _cube_param* block = cube_init_param(1, 1.0, 1.0);
    return block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::silenceEngine();
    const std::string path = fuzzsupport::writeScratch("input.vcg", data, size);
    CUBE::Grid grid(params());
    if (grid.load(NORVAUString(path.c_str())) != 0) return 0;
    fuzzsupport::noteAccepted();
    const CUBE::Grid::Index dims = grid.getDimensions();
    FUZZ_CHECK(dims.x() > 0 && dims.y() > 0);
    FUZZ_CHECK(static_cast<uint64_t>(dims.x()) * static_cast<uint64_t>(dims.y()) <=
               (size - kFileHeaderBytes) / kMinNodeBytes);
    grid.disambiguate();
    const NORVAUString again((fuzzsupport::scratchFolder() + "/again.vcg").c_str());
    FUZZ_CHECK(grid.save(&again) == 0);
    CUBE::Grid back(params());
    FUZZ_CHECK(back.load(again) == 0);
    FUZZ_CHECK(back.getDimensions() == dims);
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    fuzzsupport::silenceEngine();
    const std::string path = fuzzsupport::scratchFolder() + "/seed.vcg";
    const NORVAUString name(path.c_str());
    {
        CUBE::Grid grid(params(), CUBE::Grid::Index(4, 3), NORVAnPoint<double, 2>(1.0, 1.0));
        _cube_grid* sample = fuzzsupport::sampleGrid(4, 3, CUBE_GRID_NONE, params());
        for (uint32_t i = 0; i < 12; ++i) cube_node_copy(&sample->nodes[i], &grid.getGrid()->nodes[i], params());
        cube_grid_release(sample);
        if (grid.save(&name) != 0) std::abort();
        const std::vector<uint8_t> bytes = fuzzsupport::readWhole(path);
        seeds.add("version2", bytes);
        seeds.add("version2-truncated", std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2));
        grid.disambiguate();
        if (grid.save(&name) != 0) std::abort();
        seeds.add("version2-disambiguated", fuzzsupport::readWhole(path));
    }
    // What the CUBE data-IO writes, which the grid layer reads as version 1.
    CUBEGridEntry entry;
    entry.grid = fuzzsupport::sampleGrid(3, 3, CUBE_GRID_DEPTH, params());
    entry.state = CUBEGridEntry::kModified;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || entry.write(file, params()) != 0) std::abort();
    std::fclose(file);
    seeds.add("version1", fuzzsupport::readWhole(path));
}
