#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "cube_engine/cube.h"
#include "cube_engine/cube_disam.h"
#include "cube_engine/cube_grid.h"

#include "EngineTestSupport.h"

namespace {

using enginetest::Quiet;


void feed(_cube_node *n, float depth, int times, const _cube_param *p)
{
    for (int i = 0; i < times; ++i) cube_node_update(n, depth, 0.01f, depth, 0.01f, p);
}

// A 3x3 grid whose centre holds two hypotheses (10 m, 30 samples and 20 m,
// `second` samples); what surrounds it is set up per test.
struct Fixture {
    _cube_param p;
    _cube_grid *g;
    explicit Fixture(uint32_t method, int second = 10, uint32_t n = 3)
    {
        p = *cube_default_param();
        p.no_data_value = FLT_MAX;
        p.mthd = method;
        p.min_context = 1.0f;
        p.max_context = 2.0f;
        g = cube_grid_new(n, n, 1.0f, 1.0f, CUBE_GRID_NONE);
        feed(centre(), 10.0f, 30, &p);
        feed(centre(), 20.0f, second, &p);
    }
    ~Fixture() { cube_grid_release(g); }
    _cube_node *node(uint32_t r, uint32_t c) { return cube_grid_get_node(g, r, c); }
    _cube_node *centre() { return node(g->ny / 2, g->nx / 2); }
    float chosen_centre()
    {
        std::vector<float> depth(g->nx * g->ny, -1.0f);
        _cube_extractor rq;
        cube_grid_init_extractor(&rq, g, &p);
        rq.depth = depth.data();
        EXPECT_EQ(cube_grid_disambiguate(&rq), 1);
        return depth[(g->ny - 1 - g->ny / 2) * g->nx + g->nx / 2];
    }
};

TEST(Disambiguation, DensityReversesRowsAndFillsCounts)
{
    Fixture f(CUBE_DISAM_DENSITY);
    feed(f.node(0, 0), 7.0f, 2, &f.p);
    std::vector<float> depth(9, -1.0f), strength(9, -1.0f), unct(9), mean(9), dev(9), mvu(9),
        ndev(9), nsum(9);
    std::vector<uint32_t> count(9), samples(9);
    _cube_extractor rq;
    cube_grid_init_extractor(&rq, f.g, &f.p);
    EXPECT_EQ(rq.end_col, 3u);
    EXPECT_EQ(rq.invalid_count, 0x7FFFFFFFu);
    rq.depth = depth.data();
    rq.strength = strength.data();
    rq.uncertainty = unct.data();
    rq.mean = mean.data();
    rq.deviation = dev.data();
    rq.mean_var_unct = mvu.data();
    rq.hypothesis_count = count.data();
    rq.node_sample_count = samples.data();
    rq.node_deviation = ndev.data();
    rq.node_sample_sum = nsum.data();
    ASSERT_EQ(cube_grid_disambiguate(&rq), 1);
    EXPECT_FLOAT_EQ(depth[4], 10.0f);
    EXPECT_FLOAT_EQ(strength[4], 2.0f);
    EXPECT_FLOAT_EQ(depth[6], 7.0f);      // node row 0 is output row 2
    EXPECT_EQ(strength[6], 0.0f);         // one hypothesis: strength 0
    EXPECT_EQ(depth[0], FLT_MAX);
    EXPECT_EQ(count[4], 2u);
    EXPECT_EQ(count[6], 1u);
    EXPECT_EQ(count[0], 0x7FFFFFFFu);
    EXPECT_EQ(samples[4], 40u);
    EXPECT_EQ(samples[0], 0x7FFFFFFFu);
    EXPECT_EQ(ndev[0], FLT_MAX);
}

TEST(Disambiguation, WindowsAreClippedAndEmptyWindowsWriteNothing)
{
    Fixture f(CUBE_DISAM_DENSITY);
    std::vector<float> depth(9, -1.0f);
    _cube_extractor rq;
    cube_grid_init_extractor(&rq, f.g, &f.p);
    EXPECT_EQ(cube_grid_disambiguate(&rq), 1);  // nothing requested
    rq.depth = depth.data();
    rq.first_col = 2;
    rq.end_col = 2;
    ASSERT_EQ(cube_grid_disambiguate(&rq), 1);
    for (float d : depth) EXPECT_EQ(d, -1.0f);
    rq.first_col = 1;
    rq.first_row = 1;
    rq.end_col = 1000000;
    rq.end_row = 0xFFFFFFFFu;
    ASSERT_EQ(cube_grid_disambiguate(&rq), 1);
    EXPECT_EQ(depth[0], -1.0f);
    EXPECT_FLOAT_EQ(depth[4], 10.0f);
    EXPECT_EQ(depth[8], FLT_MAX);
    EXPECT_EQ(cube_grid_disambiguate(nullptr), 0);
}

TEST(Disambiguation, UnknownMethodFailsButStillCounts)
{
    Fixture f(9);
    std::vector<uint32_t> count(9, 0);
    _cube_extractor rq;
    cube_grid_init_extractor(&rq, f.g, &f.p);
    rq.hypothesis_count = count.data();
    Quiet quiet;
    EXPECT_EQ(cube_grid_disambiguate(&rq), 0);
    EXPECT_EQ(count[4], 2u);
    EXPECT_EQ(cube_grid_extract_all(f.g, &f.p, nullptr, nullptr, nullptr), 0);
}

TEST(Disambiguation, LikelihoodTakesTheSingleHypothesisNeighbourAsGuide)
{
    Fixture f(CUBE_DISAM_LIKELIHOOD, 10, 5);
    EXPECT_FLOAT_EQ(f.chosen_centre(), 10.0f);  // no single neighbour: density
    feed(f.node(0, 0), 20.0f, 3, &f.p);         // ring 2
    EXPECT_FLOAT_EQ(f.chosen_centre(), 20.0f);
    // A nearer neighbour whose only hypothesis is rejected is no guide.
    feed(f.node(1, 2), 10.0f, 3, &f.p);
    ASSERT_EQ(cube_node_reject_hypothesis(f.node(1, 2), 10.0f), 1);
    EXPECT_FLOAT_EQ(f.chosen_centre(), 20.0f);
    ASSERT_EQ(cube_node_accept_hypothesis(f.node(1, 2), 10.0f), 1);
    EXPECT_FLOAT_EQ(f.chosen_centre(), 10.0f);  // ring 1 wins over ring 2
}

TEST(Disambiguation, PosteriorWeighsSamplesAgainstTheGuide)
{
    Fixture f(CUBE_DISAM_POSTERIOR);
    EXPECT_FLOAT_EQ(f.chosen_centre(), 10.0f);
    feed(f.node(0, 1), 20.0f, 1, &f.p);
    EXPECT_FLOAT_EQ(f.chosen_centre(), 20.0f);
}

TEST(Disambiguation, InitialisationSurfaceUsesTheNodesOwnGuide)
{
    Fixture f(CUBE_DISAM_PREDSURF);
    cube_node_set_guide(f.centre(), 19.0f, 4.0f);
    EXPECT_FLOAT_EQ(f.chosen_centre(), 20.0f);
    cube_node_set_guide(f.centre(), 11.0f, 4.0f);
    EXPECT_FLOAT_EQ(f.chosen_centre(), 10.0f);
}

TEST(Disambiguation, LocaleNeedsThreeDiagonalContributors)
{
    Fixture f(CUBE_DISAM_LOCALE);
    feed(f.node(0, 1), 20.0f, 3, &f.p);  // shares the column: never used
    feed(f.node(1, 0), 20.0f, 3, &f.p);  // shares the row: never used
    feed(f.node(0, 0), 19.9f, 3, &f.p);
    feed(f.node(0, 2), 20.1f, 3, &f.p);
    EXPECT_FLOAT_EQ(f.chosen_centre(), 10.0f);
    feed(f.node(2, 0), 20.0f, 3, &f.p);
    EXPECT_FLOAT_EQ(f.chosen_centre(), 20.0f);
}

TEST(Disambiguation, DensityAndLocaleOnlyForWeakDensityAnswers)
{
    // 30 against 10 samples gives strength 2.0, not above the 2.0 cutoff.
    Fixture strong(CUBE_DISAM_DENSITY_LOCALE, 10);
    Fixture weak(CUBE_DISAM_DENSITY_LOCALE, 12);
    for (Fixture *f : {&strong, &weak})
        for (uint32_t r = 0; r < 3; ++r)
            for (uint32_t c = 0; c < 3; ++c)
                if (r != 1 || c != 1) feed(f->node(r, c), 20.0f, 2, &f->p);
    EXPECT_FLOAT_EQ(strong.chosen_centre(), 10.0f);
    EXPECT_FLOAT_EQ(weak.chosen_centre(), 20.0f);
}

// Words read from a damaged header must neither hang nor overrun: contexts
// and radius are bounded by the grid, NaN counts as zero.
TEST(Disambiguation, DamagedContextWordsStayWithinTheGrid)
{
    for (uint32_t method : {1u, 2u, 4u, 5u}) {
        Fixture f(method, 12);
        f.p.min_context = NAN;
        f.p.max_context = 1e30f;
        f.p.locale_radius = 0xFFFFFFFFu;
        feed(f.node(0, 0), 20.0f, 2, &f.p);
        EXPECT_FLOAT_EQ(f.chosen_centre(), method <= 2 ? 20.0f : 10.0f) << method;
        _cube_param *zero = cube_init_param(1, 0.0, 0.0);
        ASSERT_NE(zero, nullptr);
        zero->mthd = method;
        _cube_extractor rq;
        cube_grid_init_extractor(&rq, f.g, zero);
        float depth[9];
        rq.depth = depth;
        EXPECT_EQ(cube_grid_disambiguate(&rq), 1);
        free(zero);
    }
}

TEST(Disambiguation, ExtractAllServesAndRefreshesTheCachedSurface)
{
    _cube_param p = *cube_default_param();
    p.mthd = CUBE_DISAM_DENSITY;
    _cube_grid *g = cube_grid_new(2, 1, 1.0f, 1.0f, CUBE_GRID_DEPTH);
    feed(&g->nodes[0], 5.0f, 2, &p);
    float depth[2], strength[2];
    // A new surface holds the invalid value, which is served as cached.
    ASSERT_EQ(cube_grid_extract_all(g, &p, depth, nullptr, nullptr), 1);
    EXPECT_EQ(depth[0], FLT_MAX);
    cube_grid_flush(g, &p);
    ASSERT_EQ(cube_grid_extract_all(g, &p, depth, nullptr, nullptr), 1);
    EXPECT_FLOAT_EQ(depth[0], 5.0f);
    EXPECT_FLOAT_EQ(g->cache[0], 5.0f);
    EXPECT_EQ(g->cache[1], p.no_data_value);  // chosen again: no answer
    g->cache[0] = 6.0f;  // a cached value is served as it stands
    ASSERT_EQ(cube_grid_extract_all(g, &p, depth, nullptr, nullptr), 1);
    EXPECT_FLOAT_EQ(depth[0], 6.0f);
    // Asking for more than the cached output chooses again and refreshes.
    ASSERT_EQ(cube_grid_extract_all(g, &p, depth, nullptr, strength), 1);
    EXPECT_FLOAT_EQ(depth[0], 5.0f);
    EXPECT_FLOAT_EQ(g->cache[0], 5.0f);
    cube_grid_flush(g, &p);
    EXPECT_TRUE(std::isnan(g->cache[0]));
    cube_grid_release(g);
}

}  // namespace
