#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "cube_engine/cube.h"
#include "cube_engine/cube_node.h"

#include "EngineTestSupport.h"

namespace {

using enginetest::Quiet;

struct Node {
    _cube_node n;
    Node() { cube_node_init(&n); }
    ~Node() { cube_node_reset(&n); }
    std::vector<const _cube_hypothesis *> list() const
    {
        std::vector<const _cube_hypothesis *> out;
        for (uint32_t at = n.hypotheses; at != 0; at = cube_node_hyp(&n, at)->next)
            out.push_back(cube_node_hyp(&n, at));
        return out;
    }
};


void feed(_cube_node *n, float depth, int times, const _cube_param *p, float var = 0.01f)
{
    for (int i = 0; i < times; ++i) ASSERT_EQ(cube_node_update(n, depth, var, depth, var, p), 1);
}

TEST(NodeEstimator, DiscountOneGivesPrecisionWeightedMeanAndVariance)
{
    _cube_param p = *cube_default_param();
    ASSERT_EQ(p.discount, 1.0f);
    Node node;
    const float ys[] = {20.00f, 20.05f, 19.97f, 20.02f, 20.10f, 19.93f, 20.04f};
    const float vs[] = {0.50f, 0.25f, 1.00f, 0.40f, 0.80f, 0.30f, 0.60f};
    double sum_w = 0, sum_wy = 0;
    for (int i = 0; i < 7; ++i) {
        ASSERT_EQ(cube_node_update(&node.n, ys[i], vs[i], ys[i], vs[i], &p), 1);
        sum_w += 1.0 / vs[i];
        sum_wy += ys[i] / vs[i];
    }
    auto hyps = node.list();
    ASSERT_EQ(hyps.size(), 1u);
    EXPECT_NEAR(hyps[0]->depth, sum_wy / sum_w, 1e-5);
    EXPECT_NEAR(hyps[0]->variance, 1.0 / sum_w, 1e-6);
    EXPECT_FLOAT_EQ(hyps[0]->pred_variance, hyps[0]->variance);  // no evolution noise
    EXPECT_EQ(hyps[0]->num_samples, 7u);
    EXPECT_EQ(node.n.n_samples, 7u);
    EXPECT_NEAR(hyps[0]->var_sum, 3.85f, 1e-5);
}

TEST(NodeEstimator, FirstSoundingMakesHypothesisOneWithoutMonitorRun)
{
    _cube_param p = *cube_default_param();
    Node node;
    ASSERT_EQ(cube_node_update(&node.n, 12.0f, 0.25f, 11.5f, 0.5f, &p), 1);
    auto hyps = node.list();
    ASSERT_EQ(hyps.size(), 1u);
    EXPECT_EQ(hyps[0]->hypothesis_num, 1);
    EXPECT_EQ(hyps[0]->num_samples, 1u);
    EXPECT_EQ(hyps[0]->seq_length, 0);
    EXPECT_EQ(hyps[0]->cum_bayes_fac, 1.0f);
    EXPECT_EQ(hyps[0]->sample_sum, 11.5f);
    EXPECT_EQ(node.n.sample_sum, 11.5f);
    EXPECT_EQ(node.n.sample_dev, 0.0f);
}

// With unit forecast variance the standardised error is the depth offset;
// B = exp(0.5 (h^2 - 2h|e|)) reaches the threshold at |e| = (h^2 - 2 ln t)/(2h).
TEST(NodeEstimator, BayesFactorThresholdEdge)
{
    _cube_param p = *cube_default_param();
    const double h = p.est_offset, tau = p.bayes_fac_t;
    const double edge = (h * h - 2.0 * log(tau)) / (2.0 * h);
    for (double e : {edge - 0.01, edge + 0.01}) {
        Node node;
        ASSERT_EQ(cube_node_update(&node.n, 10.0f, 0.5f, 10.0f, 0.5f, &p), 1);
        ASSERT_EQ(cube_node_update(&node.n, (float)(10.0 + e), 0.5f, 0.0f, 0.5f, &p), 1);
        EXPECT_EQ(node.list().size(), e < edge ? 1u : 2u) << "e=" << e;
        if (e > edge) {
            // The refused match has its monitor restarted.
            EXPECT_EQ(node.list()[1]->cum_bayes_fac, 1.0f);
            EXPECT_EQ(node.list()[1]->seq_length, 0);
            EXPECT_EQ(node.list()[0]->hypothesis_num, 2);
        }
    }
}

// Soundings each a fixed 2.2 forecast deviations off keep B below 1, so the
// run grows by one per sounding; a run of exactly L is still accepted.
TEST(NodeEstimator, RunLengthThresholdExactlyAcceptedOneMoreRefused)
{
    _cube_param p = *cube_default_param();
    p.bayes_fac_t = 1e-6f;  // keep the cumulative factor out of the way
    const uint32_t run = p.runlength_t;
    Node node;
    ASSERT_EQ(cube_node_update(&node.n, 10.0f, 1.0f, 10.0f, 1.0f, &p), 1);
    for (uint32_t i = 1; i <= run + 1; ++i) {
        const _cube_hypothesis *hyp = node.list().back();
        const double f = 1.0 + hyp->pred_variance;
        const float y = (float)(hyp->pred_depth + 2.2 * sqrt(f));
        ASSERT_EQ(cube_node_update(&node.n, y, 1.0f, y, 1.0f, &p), 1);
        if (i <= run) {
            ASSERT_EQ(node.list().size(), 1u) << "sounding " << i;
            EXPECT_EQ(node.list()[0]->seq_length, i);
        } else {
            EXPECT_EQ(node.list().size(), 2u);
        }
    }
}

TEST(NodeEstimator, QueueFlushesMedianFirstThenOutwards)
{
    _cube_param p = *cube_default_param();
    for (int n : {1, 2, 4, 5}) {
        Node node;
        ASSERT_EQ(cube_node_new_queue(&node.n, &p, 0), 1);
        for (int i = 0; i < n; ++i)
            node.n.queue[i] = {10.0f * (i + 1), 0.01f, 10.0f * (i + 1), 0.01f};
        node.n.queue_count = (uint8_t)n;
        cube_node_flush_queue(&node.n, &p);
        EXPECT_EQ(node.n.queue, nullptr);
        EXPECT_EQ(node.n.queue_count, 0);
        // Each entry is far from the others, so each started a hypothesis
        // whose number records the order of processing.
        auto hyps = node.list();
        ASSERT_EQ((int)hyps.size(), n);
        std::vector<int> order(n);
        for (auto *h : hyps) order[h->hypothesis_num - 1] = (int)lround(h->depth / 10.0) - 1;
        std::vector<int> expected = n == 5   ? std::vector<int>{2, 1, 3, 0, 4}
                                    : n == 4 ? std::vector<int>{1, 2, 0, 3}
                                    : n == 2 ? std::vector<int>{0, 1}
                                             : std::vector<int>{0};
        EXPECT_EQ(order, expected) << "n=" << n;
    }
    Node empty;
    cube_node_flush_queue(&empty.n, &p);
    EXPECT_EQ(empty.n.hypotheses, 0u);
}

TEST(NodeChoices, DensityStrengthAndFlaggedHypotheses)
{
    _cube_param p = *cube_default_param();
    p.no_data_value = FLT_MAX;
    Node a;
    feed(&a.n, 10.0f, 30, &p);
    feed(&a.n, 20.0f, 10, &p);
    float depth, unct, strength, mean;
    ASSERT_EQ(cube_node_extract_density(&a.n, &p, &depth, &unct, &strength, &mean, nullptr, nullptr), 1);
    EXPECT_FLOAT_EQ(depth, 10.0f);
    EXPECT_FLOAT_EQ(strength, 2.0f);
    EXPECT_FLOAT_EQ(mean, 10.0f);
    EXPECT_NEAR(unct, sqrt(0.01 / 30) * 1.96, 1e-5);
    EXPECT_EQ(cube_node_hypothesis_count(&a.n, &p), 2.0f);
    EXPECT_EQ(cube_node_total_samples(&a.n), 40u);

    Node b;
    feed(&b.n, 10.0f, 60, &p);
    feed(&b.n, 20.0f, 10, &p);
    ASSERT_EQ(cube_node_extract_depth(&b.n, &p, &depth, &strength), 1);
    EXPECT_EQ(strength, 0.0f);

    // One good, one rejected: the good one with strength 0.
    ASSERT_EQ(cube_node_reject_hypothesis(&b.n, 10.0f), 1);
    ASSERT_EQ(cube_node_extract_depth(&b.n, &p, &depth, &strength), 1);
    EXPECT_FLOAT_EQ(depth, 20.0f);
    EXPECT_EQ(strength, 0.0f);
    // Only flagged hypotheses left: invalid values, though they still count.
    ASSERT_EQ(cube_node_set_null(&b.n, 20.0f), 1);
    ASSERT_EQ(cube_node_extract_density(&b.n, &p, &depth, &unct, &strength, &mean, nullptr, nullptr), 1);
    EXPECT_EQ(depth, FLT_MAX);
    EXPECT_EQ(unct, FLT_MAX);
    EXPECT_EQ(strength, FLT_MAX);
    EXPECT_EQ(cube_node_hypothesis_count(&b.n, &p), 2.0f);

    Node empty;
    EXPECT_EQ(cube_node_hypothesis_count(&empty.n, &p), FLT_MAX);
}

TEST(NodeChoices, ClosestAndPosteriorFollowTheGuide)
{
    Quiet quiet;
    _cube_param p = *cube_default_param();
    p.no_data_value = FLT_MAX;
    Node node;
    feed(&node.n, 10.0f, 30, &p);
    feed(&node.n, 20.0f, 10, &p);
    float depth, strength;
    ASSERT_EQ(cube_node_extract_closest(&node.n, &p, 19.0f, 1.0f, &depth, nullptr, &strength,
                                        nullptr, nullptr, nullptr), 1);
    EXPECT_FLOAT_EQ(depth, 20.0f);
    EXPECT_FLOAT_EQ(strength, 5.0f - 10.0f / 30.0f);
    // Posterior: ln(30) beats ln(10) unless the guide pulls hard.
    ASSERT_EQ(cube_node_extract_posterior(&node.n, &p, 15.5f, 100.0f, &depth, nullptr, &strength,
                                          nullptr, nullptr, nullptr), 1);
    EXPECT_FLOAT_EQ(depth, 10.0f);
    ASSERT_EQ(cube_node_extract_posterior(&node.n, &p, 19.0f, 1.0f, &depth, nullptr, nullptr,
                                          nullptr, nullptr, nullptr), 1);
    EXPECT_FLOAT_EQ(depth, 20.0f);
    // A zero guide variance gives no usable score: closest is invalid,
    // posterior falls back to the density choice.
    ASSERT_EQ(cube_node_extract_closest(&node.n, &p, 19.0f, 0.0f, &depth, nullptr, nullptr,
                                        nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(depth, FLT_MAX);
    ASSERT_EQ(cube_node_extract_posterior(&node.n, &p, NAN, 1.0f, &depth, nullptr, nullptr,
                                          nullptr, nullptr, nullptr), 1);
    EXPECT_FLOAT_EQ(depth, 10.0f);
    // A nomination overrides every choice, with strength 0.
    ASSERT_EQ(cube_node_nominate_hypothesis(&node.n, 20.005f), 1);
    ASSERT_EQ(cube_node_extract_closest(&node.n, &p, 10.0f, 1.0f, &depth, nullptr, &strength,
                                        nullptr, nullptr, nullptr), 1);
    EXPECT_FLOAT_EQ(depth, 20.0f);
    EXPECT_EQ(strength, 0.0f);
}

TEST(NodeEditing, NominateNullRejectAcceptByDepth)
{
    _cube_param p = *cube_default_param();
    Node node;
    feed(&node.n, 10.0f, 3, &p);
    feed(&node.n, 20.0f, 3, &p);
    {
        Quiet quiet;
        EXPECT_EQ(cube_node_nominate_hypothesis(&node.n, 10.0f + 0.01f), 0);
        EXPECT_EQ(cube_node_is_nominated(&node.n), 0);
        EXPECT_EQ(cube_node_set_null(&node.n, 15.0f), 0);
    }
    ASSERT_EQ(cube_node_nominate_hypothesis(&node.n, 10.001f), 1);
    ASSERT_EQ(cube_node_set_null(&node.n, 10.0f), 1);
    EXPECT_EQ(cube_node_is_nominated(&node.n), 0);  // nulling drops the nomination
    ASSERT_EQ(cube_node_clear_null(&node.n, 10.0f), 1);

    EXPECT_EQ(cube_node_reject_hypothesis(&node.n, NAN), 1);
    for (auto *h : node.list()) EXPECT_TRUE(h->flags & CUBE_HYP_REJECTED);
    EXPECT_EQ(cube_node_reject_hypothesis(&node.n, NAN), 0);
    EXPECT_EQ(cube_node_accept_hypothesis(&node.n, NAN), 1);
    for (auto *h : node.list()) EXPECT_FALSE(h->flags & CUBE_HYP_REJECTED);
    EXPECT_EQ(cube_node_accept_hypothesis(&node.n, 20.0f), 0);  // already accepted
    EXPECT_EQ(cube_node_reject_hypothesis(&node.n, 20.0f), 1);

    // Two hypotheses within the whisker of one depth are ambiguous.
    Node twins;
    ASSERT_EQ(cube_node_add_basic_hypothesis(&twins.n, 5.000f, 1.0f), 1);
    ASSERT_EQ(cube_node_add_basic_hypothesis(&twins.n, 5.004f, 1.0f), 1);
    Quiet quiet;
    for (auto op : {cube_node_set_null, cube_node_reject_hypothesis, cube_node_accept_hypothesis})
        EXPECT_EQ(op(&twins.n, 5.002f), 0);
    Node none;
    EXPECT_EQ(cube_node_set_null(&none.n, 5.0f), 0);
}

TEST(NodeEnumeration, RecordsInListOrderWithSaturatedCounts)
{
    _cube_param p = *cube_default_param();
    Node node;
    int count = -5;
    EXPECT_EQ(cube_node_enumerate_hypotheses(&node.n, &count), nullptr);
    EXPECT_EQ(count, 0);
    feed(&node.n, 10.0f, 2, &p);
    ASSERT_EQ(cube_node_add_basic_hypothesis(&node.n, 30.0f, 1.0f), 1);  // no samples: skipped
    feed(&node.n, 20.0f, 1, &p);
    // Push the oldest hypothesis past what 16 bits can count.
    const_cast<_cube_hypothesis *>(node.list().back())->num_samples = 70000;
    cube_hypothesis_record *r = cube_node_enumerate_hypotheses(&node.n, &count);
    ASSERT_EQ(count, 2);
    EXPECT_FLOAT_EQ(r[0].depth, 20.0f);
    EXPECT_EQ(r[0].index, 0);
    EXPECT_EQ(r[1].samples, 65535);
    EXPECT_EQ(r[1].index, 1);
    EXPECT_EQ(r[1].zero, 0.0);
    for (uint8_t b : r[1].tail) EXPECT_EQ(b, 0);
    free(r);
}

TEST(NodeCopy, TargetOwnsItsCopiesAndNomination)
{
    _cube_param p = *cube_default_param();
    Node src, dst;
    feed(&src.n, 10.0f, 3, &p);
    feed(&src.n, 20.0f, 2, &p);
    ASSERT_EQ(cube_node_new_queue(&src.n, &p, 0), 1);
    src.n.queue[0] = {1, 2, 3, 4};
    src.n.queue_count = 1;
    ASSERT_EQ(cube_node_nominate_hypothesis(&src.n, 10.0f), 1);
    ASSERT_EQ(cube_node_copy(&src.n, &dst.n, &p), 1);
    ASSERT_NE(dst.n.queue, src.n.queue);
    EXPECT_EQ(dst.n.queue[0].sample_depth, 3.0f);
    auto s = src.list(), d = dst.list();
    ASSERT_EQ(d.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_NE(s[i], d[i]);
        EXPECT_EQ(s[i]->depth, d[i]->depth);
    }
    EXPECT_EQ(cube_node_hyp(&dst.n, dst.n.nominated), d[1]);
    // Releasing the source leaves the copy intact.
    cube_node_reset(&src.n);
    EXPECT_FLOAT_EQ(dst.list()[1]->depth, 10.0f);
    EXPECT_EQ(cube_node_copy(nullptr, &dst.n, &p), 0);
}

}  // namespace
