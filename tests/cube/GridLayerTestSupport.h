#pragma once
// Hand-built engine grids and files for the CUBE grid-layer tests.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "CubeTestSupport.h"
#include "cube/CUBEGrid.h"
#include "cube_engine/cube.h"
#include "cube_engine/cube_node.h"
#include "cube_engine/cube_param.h"
#include "cube_engine/cube_serialise.h"
#include "cube_engine/cube_stream.h"
#include "platform/core/NORVAByteIO.h"

namespace gridlayer {

using Index = NORVAnPoint<int64_t, 2>;

struct Params {
    _cube_param* p = cube_init_param(0, 1.0, 1.0);
    ~Params() { std::free(p); }
};

// Feeds soundings straight into the node's hypotheses.
inline void sound(_cube_node* node, const _cube_param* params, float depth, int count) {
    for (int i = 0; i < count; ++i) cube_node_update(node, depth, 0.01f, depth, 0.01f, params);
}

// In depth order: a dump read back lists the hypotheses in another order.
inline std::vector<float> depthsOf(_cube_node* node) {
    std::vector<float> out;
    int count = 0;
    cube_hypothesis_record* records = cube_node_enumerate_hypotheses(node, &count);
    for (int i = 0; i < count; ++i) out.push_back(records[i].depth);
    std::free(records);
    std::sort(out.begin(), out.end());
    return out;
}

inline std::vector<uint32_t> flagsOf(_cube_node* node) {
    std::vector<uint32_t> out;
    int count = 0;
    cube_hypothesis_record* records = cube_node_enumerate_hypotheses(node, &count);
    for (int i = 0; i < count; ++i) out.push_back(records[i].flags);
    std::free(records);
    return out;
}

// An older grid file as the CUBE data-IO class writes it.
inline void writeOldGrid(const NORVAUString& path, _cube_grid* grid, const _cube_param* params, int16_t version) {
    cube_stream stream;
    cube_stream_memory_writer(&stream, 1024);
    cube_grid_serialise(&stream, grid, params);
    NORVAByteIO::Buffer bytes;
    const uint8_t magic[13] = {0x89, 'N', 'O', 'R', 'V', 'A', 'V', 'C', 'G', '\r', '\n', 0x1A, '\n'};
    NORVAByteIO::putBytes(bytes, magic, sizeof magic);
    NORVAByteIO::putI16(bytes, version);
    NORVAByteIO::putU16(bytes, 2);
    NORVAByteIO::putU32(bytes, 3);
    NORVAByteIO::putBytes(bytes, stream.data, stream.size);
    cube_stream_close(&stream);
    cubetest::writeAll(path, bytes);
}

// A surface header (".vcs") with the given version word.
inline void writeHeader(const NORVAUString& path, int16_t version, double minX, double minY, float resolution,
                        uint32_t tile, uint32_t across, uint32_t down, const _cube_param* params) {
    NORVAByteIO::Buffer bytes;
    const uint8_t magic[13] = {0x89, 'N', 'O', 'R', 'V', 'A', 'V', 'C', 'S', '\r', '\n', 0x1A, '\n'};
    NORVAByteIO::putBytes(bytes, magic, sizeof magic);
    NORVAByteIO::putI16(bytes, version);
    NORVAByteIO::putU16(bytes, 0);
    NORVAByteIO::putF64(bytes, minX);
    NORVAByteIO::putF64(bytes, minY);
    NORVAByteIO::putF64(bytes, minX + across * resolution);
    NORVAByteIO::putF64(bytes, minY + down * resolution);
    NORVAByteIO::putF32(bytes, resolution);
    NORVAByteIO::putU32(bytes, tile);
    NORVAByteIO::putU32(bytes, across);
    NORVAByteIO::putU32(bytes, down);
    uint8_t block[CUBE_PARAM_BYTES];
    cube_param_encode(params, block);
    NORVAByteIO::putBytes(bytes, block, sizeof block);
    cubetest::writeAll(path, bytes);
}

inline std::vector<uint8_t> prefix(const std::vector<uint8_t>& bytes, size_t n) {
    return std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(n));
}

}  // namespace gridlayer
