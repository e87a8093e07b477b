// CUBE grid sets: the set file, older surfaces read from their header, the
// upgrade that retiles them, and damaged set files.
#include <gtest/gtest.h>

#include "cube/CUBEGridSet.h"
#include "cube/KIVOCUBEDataHeader.h"
#include "GridLayerTestSupport.h"
#include "platform/core/NORVAAtomicFileFaults.h"
#include "platform/core/NORVAFileUtils.h"

using namespace gridlayer;
using CUBE::GridSet;

namespace {

using Point = NORVAnPoint<double, 2>;

GridSet newSet(const Index& gridDimension, const Index& dimensions, const Point& resolution = Point(2.0, 2.0)) {
    return GridSet(SurfaceTypes::IHO_ORDER_1, CUBEParameterFactory::Configuration("test"), Point(100.0, 200.0),
                   resolution, gridDimension, dimensions);
}

// Depth of the older surface's node at column i, row j from the north.
float depthAt(int64_t i, int64_t j) { return static_cast<float>(100 + i + 10 * j); }

// An older surface of 7 x 5 nodes in tiles of 3: a partial east column and
// a partial south row of grids, rows counted from the north. Grid (1, 2)
// lies beside the header, the others in the surface's folder.
NORVAUString writeOldSurface(const cubetest::TempDir& dir, int16_t version, const _cube_param* params) {
    const NORVAUString header = dir.file("area.vcs");
    writeHeader(header, version, 100.0, 200.0, 2.0f, 3, 7, 5, params);
    NORVAFileUtils::makeDirectory(dir.file("area"));
    for (uint32_t row = 0; row < 2; ++row)
        for (uint32_t column = 0; column < 3; ++column) {
            const uint32_t rows = std::min(3u, 5 - 3 * row), columns = std::min(3u, 7 - 3 * column);
            _cube_grid* grid = cube_grid_new(columns, rows, 2.0f, 2.0f, CUBE_GRID_NONE);
            for (uint32_t r = 0; r < rows; ++r)
                for (uint32_t c = 0; c < columns; ++c)
                    sound(cube_grid_get_node(grid, r, c), params, depthAt(3 * column + c, 3 * row + r), 2);
            const std::string name = "area_" + std::to_string(row) + "x" + std::to_string(column) + ".vcg";
            writeOldGrid(row == 1 && column == 2 ? dir.file(name) : dir.file("area/" + name), grid, params, 1);
            cube_grid_release(grid);
        }
    return header;
}

}  // namespace

TEST(GridLayerGridSet, GeometryAndNames) {
    const GridSet clipped = newSet(Index(300, 300), Index(100, 400));
    EXPECT_TRUE(clipped.isValid());
    EXPECT_EQ(clipped.getGridDimension(), Index(100, 300));
    GridSet flat = newSet(Index(3, 3), Index(10, 10), Point(0.0, 2.0));
    EXPECT_FALSE(flat.isValid());
    EXPECT_EQ(flat.store(nullptr), GridSet::kInvalidSet);
    EXPECT_FALSE(newSet(Index(3, 3), Index(0, 10)).isValid());
    EXPECT_EQ(GridSet::getOutputFolder("a/b/c.vcs"), NORVAUString("a/b/c_V2"));
    EXPECT_EQ(CUBE::GridIndex::getFileName(Index(12, 7)), NORVAUString("12x7.vcg"));

    const GridSet set = newSet(Index(3, 3), Index(10, 7));
    std::list<Index> indices;
    EXPECT_EQ(set.getGridsWithin(NORVAnBox<int64_t, 2>(Index(11, 0), Index(20, 5)), indices), 0);
    EXPECT_TRUE(indices.empty());
    EXPECT_EQ(set.getGridsWithin(NORVAnBox<int64_t, 2>(Index(-4, 2), Index(50, 3)), indices), 0);
    EXPECT_EQ(indices, (std::list<Index>{Index(0, 0), Index(1, 0), Index(0, 1), Index(1, 1), Index(0, 2),
                                         Index(1, 2), Index(0, 3), Index(1, 3)}));
    Index index;
    EXPECT_FALSE(set.getIndex(Index(-1, 0), index));
    EXPECT_TRUE(set.getIndex(Index(5, 6), index));
    EXPECT_EQ(index, Index(2, 1));
}

TEST(GridLayerGridSet, StoredSetReadsBackEqual) {
    cubetest::TempDir dir;
    GridSet set = newSet(Index(4, 4), Index(10, 7));
    const NORVAUString file = dir.file("vcg.idx");
    ASSERT_EQ(set.store(&file), 0);
    const GridSet back(file);
    ASSERT_TRUE(back.isValid());
    EXPECT_EQ(back.getVersion(), 2);
    EXPECT_TRUE(back == set);
    std::shared_ptr<CUBE::GridIndex> fresh = back.createNewGrid(Index(1, 2));
    ASSERT_TRUE(fresh);
    NORVAnBox<int64_t, 2> cover;
    fresh->getCover(cover);
    EXPECT_EQ(cover, (NORVAnBox<int64_t, 2>(Index(8, 4), Index(12, 8))));
    EXPECT_FALSE(back.getGrid(Index(1, 2)));  // never saved
    EXPECT_FALSE(back.createNewGrid(Index(5, 0)));
}

TEST(GridLayerGridSet, DamagedSetFilesAreRefused) {
    cubetest::TempDir dir;
    GridSet set = newSet(Index(4, 4), Index(10, 7));
    const NORVAUString file = dir.file("vcg.idx");
    ASSERT_EQ(set.store(&file), 0);
    const std::vector<uint8_t> bytes = cubetest::readAll(file);
    const NORVAUString bad = dir.file("bad.idx");
    // Cut anywhere before the parameter block; cuts inside it keep the defaults.
    for (size_t n = 0; n < 15 + 64; ++n) {
        cubetest::writeAll(bad, prefix(bytes, n));
        GridSet damaged(bad);
        EXPECT_FALSE(damaged.isValid()) << n;
        EXPECT_FALSE(damaged.getGrid(Index(0, 0)));
        std::list<Index> indices;
        EXPECT_EQ(damaged.getGridsWithin(NORVAnBox<int64_t, 2>(Index(0, 0), Index(5, 5)), indices),
                  GridSet::kInvalidSet);
    }
    std::vector<uint8_t> changed = bytes;
    changed[13] = 3;
    cubetest::writeAll(bad, changed);
    GridSet probe = newSet(Index(4, 4), Index(10, 7));
    EXPECT_EQ(probe.load(bad), GridSet::kBadVersion);
    EXPECT_FALSE(probe.isValid());
    for (uint64_t gridWidth : {uint64_t(0), uint64_t(1) << 40}) {
        changed = bytes;
        for (size_t i = 0; i < 8; ++i) changed[47 + i] = static_cast<uint8_t>(gridWidth >> (8 * i));
        cubetest::writeAll(bad, changed);
        EXPECT_EQ(probe.load(bad), GridSet::kBadHeader);
    }
    EXPECT_EQ(probe.load(dir.file("absent.idx")), GridSet::kCannotRead);
}

TEST(GridLayerGridSet, OlderHeadersOfBothVersionsReadAsVersionOne) {
    for (int16_t version : {0, 1}) {
        SCOPED_TRACE(version);
        cubetest::TempDir dir;
        Params params;
        const NORVAUString header = writeOldSurface(dir, version, params.p);
        std::shared_ptr<GridSet> set = GridSet::fromSurfaceFile(header);
        ASSERT_TRUE(set);
        EXPECT_EQ(set->getVersion(), 1);
        EXPECT_EQ(set->getDimensions(), Index(7, 5));
        EXPECT_EQ(set->getGridDimension(), Index(3, 3));
        EXPECT_EQ(set->getOrigin(), Point(100.0, 202.0));
        EXPECT_EQ(set->store(nullptr), GridSet::kInvalidSet);
        // The southmost node row of the top grid row stays in that row.
        Index index;
        ASSERT_TRUE(set->getIndex(Index(0, 2), index));
        EXPECT_EQ(index, Index(0, 0));
        ASSERT_TRUE(set->getIndex(Index(0, 1), index));
        EXPECT_EQ(index, Index(1, 0));
        // The partial south row starts at node row 0.
        std::shared_ptr<CUBE::GridIndex> south = set->getGrid(Index(1, 2));
        ASSERT_TRUE(south);
        EXPECT_TRUE(south->getGrid().isReadOnly());
        NORVAnBox<int64_t, 2> cover;
        south->getCover(cover);
        EXPECT_EQ(cover, (NORVAnBox<int64_t, 2>(Index(6, 0), Index(7, 2))));
    }
}

TEST(GridLayerGridSet, UpgradeKeepsEveryNode) {
    cubetest::TempDir dir;
    Params params;
    const NORVAUString header = writeOldSurface(dir, 1, params.p);
    std::shared_ptr<GridSet> old = GridSet::fromSurfaceFile(header);
    ASSERT_TRUE(old);
    long status = -1;
    std::shared_ptr<GridSet> set = GridSet::upgrade(*old, status);
    ASSERT_TRUE(set);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(set->getVersion(), 2);
    EXPECT_FALSE(GridSet::upgrade(*set, status));

    std::shared_ptr<GridSet> reopened = GridSet::fromSurfaceFile(header);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->getVersion(), 2);
    EXPECT_EQ(reopened->getDimensions(), Index(7, 5));
    for (int64_t x = 0; x < 7; ++x)
        for (int64_t y = 0; y < 5; ++y) {
            SCOPED_TRACE(testing::Message() << x << ", " << y);
            Index index;
            ASSERT_TRUE(reopened->getIndex(Index(x, y), index));
            std::shared_ptr<CUBE::GridIndex> grid = reopened->getGrid(index);
            ASSERT_TRUE(grid);
            EXPECT_FALSE(grid->getGrid().isReadOnly());
            NORVAnBox<int64_t, 2> cover;
            grid->getCover(cover);
            _cube_node* node = grid->getGrid().getNode(Index(x, y) - cover.getMinimum());
            EXPECT_EQ(depthsOf(node), std::vector<float>{depthAt(x, 4 - y)});
        }
}

// Nodes the upgrade could not carry over fail it, and the older surface
// stays the one read.
TEST(GridLayerGridSet, UpgradeThatLosesAGridFailsAndLeavesTheOldSetInForce) {
    for (const bool unreadable : {false, true}) {
        SCOPED_TRACE(unreadable ? "old grid unreadable" : "new grid not saved");
        cubetest::TempDir dir;
        Params params;
        const NORVAUString header = writeOldSurface(dir, 1, params.p);
        if (unreadable) cubetest::writeAll(dir.file("area/area_0x1.vcg"), {1, 2, 3});
        std::shared_ptr<GridSet> old = GridSet::fromSurfaceFile(header);
        ASSERT_TRUE(old);
        long status = 0;
        if (!unreadable) NORVAAtomicFileFaults::failNth(NORVAAtomicFileFaults::RENAME, 2);
        GridSet::upgrade(*old, status);
        NORVAAtomicFileFaults::clear();
        EXPECT_NE(0, status);
        EXPECT_EQ(1, GridSet::fromSurfaceFile(header)->getVersion());
        // What it wrote went with it: a later upgrade is not refused for it.
        if (unreadable) continue;
        GridSet::upgrade(*old, status);
        EXPECT_EQ(0, status);
    }
}

TEST(GridLayerGridSet, IndicesFarBeyondTheSetGiveNoGrid) {
    const GridSet set = newSet(Index(4, 4), Index(10, 7));
    // 2^62 grids of 4 nodes would wrap the first node back to 0.
    for (const Index& index : {Index(0, int64_t(1) << 62), Index(int64_t(1) << 62, 0), Index(INT64_MAX, INT64_MAX)}) {
        EXPECT_FALSE(set.createNewGrid(index)) << index.x() << "," << index.y();
        EXPECT_FALSE(set.getGrid(index)) << index.x() << "," << index.y();
    }
}

TEST(GridLayerGridSet, ShortParameterBlocksReadWithTheDefaultsBehindThem) {
    cubetest::TempDir dir;
    GridSet set = newSet(Index(4, 4), Index(10, 7));
    set.getParams()->median_length = 7;  // word 20, bytes 80..83 of the block
    const NORVAUString file = dir.file("vcg.idx");
    ASSERT_EQ(set.store(&file), 0);
    const std::vector<uint8_t> bytes = cubetest::readAll(file);
    const size_t blockStart = 15 + 64;
    const NORVAUString cut = dir.file("cut.idx");
    const struct {
        size_t blockBytes;
        uint32_t queueLength;
    } cases[] = {{0, 11}, {84, 7}, {80, 11}, {167, 7}};
    for (const auto& c : cases) {
        cubetest::writeAll(cut, prefix(bytes, blockStart + c.blockBytes));
        GridSet back(cut);
        ASSERT_TRUE(back.isValid()) << c.blockBytes;
        EXPECT_EQ(c.queueLength, back.getParams()->median_length) << c.blockBytes;
        EXPECT_EQ(back.getGridDimension(), Index(4, 4));
    }
    // An older surface header with a short block reads the same way.
    _cube_param* params = cube_init_param(0, 2.0, 2.0);
    params->median_length = 7;
    writeHeader(dir.file("old.vcs"), 1, 100.0, 200.0, 2.0f, 3, 7, 5, params);
    std::free(params);
    const std::vector<uint8_t> header = cubetest::readAll(dir.file("old.vcs"));
    cubetest::writeAll(dir.file("old.vcs"), prefix(header, header.size() - 40));
    GridSet old(dir.file("old.vcs"));
    ASSERT_TRUE(old.isValid());
    EXPECT_EQ(7u, old.getParams()->median_length);
}

TEST(GridLayerGridSet, GridSidesStayWithinTheLargestTileTheLibraryChooses) {
    cubetest::TempDir dir;
    const uint32_t cap = KIVOCUBEDataHeader::largestTileSide(cube_default_param());
    EXPECT_EQ(3731u, cap);  // 3,072 MB, 1.5 hypotheses per node, use fraction 0.8
    const Index big(20000, 20000);
    EXPECT_TRUE(newSet(Index(cap, 4), big).isValid());
    EXPECT_FALSE(newSet(Index(cap + 1, 4), big).isValid());
    EXPECT_FALSE(newSet(Index(4, cap + 1), big).isValid());
    EXPECT_TRUE(newSet(Index(cap + 1, 4), Index(cap, 10)).isValid());  // clipped to the extent first

    GridSet set = newSet(Index(4, 4), big);
    const NORVAUString file = dir.file("vcg.idx");
    ASSERT_EQ(set.store(&file), 0);
    const std::vector<uint8_t> bytes = cubetest::readAll(file);
    const struct {
        int64_t x, y;
        bool valid;
    } cases[] = {{8192, 8192, false}, {cap + 1, 1, false}, {1, cap + 1, false}, {cap, cap, true}};
    for (const auto& c : cases) {
        std::vector<uint8_t> changed = bytes;
        for (size_t i = 0; i < 8; ++i) {
            changed[47 + i] = static_cast<uint8_t>(uint64_t(c.x) >> (8 * i));
            changed[55 + i] = static_cast<uint8_t>(uint64_t(c.y) >> (8 * i));
        }
        cubetest::writeAll(file, changed);
        GridSet back(file);
        EXPECT_EQ(c.valid, back.isValid()) << c.x << " x " << c.y;
    }
    // An older surface header's tile is held to the same bound.
    writeHeader(dir.file("old.vcs"), 1, 100.0, 200.0, 2.0f, cap + 1, cap + 1, 5, cube_default_param());
    EXPECT_FALSE(GridSet(dir.file("old.vcs")).isValid());
    writeHeader(dir.file("old.vcs"), 1, 100.0, 200.0, 2.0f, cap, cap, 5, cube_default_param());
    EXPECT_TRUE(GridSet(dir.file("old.vcs")).isValid());
}
