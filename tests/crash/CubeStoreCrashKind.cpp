// A CUBE surface stored again and again: each generation is in the header's
// parameter block, the metadata's source record and every node of its four
// grids, so files of two generations cannot pass for one.
#include "CrashKind.h"
#include "CrashKindSupport.h"
#include "cube/CubeTestSupport.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "cube_engine/cube_grid.h"

namespace {

// 10 x 10 nodes in 5-node tiles: grids (0, 0) to (1, 1) hold nodes.
const uint16_t kGrids = 2;

std::string pathOf(const std::string& folder) { return folder + "/c.vcs"; }

bool store(KIVOSurfaceCUBEIO& surface, long generation) {
    surface.getCubeParameters()->est_offset = static_cast<float>(generation);
    surface.getMetaData()->setSourceRecord(crashtest::generationRecord(generation));
    for (uint16_t row = 0; row < kGrids; ++row)
        for (uint16_t column = 0; column < kGrids; ++column) {
            long status = 0;
            auto entry = surface.getGrid(surface.makeKey(row, column), status, true, true);
            if (!entry) return false;
            const uint32_t nodes = entry->grid->nx * entry->grid->ny;
            for (uint32_t i = 0; i < nodes; ++i) entry->grid->nodes[i].guide_depth = static_cast<float>(generation);
            entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
        }
    return surface.store(nullptr) == 0;
}

bool gridsHold(KIVOSurfaceCUBEIO& surface, long generation) {
    for (uint16_t row = 0; row < kGrids; ++row)
        for (uint16_t column = 0; column < kGrids; ++column) {
            long status = 0;
            auto entry = surface.getGrid(surface.makeKey(row, column), status, false, true);
            if (!entry) return false;
            const uint32_t nodes = entry->grid->nx * entry->grid->ny;
            for (uint32_t i = 0; i < nodes; ++i)
                if (entry->grid->nodes[i].guide_depth != static_cast<float>(generation)) return false;
        }
    return true;
}

class CubeStoreCrashKind : public CrashKind {
public:
    const char* name() const override { return "cube-store"; }
    bool create(const std::string& folder) override {
        if (cubetest::createStored(NORVAUString(pathOf(folder)), 9.0, 9.0, 1.0, 5) != 0) return false;
        KIVOSurfaceCUBEIO surface{NORVAUString(pathOf(folder))};
        return surface.getStatus() == 0 && store(surface, 0);
    }
    bool advance(const std::string& folder, long generation) override {
        KIVOSurfaceCUBEIO surface{NORVAUString(pathOf(folder))};
        return surface.getStatus() == 0 && store(surface, generation + 1);
    }
    long check(const std::string& folder, std::string& why) override {
        KIVOSurfaceCUBEIO surface{NORVAUString(pathOf(folder))};
        if (surface.getStatus() != 0) {
            why = "open: " + std::to_string(surface.getStatus());
            return -1;
        }
        const long generation = crashtest::generationOf(*surface.getMetaData());
        if (generation < 0 || surface.getCubeParameters()->est_offset != static_cast<float>(generation)) {
            why = "header of another generation than the metadata's " + std::to_string(generation);
            return -1;
        }
        if (!gridsHold(surface, generation)) {
            why = "a grid of another generation than " + std::to_string(generation);
            return -1;
        }
        return generation;
    }
};

}  // namespace

KIVO_CRASH_KIND(CubeStoreCrashKind);
