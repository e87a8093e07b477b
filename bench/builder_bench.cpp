// Building surfaces from one million soundings in survey-line order over a
// 1,000 x 1,000 m area: into a gridded surface at 1 m and into a compound of
// three members (0-20 m at 1 m, 20-50 m at 2 m, 50-200 m at 5 m), with the
// replace rule keeping shoal, deep, count, sum and standard deviation; GMT's
// `blockmean -E` over the same soundings at 1 m is the baseline (skipped
// when gmt is not installed). Counters: soundings per second and the peak
// resident memory of the process during the benchmark, the soundings held in
// memory included (or of gmt, for the baseline).
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOPointIter.h"
#include "platform/proj/NORVACoordSystem.h"
#include "platform/shapes/NORVACover.h"
#include "tools/KIVOGenerator.h"

namespace {

constexpr int kLines = 1000, kPerLine = 1000;

struct Sounding {
    double x, y, depth;
};

// Lines run west to east, one metre apart; depth deepens from 1 m in the
// south to 199 m in the north, with 0.3 m of noise.
const std::vector<Sounding>& soundings() {
    static const std::vector<Sounding> all = [] {
        std::vector<Sounding> v;
        v.reserve(size_t(kLines) * kPerLine);
        std::mt19937 random(1);
        std::normal_distribution<double> noise(0.0, 0.3);
        std::uniform_real_distribution<double> jitter(-0.3, 0.3);
        for (int line = 0; line < kLines; ++line)
            for (int i = 0; i < kPerLine; ++i) {
                const double x = i + 0.5 + jitter(random), y = line + 0.5 + jitter(random);
                v.push_back({x, y, 1.0 + 0.198 * y + noise(random)});
            }
        return v;
    }();
    return all;
}

class VectorSoundings : public KIVOPointIter {
public:
    explicit VectorSoundings(const std::vector<Sounding>& v) : m_v(v) { markDone(m_v.empty()); }
    bool next(long& status) override {
        status = 0;
        if (m_at < m_v.size()) ++m_at;
        markDone(m_at >= m_v.size());
        return m_at < m_v.size();
    }
    long getPosition(double& x, double& y) const override {
        x = m_v[m_at].x;
        y = m_v[m_at].y;
        return 0;
    }
    const NORVACoordSystem* getCoordSystem() const override { return nullptr; }
    void getAvailable(std::vector<NORVAUString>& names) const override { names = {"Depth"}; }
    DATA_TYPE getType(long) const override { return KIVODataType::DOUBLE; }
    long get(long, NORVAUString&) const override { return -1; }
    long get(long, long&) const override { return -1; }
    long get(long index, double& value) const override {
        if (index != 0) return -1;
        value = m_v[m_at].depth;
        return 0;
    }
    long count() const override { return static_cast<long>(m_v.size()); }
    bool indexOf(const NORVAUString& name, long& index, DATA_TYPE& type) const override {
        static const NORVAUString depth("Depth");
        index = name == depth ? 0 : -1;
        type = KIVODataType::DOUBLE;
        return index == 0;
    }

private:
    const std::vector<Sounding>& m_v;
    size_t m_at = 0;
};

std::string scratch() {
    char pattern[] = "/tmp/kivo-builder-bench-XXXXXX";
    return mkdtemp(pattern);
}

// Linux keeps the process's peak resident size for its whole life; writing
// "5" to clear_refs starts it again, so that each benchmark reports its own.
void resetPeak() {
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

double peakMegabytes(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss / 1024.0;
}

void build(benchmark::State& state, bool compound) {
    const std::vector<Sounding>& all = soundings();
    resetPeak();
    NORVACoordSystem utm("EPSG:32631");
    NORVACover cover(0.0, 0.0, 999.0, 999.0);
    for (auto _ : state) {
        state.PauseTiming();
        const std::string folder = scratch();
        state.ResumeTiming();
        VectorSoundings iter(all);
        KIVOGenerator generator(iter, utm, cover, "Depth", "m", "");
        generator.setName(NORVAUString(folder + "/bench.vns"));
        if (compound) {
            KIVOResolutionTable table;
            table[KIVORangeEntry(0.0, 20.0)] = 1.0f;
            table[KIVORangeEntry(20.0, 50.0)] = 2.0f;
            table[KIVORangeEntry(50.0, 200.0)] = 5.0f;
            generator.setResolutionTable(table);
        } else {
            generator.setResolution(1.0);
        }
        generator.setWeightingMethod(KIVOGenerator::REPLACE);
        generator.setReplaceType(KIVOGenerator::LT);
        generator.setIncDensityAttrib(true);
        generator.setIncMeanAttrib(true);
        generator.setIncStdDevAttrib(true);
        generator.setIncShoalAttrib(true, false);
        generator.setIncDeepAttrib(true, false);
        if (generator.generate("", "", "", nullptr, nullptr) != 0) state.SkipWithError("building failed");
        state.PauseTiming();
        NORVAFileUtils::removeDirectory(NORVAUString(folder), true);
        state.ResumeTiming();
    }
    state.counters["soundings_per_s"] =
        benchmark::Counter(double(all.size()) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["peak_MB"] = peakMegabytes(RUSAGE_SELF);
}

void BM_BuildGridded(benchmark::State& state) { build(state, false); }
void BM_BuildCompound(benchmark::State& state) { build(state, true); }

// The same soundings as binary triples through `gmt blockmean -E` on a 1 m
// grid; the file is written outside the timing.
void BM_GMTBlockmean(benchmark::State& state) {
    if (std::system("command -v gmt >/dev/null 2>&1") != 0) {
        state.SkipWithError("gmt is not installed");
        return;
    }
    const std::string folder = scratch();
    const std::string input = folder + "/soundings.bin";
    FILE* f = std::fopen(input.c_str(), "wb");
    for (const Sounding& s : soundings()) std::fwrite(&s, sizeof(double), 3, f);
    std::fclose(f);
    // Run inside the scratch folder, where gmt leaves its history file.
    const std::string command = "cd " + folder + " && gmt blockmean soundings.bin -bi3d -bo5d -R0/1000/0/1000 -I1 -E -r"
                                " > out.bin 2>/dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("gmt blockmean failed");
    state.counters["soundings_per_s"] =
        benchmark::Counter(double(soundings().size()) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["peak_MB"] = peakMegabytes(RUSAGE_CHILDREN);
    NORVAFileUtils::removeDirectory(NORVAUString(folder), true);
}

}  // namespace

BENCHMARK(BM_GMTBlockmean)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_BuildGridded)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_BuildCompound)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

BENCHMARK_MAIN();
