// Loading and evicting a full 761 x 761 grid through a CUBE surface's edit
// cache, beside the engine's own in-memory deserialise and serialise of the
// same grid: the cache and file layers should add little to the engine.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cube/CUBEUtils.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "cube_engine/cube_grid.h"
#include "cube_engine/cube_node.h"
#include "cube_engine/cube_serialise.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOMetaAttribute.h"
#include "platform/frame/KIVOSurfaceAttributeTable.h"

namespace {

const uint32_t kSide = 761;

// Two hypotheses per node, as a surveyed grid might hold after its queues
// were flushed.
void fill(_cube_grid* grid) {
    for (uint32_t r = 0; r < grid->ny; ++r)
        for (uint32_t c = 0; c < grid->nx; ++c) {
            _cube_node* node = cube_grid_get_node(grid, r, c);
            cube_node_add_basic_hypothesis(node, 10.0f + 0.001f * c, 0.25f);
            cube_node_add_basic_hypothesis(node, 12.0f + 0.001f * r, 0.5f);
        }
}

struct Fixture {
    Fixture() {
        char pattern[] = "/tmp/kivo-cube-bench-XXXXXX";
        folder = mkdtemp(pattern);
        path = NORVAUString(folder + "/bench.vcs");
        auto table = makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(*CUBEUtils::getDescriptor(false)));
        auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(std::move(table), path);
        meta->setLowerLeft(0.0, 0.0);
        meta->setDimensions(kSide - 1, kSide - 1);
        meta->setResolution(1.0);
        KIVOSurfaceCUBEIO surface(path, meta, CUBEUtils::getParams(0, 1.0f));
        surface.store(nullptr);
        long status = 0;
        auto entry = surface.getGrid(surface.makeKey(0, 0), status, true, true);
        fill(entry->grid);
        entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
        surface.flush();
        NORVAFileUtils::fileSize(CUBEUtils::gridFileName(surface.getGridPrefix(), 0, 0), fileBytes);
    }
    ~Fixture() { NORVAFileUtils::removeDirectory(NORVAUString(folder), true); }
    std::string folder;
    NORVAUString path;
    uint64_t fileBytes = 0;
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_EngineSerialiseMemory(benchmark::State& state) {
    _cube_param* params = CUBEUtils::getParams(0, 1.0f);
    _cube_grid* grid = cube_grid_new(kSide, kSide, 1.0f, 1.0f, CUBE_GRID_NONE);
    fill(grid);
    cube_stream stream;
    cube_stream_memory_writer(&stream, 64u << 20);
    for (auto _ : state) {
        cube_stream_clear(&stream);
        benchmark::DoNotOptimize(cube_grid_serialise(&stream, grid, params));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size));
    cube_stream_close(&stream);
    cube_grid_release(grid);
    std::free(params);
}

void BM_EngineDeserialiseMemory(benchmark::State& state) {
    _cube_param* params = CUBEUtils::getParams(0, 1.0f);
    _cube_grid* grid = cube_grid_new(kSide, kSide, 1.0f, 1.0f, CUBE_GRID_NONE);
    fill(grid);
    cube_stream writer;
    cube_stream_memory_writer(&writer, 64u << 20);
    cube_grid_serialise(&writer, grid, params);
    cube_grid_release(grid);
    for (auto _ : state) {
        cube_stream reader;
        cube_stream_memory_reader(&reader, writer.data, writer.size);
        _cube_grid* loaded = cube_grid_deserialise(&reader, params, 1);
        state.PauseTiming();
        cube_grid_release(loaded);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(writer.size));
    cube_stream_close(&writer);
    std::free(params);
}

// Loads the grid file into the edit cache; dropping it again is not timed.
void BM_EditCacheLoad(benchmark::State& state) {
    Fixture& f = fixture();
    KIVOSurfaceCUBEIO surface(f.path);
    for (auto _ : state) {
        long status = 0;
        auto entry = surface.getGrid(surface.makeKey(0, 0), status, false, true);
        state.PauseTiming();
        if (!entry) state.SkipWithError("grid did not load");
        entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kClean;
        entry.reset();
        surface.close();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.fileBytes));
}

// Writes the modified grid to its file as eviction and flush do (temporary
// file, sync, rename) and lets it go.
void BM_EditCacheEvict(benchmark::State& state) {
    Fixture& f = fixture();
    KIVOSurfaceCUBEIO surface(f.path);
    for (auto _ : state) {
        state.PauseTiming();
        long status = 0;
        auto entry = surface.getGrid(surface.makeKey(0, 0), status, false, true);
        if (!entry) state.SkipWithError("grid did not load");
        entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
        entry.reset();
        state.ResumeTiming();
        benchmark::DoNotOptimize(surface.close());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.fileBytes));
}

// The floor for eviction: the engine's dump of the same grid written to a
// plain file and synced, with no temporary file or rename.
void BM_SerialiseWriteSyncBaseline(benchmark::State& state) {
    Fixture& f = fixture();
    _cube_param* params = CUBEUtils::getParams(0, 1.0f);
    _cube_grid* grid = cube_grid_new(kSide, kSide, 1.0f, 1.0f, CUBE_GRID_NONE);
    fill(grid);
    const std::string path = f.folder + "/baseline.bin";
    cube_stream stream;
    cube_stream_memory_writer(&stream, 1u << 20);
    for (auto _ : state) {
        cube_stream_clear(&stream);
        FILE* file = std::fopen(path.c_str(), "wb");
        const bool ok = file != nullptr && cube_grid_serialise(&stream, grid, params) &&
                        std::fwrite(stream.data, 1, stream.size, file) == stream.size && std::fflush(file) == 0 &&
                        fsync(fileno(file)) == 0;
        if (file != nullptr) std::fclose(file);
        if (!ok) state.SkipWithError("baseline write failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size));
    cube_stream_close(&stream);
    cube_grid_release(grid);
    std::free(params);
}

// The least disturbed of the repetitions: on a shared machine the other
// statistics mostly measure the neighbours.
double fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

BENCHMARK(BM_EngineDeserialiseMemory)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
BENCHMARK(BM_EditCacheLoad)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
BENCHMARK(BM_EngineSerialiseMemory)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
BENCHMARK(BM_SerialiseWriteSyncBaseline)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
BENCHMARK(BM_EditCacheEvict)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);

BENCHMARK_MAIN();
