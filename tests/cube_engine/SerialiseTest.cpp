#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cube_engine/cube.h"
#include "cube_engine/cube_grid.h"
#include "cube_engine/cube_serialise.h"

#include "EngineTestSupport.h"

namespace {

using enginetest::Quiet;


using Bytes = std::vector<uint8_t>;

void feed(_cube_node *n, float depth, int times, const _cube_param *p)
{
    for (int i = 0; i < times; ++i) cube_node_update(n, depth, 0.01f, depth + 0.1f, 0.02f, p);
}

Bytes dump(_cube_grid *g, const _cube_param *p)
{
    cube_stream s;
    EXPECT_TRUE(cube_stream_memory_writer(&s, 0));
    EXPECT_EQ(cube_grid_serialise(&s, g, p), 1);
    Bytes out(s.data, s.data + s.size);
    cube_stream_close(&s);
    return out;
}

_cube_grid *load(const Bytes &b, const _cube_param *p, int layout = 1, size_t len = SIZE_MAX)
{
    cube_stream s;
    cube_stream_memory_reader(&s, b.data(), len < b.size() ? len : b.size());
    return cube_grid_deserialise(&s, p, layout);
}

std::vector<float> depths_of(const _cube_node *n)
{
    std::vector<float> out;
    for (uint32_t at = n->hypotheses; at != 0; at = cube_node_hyp(n, at)->next)
        out.push_back(cube_node_hyp(n, at)->depth);
    return out;
}

// A 3x2 grid with every kind of node: empty, queue only, several
// hypotheses with a nomination and flags, a lone basic hypothesis.
_cube_grid *mixed_grid(const _cube_param *p)
{
    _cube_grid *g = cube_grid_new(3, 2, 0.5f, 0.5f, CUBE_GRID_DEPTH);
    _cube_node *q = cube_grid_get_node(g, 0, 1);
    cube_node_new_queue(q, p, 0);
    for (int i = 0; i < 3; ++i) q->queue[i] = {1.0f + i, 0.1f, 1.5f, 0.2f};
    q->queue_count = 3;
    _cube_node *h = cube_grid_get_node(g, 1, 0);
    feed(h, 10.0f, 4, p);
    feed(h, 20.0f, 2, p);
    feed(h, 30.0f, 1, p);
    cube_node_nominate_hypothesis(h, 20.0f);
    cube_node_reject_hypothesis(h, 30.0f);
    cube_node_add_basic_hypothesis(cube_grid_get_node(g, 1, 2), 5.0f, 0.3f);
    g->cache[0] = cube_grid_nan();
    g->cache[4] = 12.5f;
    return g;
}

TEST(Serialisation, RoundTripTwiceIsByteIdenticalAndListsAlternate)
{
    const _cube_param *p = cube_default_param();
    _cube_grid *g = mixed_grid(p);
    const Bytes first = dump(g, p);
    _cube_grid *a = load(first, p);
    ASSERT_NE(a, nullptr);
    // One trip reverses each list; the nomination follows its hypothesis.
    EXPECT_EQ(depths_of(cube_grid_get_node(g, 1, 0)), (std::vector<float>{30, 20, 10}));
    EXPECT_EQ(depths_of(cube_grid_get_node(a, 1, 0)), (std::vector<float>{10, 20, 30}));
    _cube_node *an = cube_grid_get_node(a, 1, 0);
    EXPECT_EQ(cube_node_hyp(an, an->nominated)->depth, 20.0f);
    EXPECT_EQ(cube_node_hyp(an, an->hypotheses)->hypothesis_num, 3);
    EXPECT_EQ(cube_grid_get_node(a, 0, 1)->queue_count, 3);
    EXPECT_EQ(cube_grid_get_node(a, 0, 1)->queue[2].depth, 3.0f);
    EXPECT_EQ(cube_grid_get_node(a, 0, 0)->hypotheses, 0u);
    EXPECT_TRUE(std::isnan(a->cache[0]));
    EXPECT_EQ(a->cache[4], 12.5f);
    EXPECT_EQ(an->n_samples, 7u);

    const Bytes second = dump(a, p);
    EXPECT_EQ(second.size(), first.size());
    _cube_grid *b = load(second, p);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(dump(b, p), first);
    cube_grid_release(g);
    cube_grid_release(a);
    cube_grid_release(b);
}

TEST(Serialisation, FieldLayoutOfHeaderNodeAndHypothesis)
{
    const _cube_param *p = cube_default_param();
    _cube_grid *g = cube_grid_new(1, 1, 2.0f, 3.0f, CUBE_GRID_NONE);
    Bytes empty = dump(g, p);
    // Header, record, a zero count and nothing more: no cache in mode 4.
    ASSERT_EQ(empty.size(), 28u + 33u + 4u);
    EXPECT_EQ(cube_get_f32(empty.data() + 12), 3.0f);
    EXPECT_EQ(cube_get_u32(empty.data() + 24), 4u);
    EXPECT_EQ(cube_get_u32(empty.data() + 28 + 33), 0u);
    feed(&g->nodes[0], 8.0f, 2, p);
    Bytes one = dump(g, p);
    ASSERT_EQ(one.size(), 28u + 33u + 4u + 46u + 4u);
    const uint8_t *h = one.data() + 28 + 33 + 4;
    EXPECT_EQ(cube_get_f32(h), 8.0f);
    EXPECT_EQ(cube_get_u16(h + 22), 1);   // number
    EXPECT_EQ(cube_get_u32(h + 24), 2u);  // samples
    EXPECT_EQ(cube_get_u32(h + 46), 0u);  // no nomination
    EXPECT_EQ(cube_get_u32(one.data() + 28 + 29), 2u);  // node sample count
    cube_grid_release(g);
}

TEST(Serialisation, UnmatchedNominationAndShortNodeRecords)
{
    const _cube_param *p = cube_default_param();
    _cube_grid *g = cube_grid_new(1, 1, 1.0f, 1.0f, CUBE_GRID_NONE);
    feed(&g->nodes[0], 8.0f, 2, p);
    Bytes b = dump(g, p);
    cube_put_u32(b.data() + b.size() - 4, 7);
    _cube_grid *a = load(b, p);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->nodes[0].nominated, 0u);
    cube_grid_release(a);

    // Layout 0: 21-byte records without the node's sample statistics.
    Bytes v0(b.begin(), b.begin() + 28 + 21);
    v0.insert(v0.end(), b.begin() + 28 + 33, b.end());
    a = load(v0, p, 0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->nodes[0].n_samples, 0u);
    EXPECT_EQ(a->nodes[0].sample_sum, FLT_MAX);
    EXPECT_EQ(depths_of(&a->nodes[0]), std::vector<float>{8.0f});
    cube_grid_release(a);
    cube_grid_release(g);
}

TEST(Serialisation, EveryTruncationFailsCleanly)
{
    const _cube_param *p = cube_default_param();
    _cube_grid *g = mixed_grid(p);
    const Bytes full = dump(g, p);
    cube_grid_release(g);
    Quiet quiet;
    for (size_t len = 0; len < full.size(); ++len) {
        _cube_grid *t = load(full, p, 1, len);
        EXPECT_EQ(t, nullptr) << "length " << len;
        cube_grid_release(t);
    }
}

TEST(Serialisation, OversizedCountsAreRefused)
{
    _cube_param p = *cube_default_param();
    Quiet quiet;
    // A header claiming more nodes than the stream could hold.
    Bytes huge(28 + 64, 0);
    cube_put_u32(huge.data(), 0xFFFFFFFFu);
    cube_put_u32(huge.data() + 4, 0xFFFFFFFFu);
    EXPECT_EQ(load(huge, &p), nullptr);
    cube_put_u32(huge.data(), 100000);
    cube_put_u32(huge.data() + 4, 100000);
    EXPECT_EQ(load(huge, &p), nullptr);

    _cube_grid *g = cube_grid_new(1, 1, 1.0f, 1.0f, CUBE_GRID_NONE);
    cube_node_new_queue(&g->nodes[0], &p, 0);
    g->nodes[0].queue_count = 11;
    for (int i = 0; i < 11; ++i) g->nodes[0].queue[i] = {1, 1, 1, 1};
    const Bytes q = dump(g, &p);
    _cube_grid *ok = load(q, &p);
    EXPECT_NE(ok, nullptr);  // exactly the queue length
    cube_grid_release(ok);
    p.median_length = 10;
    EXPECT_EQ(load(q, &p), nullptr);  // one more than the queue length
    p.median_length = 11;

    Bytes hyps(28 + 33 + 4, 0);
    cube_put_u32(hyps.data(), 1);
    cube_put_u32(hyps.data() + 4, 1);
    cube_put_u32(hyps.data() + 24, 4);
    cube_put_u32(hyps.data() + 28 + 33, 1001);
    hyps.resize(hyps.size() + 1001 * 46 + 4, 0);
    cube_stream node_bytes;
    cube_stream_memory_reader(&node_bytes, hyps.data() + 28, hyps.size() - 28);
    _cube_node node;
    cube_node_init(&node);
    EXPECT_EQ(cube_node_deserialise(&node_bytes, &node, &p, 1), 0);
    cube_node_reset(&node);
    cube_put_u32(hyps.data() + 28 + 33, 1000);
    _cube_grid *many = load(hyps, &p);
    ASSERT_NE(many, nullptr);
    EXPECT_EQ(depths_of(&many->nodes[0]).size(), 1000u);
    cube_grid_release(many);
    cube_grid_release(g);
}

// Older layout: 28-byte node records, u32 queue counts, 77-byte f64 hypotheses.
struct OldDump {
    Bytes b;
    void u32(uint32_t v) { b.resize(b.size() + 4), cube_put_u32(&b[b.size() - 4], v); }
    void u16(uint16_t v) { b.resize(b.size() + 2), cube_put_u16(&b[b.size() - 2], v); }
    void f32(float v) { b.resize(b.size() + 4), cube_put_f32(&b[b.size() - 4], v); }
    void f64(double v) { b.resize(b.size() + 8), cube_put_f64(&b[b.size() - 8], v); }
    void header(uint32_t nx, uint32_t ny, uint32_t mode)
    {
        u32(nx), u32(ny), f32(1.0f), f32(1.0f), u32(0), u32(0), u32(mode);
    }
    void node(uint32_t queue, float guide)
    {
        u32(0), u32(queue), u32(0), u32(0), f32(guide), f32(0.5f), u32(0xDEADBEEF);
        for (uint32_t i = 0; i < queue; ++i) f32(1), f32(2), f32(3), f32(4);
    }
    void hypothesis(double depth, uint16_t number, uint32_t samples, uint8_t flags)
    {
        f64(depth), f64(0.25), f64(depth), f64(0.25), f64(1.0), u16(0), u16(number), u32(samples);
        f64(0.5), f64(0.1), f64(depth * samples), b.push_back(flags), u32(0);
    }
};

TEST(Serialisation, OlderLayoutIsTranslatedAndUsedAsFallback)
{
    const _cube_param *p = cube_default_param();
    OldDump d;
    d.header(2, 1, CUBE_GRID_DEPTH);
    d.node(0, 9.0f);
    d.u32(2);
    d.hypothesis(10.3, 1, 5, 0);
    d.hypothesis(1e300, 2, 1, CUBE_HYP_REJECTED);
    d.u32(1);  // nominate the first in file order
    d.node(2, 4.0f);
    d.u32(0);
    d.f32(1.5f), d.f32(2.5f);

    cube_stream s;
    cube_stream_memory_reader(&s, d.b.data(), d.b.size());
    _cube_grid *t = cube_grid_translate(&s, p);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(s.pos, d.b.size());
    const _cube_node *n = &t->nodes[0];
    EXPECT_EQ(depths_of(n), (std::vector<float>{FLT_MAX, 10.3f}));  // reverse of file order
    EXPECT_EQ(cube_node_hyp(n, n->nominated)->depth, 10.3f);
    EXPECT_EQ(cube_node_hyp(n, n->hypotheses)->flags, CUBE_HYP_REJECTED);
    EXPECT_EQ(n->guide_depth, 9.0f);
    EXPECT_EQ(n->n_samples, 0u);
    EXPECT_EQ(n->sample_dev, FLT_MAX);
    EXPECT_EQ(t->nodes[1].queue_count, 2);
    EXPECT_EQ(t->cache[1], 2.5f);

    // The current reader cannot make sense of it and falls back.
    Quiet quiet;
    _cube_grid *f = load(d.b, p);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(depths_of(&f->nodes[0]), depths_of(n));
    cube_grid_release(f);
    cube_grid_release(t);

    // An unbounded older count is refused.
    OldDump bad;
    bad.header(1, 1, CUBE_GRID_NONE);
    bad.node(0, 1.0f);
    bad.u32(0xFFFFFFF0u);
    bad.b.resize(bad.b.size() + 200, 0);
    cube_stream_memory_reader(&s, bad.b.data(), bad.b.size());
    EXPECT_EQ(cube_grid_translate(&s, p), nullptr);
}

TEST(Serialisation, FileStreamsRoundTrip)
{
    const _cube_param *p = cube_default_param();
    _cube_grid *g = mixed_grid(p);
    FILE *f = tmpfile();
    ASSERT_NE(f, nullptr);
    cube_stream s;
    cube_stream_file(&s, f);
    ASSERT_EQ(cube_write_params(p, &s), 1);
    ASSERT_EQ(cube_grid_serialise(&s, g, p), 1);
    rewind(f);
    _cube_param *back = cube_read_params(&s);
    _cube_grid *r = cube_grid_deserialise(&s, back, 1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(depths_of(&r->nodes[3]), (std::vector<float>{10, 20, 30}));
    free(back);
    fclose(f);
    cube_grid_release(r);
    cube_grid_release(g);
}

}  // namespace

namespace {

// A grid header followed by `tail` zero bytes.
Bytes header_only(uint32_t nx, uint32_t ny, uint32_t mode, size_t tail)
{
    Bytes b(28 + tail, 0);
    cube_put_u32(b.data(), nx);
    cube_put_u32(b.data() + 4, ny);
    cube_put_f32(b.data() + 8, 1.0f);
    cube_put_f32(b.data() + 12, 1.0f);
    cube_put_u32(b.data() + 24, mode);
    return b;
}

TEST(Serialisation, HeadersWithAnEmptySideAreRefusedByBothReaders)
{
    const _cube_param *p = cube_default_param();
    Quiet quiet;
    const struct {
        uint32_t nx, ny, mode;
        size_t tail;
    } cases[] = {
        {0, 0xFFFFFFFFu, CUBE_GRID_NONE, 1},
        {0xFFFFFFFFu, 0, CUBE_GRID_NONE, 1},
        {0, 0xFFFFFFFFu, CUBE_GRID_DEPTH, 64},
        {0, 1, CUBE_GRID_NONE, 64},
        {1, 0, CUBE_GRID_NONE, 64},
        {0, 0, CUBE_GRID_NONE, 0},
    };
    for (const auto &c : cases) {
        const Bytes b = header_only(c.nx, c.ny, c.mode, c.tail);
        _cube_grid *g = load(b, p);
        EXPECT_EQ(g, nullptr) << c.nx << " x " << c.ny;
        cube_grid_release(g);
        cube_stream s;
        cube_stream_memory_reader(&s, b.data(), b.size());
        g = cube_grid_translate(&s, p);
        EXPECT_EQ(g, nullptr) << c.nx << " x " << c.ny;
        cube_grid_release(g);
    }
}

}  // namespace

namespace {

// One node of the older layout holding one hypothesis at 10.3 m, whose
// fields a case may spoil; the current reader fails on it and falls back.
OldDump one_old_node()
{
    OldDump d;
    d.header(1, 1, CUBE_GRID_NONE);
    d.node(0, 9.0f);
    d.u32(1);
    d.hypothesis(10.3, 1, 5, 0);
    d.u32(1);
    return d;
}

TEST(Serialisation, OlderLayoutReadingsMustBeWholeAndPlausible)
{
    const _cube_param *p = cube_default_param();
    const size_t hyp = 28 + 28 + 4;  // first hypothesis of the dump
    const struct {
        const char *what;
        size_t offset;  // within the hypothesis; SIZE_MAX appends bytes
        double value;
        bool u32;       // the field is a u32 sample count
    } cases[] = {
        {"infinite depth", 0, INFINITY, false},
        {"NaN predicted depth", 16, NAN, false},
        {"negative variance", 8, -FLT_MAX, false},
        {"negative predicted variance", 24, -1.0, false},
        {"NaN variance sum", 48, NAN, false},
        {"sample count above 2^31", 44, 2147483649.0, true},
        {"bytes after the grid", SIZE_MAX, 0.0, false},
    };
    Quiet quiet;
    {
        OldDump good = one_old_node();
        cube_stream s;
        cube_stream_memory_reader(&s, good.b.data(), good.b.size());
        _cube_grid *t = cube_grid_translate(&s, p);
        ASSERT_NE(t, nullptr);
        cube_grid_release(t);
        _cube_grid *f = load(good.b, p);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(depths_of(&f->nodes[0]), std::vector<float>{10.3f});
        cube_grid_release(f);
    }
    for (const auto &c : cases) {
        OldDump d = one_old_node();
        if (c.offset == SIZE_MAX)
            d.u32(0);
        else if (c.u32)
            cube_put_u32(&d.b[hyp + c.offset], (uint32_t)c.value);
        else
            cube_put_f64(&d.b[hyp + c.offset], c.value);
        cube_stream s;
        cube_stream_memory_reader(&s, d.b.data(), d.b.size());
        _cube_grid *t = cube_grid_translate(&s, p);
        EXPECT_EQ(t, nullptr) << c.what;
        cube_grid_release(t);
        if (c.offset == 0) continue;  // the spoilt depth reads as a current node
        _cube_grid *f = load(d.b, p);
        EXPECT_EQ(f, nullptr) << c.what;
        cube_grid_release(f);
    }
}

}  // namespace

namespace {

TEST(Serialisation, CrowdedNodeStopsAtWhatReadersAcceptAndReadsBack)
{
    const _cube_param *p = cube_default_param();
    _cube_grid *g = cube_grid_new(1, 1, 1.0f, 1.0f, CUBE_GRID_NONE);
    _cube_node *n = &g->nodes[0];
    enginetest::CapturedReports reports;
    int refused = 0;
    for (int i = 0; i < 1003; ++i)
        if (!cube_node_update(n, 10.0f * i, 0.01f, 10.0f * i, 0.01f, p)) ++refused;
    EXPECT_EQ(refused, 3);
    EXPECT_EQ(depths_of(n).size(), 1000u);
    EXPECT_EQ(cube_node_add_basic_hypothesis(n, -5.0f, 1.0f), 0);
    EXPECT_NE(reports.str().find("10000.00 m"), std::string::npos) << reports.str();
    // A sounding that matches a held hypothesis still updates it.
    EXPECT_EQ(cube_node_update(n, 20.0f, 0.01f, 20.0f, 0.01f, p), 1);

    _cube_grid *back = load(dump(g, p), p);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(depths_of(&back->nodes[0]).size(), 1000u);
    cube_grid_release(back);
    cube_grid_release(g);
}

TEST(Serialisation, BufferedFileWriterWritesTheMemoryDump)
{
    const _cube_param *p = cube_default_param();
    _cube_grid *g = mixed_grid(p);
    const Bytes expected = dump(g, p);
    for (size_t capacity : {size_t(1), size_t(7), size_t(64), expected.size(), size_t(1) << 20}) {
        FILE *f = tmpfile();
        ASSERT_NE(f, nullptr);
        cube_stream s;
        ASSERT_EQ(cube_stream_file_writer(&s, f, capacity), 1);
        ASSERT_EQ(cube_grid_serialise(&s, g, p), 1) << capacity;
        uint64_t at = 0;
        EXPECT_EQ(cube_stream_tell(&s, &at), 1);
        EXPECT_EQ(at, expected.size());
        EXPECT_EQ(cube_stream_drain(&s), 1);
        cube_stream_close(&s);
        Bytes written(expected.size() + 1);
        rewind(f);
        written.resize(fread(written.data(), 1, written.size(), f));
        EXPECT_EQ(written, expected) << capacity;
        fclose(f);
    }
    cube_grid_release(g);
}

}  // namespace
