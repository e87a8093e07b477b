// CUBE grids of the exported grid layer: result surfaces by method, grid
// files old and new, damaged files, initialisation and nomination.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <limits>

#include "cube/CUBEGrid.h"
#include "cube/CUBEHypothesisIterator.h"
#include "GridLayerTestSupport.h"
#include "platform/core/NORVAFileUtils.h"

using namespace gridlayer;
using CUBE::Grid;

namespace {

// 3 x 2 nodes: (0, 0) holds 10 m (6 soundings) and 20 m (2 soundings),
// (1, 0) holds 15 m, (2, 0) nothing, (0, 1) 12 m, (1, 1) 14 m, (2, 1) 16 m.
void fill(Grid& grid) {
    const _cube_param* p = grid.getParams();
    sound(grid.getNode(Index(0, 0)), p, 10.0f, 6);
    sound(grid.getNode(Index(0, 0)), p, 20.0f, 2);
    sound(grid.getNode(Index(1, 0)), p, 15.0f, 3);
    sound(grid.getNode(Index(0, 1)), p, 12.0f, 2);
    sound(grid.getNode(Index(1, 1)), p, 14.0f, 2);
    sound(grid.getNode(Index(2, 1)), p, 16.0f, 2);
}

double at(const Grid& grid, int surface, int64_t x, int64_t y) {
    return grid.getResult(surface)->getAsDouble(static_cast<uint64_t>(y * 3 + x));
}

}  // namespace

TEST(GridLayerGrid, ResultSurfacesByEachMethod) {
    for (uint32_t method = 0; method < 6; ++method) {
        SCOPED_TRACE(method);
        Params params;
        params.p->mthd = method;
        Grid grid(params.p, Index(3, 2), NORVAnPoint<double, 2>(1.0, 1.0));
        fill(grid);
        ASSERT_EQ(grid.disambiguate(nullptr), 0);
        ASSERT_TRUE(grid.isDisambiguated());
        for (int s : {0, 1, 2, 3, 4, 5, 6, 7, 10}) ASSERT_TRUE(grid.getResult(s)) << s;
        EXPECT_FALSE(grid.getResult(Grid::INIT_DEPTH));
        EXPECT_FALSE(grid.getResult(11));
        // A node with one hypothesis answers the same under every method.
        EXPECT_FLOAT_EQ(at(grid, Grid::DEPTH, 1, 0), 15.0);
        EXPECT_FLOAT_EQ(at(grid, Grid::MEAN, 1, 0), 15.0);
        EXPECT_NEAR(at(grid, Grid::STD_DEV, 1, 0), 0.0, 1e-3);
        EXPECT_EQ(at(grid, Grid::STRENGTH, 1, 0), 0.0);
        EXPECT_EQ(at(grid, Grid::HYPOTHESIS_COUNT, 1, 0), 1.0);
        EXPECT_EQ(at(grid, Grid::DENSITY, 1, 0), 3.0);
        EXPECT_GT(at(grid, Grid::UNCERTAINTY, 1, 0), 0.0);
        EXPECT_EQ(at(grid, Grid::NOMINATED, 1, 0), -1.0);
        // Surface row 0 is the engine's last row.
        EXPECT_FLOAT_EQ(at(grid, Grid::DEPTH, 2, 1), 16.0);
        EXPECT_EQ(at(grid, Grid::DEPTH, 2, 0), params.p->no_data_value);
        EXPECT_EQ(at(grid, Grid::HYPOTHESIS_COUNT, 2, 0), double(CUBE_INVALID_COUNT));
        EXPECT_EQ(at(grid, Grid::HYPOTHESIS_COUNT, 0, 0), 2.0);
        EXPECT_EQ(at(grid, Grid::DENSITY, 0, 0), 8.0);
        const double two = at(grid, Grid::DEPTH, 0, 0);
        EXPECT_TRUE(std::fabs(two - 10.0) < 1e-4 || std::fabs(two - 20.0) < 1e-4) << two;
        if (method == 0) {
            EXPECT_FLOAT_EQ(two, 10.0);
            EXPECT_FLOAT_EQ(at(grid, Grid::STRENGTH, 0, 0), 5.0 - 6.0 / 2.0);
        }
        // A nomination overrides every method.
        ASSERT_EQ(grid.setNomination(Index(0, 0), true, 20.0f), 0);
        EXPECT_TRUE(grid.isModified());
        EXPECT_FLOAT_EQ(at(grid, Grid::DEPTH, 0, 0), 20.0);
        EXPECT_EQ(at(grid, Grid::STRENGTH, 0, 0), 0.0);
        EXPECT_EQ(at(grid, Grid::NOMINATED, 0, 0), 1.0);
        EXPECT_EQ(grid.setNomination(Index(0, 0), true, 30.0f), Grid::kNoNode);
        EXPECT_EQ(grid.setNomination(Index(3, 0), true, 20.0f), Grid::kNoNode);
        ASSERT_EQ(grid.setNomination(Index(0, 0), false, 0.0f), 0);
        EXPECT_EQ(at(grid, Grid::NOMINATED, 0, 0), -1.0);
        grid.resetSurfaces(Index(1, 0));
        EXPECT_EQ(at(grid, Grid::DEPTH, 1, 0), double(CUBE_INVALID_FLOAT));
        EXPECT_EQ(at(grid, Grid::DENSITY, 1, 0), 0.0);
        EXPECT_EQ(at(grid, Grid::NOMINATED, 1, 0), 0.0);
    }
}

TEST(GridLayerGrid, WithoutEngineGrid) {
    Params params;
    Grid grid(params.p);
    EXPECT_EQ(grid.disambiguate(nullptr), Grid::kNoGrid);
    EXPECT_FALSE(grid.getResult(Grid::DEPTH));
    EXPECT_TRUE(grid.isReadOnly());
    EXPECT_EQ(grid.getDimensions(), Index(0, 0));
    EXPECT_EQ(grid.save(nullptr), Grid::kCannotSave);
}

TEST(GridLayerGrid, InitialisationSurfacesKeepSurfaceRows) {
    Params params;
    Grid grid(params.p, Index(3, 2), NORVAnPoint<double, 2>(1.0, 1.0));
    using ORBO_3_12_0_::DataSet::DT_FLOAT32;
    EXPECT_EQ(grid.setInitializationSurface(nullptr, nullptr), 0);
    auto wrong = std::make_shared<Grid::Surface>(DT_FLOAT32, Index(2, 3));
    EXPECT_EQ(grid.setInitializationSurface(wrong, nullptr), Grid::kSurfaceSizeMismatch);
    auto depth = std::make_shared<Grid::Surface>(DT_FLOAT32, Index(3, 2));
    for (uint64_t i = 0; i < 6; ++i) depth->setFromDouble(i, CUBE_INVALID_FLOAT);
    depth->setFromDouble(0, 7.0);  // surface (0, 0)
    auto unct = std::make_shared<Grid::Surface>(DT_FLOAT32, Index(3, 2));
    EXPECT_EQ(grid.setInitializationSurface(depth, unct), 0);
    EXPECT_EQ(grid.getResult(Grid::INIT_DEPTH), depth);
    EXPECT_EQ(grid.getResult(Grid::INIT_UNCERTAINTY), unct);
    EXPECT_NE(grid.getNode(Index(0, 0))->hypotheses, 0u);
    EXPECT_EQ(grid.getNode(Index(0, 1))->hypotheses, 0u);
    depth->setFromDouble(1, std::nan(""));
    EXPECT_EQ(grid.setInitializationSurface(depth, nullptr), Grid::kSeedingFailed);
    EXPECT_FALSE(grid.getResult(Grid::INIT_DEPTH));
}

TEST(GridLayerGrid, SavedGridReadsBackWhole) {
    cubetest::TempDir dir;
    Params params;
    Grid grid(params.p, Index(3, 2), NORVAnPoint<double, 2>(2.0, 2.0));
    fill(grid);
    grid.markModified();
    const NORVAUString path = dir.file("0x0.vcg");
    ASSERT_EQ(grid.save(&path), 0);
    EXPECT_FALSE(grid.isModified());
    std::vector<NORVAUString> names;
    NORVAFileUtils::listDirectory(dir.path(), names);
    EXPECT_EQ(names.size(), 1u);  // no temporary file left behind

    Grid back(params.p);
    ASSERT_EQ(back.load(path), 0);
    EXPECT_EQ(back.getVersion(), 2);
    EXPECT_FALSE(back.isReadOnly());
    EXPECT_EQ(back.getDimensions(), Index(3, 2));
    EXPECT_EQ(back.getResolution(), (NORVAnPoint<double, 2>(2.0, 2.0)));
    for (int64_t y = 0; y < 2; ++y)
        for (int64_t x = 0; x < 3; ++x)
            EXPECT_EQ(depthsOf(back.getNode(Index(x, y))), depthsOf(grid.getNode(Index(x, y))));

    const NORVAUString missing = dir.file("no/such/folder/1x1.vcg");
    grid.markModified();
    EXPECT_EQ(grid.save(&missing), Grid::kCannotSave);
    EXPECT_TRUE(grid.isModified());
    EXPECT_EQ(back.load(dir.file("absent.vcg")), Grid::kCannotLoad);
    EXPECT_EQ(back.load(NORVAUString()), Grid::kCannotLoad);
}

TEST(GridLayerGrid, OlderGridsAreReadOnly) {
    cubetest::TempDir dir;
    Params params;
    Grid source(params.p, Index(3, 2), NORVAnPoint<double, 2>(1.0, 1.0));
    fill(source);
    for (int16_t version : {0, 1, -1, -32768}) {
        SCOPED_TRACE(version);
        const NORVAUString path = dir.file("old.vcg");
        writeOldGrid(path, source.getGrid(), params.p, version);
        Grid grid(params.p);
        ASSERT_EQ(grid.load(path), 0);
        EXPECT_EQ(grid.getVersion(), version);
        EXPECT_TRUE(grid.isReadOnly());
        EXPECT_EQ(depthsOf(grid.getNode(Index(0, 0))), depthsOf(source.getNode(Index(0, 0))));
        EXPECT_EQ(grid.setNomination(Index(0, 0), true, 10.0f), Grid::kReadOnly);
    }
}

// Loading replaces the engine grid only: result surfaces of the same shape
// stay, so the grid still counts as disambiguated; surfaces of another
// shape go.
TEST(GridLayerGrid, LoadingKeepsResultSurfacesOfTheSameShape) {
    cubetest::TempDir dir;
    Params params;
    Grid grid(params.p, Index(3, 2), NORVAnPoint<double, 2>(1.0, 1.0));
    fill(grid);
    const NORVAUString same = dir.file("same.vcg");
    ASSERT_EQ(grid.save(&same), 0);
    Grid other(params.p, Index(4, 2), NORVAnPoint<double, 2>(1.0, 1.0));
    const NORVAUString wider = dir.file("wider.vcg");
    ASSERT_EQ(other.save(&wider), 0);

    ASSERT_EQ(grid.disambiguate(nullptr), 0);
    const Grid::SurfacePtr depth = grid.getResult(Grid::DEPTH);
    ASSERT_EQ(grid.load(same), 0);
    EXPECT_TRUE(grid.isDisambiguated());
    for (int surface : {Grid::DEPTH, Grid::UNCERTAINTY, Grid::STRENGTH, Grid::HYPOTHESIS_COUNT, Grid::NOMINATED})
        EXPECT_TRUE(grid.getResult(surface)) << surface;
    EXPECT_EQ(grid.getResult(Grid::DEPTH), depth);
    EXPECT_DOUBLE_EQ(at(grid, Grid::DEPTH, 1, 0), 15.0);
    CUBE::HypothesisIterator hypotheses(grid);
    EXPECT_TRUE(hypotheses.set(Index(0, 0)));
    EXPECT_EQ(hypotheses.count(), 2u);
    EXPECT_EQ(grid.setNomination(Index(0, 0), true, 20.0f), 0);
    EXPECT_DOUBLE_EQ(at(grid, Grid::DEPTH, 0, 0), 20.0);

    ASSERT_EQ(grid.load(wider), 0);
    EXPECT_FALSE(grid.isDisambiguated());
    for (int surface = 0; surface < Grid::SURFACE_COUNT; ++surface) EXPECT_FALSE(grid.getResult(surface)) << surface;
}

TEST(GridLayerGrid, DamagedFilesAreRefused) {
    cubetest::TempDir dir;
    Params params;
    Grid source(params.p, Index(3, 2), NORVAnPoint<double, 2>(1.0, 1.0));
    fill(source);
    const NORVAUString good = dir.file("good.vcg");
    ASSERT_EQ(source.save(&good), 0);
    const std::vector<uint8_t> bytes = cubetest::readAll(good);
    const NORVAUString bad = dir.file("bad.vcg");
    Grid grid(params.p);
    for (size_t n = 0; n < bytes.size(); ++n) {
        cubetest::writeAll(bad, prefix(bytes, n));
        const long status = grid.load(bad);
        EXPECT_TRUE(status == Grid::kBadHeader || status == Grid::kEngineReadFailed) << n << " " << status;
    }
    std::vector<uint8_t> changed = bytes;
    changed[13] = 3;
    cubetest::writeAll(bad, changed);
    EXPECT_EQ(grid.load(bad), Grid::kBadVersion);
    // Version -1 names the older layout, which this dump is not.
    changed[13] = 0xFF;
    changed[14] = 0xFF;
    cubetest::writeAll(bad, changed);
    EXPECT_NE(grid.load(bad), 0);
    changed = bytes;
    changed[1] = 'X';
    cubetest::writeAll(bad, changed);
    EXPECT_EQ(grid.load(bad), Grid::kBadHeader);
    // Node counts far beyond the bytes present.
    changed = bytes;
    for (size_t i = 15; i < 23; ++i) changed[i] = 0xFF;
    cubetest::writeAll(bad, changed);
    EXPECT_NE(grid.load(bad), 0);
}
