#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <string>

#include "cube_engine/cube.h"
#include "cube_engine/cube_disam.h"
#include "cube_engine/cube_grid.h"

#include "EngineTestSupport.h"

namespace {

using enginetest::CapturedReports;


struct Grid {
    _cube_grid *g;
    Grid(uint32_t nx, uint32_t ny, uint32_t mode = CUBE_GRID_DEPTH)
        : g(cube_grid_new(nx, ny, 1.0f, 1.0f, mode)) {}
    ~Grid() { cube_grid_release(g); }
    _cube_node *at(uint32_t r, uint32_t c) { return cube_grid_get_node(g, r, c); }
};

void feed(_cube_node *n, float depth, int times, const _cube_param *p)
{
    for (int i = 0; i < times; ++i) cube_node_update(n, depth, 0.01f, depth, 0.01f, p);
}

TEST(GridMemoryModel, TileSidesOfTheSurfaceExamples)
{
    _cube_param p = *cube_default_param();
    EXPECT_EQ(cube_node_estimate_size(1.0f, &p), 221u);
    EXPECT_EQ(cube_grid_max_tile_dim(134217728u, 1.0f, 1.0f, &p), 721u);
    // What a new CUBE surface asks for: 1.5 hypotheses per node at 80 %.
    EXPECT_EQ(cube_grid_max_tile_dim(134217728u, 1.5f, 0.8f, &p), 761u);
    EXPECT_EQ(cube_grid_max_tile_dim(20, 1.0f, 1.0f, &p), 0u);
    EXPECT_EQ(cube_grid_max_tile_dim(134217728u, NAN, 1.0f, &p) % 2, 1u);
    // A queue length from a damaged file is capped, not trusted.
    p.median_length = 0xFFFFFFFFu;
    EXPECT_EQ(cube_node_estimate_size(0.0f, &p), 255u * 16u);
}

TEST(GridNodes, LookupRefusesPositionsOutsideTheTile)
{
    Grid grid(4, 3);
    ASSERT_NE(grid.g, nullptr);
    EXPECT_EQ(cube_grid_get_node(grid.g, 2, 3), &grid.g->nodes[2 * 4 + 3]);
    EXPECT_EQ(cube_grid_get_node_at(grid.g, 3.5, 2.9), &grid.g->nodes[2 * 4 + 3]);
    CapturedReports reports;
    EXPECT_EQ(cube_grid_get_node(grid.g, 3, 0), nullptr);
    EXPECT_EQ(cube_grid_get_node_at(grid.g, -0.5, 1.0), nullptr);
    EXPECT_EQ(cube_grid_get_node_at(grid.g, NAN, 1.0), nullptr);
    EXPECT_EQ(cube_grid_get_node_at(grid.g, 1.0, 1e300), nullptr);
    EXPECT_EQ(cube_grid_get_node_at(grid.g, 4.0, 0.0), nullptr);
    EXPECT_EQ(reports.str(),
              "cube_grid: error: point (0, 3) m is not within the tile selected.\n"
              "cube_grid: error: point (-1, 1) m is not within the tile selected.\n"
              "cube_grid: error: point (-1, 1) m is not within the tile selected.\n"
              "cube_grid: error: point (1, 2147483647) m is not within the tile selected.\n"
              "cube_grid: error: point (4, 0) m is not within the tile selected.\n");
}

TEST(GridInit, MaskedNodesAndUncertaintyForms)
{
    _cube_param p = *cube_default_param();
    Grid grid(2, 2);
    const float depths[] = {10.0f, 20.0f, 30.0f, FLT_MAX};
    const uint8_t mask[] = {0, 0xFF, 0, 0};
    ASSERT_EQ(cube_grid_init_from_depth(grid.g, &p, depths, 0.5f, 0, mask, 2), 1);
    EXPECT_EQ(grid.at(0, 0)->guide_var, 0.25f);
    EXPECT_NE(grid.at(0, 0)->hypotheses, 0u);
    EXPECT_TRUE(std::isnan(grid.g->cache[0]));
    EXPECT_TRUE(std::isnan(grid.at(0, 1)->guide_depth));     // masked
    EXPECT_EQ(grid.at(0, 1)->guide_var, 0.25f);
    EXPECT_EQ(grid.at(0, 1)->hypotheses, 0u);
    EXPECT_EQ(grid.at(1, 1)->hypotheses, 0u);                // invalid float: guide only
    EXPECT_EQ(grid.g->cache[3], FLT_MAX);

    Grid relative(1, 1, CUBE_GRID_NONE);
    const float deep[] = {100.0f};
    ASSERT_EQ(cube_grid_init_from_depth(relative.g, &p, deep, 2.0f, 1, nullptr, 1), 1);
    EXPECT_NEAR(relative.at(0, 0)->guide_var, 100.0 * 100.0 * 0.0004 / (1.96 * 1.96), 1e-4);

    Grid surface(2, 1);
    const float d2[] = {5.0f, 6.0f}, bad_var[] = {1.0f, -1.0f}, nan_var[] = {NAN, 1.0f};
    CapturedReports reports;
    EXPECT_EQ(cube_grid_init_from_surface(surface.g, &p, d2, bad_var, nullptr, 2), 0);
    EXPECT_NE(surface.at(0, 0)->hypotheses, 0u);  // nodes before the failure stay changed
    EXPECT_EQ(cube_grid_init_from_surface(surface.g, &p, d2, nan_var, nullptr, 2), 0);
    EXPECT_EQ(reports.str(),
              "cube_grid: error: initialisation uncertainty is out of range at (0, 1) (depth: 6 m, var: -1 m^2).\n"
              "cube_grid: error: initialisation data is NaN at (0, 0) (data: 5.000000).\n");
}

TEST(GridFlush, EmptiesQueuesAndMarksCacheStale)
{
    _cube_param p = *cube_default_param();
    for (uint32_t mode : {(uint32_t)CUBE_GRID_DEPTH, (uint32_t)CUBE_GRID_NONE}) {
        Grid grid(2, 2, mode);
        _cube_node *n = grid.at(1, 0);
        ASSERT_EQ(cube_node_new_queue(n, &p, 0), 1);
        n->queue[0] = {7.0f, 0.1f, 7.0f, 0.1f};
        n->queue_count = 1;
        cube_grid_flush(grid.g, &p);
        EXPECT_EQ(n->queue, nullptr);
        EXPECT_EQ(cube_node_total_samples(n), 1u);
        if (mode == CUBE_GRID_NONE)
            EXPECT_EQ(grid.g->cache, nullptr);
        else
            for (int i = 0; i < 4; ++i) EXPECT_TRUE(std::isnan(grid.g->cache[i]));
    }
}

// A lone one-sample hypothesis among three well-sampled neighbours of one
// depth: the neighbours' spread is 0 without it, so any other depth is nulled.
TEST(GridFlush, NullHypothesisPassNullsOnlyTheOddOneOut)
{
    _cube_param p = *cube_default_param();
    p.enable_null_hypothesis = 1;
    p.mthd = CUBE_DISAM_DENSITY;
    for (float own : {10.5f, 10.0f}) {
        Grid grid(2, 2);
        feed(grid.at(0, 1), 10.0f, 3, &p);
        feed(grid.at(1, 0), 10.0f, 3, &p);
        feed(grid.at(1, 1), 10.0f, 3, &p);
        feed(grid.at(0, 0), own, 1, &p);
        cube_grid_flush(grid.g, &p);
        const _cube_hypothesis *h = cube_node_hyp(grid.at(0, 0), grid.at(0, 0)->hypotheses);
        EXPECT_EQ((h->flags & CUBE_HYP_NULL) != 0, own != 10.0f) << own;
    }
    // Too few counted neighbours: nulled as well.
    Grid sparse(2, 1);
    feed(sparse.at(0, 0), 5.0f, 1, &p);
    feed(sparse.at(0, 1), 5.0f, 4, &p);
    cube_grid_flush(sparse.g, &p);
    EXPECT_TRUE(cube_node_hyp(sparse.at(0, 0), sparse.at(0, 0)->hypotheses)->flags & CUBE_HYP_NULL);
}

TEST(GridCopy, BlocksMustFitAndTargetsOwnTheirCopies)
{
    _cube_param p = *cube_default_param();
    Grid a(3, 3), b(2, 2);
    feed(a.at(1, 2), 4.0f, 2, &p);
    CapturedReports reports;
    EXPECT_EQ(cube_grid_copy_nodes(a.g, b.g, 1, 1, 2, 3, 0, 0, &p), 0);
    EXPECT_EQ(cube_grid_copy_nodes(a.g, b.g, 2, 2, 2, 2, 0, 0, &p), 0);
    EXPECT_EQ(cube_grid_copy_nodes(a.g, b.g, 0xFFFFFFFFu, 0, 2, 2, 0, 0, &p), 0);
    EXPECT_EQ(cube_grid_copy_nodes(a.g, b.g, 0, 0, 0, 5, 9, 9, &p), 1);
    EXPECT_EQ(cube_grid_copy_nodes(nullptr, b.g, 0, 0, 1, 1, 0, 0, &p), 0);
    ASSERT_EQ(cube_grid_copy_nodes(a.g, b.g, 1, 1, 2, 2, 0, 0, &p), 1);
    EXPECT_EQ(cube_node_total_samples(b.at(0, 1)), 2u);
    cube_node_reset(a.at(1, 2));
    EXPECT_EQ(cube_node_total_samples(b.at(0, 1)), 2u);
}

}  // namespace
