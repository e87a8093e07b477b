#pragma once
// Hand-built engine grids and files for the CUBE grid-layer tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <memory>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "CubeTestSupport.h"
#include "cube/CUBEGrid.h"
#include "cube/CUBEGridSet.h"
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

using GridIndex = CUBE::GridSet::Index;
const GridIndex kHostNode(3, 4);
constexpr float kHostDepth = 30.75f;

// The cell of a grid's result surfaces that holds a surface node.
inline uint64_t cellOf(const CUBE::GridIndex& grid, const GridIndex& node) {
    NORVAnBox<int64_t, 2> cover;
    grid.getCover(cover);
    const GridIndex local = node - cover.getMinimum();
    return static_cast<uint64_t>(local.y() * grid.getGrid().getDimensions().x() + local.x());
}

// What a host does through the grid layer: upgrades the surface's grid set
// and nominates a hypothesis at kHostDepth on kHostNode in a new grid.
inline void hostEdit(const NORVAUString& surface) {
    std::shared_ptr<CUBE::GridSet> old = CUBE::GridSet::fromSurfaceFile(surface);
    ASSERT_TRUE(old);
    long status = -1;
    std::shared_ptr<CUBE::GridSet> set = CUBE::GridSet::upgrade(*old, status);
    ASSERT_TRUE(set && status == 0) << status;
    GridIndex index;
    ASSERT_TRUE(set->getIndex(kHostNode, index));
    std::shared_ptr<CUBE::GridIndex> grid = set->createNewGrid(index);
    ASSERT_TRUE(grid);
    CUBE::Grid& nodes = grid->getGrid();
    auto depths = std::make_shared<CUBE::Grid::Surface>(ORBO_3_12_0_::DataSet::DT_FLOAT32, nodes.getDimensions());
    std::fill(depths->data<float>(), depths->data<float>() + depths->count(), FLT_MAX);
    const uint64_t cell = cellOf(*grid, kHostNode);
    depths->data<float>()[cell] = kHostDepth;
    ASSERT_EQ(0, nodes.setInitializationSurface(depths, nullptr));
    NORVAnBox<int64_t, 2> cover;
    grid->getCover(cover);
    ASSERT_EQ(0, nodes.setNomination(kHostNode - cover.getMinimum(), true, kHostDepth));
    const NORVAUString file = CUBE::GridSet::getOutputFolder(surface) + "/" + CUBE::GridIndex::getFileName(index);
    ASSERT_EQ(0, nodes.save(&file));
}

// The depth a host reads at kHostNode through the surface's edited grid
// set; -1 without one (a set read from the header holds no edit).
inline double hostDepth(const NORVAUString& surface) {
    std::shared_ptr<CUBE::GridSet> set = CUBE::GridSet::fromSurfaceFile(surface);
    GridIndex index;
    if (!set || set->getVersion() != 2 || !set->getIndex(kHostNode, index)) return -1.0;
    std::shared_ptr<CUBE::GridIndex> grid = set->getGrid(index);
    if (!grid || grid->getGrid().disambiguate(nullptr) != 0) return -1.0;
    return grid->getGrid().getResult(CUBE::Grid::DEPTH)->getAsDouble(cellOf(*grid, kHostNode));
}

}  // namespace gridlayer
