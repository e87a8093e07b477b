// Two objects of one surface, as two processes would hold them: a store made
// over a commit the other object made after this one read the surface is
// refused and changes nothing, and so is a read of files that commit
// replaced; the object that committed goes on storing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CompoundTestSupport.h"
#include "FolderSnapshot.h"
#include "KestrinSurfaceTestSupport.h"
#include "QuietOutput.h"
#include "cube/CubeTestSupport.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "platform/core/NORVASurfacePin.h"
#include "platform/frame/KIVOGriddedDataIO.h"

namespace {

using Store = std::function<long()>;

struct Kind {
    const char* name;
    std::function<long(const TempFolder&)> create;
    // Opens the surface and edits it; storing the edit is left to the caller.
    std::function<Store(const TempFolder&, double depth)> edit;
};

long createGridded(const TempFolder& d) {
    auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(
        makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(multirestest::depthLayout())), d.file("g.xml"));
    meta->setLowerLeft(0.0, 0.0);
    meta->setDimensions(4.0, 3.0);
    meta->setResolution(1.0);
    KIVOGriddedDataIO grid(d.file("g.vns"), std::move(meta));
    return grid.getStatus() != 0 ? grid.getStatus() : grid.store(nullptr);
}

Store editGridded(const TempFolder& d, double depth) {
    auto grid = std::make_shared<KIVOGriddedDataIO>(d.file("g.vns"));
    grid->setNodeNumber(0, 0, depth);
    return [grid] { return grid->getStatus() != 0 ? grid->getStatus() : grid->store(nullptr); };
}

long createCompound(const TempFolder& d) {
    auto meta = multirestest::compoundMetaData(d.file("c.xml"), multirestest::twoRanges());
    KIVOCompoundIO compound(d.file("c.kms"), meta);
    return compound.getStatus() != 0 ? compound.getStatus() : compound.store(nullptr);
}

Store editCompound(const TempFolder& d, double depth) {
    QuietOutput quiet;
    auto compound = std::make_shared<KIVOCompoundIO>(d.file("c.kms"));
    multirestest::setDepth(*compound, 1.0, 1.0, depth, DBL_MAX);
    return [compound] {
        QuietOutput quiet;
        return compound->getStatus() != 0 ? compound->getStatus() : compound->store(nullptr);
    };
}

long createCubeCompound(const TempFolder& d) {
    QuietOutput quiet;
    auto compound = multirestest::cubeCompound(d, "c");
    return !compound ? -1L : compound->getStatus() != 0 ? compound->getStatus() : compound->store(nullptr);
}

// A source record names the edit: grids reach their files whenever the
// edit cache lets them go.
Store editCubeCompound(const TempFolder& d, double depth) {
    QuietOutput quiet;
    auto compound = std::make_shared<KIVOCompoundIO>(d.file("c.kms"));
    KIVOSourceRecord record;
    record.items.push_back(KIVOSourceItem{NORVAUString("Edit"), NORVAUString("test"), depth});
    if (compound->getStatus() == 0) compound->getEntries()[1].dataIO->getMetaData()->setSourceRecord(record);
    return [compound] {
        QuietOutput quiet;
        return compound->getStatus() != 0 ? compound->getStatus() : compound->store(nullptr);
    };
}

long createCube(const TempFolder& d) {
    QuietOutput quiet;
    if (long s = cubetest::createStored(d.file("s.vcs"), 9.0, 9.0, 1.0, 5)) return s;
    KIVOSurfaceCUBEIO surface(d.file("s.vcs"));
    long status = 0;
    auto grid = surface.getGrid(surface.makeKey(0, 0), status, true, true);
    if (!grid) return status != 0 ? status : -1;
    grid->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
    return surface.store(nullptr);
}

// Through the grid: a flush writes it as a store does.
Store editCube(const TempFolder& d, double depth) {
    QuietOutput quiet;
    auto surface = std::make_shared<KIVOSurfaceCUBEIO>(d.file("s.vcs"));
    long status = 0;
    auto grid = surface->getGrid(surface->makeKey(0, 0), status, true, true);
    if (grid) {
        grid->grid->nodes[0].guide_depth = static_cast<float>(depth);
        grid->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
    }
    return [surface, grid] {
        QuietOutput quiet;
        if (!grid) return -1L;
        grid->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
        return surface->flush();
    };
}

long createTileStore(const TempFolder& d) {
    auto io = kestrinsurface::created(d.file("t.kps"), kestrinsurface::depthAndStatus(), 1.0);
    kestrinsurface::addNode(*io, 5.0, 5.0, 1.0);
    return io->getStatus() != 0 ? io->getStatus() : io->store(nullptr);
}

Store editTileStore(const TempFolder& d, double depth) {
    auto io = std::make_shared<KIVOKestrinDataIO>(d.file("t.kps"));
    kestrinsurface::forEachNode(*io, 0.0, 0.0, 10.0, 10.0, false,
                                [depth](KIVOSurfaceIter& it) { it.getAttributes()->setValue(0, depth); });
    return [io] { return io->getStatus() != 0 ? io->getStatus() : io->store(nullptr); };
}

std::vector<Kind> kinds() {
    return {{"gridded", createGridded, editGridded},
            {"compound", createCompound, editCompound},
            {"compound of CUBE members", createCubeCompound, editCubeCompound},
            {"CUBE (flush)", createCube, editCube},
            {"tile store in place", createTileStore, editTileStore}};
}

}  // namespace

TEST(ConcurrentCommit, AStoreOverAnotherObjectsCommitIsRefusedAndChangesNothing) {
    for (const Kind& kind : kinds()) {
        SCOPED_TRACE(kind.name);
        TempFolder d;
        ASSERT_EQ(0, kind.create(d));
        Store first = kind.edit(d, 1.0);
        Store second = kind.edit(d, 2.0);
        ASSERT_EQ(0, second());
        const foldersnapshot::Snapshot committed = foldersnapshot::take(d.path().toUTF8());
        EXPECT_EQ(NORVASurfacePin::kChanged, first());
        first = nullptr;  // what it still holds is not written on the way out either
        EXPECT_EQ(committed, foldersnapshot::take(d.path().toUTF8()));
        EXPECT_EQ(0, second()) << "its own commit is what it holds now";
        second = nullptr;
        EXPECT_EQ(0, kind.edit(d, 3.0)()) << "a new object stores";
    }
}

TEST(ConcurrentCommit, AReadAfterAnotherObjectsCommitIsRefused) {
    {
        SCOPED_TRACE("CUBE grid read when first asked for");
        TempFolder d;
        ASSERT_EQ(0, createCube(d));
        QuietOutput quiet;
        KIVOSurfaceCUBEIO reader(d.file("s.vcs"));
        ASSERT_EQ(0, editCube(d, 2.0)());
        long status = 0;
        EXPECT_FALSE(reader.getGrid(reader.makeKey(0, 0), status, false, true));
        EXPECT_EQ(NORVASurfacePin::kChanged, status);
    }
    {
        SCOPED_TRACE("tile-store query");
        TempFolder d;
        ASSERT_EQ(0, createTileStore(d));
        KIVOKestrinDataIO reader(d.file("t.kps"));
        ASSERT_EQ(0, editTileStore(d, 2.0)());
        long status = 0;
        reader.query(0.0, 0.0, 10.0, 10.0, false, status, nullptr, 0.0);
        EXPECT_EQ(NORVASurfacePin::kChanged, status);
    }
}

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

struct ReadAfterCommit {
    const char* name;
    std::function<std::string(const TempFolder&)> commit;  // by another object
    long status;                                           // of the reader's read
    std::function<long(KIVOSurfaceCUBEIO&, long&)> read;   // what it served
    long served;
};

}  // namespace

// A CUBE surface object opened before another object's commit reads on what
// that commit left as it was, and is refused (never answered "nothing there")
// for what it replaced or removed.
TEST(ConcurrentCommit, AReadAfterAnotherObjectsCommitServesWhatItLeftAndRefusesWhatItReplaced) {
    auto grid = [](uint16_t r, uint16_t c) {
        return [r, c](KIVOSurfaceCUBEIO& s, long& status) {
            return s.getGrid(s.makeKey(r, c), status, false, true) ? 1L : 0L;
        };
    };
    auto node = [](KIVOSurfaceCUBEIO& s, long& status) {
        return s.getCubeNode(1002.0, 2012.0, status, false) != nullptr ? 1L : 0L;
    };
    const ReadAfterCommit cases[] = {
        {"query after an edit of grid (1, 1)", editGridOneOne, 0, depthsQueried, kNodes},
        {"rasterise after an edit of grid (1, 1)", editGridOneOne, 0, cellsFilled, kNodes},
        {"grid the edit left", editGridOneOne, 0, grid(0, 0), 1},
        {"grid the edit replaced", editGridOneOne, NORVASurfacePin::kChanged, grid(1, 1), 0},
        {"grid after a rename", renameSurface, NORVASurfacePin::kChanged, grid(0, 0), 0},
        {"node after a rename", renameSurface, NORVASurfacePin::kChanged, node, 0},
        {"query after a rename", renameSurface, NORVASurfacePin::kChanged, depthsQueried, 0},
        {"rasterise after a rename", renameSurface, NORVASurfacePin::kChanged, cellsFilled, 0},
    };
    for (const ReadAfterCommit& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder d;
        ASSERT_EQ(0, createCubeWithLayers(d));
        auto quiet = std::make_unique<QuietOutput>();
        auto reader = std::make_shared<KIVOSurfaceCUBEIO>(d.file("s.vcs"));
        // Change times are stamped from a coarse clock: a commit within the
        // same tick as the one before it would look like it replaced all.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const std::string committed = reader->getStatus() == 0 ? c.commit(d) : "reader not opened";
        long status = 0;
        const long served = c.read(*reader, status);
        reader.reset();
        quiet.reset();
        ASSERT_EQ("", committed);
        EXPECT_EQ(c.served, served);
        EXPECT_EQ(c.status, status);
    }
}
