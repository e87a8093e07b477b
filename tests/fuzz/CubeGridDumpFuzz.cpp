// The engine's grid dump read from memory: the first byte picks the reader
// (0: current reader, short node records; 1: current reader, full node
// records; 2: the older-layout translator), the rest is the dump.
// A grid that reads must be sized by the bytes present, keep its nodes within
// the engine's own limits, and read back whole after the engine writes it.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "cube_engine/cube.h"
#include "cube_engine/cube_grid.h"
#include "cube_engine/cube_serialise.h"
#include "fuzz/FuzzSupport.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Smallest node a dump can hold: a short record and a zero hypothesis count.
constexpr uint64_t kMinNodeBytes = CUBE_NODE_RECORD_V0_BYTES + 4;

_cube_grid* readDump(int reader, const uint8_t* data, size_t size) {
    cube_stream stream;
    cube_stream_memory_reader(&stream, data, size);
    const _cube_param* params = cube_default_param();
    if (reader == 2) return cube_grid_translate(&stream, params);
    return cube_grid_deserialise(&stream, params, reader);
}

Bytes writeDump(_cube_grid* grid) {
    cube_stream stream;
    if (!cube_stream_memory_writer(&stream, 0)) std::abort();
    Bytes out;
    if (cube_grid_serialise(&stream, grid, cube_default_param()) == 1) out.assign(stream.data, stream.data + stream.size);
    cube_stream_close(&stream);
    return out;
}

uint32_t hypothesisCount(const _cube_node* node) {
    uint32_t count = 0;
    for (uint32_t at = node->hypotheses; at != 0 && count <= CUBE_MAX_HYPOTHESES; at = cube_node_hyp(node, at)->next)
        ++count;
    return count;
}

void checkGrid(_cube_grid* grid, size_t size) {
    FUZZ_CHECK(grid->nx > 0 && grid->ny > 0);
    const uint64_t nodes = static_cast<uint64_t>(grid->nx) * grid->ny;
    FUZZ_CHECK(nodes <= size / kMinNodeBytes);
    FUZZ_CHECK((grid->cache != nullptr) == (grid->mode != CUBE_GRID_NONE));
    const _cube_param* params = cube_default_param();
    for (uint64_t i = 0; i < nodes; ++i) {
        _cube_node* node = &grid->nodes[i];
        FUZZ_CHECK(node->queue_count <= cube_param_queue_length(params));
        FUZZ_CHECK(hypothesisCount(node) <= CUBE_MAX_HYPOTHESES);
        float depth = 0.0f, strength = 0.0f;
        cube_node_extract_depth(node, params, &depth, &strength);
    }
}

// What the engine writes of a grid it read must read back with every node.
void checkRoundTrip(_cube_grid* grid) {
    const Bytes again = writeDump(grid);
    FUZZ_CHECK(!again.empty());
    _cube_grid* back = readDump(1, again.data(), again.size());
    FUZZ_CHECK(back != nullptr);
    FUZZ_CHECK(back->nx == grid->nx && back->ny == grid->ny && back->mode == grid->mode);
    const uint64_t nodes = static_cast<uint64_t>(grid->nx) * grid->ny;
    for (uint64_t i = 0; i < nodes; ++i)
        FUZZ_CHECK(hypothesisCount(&back->nodes[i]) == hypothesisCount(&grid->nodes[i]));
    cube_grid_release(back);
}

// Writes a dump of the older layout (28-byte nodes, 77-byte f64 hypotheses),
// which the library reads but no longer writes.
Bytes olderDump(uint32_t nx, uint32_t ny, uint32_t hypotheses) {
    Bytes out(CUBE_GRID_HEADER_BYTES, 0);
    cube_put_u32(&out[0], nx);
    cube_put_u32(&out[4], ny);
    cube_put_f32(&out[8], 1.0f);
    cube_put_f32(&out[12], 1.0f);
    cube_put_u32(&out[16], 1);
    cube_put_u32(&out[20], 1);
    cube_put_u32(&out[24], CUBE_GRID_DEPTH);
    for (uint32_t n = 0; n < nx * ny; ++n) {
        uint8_t rec[CUBE_OLD_NODE_RECORD_BYTES] = {};
        cube_put_f32(rec + 16, 10.0f + n);
        cube_put_f32(rec + 20, 0.25f);
        out.insert(out.end(), rec, rec + sizeof rec);
        uint8_t count[4];
        cube_put_u32(count, hypotheses);
        out.insert(out.end(), count, count + 4);
        for (uint32_t h = 0; h < hypotheses; ++h) {
            uint8_t b[CUBE_OLD_HYPOTHESIS_BYTES] = {};
            cube_put_f64(b, 10.0 + n + h);
            cube_put_f64(b + 8, 0.1);
            cube_put_f64(b + 16, 10.0 + n + h);
            cube_put_f64(b + 24, 0.1);
            cube_put_u16(b + 42, static_cast<uint16_t>(h + 1));
            cube_put_u32(b + 44, 3);
            out.insert(out.end(), b, b + sizeof b);
        }
        if (hypotheses != 0) out.insert(out.end(), {1, 0, 0, 0});
    }
    for (uint32_t n = 0; n < nx * ny; ++n) {
        uint8_t v[4];
        cube_put_f32(v, 10.0f + n);
        out.insert(out.end(), v, v + 4);
    }
    return out;
}

void feed(_cube_node* node, float depth, int times, const _cube_param* params) {
    for (int i = 0; i < times; ++i) cube_node_update(node, depth, 0.01f, depth + 0.1f, 0.02f, params);
}

Bytes withReader(uint8_t reader, const Bytes& dump) {
    Bytes out(dump.size() + 1);
    out[0] = reader;
    std::copy(dump.begin(), dump.end(), out.begin() + 1);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    fuzzsupport::silenceEngine();
    const int reader = data[0] % 3;
    _cube_grid* grid = readDump(reader, data + 1, size - 1);
    if (grid == nullptr) return 0;
    fuzzsupport::noteAccepted();
    checkGrid(grid, size - 1);
    checkRoundTrip(grid);
    cube_grid_release(grid);
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    fuzzsupport::silenceEngine();
    const _cube_param* params = cube_default_param();
    const uint32_t modes[] = {CUBE_GRID_DEPTH, CUBE_GRID_NONE};
    for (uint32_t mode : modes) {
        _cube_grid* grid = cube_grid_new(3, 2, 0.5f, 0.5f, mode);
        _cube_node* queued = cube_grid_get_node(grid, 0, 1);
        feed(queued, 4.0f, 3, params);
        _cube_node* rich = cube_grid_get_node(grid, 1, 0);
        feed(rich, 10.0f, 20, params);
        feed(rich, 20.0f, 20, params);
        feed(rich, 30.0f, 20, params);
        cube_node_nominate_hypothesis(rich, 20.0f);
        cube_node_reject_hypothesis(rich, 30.0f);
        cube_node_add_basic_hypothesis(cube_grid_get_node(grid, 1, 2), 5.0f, 0.3f);
        const Bytes dump = writeDump(grid);
        const std::string tag = mode == CUBE_GRID_NONE ? "-nocache" : "";
        seeds.add("current" + tag, withReader(1, dump));
        seeds.add("current-as-short-records" + tag, withReader(0, dump));
        seeds.add("current-truncated" + tag, withReader(1, Bytes(dump.begin(), dump.begin() + dump.size() / 2)));
        cube_grid_release(grid);
    }
    _cube_grid* empty = cube_grid_new(1, 1, 1.0f, 1.0f, CUBE_GRID_DEPTH);
    seeds.add("single-empty-node", withReader(1, writeDump(empty)));
    cube_grid_release(empty);
    seeds.add("older-layout", withReader(2, olderDump(2, 2, 2)));
    seeds.add("older-layout-via-fallback", withReader(1, olderDump(2, 1, 3)));
    seeds.add("older-layout-no-hypotheses", withReader(2, olderDump(1, 3, 0)));
}
