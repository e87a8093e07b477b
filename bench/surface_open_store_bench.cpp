// Opening a small surface by name and reading one node, and storing it in
// place after a one-node edit, for a gridded, a compound and a CUBE surface;
// beside each, the floor plain system calls give for the same files. Uses
// only calls that older versions of the library have too, so that the
// figures of two commits can be set side by side
// (scripts/bench-open-store.sh).
//
// --kivo_iterations=N runs every selected benchmark exactly N iterations,
// once: the script counts system calls at two such counts and divides the
// difference by the difference of the counts.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/KIVOSurface.h"
#include "core/KIVOSurfaceOpen.h"
#include "cube/CUBEUtils.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "cube_engine/cube_grid.h"
#include "cube_engine/cube_node.h"
#include "multires/KIVOCompoundIO.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "tests/cube/CubeTestSupport.h"

namespace {

enum Kind { kGridded, kCompound, kCube, kKinds };
const char* const kKindNames[kKinds] = {"gridded", "compound", "cube"};
constexpr double kX0 = 1000.0, kY0 = 2000.0;
constexpr uint16_t kCubeGrids = 3;  // 3 x 3 grids
constexpr uint32_t kCubeTile = 5;   // of 5 x 5 nodes

NORVAType<KIVOSurfaceXMLMetaData> griddedMetadata(const NORVAUString& path, double size) {
    KIVOMemDescriptor layout({KIVODescriptor::AttribEntry("Depth", KIVODataType::FLOAT),
                              KIVODescriptor::AttribEntry("Uncertainty", KIVODataType::FLOAT)});
    auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(
        makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(layout)), path);
    meta->setLowerLeft(kX0, kY0);
    meta->setDimensions(size, size);
    meta->setResolution(1.0);
    return meta;
}

bool fill(KIVOGriddedDataIO& grid) {
    for (uint64_t node = 0; node < grid.getNodeCount(); ++node)
        if (grid.setNodeNumber(node, 0, 10.0 + 0.001 * static_cast<double>(node)) != 0 ||
            grid.setNodeNumber(node, 1, 0.5) != 0)
            return false;
    return true;
}

KIVOGriddedDataIO* memberGrid(KIVOCompoundIO& compound) {
    return compound.getEntries().empty() ? nullptr
                                         : dynamic_cast<KIVOGriddedDataIO*>(compound.getEntries()[0].dataIO.get());
}

// The three surfaces in a folder of their own, and for each the files the
// plain floors use: the header and the one data file a node read or a
// one-node store touches.
struct Surfaces {
    Surfaces() {
        path[kGridded] = folder.file("g.vns");
        path[kCompound] = folder.file("m.kms");
        path[kCube] = folder.file("u.vcs");
        ok = makeGridded() && makeCompound() && makeCube();
    }

    // 100 x 100 nodes of depth and uncertainty.
    bool makeGridded() {
        KIVOGriddedDataIO grid(path[kGridded], griddedMetadata(path[kGridded], 99.0));
        if (grid.getStatus() != 0 || !fill(grid) || grid.store(nullptr) != 0) return false;
        header[kGridded] = folder.file("g.xml").toUTF8();
        data[kGridded] = path[kGridded].toUTF8();
        return true;
    }

    // Two gridded members (61 x 61 and 31 x 31 nodes) split by depth.
    bool makeCompound() {
        auto meta = griddedMetadata(folder.file("m.xml"), 60.0);
        KIVOResolutionTable table;
        table[KIVORangeEntry(0.0, 1000.0)] = 1.0f;
        table[KIVORangeEntry(1000.0, 5000.0)] = 2.0f;
        meta->setResolutionTable("Depth", table);
        KIVOCompoundIO compound(path[kCompound], meta);
        if (compound.getStatus() != 0 || compound.getEntries().size() != 2) return false;
        for (const auto& e : compound.getEntries()) {
            auto* member = dynamic_cast<KIVOGriddedDataIO*>(e.dataIO.get());
            if (member == nullptr || !fill(*member)) return false;
        }
        if (compound.store(nullptr) != 0) return false;
        header[kCompound] = path[kCompound].toUTF8();
        data[kCompound] = memberGrid(compound)->getSourceName().toUTF8();
        return true;
    }

    // 3 x 3 grids of 5 x 5 nodes, a hypothesis in every node, and the
    // layer-cache files a query reads.
    bool makeCube() {
        const double side = kCubeGrids * kCubeTile - 1.0;
        if (cubetest::createStored(path[kCube], side, side, 1.0, kCubeTile, kX0, kY0) != 0) return false;
        KIVOSurfaceCUBEIO surface(path[kCube]);
        if (surface.getStatus() != 0) return false;
        for (uint16_t row = 0; row < kCubeGrids; ++row)
            for (uint16_t column = 0; column < kCubeGrids; ++column) {
                long status = 0;
                auto entry = surface.getGrid(surface.makeKey(row, column), status, true, true);
                if (!entry) return false;
                for (uint32_t r = 0; r < entry->grid->ny; ++r)
                    for (uint32_t c = 0; c < entry->grid->nx; ++c)
                        cube_node_add_basic_hypothesis(cube_grid_get_node(entry->grid, r, c), 10.0f, 0.25f);
                entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
            }
        if (surface.store(nullptr) != 0 || surface.flush() != 0) return false;
        const NORVAUString prefix = surface.getGridPrefix();
        const KIVODescriptor& layout = surface.getAttributeInfo()->getDescriptor();
        for (long a = 0; a < layout.getNumberOfAttributes(); ++a)
            for (uint16_t row = 0; row < kCubeGrids; ++row)
                for (uint16_t column = 0; column < kCubeGrids; ++column)
                    cubetest::writeAll(
                        CUBEUtils::layerFileName(prefix, layout.getAttributeName(a), row, column),
                        cubetest::vccBytes(row, column, kCubeTile, kCubeTile,
                                           std::vector<float>(kCubeTile * kCubeTile, 10.0f)));
        header[kCube] = path[kCube].toUTF8();
        data[kCube] = CUBEUtils::layerFileName(prefix, layout.getAttributeName(0), 0, 0).toUTF8();
        edited = CUBEUtils::gridFileName(prefix, 1, 1).toUTF8();
        return true;
    }

    // The file a one-node store rewrites.
    std::string storedFile(Kind kind) const { return kind == kCube ? edited : data[kind]; }

    cubetest::TempDir folder;
    NORVAUString path[kKinds];
    std::string header[kKinds], data[kKinds], edited;
    bool ok = false;
};

// Opens, the second stores: a store changes what an open would read.
Surfaces& surfaces(int which) {
    static Surfaces opened, stored;
    return which == 0 ? opened : stored;
}

// Opens the surface by name, reads the one node of a box a node wide near
// its lower-left corner and closes it; false when no node came back.
bool openAndRead(const NORVAUString& path) {
    long status = 0;
    NORVAType<KIVOSurface> surface = KIVOSurfaceUtils::open(path, status);
    if (!surface || status != 0) return false;
    const NORVAArray<double> low = surface->getMinimum();
    NORVAType<KIVOSurfaceIter> iter = surface->query(low[0] + 0.25, low[1] + 0.25, low[0] + 1.25, low[1] + 1.25,
                                                     status, false, nullptr, nullptr, 1.0);
    if (!iter || status != 0 || iter->done(status)) return false;
    double depth = 0.0;
    iter->getAttributes()->getDoubleValue(0, depth, false);
    benchmark::DoNotOptimize(depth);
    return depth >= 10.0 && depth < 20.0;
}

void BM_Open(benchmark::State& state, Kind kind) {
    Surfaces& s = surfaces(0);
    if (!s.ok) return state.SkipWithError("surfaces not made");
    for (auto _ : state)
        if (!openAndRead(s.path[kind])) return state.SkipWithError("open or read failed");
}

// The floor: the header and the data file opened, sized, read whole and
// closed with bare system calls.
void BM_OpenPlain(benchmark::State& state, Kind kind) {
    Surfaces& s = surfaces(0);
    if (!s.ok) return state.SkipWithError("surfaces not made");
    std::vector<char> buffer;
    for (auto _ : state)
        for (const std::string* file : {&s.header[kind], &s.data[kind]}) {
            const int fd = ::open(file->c_str(), O_RDONLY | O_CLOEXEC);
            struct stat st;
            if (fd < 0 || ::fstat(fd, &st) != 0) return state.SkipWithError("plain open failed");
            buffer.resize(static_cast<size_t>(st.st_size));
            const bool whole = ::read(fd, buffer.data(), buffer.size()) == st.st_size;
            ::close(fd);
            if (!whole) return state.SkipWithError("plain read failed");
        }
}

// One object per kind, opened once and stored again after each edit of one
// node, as a host editing a surface does.
void BM_Store(benchmark::State& state, Kind kind) {
    Surfaces& s = surfaces(1);
    if (!s.ok) return state.SkipWithError("surfaces not made");
    std::function<long(double)> editAndStore;
    std::unique_ptr<KIVOSurfaceDataIO> surface;
    if (kind == kGridded) {
        auto* grid = new KIVOGriddedDataIO(s.path[kind]);
        surface.reset(grid);
        editAndStore = [grid](double v) { return grid->setNodeNumber(0, 0, v) != 0 ? -1 : grid->store(nullptr); };
    } else if (kind == kCompound) {
        auto* compound = new KIVOCompoundIO(s.path[kind]);
        surface.reset(compound);
        KIVOGriddedDataIO* member = memberGrid(*compound);
        editAndStore = [compound, member](double v) {
            return member == nullptr || member->setNodeNumber(0, 0, v) != 0 ? -1 : compound->store(nullptr);
        };
    } else {
        auto* cube = new KIVOSurfaceCUBEIO(s.path[kind]);
        surface.reset(cube);
        editAndStore = [cube](double v) {
            long status = 0;
            auto entry = cube->getGrid(cube->makeKey(1, 1), status, false, true);
            if (!entry) return status != 0 ? status : -1L;
            entry->grid->nodes[0].guide_depth = static_cast<float>(v);
            entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
            entry.reset();
            return cube->store(nullptr);
        };
    }
    if (surface->getStatus() != 0) return state.SkipWithError("open failed");
    double v = 10.0;
    for (auto _ : state) {
        v = v == 10.0 ? 11.0 : 10.0;
        if (editAndStore(v) != 0) return state.SkipWithError("store failed");
    }
}

// The floor: the bytes of the file the store rewrites written to a new
// file, synced and renamed over a copy of their own.
void BM_StorePlain(benchmark::State& state, Kind kind) {
    Surfaces& s = surfaces(1);
    if (!s.ok) return state.SkipWithError("surfaces not made");
    const std::vector<uint8_t> bytes = cubetest::readAll(NORVAUString(s.storedFile(kind)));
    const std::string target = s.folder.path().toUTF8() + "/plain-" + kKindNames[kind];
    const std::string temporary = target + ".tmp";
    for (auto _ : state) {
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const bool ok = fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
                        ::fsync(fd) == 0;
        if (fd >= 0) ::close(fd);
        if (!ok || ::rename(temporary.c_str(), target.c_str()) != 0) return state.SkipWithError("plain store failed");
    }
}

// The least disturbed of the repetitions: on a shared machine the other
// statistics mostly measure the neighbours.
double fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

int main(int argc, char** argv) {
    long iterations = 0;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--kivo_iterations=", 18) == 0) iterations = std::atol(argv[i] + 18);
        else argv[kept++] = argv[i];
    }
    argc = kept;
    using Run = void (*)(benchmark::State&, Kind);
    const std::pair<const char*, Run> runs[] = {
        {"Open", BM_Open}, {"OpenPlain", BM_OpenPlain}, {"Store", BM_Store}, {"StorePlain", BM_StorePlain}};
    for (const auto& run : runs)
        for (int kind = 0; kind < kKinds; ++kind) {
            const std::string name = std::string(run.first) + "/" + kKindNames[kind];
            auto* b = benchmark::RegisterBenchmark(name.c_str(), run.second, static_cast<Kind>(kind));
            b->Unit(benchmark::kMicrosecond)->UseRealTime()->ComputeStatistics("min", fastest);
            if (iterations > 0) b->Iterations(iterations)->Repetitions(1);
        }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
