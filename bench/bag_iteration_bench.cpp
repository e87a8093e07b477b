// Box iteration over a 10,000 x 10,000 deflate-compressed BAG (chunks of
// 100 x 100), against a plain HDF5 read of the same two grids in bands of
// 1,000 rows, and against GDAL's gdal_translate converting the same file to
// raw ENVI floats as a whole process (skipped when GDAL's tools are not on
// PATH). The file is written once per run in the temporary folder.
#include <benchmark/benchmark.h>
#include <hdf5.h>

#include <unistd.h>

#include <cfloat>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/bag/BAGIter.h"
#include "formats/bag/BagHandle.h"
#include "formats/bag/KIVOBAGDataIO.h"
#include "formats/bag/BagTestSupport.h"

namespace {

constexpr hsize_t kSide = 10000;
constexpr hsize_t kChunk = 100;
constexpr hsize_t kBand = 1000;

void writeGrid(hid_t group, const char* name, bool elevation) {
    const hsize_t dims[2] = {kSide, kSide}, chunk[2] = {kChunk, kChunk};
    hid_t space = H5Screate_simple(2, dims, nullptr);
    hid_t dcpl = H5Pcreate(H5P_DATASET_CREATE);
    H5Pset_chunk(dcpl, 2, chunk);
    H5Pset_deflate(dcpl, 1);
    hid_t d = H5Dcreate2(group, name, H5T_IEEE_F32LE, space, H5P_DEFAULT, dcpl, H5P_DEFAULT);
    std::vector<float> band(kBand * kSide);
    for (hsize_t r0 = 0; r0 < kSide; r0 += kBand) {
        for (hsize_t r = 0; r < kBand; ++r)
            for (hsize_t c = 0; c < kSide; ++c)
                band[r * kSide + c] = elevation ? -(20.0f + 0.001f * float(c) + 0.002f * float(r0 + r))
                                                : 0.25f + 0.0001f * float(c % 100);
        const hsize_t start[2] = {r0, 0}, count[2] = {kBand, kSide};
        hid_t mem = H5Screate_simple(2, count, nullptr);
        H5Sselect_hyperslab(space, H5S_SELECT_SET, start, nullptr, count, nullptr);
        H5Dwrite(d, H5T_NATIVE_FLOAT, mem, space, H5P_DEFAULT, band.data());
        H5Sclose(mem);
    }
    bagtest::floatAttribute(d, elevation ? "Minimum Elevation Value" : "Minimum Uncertainty Value", -60.0f);
    bagtest::floatAttribute(d, elevation ? "Maximum Elevation Value" : "Maximum Uncertainty Value", 0.3f);
    H5Dclose(d);
    H5Pclose(dcpl);
    H5Sclose(space);
}

char g_benchFile[4096];

void removeBenchFile() { std::remove(g_benchFile); }

const std::string& bagFile() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        const std::string p = std::string(tmp && *tmp ? tmp : "/tmp") + "/bag-bench-" + std::to_string(getpid()) +
                              ".bag";
        bagtest::useSchemaHome();
        bagtest::Metadata m;
        m.rows = m.columns = std::to_string(kSide);
        m.corners = "0,0 19998,29997";
        hid_t f = H5Fcreate(p.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
        hid_t g = H5Gcreate2(f, "/BAG_root", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
        bagtest::Bag version;
        bagtest::versionAttribute(g, version);
        writeGrid(g, "elevation", true);
        writeGrid(g, "uncertainty", false);
        bagtest::trackingList(g);
        bagtest::metadataDataset(g, bagtest::metadataXML(m), version.metadataChunk);
        H5Gclose(g);
        H5Fclose(f);
        std::snprintf(g_benchFile, sizeof g_benchFile, "%s", p.c_str());
        std::atexit(removeBenchFile);
        return p;
    }();
    return path;
}

void BM_BAGBoxIteration(benchmark::State& state) {
    const std::string& path = bagFile();
    double sum = 0.0;
    int64_t nodes = 0;
    for (auto _ : state) {
        KIVOBAGDataIO io(path);
        long status = 0;
        NORVAType<KIVOSurfaceIter> it = io.query(-DBL_MAX, -DBL_MAX, DBL_MAX, DBL_MAX, false, status, nullptr, DBL_MAX);
        if (!it || status != 0) {
            state.SkipWithError("query failed");
            return;
        }
        long done = 0;
        if (!it->done(done)) do {
                float depth = 0.0f, uncertainty = 0.0f;
                const KIVOAttributeSet* attributes = it->getAttributes();
                attributes->getValue(0, depth);
                attributes->getValue(1, uncertainty);
                sum += depth + uncertainty;
                ++nodes;
            } while (it->next(status));
    }
    benchmark::DoNotOptimize(sum);
    state.counters["nodes/s"] = benchmark::Counter(double(nodes), benchmark::Counter::kIsRate);
}

// The block reads alone, as the iterator makes them.
void BM_BAGBlockReads(benchmark::State& state) {
    const std::string& path = bagFile();
    int64_t nodes = 0;
    for (auto _ : state) {
        bagHandle* h = nullptr;
        if (bagOpen(&h, BAG_OPEN_READONLY, path.c_str()) != BAG_SUCCESS) {
            state.SkipWithError("open failed");
            return;
        }
        for (uint32_t r = 0; r < kSide; r += kBand)
            for (uint32_t c = 0; c < kSide; c += kBand) {
                bagReadRegion(h, r, c, r + kBand - 1, c + kBand - 1, BAG_ELEVATION);
                bagReadRegion(h, r, c, r + kBand - 1, c + kBand - 1, BAG_UNCERTAINTY);
                nodes += int64_t(kBand * kBand);
            }
        bagClose(h);
    }
    state.counters["nodes/s"] = benchmark::Counter(double(nodes), benchmark::Counter::kIsRate);
}

void BM_PlainHDF5Read(benchmark::State& state) {
    const std::string& path = bagFile();
    double sum = 0.0;
    int64_t nodes = 0;
    std::vector<float> elevation(kBand * kSide), uncertainty(kBand * kSide);
    for (auto _ : state) {
        hid_t f = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
        hid_t e = H5Dopen2(f, "/BAG_root/elevation", H5P_DEFAULT);
        hid_t u = H5Dopen2(f, "/BAG_root/uncertainty", H5P_DEFAULT);
        hid_t space = H5Dget_space(e);
        const hsize_t count[2] = {kBand, kSide};
        hid_t mem = H5Screate_simple(2, count, nullptr);
        for (hsize_t r0 = 0; r0 < kSide; r0 += kBand) {
            const hsize_t start[2] = {r0, 0};
            H5Sselect_hyperslab(space, H5S_SELECT_SET, start, nullptr, count, nullptr);
            H5Dread(e, H5T_NATIVE_FLOAT, mem, space, H5P_DEFAULT, elevation.data());
            H5Dread(u, H5T_NATIVE_FLOAT, mem, space, H5P_DEFAULT, uncertainty.data());
            for (size_t i = 0; i < elevation.size(); ++i) sum += -elevation[i] + uncertainty[i];
            nodes += int64_t(elevation.size());
        }
        H5Sclose(mem);
        H5Sclose(space);
        H5Dclose(u);
        H5Dclose(e);
        H5Fclose(f);
    }
    benchmark::DoNotOptimize(sum);
    state.counters["nodes/s"] = benchmark::Counter(double(nodes), benchmark::Counter::kIsRate);
}

// GDAL's whole process (start-up, open, both grids read and written as raw
// floats), timed on the wall clock since its work is not this process's CPU.
void BM_GdalTranslateENVI(benchmark::State& state) {
    if (std::system("command -v gdal_translate >/dev/null 2>&1") != 0) {
        state.SkipWithError("gdal_translate is not on PATH");
        return;
    }
    const std::string& path = bagFile();
    const std::string out = path + ".envi";
    const std::string command = "gdal_translate -q -of ENVI '" + path + "' '" + out + "' >/dev/null 2>&1";
    int64_t nodes = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int rc = std::system(command.c_str());
        const auto stop = std::chrono::steady_clock::now();
        std::remove(out.c_str());
        std::remove((out + ".hdr").c_str());
        std::remove((out + ".aux.xml").c_str());
        if (rc != 0) {
            state.SkipWithError("gdal_translate could not convert the BAG");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
        nodes += int64_t(kSide * kSide);
    }
    state.counters["nodes/s"] = benchmark::Counter(double(nodes), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_BAGBoxIteration)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_BAGBlockReads)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PlainHDF5Read)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_GdalTranslateENVI)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
