// Independent surfaces of every kind used on two threads at once, under a
// memory budget small enough that each thread's requests keep flushing the
// other thread's caches. Each object stays on its own thread; what the two
// share is the process-wide budget. scripts/tsan.sh runs this test under
// ThreadSanitizer.
#include <gtest/gtest.h>

#include <cfloat>
#include <string>
#include <thread>
#include <vector>

#include "CompoundTestSupport.h"
#include "KestrinSurfaceTestSupport.h"
#include "cube/CubeTestSupport.h"
#include "cube_engine/cube_node.h"
#include "formats/wgrid/WGridTestSupport.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOResourceManager.h"
#include "platform/frame/KIVOSurfaceUtils.h"

using namespace multirestest;

namespace {

constexpr int kRounds = 30;
// A CUBE surface of 5 x 5 grids of 8 x 8 nodes, each with a depth layer.
constexpr int kTile = 8, kGrids = 5, kNodes = kTile * kGrids;

size_t countNodes(KIVOSurfaceDataIO& io) {
    long status = 0;
    NORVAType<KIVOSurfaceIter> it = io.query(-1e9, -1e9, 1e9, 1e9, false, status, nullptr, DBL_MAX);
    size_t n = 0;
    if (!it) return n;
    for (; !it->done(status); it->next(status)) ++n;
    return n;
}

void writeDepthLayers(const KIVOSurfaceCUBEIO& cube) {
    ASSERT_TRUE(CUBEUtils::makeGridFolder(cube.getGridPrefix()));
    const std::vector<float> depths(kTile * kTile, 12.5f);
    for (uint16_t r = 0; r < kGrids; ++r)
        for (uint16_t c = 0; c < kGrids; ++c)
            cubetest::writeAll(CUBEUtils::layerFileName(cube.getGridPrefix(), "Depth", r, c),
                               cubetest::vccBytes(r, c, kTile, kTile, depths));
}

// One thread's surfaces, made, used and checked on that thread.
void useEveryKind(const TempFolder& dir) {
    const std::string base = dir.path().toUTF8() + "/";
    KIVOResolutionTable none;
    auto griddedMeta = compoundMetaData(dir.file("g.xml"), none);
    griddedMeta->setResolution(1.0);
    KIVOGriddedDataIO gridded(dir.file("g.vns"), std::move(griddedMeta));
    auto compoundMeta = compoundMetaData(dir.file("m.xml"), twoRanges());
    KIVOCompoundIO compound(dir.file("m.kms"), compoundMeta);
    auto tiles = kestrinsurface::created(dir.file("t.kps"), kestrinsurface::depthAndStatus(), 1.0);
    ASSERT_EQ(0, cubetest::createStored(dir.file("c.vcs"), kNodes - 1, kNodes - 1, 1.0, kTile));
    KIVOSurfaceCUBEIO cube(dir.file("c.vcs"));
    writeDepthLayers(cube);
    wgridtest::GridShape shape;
    shape.s = 10;
    wgridtest::writeSurface(base + "w", shape);
    NORVAType<KIVOSurfaceDataIO> wgrid = KIVOSurfaceUtils::getDataIO(dir.file("w.def"));
    ASSERT_TRUE(wgrid);
    ASSERT_EQ(0, wgrid->getStatus());
    ASSERT_EQ(0, gridded.getStatus());
    ASSERT_EQ(0, compound.getStatus());
    ASSERT_EQ(0, tiles->getStatus());
    ASSERT_EQ(0, cube.getStatus());
    const size_t wgridNodes = countNodes(*wgrid);
    ASSERT_EQ(size_t(shape.nx) * shape.ny, wgridNodes);

    for (int i = 0; i < kRounds; ++i) {
        const double at = i % 8;
        setDepth(gridded, at, at, 10.0 + i, DBL_MAX);
        setDepth(compound, at, at, 15.0, 15.0);
        kestrinsurface::addNode(*tiles, i, i, 20.0 + i);
        {
            long status = 0;
            auto entry = cube.getGrid(cube.makeKey(i % kGrids, (i / kGrids) % kGrids), status, true, true);
            ASSERT_TRUE(entry) << status;
            ASSERT_EQ(1, cube_node_add_basic_hypothesis(cube_grid_get_node(entry->grid, 0, 0), 30.0f, 0.25f));
            entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
        }
        EXPECT_EQ(size_t(kNodes) * kNodes, countNodes(cube));
        EXPECT_EQ(wgridNodes, countNodes(*wgrid));
        EXPECT_EQ(std::min(i + 1, 8), static_cast<int>(memberDepths(gridded).size()));
        if (i % 10 == 9) {
            EXPECT_EQ(0, gridded.store(nullptr));
            EXPECT_EQ(0, compound.store(nullptr));
            EXPECT_EQ(0, cube.flush());
            EXPECT_EQ(0, wgrid->flush());
        }
    }
    EXPECT_EQ(0, tiles->store(nullptr));
    EXPECT_EQ(size_t(kRounds), countNodes(*tiles));
    EXPECT_EQ(std::vector<double>(8, 15.0), memberDepths(*compound.getEntries()[0].dataIO));
    // Every edit reached its grid, evicted, flushed or still cached.
    for (int g = 0; g < kRounds && g < kGrids * kGrids; ++g) {
        long status = 0;
        auto entry = cube.getGrid(cube.makeKey(g % kGrids, (g / kGrids) % kGrids), status, false, true);
        ASSERT_TRUE(entry) << status;
        const int edits = kRounds / (kGrids * kGrids) + (g < kRounds % (kGrids * kGrids) ? 1 : 0);
        EXPECT_EQ(static_cast<uint32_t>(edits), cube_grid_get_node(entry->grid, 0, 0)->hypotheses) << g;
    }
}

}  // namespace

TEST(ThreadedSurfaces, IndependentSurfacesOfEveryKindOnTwoThreads) {
    KIVOResourceManager& budget = KIVOResourceManager::m_instance;
    const uint64_t limit = budget.getMemoryLimit();
    // Room for both threads' ten grids and little more: fragments and
    // layers keep asking the other thread's surfaces to let go.
    budget.setMemoryLimit(256 * 1024);
    TempFolder first, second;
    testing::internal::CaptureStdout();
    std::thread other(useEveryKind, std::cref(second));
    useEveryKind(first);
    other.join();
    const std::string printed = testing::internal::GetCapturedStdout();
    budget.setMemoryLimit(limit);
    if (HasFailure()) std::fputs(printed.c_str(), stdout);
}
