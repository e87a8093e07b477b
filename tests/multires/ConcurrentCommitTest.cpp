// Two objects of one surface, as two processes would hold them: a store made
// over a commit the other object made after this one read the surface is
// refused and changes nothing, and so is a read of files that commit
// replaced; the object that committed goes on storing.
#include <gtest/gtest.h>

#include <cfloat>
#include <functional>
#include <memory>
#include <string>
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

long createGridded(const TempFolder& d) { return multirestest::storedGridded(d.file("g.vns")); }

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
