// A grid set ("vcg.idx", version 2, or an older ".vcs" header read as
// version 1) as the grid layer loads it. A set that loads must describe
// grids that fit the library's memory ceiling, name the grids that cover a
// box, and store back to a set that loads equal.
#include <cstdlib>
#include <list>

#include "cube/CUBEGridSet.h"
#include "cube/CUBEUtils.h"
#include "cube/KIVOCUBEDataHeader.h"
#include "fuzz/FuzzSupport.h"

namespace {

using CUBE::GridSet;
using Index = GridSet::Index;
using Point = GridSet::Point;

// A new grid of the set must fit the largest memory budget the library
// works under (the tile the library chooses depends on the stored parameter
// block, so the side alone is no bound).
bool gridFitsTheCeiling(const Index& grid) {
    const uint64_t ceiling = static_cast<uint64_t>(KIVOCUBEDataHeader::kMaxBudgetMB) << 20;
    return static_cast<uint64_t>(grid.x()) * static_cast<uint64_t>(grid.y()) <= ceiling / sizeof(_cube_node);
}

void checkSet(const GridSet& set) {
    const Index grid = set.getGridDimension(), dims = set.getDimensions();
    FUZZ_CHECK(grid.x() > 0 && grid.y() > 0 && gridFitsTheCeiling(grid));
    FUZZ_CHECK(dims.x() > 0 && dims.y() > 0);
    std::list<Index> indices;
    const int64_t across = std::min<int64_t>(dims.x(), 3 * grid.x()), down = std::min<int64_t>(dims.y(), 3 * grid.y());
    FUZZ_CHECK(set.getGridsWithin(NORVAnBox<int64_t, 2>(Index(0, 0), Index(across, down)), indices) == 0);
    FUZZ_CHECK(!indices.empty() && indices.size() <= 16);
    for (const Index& index : indices) {
        NORVAnBox<int64_t, 2> cover;
        set.getCover(index, cover);
        FUZZ_CHECK(cover.getMaximum().x() - cover.getMinimum().x() <= grid.x());
        FUZZ_CHECK(cover.getMaximum().y() - cover.getMinimum().y() <= grid.y());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::silenceEngine();
    const std::string path = fuzzsupport::writeScratch("vcg.idx", data, size);
    GridSet set{NORVAUString(path.c_str())};
    if (!set.isValid()) return 0;
    fuzzsupport::noteAccepted();
    checkSet(set);
    if (set.getVersion() != GridSet::kVersion) return 0;
    const NORVAUString again((fuzzsupport::scratchFolder() + "/again.idx").c_str());
    FUZZ_CHECK(set.store(&again) == 0);
    GridSet back(again);
    FUZZ_CHECK(back.isValid() && back.getDimensions() == set.getDimensions() &&
               back.getGridDimension() == set.getGridDimension());
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    fuzzsupport::silenceEngine();
    const std::string path = fuzzsupport::scratchFolder() + "/seed.idx";
    const NORVAUString name(path.c_str());
    struct Case {
        const char* name;
        Index grid, dims;
    };
    const Case cases[] = {{"one-grid", Index(16, 16), Index(10, 7)},
                          {"many-grids", Index(4, 3), Index(10, 7)},
                          {"large", Index(1024, 1024), Index(5000, 3000)}};
    for (const Case& c : cases) {
        GridSet set(SurfaceTypes::IHO_ORDER_1, CUBEParameterFactory::Configuration("fuzz"), Point(100.0, 200.0),
                    Point(2.0, 2.0), c.grid, c.dims);
        if (set.store(&name) != 0) std::abort();
        const std::vector<uint8_t> bytes = fuzzsupport::readWhole(path);
        seeds.add(c.name, bytes);
        seeds.add(std::string(c.name) + "-short-params", std::vector<uint8_t>(bytes.begin(), bytes.end() - 60));
    }
    // An older surface header, which a set reads as version 1.
    KIVOCUBEDataHeader header(NORVAArray<double>{0.0, 0.0}, NORVAArray<double>{40.0, 30.0}, 1.0f,
                              CUBEUtils::getParams(1, 1.0f));
    FILE* file = std::fopen(path.c_str(), "wb");
    if (header.getStatus() != 0 || file == nullptr || header.store(file) != 0) std::abort();
    std::fclose(file);
    seeds.add("surface-header", fuzzsupport::readWhole(path));
}
