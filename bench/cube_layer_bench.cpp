// Reading a CUBE surface through its layer cache: box-query iteration beside
// a plain loop over the same floats, and rasterising the whole surface.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cfloat>
#include <memory>
#include <vector>

#include "cube/CUBEUtils.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "platform/core/NORVAByteIO.h"
#include "tests/cube/CubeTestSupport.h"

namespace {

constexpr uint32_t kTile = 761, kGrids = 4, kNodes = kTile * kGrids;

float depthOf(uint32_t row, uint32_t column) { return 10.0f + 0.001f * row + 0.0001f * column; }

void writeLayer(const NORVAUString& file, uint16_t row, uint16_t column, float scale) {
    NORVAByteIO::Buffer b;
    const uint8_t magic[13] = {0x89, 'N', 'O', 'R', 'V', 'A', 'V', 'C', 'C', '\r', '\n', 0x1A, '\n'};
    NORVAByteIO::putBytes(b, magic, sizeof magic);
    for (uint16_t v : {uint16_t(1), uint16_t(0), row, column}) NORVAByteIO::putU16(b, v);
    NORVAByteIO::putU32(b, kTile);
    NORVAByteIO::putU32(b, kTile);
    b.reserve(b.size() + 4u * kTile * kTile);
    for (uint32_t i = 0; i < kTile; ++i)
        for (uint32_t j = 0; j < kTile; ++j) NORVAByteIO::putF32(b, scale * depthOf(row * kTile + i, column * kTile + j));
    cubetest::writeAll(file, b);
}

// A 4 x 4 grid surface with "Depth" and "Uncertainty" layers, made once.
struct Fixture {
    cubetest::TempDir dir;
    std::unique_ptr<KIVOSurfaceCUBEIO> surface;
    std::vector<std::vector<float>> plain;  // the same layers as bare arrays

    Fixture() {
        const NORVAUString path = dir.file("bench.vcs");
        cubetest::createStored(path, kNodes - 1.0, kNodes - 1.0, 1.0, kTile);
        surface = std::make_unique<KIVOSurfaceCUBEIO>(path);
        const NORVAUString prefix = surface->getGridPrefix();
        CUBEUtils::makeGridFolder(prefix);
        for (uint16_t r = 0; r < kGrids; ++r)
            for (uint16_t c = 0; c < kGrids; ++c) {
                writeLayer(CUBEUtils::layerFileName(prefix, "Depth", r, c), r, c, 1.0f);
                writeLayer(CUBEUtils::layerFileName(prefix, "Uncertainty", r, c), r, c, 0.01f);
                for (float scale : {1.0f, 0.01f}) {
                    std::vector<float> layer(kTile * kTile);
                    for (uint32_t i = 0; i < kTile; ++i)
                        for (uint32_t j = 0; j < kTile; ++j)
                            layer[i * kTile + j] = scale * depthOf(r * kTile + i, c * kTile + j);
                    plain.push_back(std::move(layer));
                }
            }
    }
    double minX() const { return surface->getMinimum()[0]; }
    double minY() const { return surface->getMinimum()[1]; }
    double maxX() const { return surface->getMaximum()[0]; }
    double maxY() const { return surface->getMaximum()[1]; }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_BoxQueryIteration(benchmark::State& state) {
    Fixture& f = fixture();
    int64_t nodes = 0;
    for (auto _ : state) {
        long status = 0;
        auto it = f.surface->query(f.minX(), f.minY(), f.maxX(), f.maxY(), false, status, nullptr, DBL_MAX);
        KIVOAttributeSet* a = it->getAttributes();
        double sum = 0.0;
        do {
            float depth = 0.0f, uncertainty = 0.0f;
            if (state.range(0) == 2) a->getValue(1, uncertainty);
            a->getValue(0, depth);
            sum += depth + uncertainty;
            ++nodes;
        } while (it->next(status));
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(nodes);
    state.counters["nodes"] = static_cast<double>(nodes) / state.iterations();
}

void BM_PlainLoopOverTheSameFloats(benchmark::State& state) {
    Fixture& f = fixture();
    int64_t nodes = 0;
    for (auto _ : state) {
        double sum = 0.0;
        for (size_t g = 0; g < f.plain.size(); g += 2) {
            const std::vector<float>& depth = f.plain[g];
            const std::vector<float>& uncertainty = f.plain[g + 1];
            for (size_t i = 0; i < depth.size(); ++i) {
                // The iterator skips empty nodes; so does the loop.
                if (depth[i] == FLT_MAX) continue;
                sum += depth[i] + uncertainty[i];
                ++nodes;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(nodes);
}

void BM_RasterizeAtNodeSpacing(benchmark::State& state) {
    Fixture& f = fixture();
    int64_t cells = 0;
    for (auto _ : state) {
        KIVOSurfaceDataIO::rasterizeConfig config;
        config.attribute = "Depth";
        config.minX = f.minX(), config.minY = f.minY(), config.maxX = f.maxX(), config.maxY = f.maxY();
        config.cellX = config.cellY = 1.0;
        if (f.surface->rasterize(config) != 0) state.SkipWithError("rasterize failed");
        cells += static_cast<int64_t>(config.columns) * config.rows;
        benchmark::DoNotOptimize(config.output.data());
    }
    state.SetItemsProcessed(cells);
}

// The least disturbed of the repetitions: on a shared machine the other
// statistics mostly measure the neighbours.
double fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

// Argument: attributes read per node (Depth, or Uncertainty then Depth).
BENCHMARK(BM_BoxQueryIteration)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
BENCHMARK(BM_PlainLoopOverTheSameFloats)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
BENCHMARK(BM_RasterizeAtNodeSpacing)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);

BENCHMARK_MAIN();
