// A CUBE surface stored again and again: each generation is in the header's
// parameter block, the metadata's source record and every node of its four
// grids, so files of two generations cannot pass for one.
#include "CrashKind.h"
#include "CrashKindSupport.h"
#include "cube/CubeTestSupport.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "cube_engine/cube_grid.h"
#include "platform/core/NORVASurfacePin.h"

namespace {

// 10 x 10 nodes in 5-node tiles: grids (0, 0) to (1, 1) hold nodes.
const uint16_t kGrids = 2;

std::string pathOf(const std::string& folder) { return folder + "/c.vcs"; }

// 0 once stored, else the status of the grid read or store that failed.
long store(KIVOSurfaceCUBEIO& surface, long generation) {
    surface.getCubeParameters()->est_offset = static_cast<float>(generation);
    surface.getMetaData()->setSourceRecord(crashtest::generationRecord(generation));
    for (uint16_t row = 0; row < kGrids; ++row)
        for (uint16_t column = 0; column < kGrids; ++column) {
            long status = 0;
            auto entry = surface.getGrid(surface.makeKey(row, column), status, true, true);
            if (!entry) return status != 0 ? status : -1;
            const uint32_t nodes = entry->grid->nx * entry->grid->ny;
            for (uint32_t i = 0; i < nodes; ++i) entry->grid->nodes[i].guide_depth = static_cast<float>(generation);
            entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
        }
    return surface.store(nullptr);
}

// Grids are read from their files when first asked for, so a read may find
// the surface changed since it was opened: `why` then says so.
bool gridsHold(KIVOSurfaceCUBEIO& surface, long generation, std::string& why) {
    for (uint16_t row = 0; row < kGrids; ++row)
        for (uint16_t column = 0; column < kGrids; ++column) {
            long status = 0;
            auto entry = surface.getGrid(surface.makeKey(row, column), status, false, true);
            bool same = entry != nullptr;
            const uint32_t nodes = same ? entry->grid->nx * entry->grid->ny : 0;
            for (uint32_t i = 0; i < nodes && same; ++i)
                same = entry->grid->nodes[i].guide_depth == static_cast<float>(generation);
            if (same) continue;
            why = status == NORVASurfacePin::kChanged ? CrashKind::kChanged
                                                      : "a grid of another generation than " + std::to_string(generation);
            return false;
        }
    return true;
}

// What a refused read or store gives; else -1 with the status.
long failure(long status, const char* step, std::string& why) {
    if (status == NORVASurfacePin::kChanged) return CrashKind::kRefused;
    why = std::string(step) + ": " + std::to_string(status);
    return -1;
}

class CubeStoreCrashKind : public CrashKind {
public:
    const char* name() const override { return "cube-store"; }
    bool create(const std::string& folder) override {
        if (cubetest::createStored(NORVAUString(pathOf(folder)), 9.0, 9.0, 1.0, 5) != 0) return false;
        KIVOSurfaceCUBEIO surface{NORVAUString(pathOf(folder))};
        return surface.getStatus() == 0 && store(surface, 0) == 0;
    }
    bool advance(const std::string& folder, long generation) override {
        KIVOSurfaceCUBEIO surface{NORVAUString(pathOf(folder))};
        return surface.getStatus() == 0 && store(surface, generation + 1) == 0;
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
        return gridsHold(surface, generation, why) ? generation : -1;
    }
    long update(const std::string& folder, std::string& why) override {
        KIVOSurfaceCUBEIO surface{NORVAUString(pathOf(folder))};
        if (surface.getStatus() != 0) return failure(surface.getStatus(), "open", why);
        const long generation = crashtest::generationOf(*surface.getMetaData());
        if (generation < 0 || surface.getCubeParameters()->est_offset != static_cast<float>(generation)) {
            why = "header of another generation than the metadata's " + std::to_string(generation);
            return -1;
        }
        if (!gridsHold(surface, generation, why)) return why == kChanged ? kRefused : -1;
        const long status = store(surface, generation + 1);
        return status == 0 ? generation + 1 : failure(status, "store", why);
    }
};

}  // namespace

KIVO_CRASH_KIND(CubeStoreCrashKind);
