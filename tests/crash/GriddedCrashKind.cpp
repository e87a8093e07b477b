// A gridded surface stored again and again, each generation with its own
// attribute set, node values and source record; updated in place, the
// attribute set stays.
#include "CrashKind.h"
#include "CrashKindSupport.h"
#include "platform/core/NORVASurfacePin.h"
#include "platform/frame/KIVOGriddedDataIO.h"

namespace {

// Every node of the surface holds the generation (and twice it as the
// second attribute when there is one).
bool fill(KIVOGriddedDataIO& grid, long generation) {
    const long attributes = grid.getDescriptor().getNumberOfAttributes();
    for (uint64_t node = 0; node < grid.getNodeCount(); ++node)
        for (long a = 0; a < attributes; ++a)
            if (grid.setNodeNumber(node, a, static_cast<double>(generation * (a + 1))) != 0) return false;
    return true;
}

// With `anyLayout`, whatever attribute set the surface was made with.
bool holds(const KIVOGriddedDataIO& grid, long generation, bool anyLayout = false) {
    const long attributes = grid.getDescriptor().getNumberOfAttributes();
    if (!anyLayout && attributes != crashtest::layoutOf(generation).getNumberOfAttributes()) return false;
    for (uint64_t node = 0; node < grid.getNodeCount(); ++node) {
        for (long a = 0; a < attributes; ++a) {
            double v = -1.0;
            if (grid.getNodeNumber(node, a, v) != 0 || v != static_cast<double>(generation * (a + 1))) return false;
        }
    }
    return true;
}

class GriddedCrashKind : public CrashKind {
public:
    const char* name() const override { return "gridded"; }
    bool create(const std::string& folder) override { return store(folder, 0) == 0; }
    bool advance(const std::string& folder, long generation) override { return store(folder, generation + 1) == 0; }
    long rewrite(const std::string& folder) override { return store(folder, 1); }
    long check(const std::string& folder, std::string& why) override {
        KIVOGriddedDataIO grid(NORVAUString(folder + "/g.vns"));
        if (!crashtest::opened(grid, why)) return -1;
        const long generation = crashtest::generationOf(*grid.getMetaData());
        if (generation < 0 || !holds(grid, generation)) {
            why = "nodes or attributes of another generation than the metadata's " + std::to_string(generation);
            return -1;
        }
        return generation;
    }
    long update(const std::string& folder, std::string& why) override {
        KIVOGriddedDataIO grid(NORVAUString(folder + "/g.vns"));
        if (!crashtest::opened(grid, why)) return -1;
        const long generation = crashtest::generationOf(*grid.getMetaData());
        if (generation < 0 || !holds(grid, generation, true)) {
            why = "nodes of another generation than the metadata's " + std::to_string(generation);
            return -1;
        }
        grid.getMetaData()->setSourceRecord(crashtest::generationRecord(generation + 1));
        if (!fill(grid, generation + 1)) {
            why = "nodes not set";
            return -1;
        }
        const long status = grid.store(nullptr);
        if (status == NORVASurfacePin::kChanged) return kRefused;
        why = "store: " + std::to_string(status);
        return status == 0 ? generation + 1 : -1;
    }

private:
    static long store(const std::string& folder, long generation) {
        const std::string path = folder + "/g.vns";
        KIVOGriddedDataIO grid(NORVAUString(path), crashtest::metadataOf(path, generation, 299.0));
        if (grid.getStatus() != 0) return grid.getStatus();
        return fill(grid, generation) ? grid.store(nullptr) : -1;
    }
};

}  // namespace

KIVO_CRASH_KIND(GriddedCrashKind);
