// Throughput of the estimation engine on realistic data: a sloping seabed
// with sounding noise and a few per cent of blunders.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "cube_engine/cube.h"
#include "cube_engine/cube_disam.h"
#include "cube_engine/cube_grid.h"
#include "cube_engine/cube_serialise.h"

namespace {

const uint32_t k_side = 761;  // the tile side of a default 128 MB surface
const uint32_t k_queue = 11;

struct Sounding {
    uint32_t node;
    float depth;
    float variance;
};

float seabed(uint32_t row, uint32_t col) { return 20.0f + 0.05f * col + 0.02f * row; }

// Noise of 0.15 m, and 3 % blunders of 5 to 20 m either way.
float observe(std::mt19937 &rng, float truth)
{
    std::normal_distribution<float> noise(0.0f, 0.15f);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    float d = truth + noise(rng);
    if (unit(rng) < 0.03f) d += (unit(rng) < 0.5f ? -1.0f : 1.0f) * (5.0f + 15.0f * unit(rng));
    return d;
}

// Multibeam-like order: ping after ping, each ping a swath of beams across
// the grid, four pings per row of nodes, survey lines repeated over the area.
std::vector<Sounding> sounding_stream(uint32_t side, size_t count)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> jitter(-0.5f, 0.5f);
    std::vector<Sounding> out(count);
    size_t i = 0;
    for (uint32_t ping = 0; i < count; ++ping) {
        const float along = (ping % (4 * side)) * 0.25f;
        for (uint32_t beam = 0; beam < side && i < count; ++beam, ++i) {
            const float across = beam + 0.5f + jitter(rng);
            const uint32_t row = std::min(side - 1, (uint32_t)std::max(0.0f, along + jitter(rng)));
            const uint32_t col = std::min(side - 1, (uint32_t)std::max(0.0f, across));
            out[i].node = row * side + col;
            out[i].depth = observe(rng, seabed(row, col));
            out[i].variance = 0.0225f;
        }
    }
    return out;
}

_cube_param *bench_params()
{
    _cube_param *p = cube_init_param(1, 1.0, 1.0);
    p->mthd = CUBE_DISAM_DENSITY;
    return p;
}

// Fills every node's queue with 11 depth-ordered soundings, as they arrive
// in stored grids.
void fill_queues(_cube_grid *g, const _cube_param *p, uint32_t seed)
{
    std::mt19937 rng(seed);
    float depths[k_queue];
    for (uint32_t r = 0; r < g->ny; ++r) {
        for (uint32_t c = 0; c < g->nx; ++c) {
            _cube_node *n = &g->nodes[(size_t)r * g->nx + c];
            for (float &d : depths) d = observe(rng, seabed(r, c));
            std::sort(depths, depths + k_queue);
            cube_node_new_queue(n, p, k_queue);
            for (uint32_t i = 0; i < k_queue; ++i)
                n->queue[i] = {depths[i], 0.0225f, depths[i], 0.0225f};
            n->queue_count = k_queue;
        }
    }
}

_cube_grid *full_grid(const _cube_param *p)
{
    _cube_grid *g = cube_grid_new(k_side, k_side, 1.0f, 1.0f, CUBE_GRID_DEPTH);
    fill_queues(g, p, 11);
    return g;
}

struct Flushed {
    _cube_param *p = bench_params();
    _cube_grid *g = nullptr;
    std::vector<uint8_t> bytes;
    Flushed()
    {
        g = full_grid(p);
        cube_grid_flush(g, p);
        cube_stream s;
        cube_stream_memory_writer(&s, 0);
        cube_grid_serialise(&s, g, p);
        bytes.assign(s.data, s.data + s.size);
        cube_stream_close(&s);
    }
};

Flushed &flushed()
{
    static Flushed f;
    return f;
}

void BM_cube_node_update(benchmark::State &state)
{
    const uint32_t side = 64;
    const std::vector<Sounding> stream = sounding_stream(side, 1u << 18);
    _cube_param *p = bench_params();
    for (auto _ : state) {
        state.PauseTiming();
        _cube_grid *g = cube_grid_new(side, side, 1.0f, 1.0f, CUBE_GRID_NONE);
        state.ResumeTiming();
        for (const Sounding &s : stream)
            cube_node_update(&g->nodes[s.node], s.depth, s.variance, s.depth, s.variance, p);
        benchmark::DoNotOptimize(g->nodes[0].hypotheses);
        state.PauseTiming();
        cube_grid_release(g);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)stream.size());
    free(p);
}
BENCHMARK(BM_cube_node_update)->Unit(benchmark::kMillisecond);

void BM_cube_grid_flush(benchmark::State &state)
{
    _cube_param *p = bench_params();
    for (auto _ : state) {
        state.PauseTiming();
        _cube_grid *g = full_grid(p);
        state.ResumeTiming();
        cube_grid_flush(g, p);
        state.PauseTiming();
        cube_grid_release(g);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)k_side * k_side * k_queue);
    free(p);
}
BENCHMARK(BM_cube_grid_flush)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_cube_grid_serialise(benchmark::State &state)
{
    Flushed &f = flushed();
    cube_stream s;
    cube_stream_memory_writer(&s, f.bytes.size());
    for (auto _ : state) {
        cube_stream_clear(&s);
        cube_grid_serialise(&s, f.g, f.p);
        benchmark::DoNotOptimize(s.data);
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)f.bytes.size());
    state.counters["dump_MB"] = f.bytes.size() / 1e6;
    cube_stream_close(&s);
}
BENCHMARK(BM_cube_grid_serialise)->Unit(benchmark::kMillisecond);

void BM_cube_grid_deserialise(benchmark::State &state)
{
    Flushed &f = flushed();
    for (auto _ : state) {
        cube_stream s;
        cube_stream_memory_reader(&s, f.bytes.data(), f.bytes.size());
        _cube_grid *g = cube_grid_deserialise(&s, f.p, 1);
        benchmark::DoNotOptimize(g);
        state.PauseTiming();
        cube_grid_release(g);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)f.bytes.size());
}
BENCHMARK(BM_cube_grid_deserialise)->Unit(benchmark::kMillisecond);

// Baseline: copying the same number of bytes.
void BM_baseline_memcpy_dump(benchmark::State &state)
{
    Flushed &f = flushed();
    std::vector<uint8_t> to(f.bytes.size());
    for (auto _ : state) {
        memcpy(to.data(), f.bytes.data(), f.bytes.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)f.bytes.size());
}
BENCHMARK(BM_baseline_memcpy_dump)->Unit(benchmark::kMillisecond);

void BM_cube_grid_disambiguate_density(benchmark::State &state)
{
    Flushed &f = flushed();
    const size_t n = (size_t)k_side * k_side;
    std::vector<float> depth(n), unct(n), strength(n);
    _cube_extractor rq;
    cube_grid_init_extractor(&rq, f.g, f.p);
    rq.depth = depth.data();
    rq.uncertainty = unct.data();
    rq.strength = strength.data();
    for (auto _ : state) {
        cube_grid_disambiguate(&rq);
        benchmark::DoNotOptimize(depth.data());
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)n);
}
BENCHMARK(BM_cube_grid_disambiguate_density)->Unit(benchmark::kMillisecond);

// Baseline: one pass over the same nodes reading their head hypothesis.
void BM_baseline_node_scan(benchmark::State &state)
{
    Flushed &f = flushed();
    const size_t n = (size_t)k_side * k_side;
    std::vector<float> depth(n);
    for (auto _ : state) {
        for (size_t i = 0; i < n; ++i) {
            const _cube_node *node = &f.g->nodes[i];
            depth[i] = node->hypotheses ? cube_node_hyp(node, node->hypotheses)->depth : 0.0f;
        }
        benchmark::DoNotOptimize(depth.data());
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)n);
}
BENCHMARK(BM_baseline_node_scan)->Unit(benchmark::kMillisecond);

size_t heap_in_use()
{
    struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// Heap held by the grid against the memory model's k n^2, for the budget
// that sized this tile (1.5 hypotheses per node at a use fraction of 0.8).
void BM_cube_grid_memory(benchmark::State &state)
{
    _cube_param *p = bench_params();
    const double k = (float)(cube_node_estimate_size(1.5f, p) * 0.8 + 37.0);
    const double model = k * k_side * k_side;
    double full = 0, flushed_bytes = 0, hyps = 0;
    for (auto _ : state) {
        const size_t before = heap_in_use();
        _cube_grid *g = full_grid(p);
        full = (double)(heap_in_use() - before);
        cube_grid_flush(g, p);
        flushed_bytes = (double)(heap_in_use() - before);
        uint64_t count = 0;
        for (size_t i = 0; i < (size_t)k_side * k_side; ++i)
            for (uint32_t at = g->nodes[i].hypotheses; at; at = cube_node_hyp(&g->nodes[i], at)->next)
                ++count;
        hyps = (double)count / ((double)k_side * k_side);
        cube_grid_release(g);
    }
    state.counters["model_MB"] = model / 1e6;
    state.counters["full_queues_MB"] = full / 1e6;
    state.counters["full_vs_model"] = full / model;
    state.counters["flushed_MB"] = flushed_bytes / 1e6;
    state.counters["flushed_vs_model"] = flushed_bytes / model;
    state.counters["hyps_per_node"] = hyps;
    free(p);
}
BENCHMARK(BM_cube_grid_memory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
