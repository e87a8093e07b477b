// Two objects of one surface in one process, as two hosts would hold them:
// what one object's commit leaves the other, kind by kind. Each row returns
// "" when it holds, else what it found.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "QuietOutput.h"
#include "TempFolder.h"
#include "core/KIVOAreaGeomIter.h"
#include "core/KIVORangeAttributeFilter.h"
#include "core/KIVOSurface.h"
#include "core/KIVOSurfaceFilteredPointIter.h"
#include "cube/CubeTestSupport.h"
#include "cube/CUBEUtils.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "formats/wgrid/KIVOWGridDataIO.h"
#include "formats/wgrid/WGridTestSupport.h"
#include "multires/CompoundTestSupport.h"
#include "multires/KIVOCompoundIO.h"
#include "multires/KIVOCompoundIter.h"
#include "multires/KIVOCompoundPointIter.h"
#include "multires/KestrinSurfaceTestSupport.h"
#include "platform/core/NORVASurfacePin.h"
#include "platform/frame/KIVOGriddedDataIO.h"

// ---------------------------------------------------------------- renames

namespace {

namespace fs = std::filesystem;

// Everything under the folder, with staged grids counted apart.
std::set<std::string> entriesBelow(const TempFolder& d, size_t& staged) {
    std::set<std::string> names;
    staged = 0;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(d.path().toUTF8())) {
        const std::string name = fs::relative(e.path(), d.path().toUTF8()).string();
        if (name.find(".tmp-") != std::string::npos)
            ++staged;
        else
            names.insert(name);
    }
    return names;
}

std::string listed(const std::set<std::string>& names) {
    std::string text;
    for (const std::string& n : names) text += " " + n;
    return text;
}

// Y renames after X did: refused as changed, with nothing made anywhere
// once Y is gone too (a CUBE object commits what it holds then), and none
// of Y's staged grids left behind in X's folder.
std::string renameAfterRename(const TempFolder& d, const std::function<long()>& renameX,
                              const std::function<long()>& renameY, const std::function<void()>& dropY) {
    const long x = renameX();
    if (x != 0) return "X's rename: " + std::to_string(x);
    size_t before = 0, after = 0;
    const std::set<std::string> renamed = entriesBelow(d, before);
    const long y = renameY();
    dropY();
    const std::set<std::string> left = entriesBelow(d, after);
    std::string made, gone;
    for (const std::string& n : left)
        if (!renamed.count(n)) made += " " + n;
    for (const std::string& n : renamed)
        if (!left.count(n)) gone += " " + n;
    if (y == NORVASurfacePin::kChanged && made.empty() && gone.empty() && after == 0) return "";
    return "Y's rename: " + std::to_string(y) + "; made:" + made + "; gone:" + gone + "; Y's staged grids left " +
           std::to_string(after) + " (" + std::to_string(before) + " after X's rename); now:" + listed(left);
}

std::string griddedRenames() {
    TempFolder d;
    if (const long s = multirestest::storedGridded(d.file("g.vns"))) return "create: " + std::to_string(s);
    KIVOGriddedDataIO x(d.file("g.vns")), y(d.file("g.vns"));
    return renameAfterRename(
        d, [&] { return x.rename("r"); }, [&] { return y.rename("r2"); }, [] {});
}

// Y edits `grids` grids of a surface of 5 x 5 grids (the edit cache holds
// ten, the others wait in staged files), then X renames the surface.
std::string cubeRenames(uint16_t grids) {
    QuietOutput quiet;
    TempFolder d;
    const NORVAUString path = d.file("c.vcs");
    if (const long s = cubetest::createStored(path, 24.0, 24.0, 1.0, 5)) return "create: " + std::to_string(s);
    auto y = std::make_unique<KIVOSurfaceCUBEIO>(path);
    for (uint16_t i = 0; i < grids; ++i) {
        long status = 0;
        auto entry = y->getGrid(y->makeKey(i / 5, i % 5), status, true, true);
        if (!entry || cube_node_add_basic_hypothesis(cube_grid_get_node(entry->grid, 1, 1), 10.0f, 0.25f) != 1)
            return "edit: " + std::to_string(status);
        entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
    }
    KIVOSurfaceCUBEIO x(path);
    return renameAfterRename(
        d, [&] { return x.rename("r"); }, [&] { return y->rename("r2"); }, [&] { y.reset(); });
}

std::string compoundRenames() {
    QuietOutput quiet;
    TempFolder d;
    {
        auto meta = multirestest::compoundMetaData(d.file("c.xml"), multirestest::twoRanges());
        KIVOCompoundIO made(d.file("c.kms"), meta);
        if (const long s = made.getStatus() != 0 ? made.getStatus() : made.store(nullptr))
            return "create: " + std::to_string(s);
    }
    KIVOCompoundIO x(d.file("c.kms")), y(d.file("c.kms"));
    return renameAfterRename(
        d, [&] { return x.rename("r"); }, [&] { return y.rename("r2"); }, [] {});
}

std::string wgridRenames() {
    TempFolder d;
    wgridtest::writeSurface(d.file("w").toUTF8(), wgridtest::GridShape());
    KIVOWGridDataIO x(d.file("w.def"), "Depth"), y(d.file("w.def"), "Depth");
    return renameAfterRename(
        d, [&] { return x.rename("r"); }, [&] { return y.rename("r2"); }, [] {});
}

}  // namespace

// ---------------------------------------------------------------- CUBE reads

namespace {

// A CUBE surface of 3 x 3 grids of 5 x 5 nodes, every grid and its "Depth"
// layer on disk.
constexpr int kSide = 15, kNodes = kSide * kSide;

long createCubeWithLayers(const TempFolder& d) {
    QuietOutput quiet;
    if (long s = cubetest::createStored(d.file("s.vcs"), kSide - 1, kSide - 1, 1.0, 5)) return s;
    KIVOSurfaceCUBEIO surface(d.file("s.vcs"));
    if (!CUBEUtils::makeGridFolder(surface.getGridPrefix())) return -1;
    for (uint16_t r = 0; r < 3; ++r)
        for (uint16_t c = 0; c < 3; ++c) {
            long status = 0;
            auto grid = surface.getGrid(surface.makeKey(r, c), status, true, true);
            if (!grid) return status != 0 ? status : -1;
            grid->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
            cubetest::writeAll(CUBEUtils::layerFileName(surface.getGridPrefix(), "Depth", r, c),
                               cubetest::vccBytes(r, c, 5, 5, std::vector<float>(25, 10.0f + r)));
        }
    return surface.store(nullptr);
}

std::string editGridOneOne(const TempFolder& d) {
    QuietOutput quiet;
    KIVOSurfaceCUBEIO x(d.file("s.vcs"));
    long status = 0;
    auto grid = x.getGrid(x.makeKey(1, 1), status, false, true);
    if (!grid) return "grid (1, 1) not read: " + std::to_string(status);
    grid->grid->nodes[0].guide_depth = 7.0f;
    grid->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
    status = x.store(nullptr);
    return status == 0 ? "" : "store: " + std::to_string(status);
}

std::string renameSurface(const TempFolder& d) {
    QuietOutput quiet;
    KIVOSurfaceCUBEIO x(d.file("s.vcs"));
    const long status = x.rename("r");
    return status == 0 ? "" : "rename: " + std::to_string(status);
}

long depthsQueried(KIVOSurfaceCUBEIO& reader, long& status) {
    auto it = reader.query(0.0, 0.0, 1e6, 1e6, false, status, nullptr, 0.0);
    long depths = 0;
    if (!it || status != 0) return depths;
    do {
        float depth = FLT_MAX;
        depths += it->getAttributes()->getValue(0, depth) == 0 && depth != FLT_MAX;
    } while (it->next(status));
    return depths;
}

long cellsFilled(KIVOSurfaceCUBEIO& reader, long& status) {
    KIVOSurfaceDataIO::rasterizeConfig config;
    config.attribute = "Depth";
    config.minX = 900.0, config.minY = 1900.0, config.maxX = 1100.0, config.maxY = 2100.0;
    config.cellX = config.cellY = 1.0;
    config.noData = -1.0f;
    status = reader.rasterize(config);
    return std::count_if(config.output.begin(), config.output.end(), [](float v) { return v != -1.0f; });
}

// A CUBE object opened before another object's commit reads on what that
// commit left as it was, and is refused (never answered "nothing there")
// for what it replaced or removed: what `read` served and its status.
std::string cubeReadAfterCommit(const std::function<std::string(const TempFolder&)>& commit,
                                const std::function<long(KIVOSurfaceCUBEIO&, long&)>& read, long served,
                                long status) {
    TempFolder d;
    if (const long s = createCubeWithLayers(d)) return "create: " + std::to_string(s);
    QuietOutput quiet;
    KIVOSurfaceCUBEIO reader(d.file("s.vcs"));
    // Change times are stamped from a coarse clock: a commit within the
    // same tick as the one before it would look like it replaced all.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::string committed = reader.getStatus() == 0 ? commit(d) : "reader not opened";
    if (!committed.empty()) return committed;
    long got = 0;
    const long gotServed = read(reader, got);
    if (gotServed == served && got == status) return "";
    return "served " + std::to_string(gotServed) + " with status " + std::to_string(got);
}

// Y makes grid (1, 1) and stores it, then another object renames the
// surface: that grid was Y's own, and its absence is no "nothing there".
std::string cubeOwnGridAfterRename() {
    TempFolder d;
    if (const long s = cubetest::createStored(d.file("s.vcs"), 9.0, 9.0, 1.0, 5)) return "create: " + std::to_string(s);
    QuietOutput quiet;
    KIVOSurfaceCUBEIO y(d.file("s.vcs"));
    long status = 0;
    if (auto grid = y.getGrid(y.makeKey(1, 1), status, true, true))
        grid->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
    // The second flush lets the grid, clean since the first, leave the cache.
    if (const long s = status != 0 ? status : y.flush() != 0 ? -1 : y.flush()) return "Y's store: " + std::to_string(s);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::string renamed = renameSurface(d);
    if (!renamed.empty()) return renamed;
    const bool served = y.getGrid(y.makeKey(1, 1), status, false, true) != nullptr;
    if (!served && status == NORVASurfacePin::kChanged) return "";
    return "served " + std::to_string(served) + " with " + std::to_string(status);
}

long cubeGridRead(KIVOSurfaceCUBEIO& s, uint16_t row, uint16_t column, long& status) {
    return s.getGrid(s.makeKey(row, column), status, false, true) ? 1 : 0;
}

long cubeNodeRead(KIVOSurfaceCUBEIO& s, long& status) {
    return s.getCubeNode(1002.0, 2012.0, status, false) != nullptr ? 1 : 0;
}

// Another object's commit that removes every layer file of the CUBE
// surface at the path: a new disambiguation method.
bool dropLayers(const NORVAUString& path) {
    KIVOSurfaceCUBEIO x(path);
    return x.setDisambiguationType(x.getDisambiguationType() == CUBE_DENSITY ? CUBE_LOCALE : CUBE_DENSITY);
}

// A compound over (0, 0)-(8, 8) whose two CUBE members have the "Depth"
// layer of every grid on disk.
long createCompoundWithLayers(const TempFolder& d) {
    QuietOutput quiet;
    auto made = multirestest::cubeCompound(d, "c");
    if (!made) return -1;
    if (const long s = made->getStatus() != 0 ? made->getStatus() : made->store(nullptr)) return s;
    for (const KIVOCompoundIO::DataIORangeEntry& e : made->getEntries()) {
        const auto* member = dynamic_cast<const KIVOSurfaceCUBEIO*>(e.dataIO.get());
        if (!member || !member->getHeader() || !CUBEUtils::makeGridFolder(member->getGridPrefix())) return -1;
        for (uint16_t r = 0; r < member->getHeader()->getGridsDown(); ++r)
            for (uint16_t c = 0; c < member->getHeader()->getGridsAcross(); ++c) {
                const CUBEGridIdx grid = member->makeKey(r, c);
                cubetest::writeAll(CUBEUtils::layerFileName(member->getGridPrefix(), "Depth", r, c),
                                   cubetest::vccBytes(r, c, grid.rows, grid.columns,
                                                      std::vector<float>(grid.rows * grid.columns, 10.0f)));
            }
    }
    return 0;
}

long compoundCellsFilled(KIVOCompoundIO& reader, long& status) {
    KIVOSurfaceDataIO::rasterizeConfig config;
    config.attribute = "Depth";
    config.minX = config.minY = 0.0, config.maxX = config.maxY = 8.0;
    config.noData = -1.0f;
    status = reader.rasterize(config);
    return std::count_if(config.output.begin(), config.output.end(), [](float v) { return v != -1.0f; });
}

// Nodes with a depth; the query's status, else the walk's.
long compoundDepthsQueried(KIVOCompoundIO& reader, long& status) {
    auto it = reader.query(-1.0, -1.0, 9.0, 9.0, false, status, nullptr, DBL_MAX);
    long depths = 0;
    if (!it || status != 0) return depths;
    for (; !it->done(status); it->next(status)) {
        float depth = FLT_MAX;
        const KIVOAttributeSet* a = it->getAttributes();
        depths += a && a->getValue(0, depth) == 0 && depth != FLT_MAX;
    }
    return depths;
}

// A compound opened before another object's commit removed the layer files
// of its first member (a new disambiguation method there): `read` is
// refused, never answered 0 with that member's nodes missing.
std::string compoundReadAfterCommit(const std::function<long(KIVOCompoundIO&, long&)>& read) {
    TempFolder d;
    if (const long s = createCompoundWithLayers(d)) return "create: " + std::to_string(s);
    QuietOutput quiet;
    KIVOCompoundIO reader(d.file("c.kms"));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (reader.getStatus() != 0 || !dropLayers(d.file("c/c_0.vcs"))) return "reader not opened or no commit";
    long status = 0;
    const long served = read(reader, status);
    if (status == NORVASurfacePin::kChanged) return "";
    return "served " + std::to_string(served) + " with status " + std::to_string(status);
}

}  // namespace

// ---------------------------------------------------------------- iterators over a refused layer

namespace {

// An iterator of either family, walked through its own done and next, its
// nodes' depths read as a consumer reads them.
struct Walk {
    std::shared_ptr<KIVOIter> iter;
    std::function<bool(long&)> next;
    std::function<bool()> hasDepth;
};

Walk walkOf(std::shared_ptr<KIVOSurfaceIter> iter) {
    return {iter, [iter](long& status) { return iter->next(status); },
            [iter] {
                float depth = FLT_MAX;
                const KIVOAttributeSet* a = iter->getAttributes();
                return a && a->getValue(0, depth) == 0 && depth != FLT_MAX;
            }};
}

Walk walkOf(std::shared_ptr<KIVOPointIter> iter) {
    return {iter, [iter](long& status) { return iter->next(status); },
            [iter] {
                double depth = 0.0;
                return iter->get(KIVOSurfacePointIter::DEPTH, depth) == 0;
            }};
}

NORVAType<KIVOSurfaceIter> wholeSurface(KIVOSurface& surface, const KIVOAttributeFilter* filter = nullptr) {
    long status = 0;
    auto iter = surface.query(0.0, 0.0, 1e6, 1e6, status, false, filter, nullptr, DBL_MAX);
    return status == 0 ? std::move(iter) : NORVAType<KIVOSurfaceIter>();
}

// The 25 nodes of grid (0, 0), whose layer a walk made before the commit
// holds: a compound's last member that is never refused.
constexpr double kFirstGrid[] = {999.5, 2009.5, 1004.5, 2014.5};
constexpr long kFirstGridNodes = 25;

NORVAType<KIVOSurfaceIter> firstGrid(KIVOSurface& surface) {
    long status = 0;
    auto iter = surface.query(kFirstGrid[0], kFirstGrid[1], kFirstGrid[2], kFirstGrid[3], status, false, nullptr,
                              nullptr, DBL_MAX);
    return status == 0 ? std::move(iter) : NORVAType<KIVOSurfaceIter>();
}

const KIVORangeAttributeFilter kAnyDepth(0, -1e9, 1e9, KIVORangeAttributeFilter::INSIDE_INCLUSIVE);

std::shared_ptr<KIVOSurfacePointIter> soundings(KIVOSurface& surface, bool wholeSurface = true) {
    if (wholeSurface) return std::make_shared<KIVOSurfacePointIter>(surface, nullptr, nullptr, nullptr, nullptr);
    return std::make_shared<KIVOSurfacePointIter>(surface, kFirstGrid[0], kFirstGrid[1], kFirstGrid[2],
                                                  kFirstGrid[3], nullptr, nullptr, nullptr);
}

// Nodes seen with a depth, the walk's last status and what `done` says
// after it.
struct WalkEnd {
    long nodes = 0, status = 0, doneAfter = 0;
};

WalkEnd walk(const Walk& w, bool statusFromNext) {
    WalkEnd end;
    if (statusFromNext) {
        for (bool more = !w.iter->done(end.status); more && end.nodes <= 2 * kNodes; more = w.next(end.status))
            end.nodes += w.hasDepth();
    } else {
        for (; !w.iter->done(end.status) && end.nodes <= 2 * kNodes; w.next(end.status)) end.nodes += w.hasDepth();
    }
    w.iter->done(end.doneAfter);
    return end;
}

// The iterator is made over a reader of a copy of `made`'s surface, then
// another object's commit removes every layer file, then the iterator is
// walked: it ends with the refusal, from next and from done alike; without
// the commit it serves its `nodes` with status 0.
std::string walkAcrossCommit(const TempFolder& made, const std::function<Walk(KIVOSurface&)>& make, long nodes,
                             bool statusFromNext, bool commit) {
    TempFolder d;
    fs::copy(made.path().toUTF8(), d.path().toUTF8(), fs::copy_options::recursive);
    QuietOutput quiet;
    KIVOSurface reader(NORVAType<KIVOSurfaceDataIO>(new KIVOSurfaceCUBEIO(d.file("s.vcs"))));
    const Walk w = make(reader);
    if (!w.iter) return "no iterator";
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (commit && !dropLayers(d.file("s.vcs"))) return "the other object's commit failed";
    const WalkEnd end = walk(w, statusFromNext);
    const long expected = commit ? NORVASurfacePin::kChanged : 0;
    const bool allNodes = end.nodes == nodes;
    if (end.status == expected && end.doneAfter == expected && allNodes != commit) return "";
    return std::to_string(end.nodes) + " nodes, status " + std::to_string(end.status) + ", then done's " +
           std::to_string(end.doneAfter);
}

}  // namespace

TEST(TwoObjects, EveryIteratorEndsWithARefusedLayer) {
    // The compounds' second member is served after the first one's refusal
    // unless that refusal ends the walk.
    const struct {
        const char* name;
        std::function<Walk(KIVOSurface&)> make;
        long nodes;
    } kinds[] = {
        {"CUBE cached iterator",
         [](KIVOSurface& s) { return walkOf(std::shared_ptr<KIVOSurfaceIter>(wholeSurface(s).toUnique())); },
         kNodes},
        {"facade's filtered iterator",
         [](KIVOSurface& s) {
             return walkOf(std::shared_ptr<KIVOSurfaceIter>(wholeSurface(s, &kAnyDepth).toUnique()));
         },
         kNodes},
        {"selecting iterator",
         [](KIVOSurface& s) {
             const auto area = NORVAAreaGeometry::rectangle(0.0, 0.0, 1e6, 1e6);
             return walkOf(std::make_shared<KIVOAreaGeomIter>(wholeSurface(s), area));
         },
         kNodes},
        {"point iterator", [](KIVOSurface& s) { return walkOf(soundings(s)); }, kNodes},
        {"filtered point iterator",
         [](KIVOSurface& s) {
             NORVAType<KIVOSurfacePointIter> inner(new KIVOSurfacePointIter(s, nullptr, nullptr, nullptr, nullptr));
             return walkOf(std::make_shared<KIVOSurfaceFilteredPointIter>(s, std::move(inner), kAnyDepth.newCopy()));
         },
         kNodes},
        {"compound iterator",
         [](KIVOSurface& s) {
             KIVOCompoundIter::MemberList members;
             members.push_back(wholeSurface(s));
             members.push_back(firstGrid(s));
             return walkOf(std::make_shared<KIVOCompoundIter>(std::move(members)));
         },
         kNodes + kFirstGridNodes},
        {"compound point iterator",
         [](KIVOSurface& s) {
             return walkOf(std::make_shared<KIVOCompoundPointIter>(
                 KIVOCompoundPointIter::MemberList{soundings(s), soundings(s, false)}));
         },
         kNodes + kFirstGridNodes},
    };
    TempFolder made;
    ASSERT_EQ(0, createCubeWithLayers(made));
    for (const auto& kind : kinds)
        for (const bool statusFromNext : {true, false})
            for (const bool commit : {true, false})
                EXPECT_EQ("", walkAcrossCommit(made, kind.make, kind.nodes, statusFromNext, commit))
                    << kind.name << (statusFromNext ? ", status from next" : ", status from done")
                    << (commit ? ", after the commit" : ", no commit");
}

// ---------------------------------------------------------------- tile-store stores

namespace {

// Sets the depth of every node of the tile store; the first failure.
long tileStoreSetDepth(KIVOKestrinDataIO& io, double depth) {
    long status = 0;
    kestrinsurface::forEachNode(io, -1e9, -1e9, 1e9, 1e9, false, [&](KIVOSurfaceIter& it) {
        if (status == 0) status = it.getAttributes()->setValue(0, depth);
    });
    return status;
}

// X stores, Y's store over X's commit is refused; while Y lives, X's next
// edit and store go through (a lock left held would make them wait out
// the short busy time set here and fail).
std::string tileStoreRefusedStoreLetsGo() {
    struct ShortBusyTime {
        int before = NORVAKestrinDatabase::getBusyTimeout();
        ShortBusyTime() { NORVAKestrinDatabase::setBusyTimeout(200); }
        ~ShortBusyTime() { NORVAKestrinDatabase::setBusyTimeout(before); }
    } shortBusyTime;
    TempFolder d;
    const NORVAUString path = d.file("t.kps");
    {
        auto made = kestrinsurface::created(path, kestrinsurface::depthAndStatus(), 1.0);
        kestrinsurface::addNode(*made, 5.0, 5.0, 1.0);
        if (long s = made->store(nullptr)) return "create: " + std::to_string(s);
    }
    KIVOKestrinDataIO x(path), y(path);
    if (long s = tileStoreSetDepth(x, 2.0) ? -1 : x.store(nullptr)) return "X's first store: " + std::to_string(s);
    if (long s = tileStoreSetDepth(y, 3.0)) return "Y's edit: " + std::to_string(s);
    if (long s = y.store(nullptr); s != NORVASurfacePin::kChanged) return "Y's store: " + std::to_string(s);
    if (long s = tileStoreSetDepth(x, 4.0)) return "X's second edit: " + std::to_string(s);
    if (long s = x.store(nullptr)) return "X's second store: " + std::to_string(s);
    if (long s = tileStoreSetDepth(y, 5.0) ? -1 : y.store(nullptr); s != NORVASurfacePin::kChanged)
        return "Y's store after its refusal: " + std::to_string(s);
    KIVOKestrinDataIO reopened(path);
    double depth = 0.0;
    kestrinsurface::forEachNode(reopened, -1e9, -1e9, 1e9, 1e9, false,
                                [&](KIVOSurfaceIter& it) { it.getAttributes()->getValue(0, depth); });
    return depth == 4.0 ? "" : "stored depth " + std::to_string(depth);
}

}  // namespace

// ----------------------------------------------------------------

TEST(TwoObjects, OfOneSurface) {
    const struct {
        const char* name;
        std::function<std::string()> run;
    } rows[] = {
        {"gridded: a rename after another object's rename", griddedRenames},
        {"CUBE: a rename after another object's rename", [] { return cubeRenames(1); }},
        {"CUBE: another object's rename with 15 staged grids of this one", [] { return cubeRenames(25); }},
        {"compound: a rename after another object's rename", compoundRenames},
        {"weighted grid: a rename after another object's rename", wgridRenames},
        {"CUBE: a query after another object's edit of grid (1, 1)",
         [] { return cubeReadAfterCommit(editGridOneOne, depthsQueried, kNodes, 0); }},
        {"CUBE: a raster after another object's edit of grid (1, 1)",
         [] { return cubeReadAfterCommit(editGridOneOne, cellsFilled, kNodes, 0); }},
        {"CUBE: a grid another object's edit left",
         [] {
             return cubeReadAfterCommit(
                 editGridOneOne, [](KIVOSurfaceCUBEIO& s, long& st) { return cubeGridRead(s, 0, 0, st); }, 1, 0);
         }},
        {"CUBE: a grid another object's edit replaced",
         [] {
             return cubeReadAfterCommit(
                 editGridOneOne, [](KIVOSurfaceCUBEIO& s, long& st) { return cubeGridRead(s, 1, 1, st); }, 0,
                 NORVASurfacePin::kChanged);
         }},
        {"CUBE: a grid after another object's rename",
         [] {
             return cubeReadAfterCommit(
                 renameSurface, [](KIVOSurfaceCUBEIO& s, long& st) { return cubeGridRead(s, 0, 0, st); }, 0,
                 NORVASurfacePin::kChanged);
         }},
        {"CUBE: a node after another object's rename",
         [] { return cubeReadAfterCommit(renameSurface, cubeNodeRead, 0, NORVASurfacePin::kChanged); }},
        {"CUBE: a query after another object's rename",
         [] { return cubeReadAfterCommit(renameSurface, depthsQueried, 0, NORVASurfacePin::kChanged); }},
        {"CUBE: a raster after another object's rename",
         [] { return cubeReadAfterCommit(renameSurface, cellsFilled, 0, NORVASurfacePin::kChanged); }},
        {"CUBE: a grid its own store made, after another object's rename", cubeOwnGridAfterRename},
        {"compound: a raster after another object's commit removed a member's layers",
         [] { return compoundReadAfterCommit(compoundCellsFilled); }},
        {"compound: a query after another object's commit removed a member's layers",
         [] { return compoundReadAfterCommit(compoundDepthsQueried); }},
        {"tile store: a refused store lets go of the points file", tileStoreRefusedStoreLetsGo},
    };
    for (const auto& row : rows) EXPECT_EQ("", row.run()) << row.name;
}
