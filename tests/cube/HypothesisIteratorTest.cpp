// Hypothesis iterators: walking a node, a grid and a block of a grid set,
// editing nodes, and writing the edits back.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "cube/CUBEGridSet.h"
#include "cube/CUBEHypothesisBlockIterator.h"
#include "cube/CUBEHypothesisGridIterator.h"
#include "GridLayerTestSupport.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/orbolink/ORBOGeoRaster.h"

using namespace gridlayer;
using CUBE::Grid;
using CUBE::GridSet;
using CUBE::HypothesisIterator;

namespace {

using Point = NORVAnPoint<double, 2>;
using Box = NORVAnBox<int64_t, 2>;

// Every node but the listed empty ones holds 10 m (4 soundings) and 20 m (2).
void fill(Grid& grid, const std::vector<Index>& empty = {}) {
    const Index size = grid.getDimensions();
    for (int64_t y = 0; y < size.y(); ++y)
        for (int64_t x = 0; x < size.x(); ++x) {
            if (std::find(empty.begin(), empty.end(), Index(x, y)) != empty.end()) continue;
            sound(grid.getNode(Index(x, y)), grid.getParams(), 10.0f, 4);
            sound(grid.getNode(Index(x, y)), grid.getParams(), 20.0f, 2);
        }
}

// Stands on the hypothesis at the depth; false when the node has none.
bool seek(HypothesisIterator& it, double depth) {
    for (unsigned i = 0; i < it.count(); ++i)
        if (std::fabs(it[i].getDepth() - depth) < 1e-3) return true;
    return false;
}

uint32_t flagsAt(_cube_node* node, float depth) {
    int count = 0;
    cube_hypothesis_record* records = cube_node_enumerate_hypotheses(node, &count);
    uint32_t flags = 0xFFFFFFFFu;
    for (int i = 0; i < count; ++i)
        if (std::fabs(records[i].depth - depth) < 1e-3) flags = records[i].flags;
    std::free(records);
    return flags;
}

// A set of 5 x 3 nodes in two grids of 3 x 3, both stored.
struct StoredSet {
    cubetest::TempDir dir;
    std::unique_ptr<GridSet> set;

    StoredSet() {
        GridSet made(SurfaceTypes::IHO_ORDER_1, CUBEParameterFactory::Configuration("test"), Point(0.0, 0.0),
                     Point(1.0, 1.0), Index(3, 3), Index(5, 3));
        NORVAFileUtils::makeDirectory(dir.file("s_V2"));
        const NORVAUString file = dir.file("s_V2/vcg.idx");
        made.store(&file);
        set.reset(new GridSet(file));
        for (int64_t column = 0; column < 2; ++column) {
            std::shared_ptr<CUBE::GridIndex> grid = set->createNewGrid(Index(0, column));
            fill(grid->getGrid());
            const NORVAUString name = dir.file("s_V2/" + CUBE::GridIndex::getFileName(Index(0, column)).toUTF8());
            grid->getGrid().save(&name);
        }
    }
    _cube_node* node(const Index& at) {
        held = set->getGrid(Index(0, at.x() / 3));
        return held->getGrid().getNode(Index(at.x() % 3, at.y()));
    }
    std::shared_ptr<CUBE::GridIndex> held;
};

}  // namespace

TEST(GridLayerHypothesis, WalkingOneNode) {
    Params params;
    Grid grid(params.p, Index(3, 2), Point(1.0, 1.0));
    fill(grid, {Index(2, 0)});
    HypothesisIterator it(grid);
    EXPECT_FALSE(it.set(Index(0, 0)));  // not disambiguated
    ASSERT_EQ(grid.disambiguate(nullptr), 0);
    EXPECT_FALSE(it.set(Index(2, 0)));
    EXPECT_TRUE(it.done());
    EXPECT_EQ(it.getDepth(), std::numeric_limits<double>::max());
    EXPECT_EQ(it.getNumSamples(), 0u);
    EXPECT_EQ(it.rejectNode(), HypothesisIterator::kEngineRefused);
    // One past the east edge is not the next row's first node.
    EXPECT_FALSE(it.set(Index(3, 0)));
    EXPECT_FALSE(it.set(Index(0, -1)));
    ASSERT_TRUE(it.set(Index(1, 1)));
    EXPECT_EQ(it.count(), 2u);
    ASSERT_TRUE(seek(it, 10.0));
    EXPECT_TRUE(it.isSelectedHypothesis());
    EXPECT_EQ(it.getNumSamples(), 4u);
    EXPECT_NEAR(it.getMean(), 10.0, 1e-6);
    ASSERT_TRUE(seek(it, 20.0));
    EXPECT_FALSE(it.isSelectedHypothesis());
    it.head();
    long status = -1;
    EXPECT_TRUE(it.next(status));
    EXPECT_FALSE(it.next(status));
    EXPECT_TRUE(it.done());
    EXPECT_EQ(it.getDepth(), std::numeric_limits<double>::max());
    EXPECT_EQ(it.nominate(), HypothesisIterator::kNoHypothesis);
}

// An edit leaves the iterator's view as it was: the records, their count,
// the position and the node's depth and strength, so that edits can follow
// one another on the same node.
TEST(GridLayerHypothesis, EditsKeepTheIteratorsView) {
    Params params;
    Grid grid(params.p, Index(3, 2), Point(1.0, 1.0));
    fill(grid);
    ASSERT_EQ(grid.disambiguate(nullptr), 0);
    HypothesisIterator it(grid);
    ASSERT_TRUE(it.set(Index(1, 1)));
    ASSERT_TRUE(seek(it, 20.0));
    const unsigned position = it.getNumber();
    const float strength = it.getStrength();
    auto unchanged = [&](const char* after) {
        SCOPED_TRACE(after);
        EXPECT_FALSE(it.done());
        EXPECT_EQ(it.count(), 2u);
        EXPECT_EQ(it.getNumber(), position);
        EXPECT_NEAR(it.getDepth(), 20.0, 1e-3);
        EXPECT_EQ(it.getStrength(), strength);
        EXPECT_FALSE(it.isSelectedHypothesis());  // 10 m stays the selected depth
    };
    EXPECT_EQ(it.rejectNode(), 0);
    unchanged("rejectNode");
    EXPECT_EQ(it.acceptNode(), 0);
    unchanged("acceptNode");
    EXPECT_EQ(it.setNull(), 0);
    unchanged("setNull");
    EXPECT_EQ(it.clearNull(), 0);
    unchanged("clearNull");
    EXPECT_EQ(flagsAt(grid.getNode(Index(1, 1)), 20.0f), 0u);
    EXPECT_EQ(it.resetNode(), 0);
    unchanged("resetNode");
    // The node is empty now: the engine, not the iterator, refuses.
    EXPECT_EQ(it.setNull(), HypothesisIterator::kEngineRefused);
    EXPECT_EQ(it.nominate(), Grid::kNoNode);
    EXPECT_TRUE(depthsOf(grid.getNode(Index(1, 1))).empty());
    // Selecting the node again reads what the edits left.
    EXPECT_FALSE(it.set(Index(1, 1)));
    EXPECT_EQ(it.count(), 0u);
}

TEST(GridLayerHypothesis, GridIteratorStopsOnlyAtNodesWithHypotheses) {
    Params params;
    Grid grid(params.p, Index(3, 2), Point(1.0, 1.0));
    fill(grid, {Index(2, 0), Index(0, 1)});
    const Box none(Index(2, 0), Index(3, 1));
    CUBE::HypothesisGridIterator empty(grid, &none);
    EXPECT_TRUE(grid.isDisambiguated());
    EXPECT_FALSE(empty.head());
    EXPECT_TRUE(empty.done());
    CUBE::HypothesisGridIterator all(grid);
    std::vector<Index> seen;
    for (bool more = all.head(); more; more = all.next()) seen.push_back(all.getPosition());
    EXPECT_EQ(seen, (std::vector<Index>{Index(0, 0), Index(1, 0), Index(1, 1), Index(2, 1)}));
    EXPECT_TRUE(all.done());
    EXPECT_TRUE(all.moveTo(Index(2, 1)));
    EXPECT_FALSE(all.moveTo(Index(0, 1)));
}

TEST(GridLayerHypothesis, OlderGridsRefuseEdits) {
    cubetest::TempDir dir;
    Params params;
    Grid source(params.p, Index(2, 2), Point(1.0, 1.0));
    fill(source);
    const NORVAUString path = dir.file("old.vcg");
    writeOldGrid(path, source.getGrid(), params.p, 1);
    Grid grid(params.p);
    ASSERT_EQ(grid.load(path), 0);
    CUBE::HypothesisGridIterator it(grid);
    ASSERT_TRUE(it.head());
    EXPECT_EQ(it.rejectNode(), HypothesisIterator::kReadOnly);
    EXPECT_FALSE(grid.isModified());
    EXPECT_EQ(depthsOf(grid.getNode(Index(0, 0))), (std::vector<float>{10.0f, 20.0f}));
}

TEST(GridLayerHypothesis, BlockEditsAreSavedAndReadBack) {
    StoredSet stored;
    CUBE::HypothesisBlockIterator it(*stored.set, Box(Index(0, 0), Index(5, 3)));
    int nodes = 0;
    for (bool more = it.head(); more; more = it.next()) ++nodes;
    EXPECT_EQ(nodes, 15);
    EXPECT_FALSE(it.isReadOnly());

    ASSERT_TRUE(it.moveTo(Index(1, 1)));
    ASSERT_TRUE(seek(it.get(), 20.0));
    EXPECT_EQ(it.get().nominate(), 0);
    EXPECT_TRUE(cube_node_is_nominated(it.get().getGrid().getNode(it.get().getPosition())));
    ASSERT_TRUE(it.moveTo(Index(4, 2)));
    ASSERT_TRUE(seek(it.get(), 20.0));
    EXPECT_EQ(it.get().rejectHyp(), 0);
    EXPECT_EQ(flagsAt(it.get().getGrid().getNode(it.get().getPosition()), 20.0f), 2u);
    EXPECT_EQ(it.get().rejectHyp(), HypothesisIterator::kEngineRefused);
    ASSERT_TRUE(it.moveTo(Index(0, 0)));
    ASSERT_TRUE(seek(it.get(), 20.0));
    EXPECT_EQ(it.get().setNull(), 0);
    ASSERT_TRUE(it.moveTo(Index(3, 0)));
    EXPECT_EQ(it.get().rejectNode(), 0);
    EXPECT_EQ(it.get().acceptNode(), 0);
    ASSERT_TRUE(it.moveTo(Index(2, 2)));
    EXPECT_EQ(it.get().resetNode(), 0);
    EXPECT_TRUE(it.isModified());
    EXPECT_TRUE(it.saveModified(nullptr));
    EXPECT_FALSE(it.isModified());

    EXPECT_TRUE(cube_node_is_nominated(stored.node(Index(1, 1))));
    EXPECT_EQ(flagsAt(stored.node(Index(4, 2)), 20.0f), 2u);
    EXPECT_EQ(flagsAt(stored.node(Index(0, 0)), 20.0f), 1u);
    EXPECT_EQ(flagsAt(stored.node(Index(3, 0)), 20.0f), 0u);
    EXPECT_TRUE(depthsOf(stored.node(Index(2, 2))).empty());
    EXPECT_EQ(depthsOf(stored.node(Index(2, 1))), (std::vector<float>{10.0f, 20.0f}));
}

TEST(GridLayerHypothesis, LinearIndicesAndFailedSaves) {
    StoredSet stored;
    CUBE::HypothesisBlockIterator it(*stored.set, Box(Index(1, 0), Index(5, 3)));
    ASSERT_TRUE(it.moveTo(uint64_t(6)));
    EXPECT_EQ(it.getLocation(), Index(3, 1));
    EXPECT_EQ(it.getIndex(), 6u);
    Point position;
    it.getPosition(position);
    EXPECT_EQ(position, Point(3.0, 1.0));
    CUBE::HypothesisBlockIterator thin(*stored.set, Box(Index(2, 0), Index(2, 3)));
    EXPECT_FALSE(thin.moveTo(uint64_t(5)));

    ASSERT_TRUE(it.moveTo(Index(1, 0)));
    ASSERT_TRUE(seek(it.get(), 20.0));
    ASSERT_EQ(it.get().nominate(), 0);
    // Depths go out negated, only inside the box and only from saved grids.
    ORBO_3_12_0_::DataSet::Raster::GeoRaster raster(Index(5, 3));
    const double noData = CUBE_INVALID_FLOAT;
    auto& depth = raster.addBand("Depth", ORBO_3_12_0_::DataSet::DT_FLOAT32, noData);
    ASSERT_TRUE(it.saveModified(&raster));
    EXPECT_FLOAT_EQ(depth.getData().getAsDouble(1), -20.0);
    EXPECT_FLOAT_EQ(depth.getData().getAsDouble(5 + 2), -10.0);
    EXPECT_EQ(depth.getData().getAsDouble(0), noData);
    EXPECT_EQ(depth.getData().getAsDouble(3), noData);

    ASSERT_TRUE(it.moveTo(Index(4, 0)));
    EXPECT_EQ(it.get().resetNode(), 0);
    NORVAFileUtils::removeDirectory(stored.dir.file("s_V2"), true);
    EXPECT_FALSE(it.saveModified(nullptr));
    EXPECT_TRUE(it.isModified());
}

TEST(GridLayerHypothesis, ResetRegionTakesSurfaceNodes) {
    Params params;
    auto grid = std::make_shared<Grid>(params.p, Index(3, 3), Point(1.0, 1.0));
    fill(*grid);
    CUBE::GridIndex index(grid, Index(3, 6), Point(3.0, 6.0), Index(2, 1));
    EXPECT_EQ(index.resetRegion(Box(Index(4, 5), Index(6, 7))), 0);
    for (int64_t y = 0; y < 3; ++y)
        for (int64_t x = 0; x < 3; ++x)
            EXPECT_EQ(depthsOf(grid->getNode(Index(x, y))).empty(), y == 0 && x >= 1) << x << ", " << y;
    EXPECT_TRUE(grid->isModified());
}
