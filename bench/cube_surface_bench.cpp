// Loading and evicting a full 761 x 761 grid through a CUBE surface's edit
// cache, beside the engine's own in-memory deserialise and serialise of the
// same grid: the cache and file layers should add little to the engine.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cube/CUBEUtils.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "cube_engine/cube_grid.h"
#include "cube_engine/cube_node.h"
#include "cube_engine/cube_serialise.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOMetaAttribute.h"
#include "platform/frame/KIVOResourceManager.h"
#include "platform/frame/KIVOSurfaceAttributeTable.h"
#include "tests/cube/CubeTestSupport.h"

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

// Writes the modified grid to its file as a flush does (temporary file,
// sync, rename) and lets it go.
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

// A surface of 2 x 2 full grids stored in their files, for the budget run.
struct FourGrids {
    FourGrids() {
        char pattern[] = "/tmp/kivo-cube-budget-XXXXXX";
        folder = mkdtemp(pattern);
        path = NORVAUString(folder + "/budget.vcs");
        auto table = makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(*CUBEUtils::getDescriptor(false)));
        auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(std::move(table), path);
        meta->setLowerLeft(0.0, 0.0);
        meta->setDimensions(2 * kSide - 1, 2 * kSide - 1);
        meta->setResolution(1.0);
        KIVOSurfaceCUBEIO surface(path, meta, CUBEUtils::getParams(0, 1.0f));
        surface.store(nullptr);
        for (uint16_t i = 0; i < 4; ++i) {
            long status = 0;
            auto entry = surface.getGrid(surface.makeKey(i / 2, i % 2), status, true, true);
            fill(entry->grid);
            entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
            entry.reset();
            surface.flush();
            surface.flush();
        }
    }
    ~FourGrids() { NORVAFileUtils::removeDirectory(NORVAUString(folder), true); }
    std::string folder;
    NORVAUString path;
};

// A surface of 4 x 4 grids of 128 x 128 nodes, each node with two
// hypotheses, stored in their files: more grids than the edit cache holds.
struct SixteenGrids {
    static constexpr uint16_t kAcross = 4;
    static constexpr uint32_t kTile = 128;
    SixteenGrids() {
        path = dir.file("many.vcs");
        cubetest::createStored(path, kAcross * kTile - 1.0, kAcross * kTile - 1.0, 1.0, kTile);
        KIVOSurfaceCUBEIO surface(path);
        for (uint16_t i = 0; i < kAcross * kAcross; ++i) {
            long status = 0;
            auto entry = surface.getGrid(surface.makeKey(i / kAcross, i % kAcross), status, true, true);
            fill(entry->grid);
            entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
        }
        surface.store(nullptr);
    }
    cubetest::TempDir dir;
    NORVAUString path;
};

// Edits every grid of a surface of 16 grids twice over, in order: beyond the
// tenth, each grid the edit cache takes in makes a modified one leave it,
// and the second pass reads the evicted ones back. With argument 1 the edits
// are then stored; with 0 they are dropped unwritten (not timed).
void BM_EditCacheEvictMany(benchmark::State& state) {
    static SixteenGrids grids;
    const bool store = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto surface = std::make_unique<KIVOSurfaceCUBEIO>(grids.path);
        state.ResumeTiming();
        for (int pass = 0; pass < 2; ++pass)
            for (uint16_t i = 0; i < SixteenGrids::kAcross * SixteenGrids::kAcross; ++i) {
                long status = 0;
                auto entry = surface->getGrid(surface->makeKey(i / SixteenGrids::kAcross, i % SixteenGrids::kAcross),
                                              status, false, true);
                if (!entry) {
                    state.SkipWithError("grid did not load");
                    break;
                }
                entry->grid->nodes[0].guide_depth = static_cast<float>(pass);
                entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
            }
        if (store && surface->store(nullptr) != 0) state.SkipWithError("store failed");
        state.PauseTiming();
        surface->setModified(true);
        surface->setModified(false);
        surface.reset();
        state.ResumeTiming();
    }
}

// A field of /proc/self/status in megabytes.
double statusMegabytes(const char* field) {
    FILE* file = std::fopen("/proc/self/status", "r");
    if (file == nullptr) return 0.0;
    char line[256];
    double kilobytes = 0.0;
    const size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, file) != nullptr)
        if (std::strncmp(line, field, length) == 0 && line[length] == ':') kilobytes = std::atof(line + length + 1);
    std::fclose(file);
    return kilobytes / 1024.0;
}

// Resident memory of a process that edits four grids in turn under a
// 256 MiB budget that holds three: every load evicts, and writes, the
// oldest. Peak and steady resident memory are reported against the budget.
void BM_EditCacheResidentMemory(benchmark::State& state) {
    static FourGrids grids;
    const uint64_t budget = uint64_t(256) << 20;
    const uint64_t oldLimit = KIVOResourceManager::m_instance.getMemoryLimit();
    KIVOResourceManager::m_instance.setMemoryLimit(budget);
    double peak = 0.0, steady = 0.0, held = 0.0;
    for (auto _ : state) {
        KIVOSurfaceCUBEIO surface(grids.path);
        malloc_trim(0);
        FILE* reset = std::fopen("/proc/self/clear_refs", "w");
        if (reset != nullptr) std::fputs("5", reset), std::fclose(reset);
        for (int step = 0; step < 12; ++step) {
            long status = 0;
            auto entry = surface.getGrid(surface.makeKey(step % 4 / 2, step % 2), status, false, true);
            if (!entry) state.SkipWithError("grid did not load");
            else entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
            held = std::max(held, surface.getHeldBytes() / 1048576.0);
        }
        steady = statusMegabytes("VmRSS");
        peak = statusMegabytes("VmHWM");
        surface.setModified(true);
        surface.setModified(false);
    }
    KIVOResourceManager::m_instance.setMemoryLimit(oldLimit);
    state.counters["budget_MB"] = budget / 1048576.0;
    state.counters["held_MB"] = held;
    state.counters["rss_MB"] = steady;
    state.counters["rss_peak_MB"] = peak;
    state.counters["peak_per_budget"] = peak / (budget / 1048576.0);
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

BENCHMARK(BM_EditCacheEvictMany)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);

BENCHMARK(BM_EditCacheResidentMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
