// Combining two gridded sources of 1,000 x 1,000 nodes (1 m apart, the
// second 500 m east of the first, so half of each overlaps the other) into
// one product through the combine policy, the later source winning where
// both hold data: into a gridded product and into a tile-store product.
// GMT's `grdblend` over the same two grids (as netCDF) is the baseline,
// skipped when gmt is not installed. Counter: source nodes per second.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/KIVOSurfaceOpen.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOMetaAttribute.h"
#include "platform/frame/KIVOSurfaceAttributeTable.h"
#include "platform/proj/NORVACoordSystem.h"
#include "tools/SurfaceCombinePolicy.h"

namespace {

constexpr int kSide = 1000;        // nodes per side of each source
constexpr double kEastShift = 500.0;

double depthAt(double x, double y) { return 5.0 + 0.01 * x + 0.02 * y; }

class LaterWins : public KIVODazavazEdora::SurfaceCombinePolicy {
public:
    long Supersede(KIVOSurface&, const KIVOAttributeSet&, const Vector2D&, const NORVAUString&, KIVOSurface&,
                   const KIVOAttributeSet&, const Vector2D&, const NORVAUString&) override {
        return 2;
    }
};

std::string scratch() {
    char pattern[] = "/tmp/kivo-combine-bench-XXXXXX";
    return mkdtemp(pattern);
}

double peakMegabytes(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss / 1024.0;
}

// A stored gridded source with every node set; the second source adds 1 m.
bool storeSource(const std::string& path, double x0, double offset) {
    KIVOMemDescriptor d({KIVODescriptor::AttribEntry("Depth", KIVODataType::FLOAT),
                         KIVODescriptor::AttribEntry("Uncertainty", KIVODataType::FLOAT)});
    auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(d)),
                                                      NORVAUString(path));
    NORVAUString s1, s2, s3;
    NORVACoordSystem("EPSG:32631").toStrings(s1, s2, s3);
    meta->setCoordSystemString(s1, s2, s3);
    meta->setLowerLeft(x0, 0.0);
    meta->setDimensions(kSide - 1, kSide - 1);
    meta->setResolution(1.0);
    KIVOGriddedDataIO io(NORVAUString(path), std::move(meta));
    KIVOMemAttributeSet node(d);
    for (int r = 0; r < kSide; ++r)
        for (int c = 0; c < kSide; ++c) {
            node.setValue(0, static_cast<float>(depthAt(x0 + c, r) + offset));
            node.setValue(1, 0.5f);
            if (io.set(x0 + c, r, node, d, DBL_MAX) != 0) return false;
        }
    return io.store(nullptr) == 0;
}

// The two sources, written once per process and removed at its end.
struct Sources {
    std::string folder = scratch();
    bool ok = storeSource(folder + "/a.vns", 0.0, 0.0) && storeSource(folder + "/b.vns", kEastShift, 1.0);
    ~Sources() { NORVAFileUtils::removeDirectory(NORVAUString(folder), true); }
};

const std::string& sources() {
    static const Sources written;
    static const std::string none;
    return written.ok ? written.folder : none;
}

void combine(benchmark::State& state, const char* extension) {
    const std::string& folder = sources();
    if (folder.empty()) {
        state.SkipWithError("writing the sources failed");
        return;
    }
    int64_t nodes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string out = scratch();
        state.ResumeTiming();
        KIVODazavazEdora::Combine::Options options;
        options.outputPath = NORVAUString(out + "/product" + extension);
        options.sources = {NORVAUString(folder + "/a.vns"), NORVAUString(folder + "/b.vns")};
        options.coordSystem.reset(new NORVACoordSystem("EPSG:32631"));
        options.resolution = 1.0;
        options.maxX = kSide - 1 + kEastShift;
        options.maxY = kSide - 1;
        LaterWins policy;
        NORVAType<KIVOSurface> product;
        long status = policy.CreateOutputSurface(options, product);
        for (const NORVAUString& path : options.sources) {
            NORVAType<KIVOSurface> source = KIVOSurfaceUtils::open(path, status);
            if (!source || status != 0) break;
            NORVAType<KIVOSurfaceIter> node =
                source->query(-1.0, -1.0, 1e6, 1e6, status, false, nullptr, nullptr, DBL_MAX);
            for (; node && status == 0 && !node->done(status); node->next(status)) {
                NORVAType<KIVOSurfaceIter> target = policy.getProductIter(*product, *source, *node, status);
                if (!target) break;
                std::unique_ptr<KIVOAttributeSet> set =
                    policy.getSurfaceAtts(*product, *target, *source, *node, status);
                if (set && status == 0) status = policy.setNode(*source, *set, *product, *target);
                ++nodes;
            }
        }
        if (status == 0 && product) {
            policy.BeforeStoreProductSurface(*product, options);
            status = product->store(nullptr);
        }
        if (status != 0) state.SkipWithError("combining failed");
        state.PauseTiming();
        product.reset();
        NORVAFileUtils::removeDirectory(NORVAUString(out), true);
        state.ResumeTiming();
    }
    state.counters["nodes_per_s"] = benchmark::Counter(double(nodes), benchmark::Counter::kIsRate);
    state.counters["peak_MB"] = peakMegabytes(RUSAGE_SELF);
}

void BM_CombineGridded(benchmark::State& state) { combine(state, ".vns"); }
void BM_CombineTileStore(benchmark::State& state) { combine(state, ".kps"); }

// The same two grids as netCDF through `gmt grdblend`; the grids are made
// outside the timing.
void BM_GMTGrdblend(benchmark::State& state) {
    if (std::system("command -v gmt >/dev/null 2>&1") != 0) {
        state.SkipWithError("gmt is not installed");
        return;
    }
    const std::string folder = scratch();
    for (int k = 0; k < 2; ++k) {
        const double x0 = k * kEastShift;
        const std::string name = folder + (k == 0 ? "/a" : "/b");
        FILE* f = std::fopen((name + ".bin").c_str(), "wb");
        for (int r = 0; r < kSide; ++r)
            for (int c = 0; c < kSide; ++c) {
                const double v[3] = {x0 + c, double(r), depthAt(x0 + c, r) + k};
                std::fwrite(v, sizeof(double), 3, f);
            }
        std::fclose(f);
        const std::string make = "cd " + folder + " && gmt xyz2grd " + name + ".bin -bi3d -R" +
                                 std::to_string(int(x0)) + "/" + std::to_string(int(x0) + kSide - 1) + "/0/" +
                                 std::to_string(kSide - 1) + " -I1 -G" + name + ".nc 2>/dev/null";
        if (std::system(make.c_str()) != 0) {
            state.SkipWithError("gmt xyz2grd failed");
            return;
        }
    }
    const std::string command = "cd " + folder + " && gmt grdblend a.nc b.nc -R0/" +
                                std::to_string(int(kEastShift) + kSide - 1) + "/0/" + std::to_string(kSide - 1) +
                                " -I1 -Gout.nc 2>/dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("gmt grdblend failed");
    state.counters["nodes_per_s"] =
        benchmark::Counter(2.0 * kSide * kSide * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["peak_MB"] = peakMegabytes(RUSAGE_CHILDREN);
    NORVAFileUtils::removeDirectory(NORVAUString(folder), true);
}

}  // namespace

BENCHMARK(BM_GMTGrdblend)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_CombineGridded)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_CombineTileStore)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

BENCHMARK_MAIN();
