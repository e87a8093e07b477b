// Two objects of one surface in one process: what one of them does, or is
// refused, never stalls the other or tells it the wrong thing.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "TempFolder.h"
#include "multires/KestrinSurfaceTestSupport.h"
#include "platform/core/NORVASurfacePin.h"

namespace {

// Sets the depth of every node of the tile store; the first failure.
long tileStoreSetDepth(KIVOKestrinDataIO& io, double depth) {
    long status = 0;
    kestrinsurface::forEachNode(io, -1e9, -1e9, 1e9, 1e9, false, [&](KIVOSurfaceIter& it) {
        if (status == 0) status = it.getAttributes()->setValue(0, depth);
    });
    return status;
}

// X stores, Y's store over X's commit is refused; while Y lives, X's next
// edit and store go through (a lock left held would make them wait out
// the short busy time set here and fail).
std::string tileStoreRefusedStoreLetsGo() {
    struct ShortBusyTime {
        int before = NORVAKestrinDatabase::getBusyTimeout();
        ShortBusyTime() { NORVAKestrinDatabase::setBusyTimeout(200); }
        ~ShortBusyTime() { NORVAKestrinDatabase::setBusyTimeout(before); }
    } shortBusyTime;
    TempFolder d;
    const NORVAUString path = d.file("t.kps");
    {
        auto made = kestrinsurface::created(path, kestrinsurface::depthAndStatus(), 1.0);
        kestrinsurface::addNode(*made, 5.0, 5.0, 1.0);
        if (long s = made->store(nullptr)) return "create: " + std::to_string(s);
    }
    KIVOKestrinDataIO x(path), y(path);
    if (long s = tileStoreSetDepth(x, 2.0) ? -1 : x.store(nullptr)) return "X's first store: " + std::to_string(s);
    if (long s = tileStoreSetDepth(y, 3.0)) return "Y's edit: " + std::to_string(s);
    if (long s = y.store(nullptr); s != NORVASurfacePin::kChanged) return "Y's store: " + std::to_string(s);
    if (long s = tileStoreSetDepth(x, 4.0)) return "X's second edit: " + std::to_string(s);
    if (long s = x.store(nullptr)) return "X's second store: " + std::to_string(s);
    if (long s = tileStoreSetDepth(y, 5.0) ? -1 : y.store(nullptr); s != NORVASurfacePin::kChanged)
        return "Y's store after its refusal: " + std::to_string(s);
    KIVOKestrinDataIO reopened(path);
    double depth = 0.0;
    kestrinsurface::forEachNode(reopened, -1e9, -1e9, 1e9, 1e9, false,
                                [&](KIVOSurfaceIter& it) { it.getAttributes()->getValue(0, depth); });
    return depth == 4.0 ? "" : "stored depth " + std::to_string(depth);
}

}  // namespace

TEST(TwoObjects, NeitherStallsNorMisleadsTheOther) {
    const std::vector<std::pair<const char*, std::function<std::string()>>> cases = {
        {"a refused tile-store store lets go of the points file", tileStoreRefusedStoreLetsGo},
    };
    for (const auto& [name, run] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ("", run());
    }
}
