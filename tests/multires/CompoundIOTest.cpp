// Compound surfaces with gridded and CUBE members: creating, widening,
// set by selector, store and reopen, missing members, rename, outdated
// checks, rasterising and the registry row.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "CompoundTestSupport.h"
#include "FolderSnapshot.h"
#include "KestrinSurfaceTestSupport.h"
#include "cube/CubeTestSupport.h"
#include "cube/GridLayerTestSupport.h"
#include "core/KIVOSurfaceOpen.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "cube_engine/cube_node.h"
#include "platform/core/NORVAFileTransaction.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOResourceManager.h"
#include "platform/frame/KIVOSurfaceUtils.h"

using namespace multirestest;

namespace {

std::unique_ptr<KIVOCompoundIO> createCompound(const TempFolder& dir, const char* name,
                                               const KIVOResolutionTable& table) {
    auto meta = compoundMetaData(dir.file(std::string(name) + ".xml"), table);
    return std::make_unique<KIVOCompoundIO>(dir.file(std::string(name) + ".vns"), meta);
}

KIVOResolutionTable threeRanges() {
    KIVOResolutionTable table = twoRanges();
    table[KIVORangeEntry(40.0, 80.0)] = 4.0f;
    return table;
}

}  // namespace

TEST(CompoundIOTest, RangesWidenByTheMagnitudeOfEachBound) {
    struct Case {
        double low, high, wideLow, wideHigh;
    } cases[] = {
        {10.0, 20.0, 9.5, 21.0},
        {-20.0, -10.0, -21.0, -9.5},
        {-10.0, 10.0, -10.5, 10.5},
        {0.0, 0.0, 0.0, 0.0},
    };
    for (const Case& c : cases) {
        const KIVORangeEntry w = KIVOCompoundIO::widen(KIVORangeEntry(c.low, c.high));
        EXPECT_DOUBLE_EQ(c.wideLow, w.first) << c.low;
        EXPECT_DOUBLE_EQ(c.wideHigh, w.second) << c.high;
    }
    // Negative neighbours overlap after widening instead of leaving a gap.
    TempFolder dir;
    KIVOResolutionTable table;
    table[KIVORangeEntry(-40.0, -20.0)] = 2.0f;
    table[KIVORangeEntry(-20.0, -10.0)] = 1.0f;
    auto io = createCompound(dir, "neg", table);
    ASSERT_EQ(0, io->getStatus());
    std::vector<const KIVOCompoundIO::DataIORangeEntry*> hit;
    io->getDataIO(hit, -20.5);
    EXPECT_EQ(2u, hit.size());
    io->getDataIO(hit, -19.5);
    EXPECT_EQ(2u, hit.size());
}

TEST(CompoundIOTest, SetReachesTheMembersWhoseWidenedRangeHoldsTheSelector) {
    struct Case {
        double selector;
        size_t first, second;
    } cases[] = {
        {20.5, 1, 1}, {15.0, 1, 0}, {30.0, 0, 1}, {5.0, 0, 0}, {DBL_MAX, 1, 1},
    };
    for (const Case& c : cases) {
        TempFolder dir;
        auto io = createCompound(dir, "s", twoRanges());
        ASSERT_EQ(0, io->getStatus());
        ASSERT_EQ(2u, io->getEntries().size());
        EXPECT_DOUBLE_EQ(9.5, io->getEntries()[0].low);
        EXPECT_DOUBLE_EQ(21.0, io->getEntries()[0].high);
        EXPECT_EQ(0, setDepth(*io, 2.0, 2.0, 12.5, c.selector));
        EXPECT_EQ(c.first, memberDepths(*io->getEntries()[0].dataIO).size()) << c.selector;
        EXPECT_EQ(c.second, memberDepths(*io->getEntries()[1].dataIO).size()) << c.selector;
    }
}

TEST(CompoundIOTest, StoreReopenAndAMissingMember) {
    TempFolder dir;
    {
        auto io = createCompound(dir, "s", threeRanges());
        ASSERT_EQ(0, io->getStatus());
        setDepth(*io, 1.0, 1.0, 15.0, 15.0);
        setDepth(*io, 4.0, 4.0, 60.0, 60.0);
        ASSERT_EQ(0, io->store(nullptr));
    }
    {
        KIVOCompoundIO reopened(dir.file("s.kms"));
        ASSERT_EQ(0, reopened.getStatus());
        ASSERT_EQ(3u, reopened.getEntries().size());
        // Widened on opening as on creating, so a boundary value still reaches two.
        std::vector<const KIVOCompoundIO::DataIORangeEntry*> hit;
        reopened.getDataIO(hit, 20.5);
        EXPECT_EQ(2u, hit.size());
        EXPECT_EQ(std::vector<double>{15.0}, memberDepths(*reopened.getEntries()[0].dataIO));
        EXPECT_EQ(std::vector<double>{60.0}, memberDepths(*reopened.getEntries()[2].dataIO));
        // The compound metadata holds the members' merged minimum and maximum.
        double lo = 0, hi = 0;
        const KIVOMetaAttribute& meta = reopened.getAttributeInfo()->getMetaAttribute();
        ASSERT_EQ(0, meta.getMinimum().getDoubleValue(0, lo, false));
        ASSERT_EQ(0, meta.getMaximum().getDoubleValue(0, hi, false));
        EXPECT_DOUBLE_EQ(15.0, lo);
        EXPECT_DOUBLE_EQ(60.0, hi);
    }
    ASSERT_TRUE(NORVAFileUtils::removeFile(dir.file("s/s_1.vns")));
    testing::internal::CaptureStdout();
    KIVOCompoundIO partial(dir.file("s.kms"));
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ("No surface " + dir.file("s/s_1").toUTF8() + " for multi-res surface.  Ignoring.\n", printed);
    ASSERT_EQ(0, partial.getStatus());
    ASSERT_EQ(2u, partial.getEntries().size());
    EXPECT_DOUBLE_EQ(9.5, partial.getEntries()[0].low);
    EXPECT_DOUBLE_EQ(38.0, partial.getEntries()[1].low);
}

TEST(CompoundIOTest, OpeningRefusals) {
    TempFolder dir;
    {
        auto io = createCompound(dir, "s", twoRanges());
        ASSERT_EQ(0, io->store(nullptr));
    }
    EXPECT_NE(0, KIVOCompoundIO(dir.file("missing.kms")).getStatus());
    NORVAFileUtils::removeFile(dir.file("s.kms"));
    EXPECT_EQ(146021, KIVOCompoundIO(dir.file("s.kms")).getStatus());

    KIVOResolutionTable bad;
    bad[KIVORangeEntry(NAN, 3.0)] = 1.0f;
    EXPECT_NE(0, createCompound(dir, "nan", bad)->getStatus());
}

TEST(CompoundIOTest, StoreFailingForAMemberCommitsNothingAndReportsIt) {
    TempFolder dir;
    auto io = createCompound(dir, "s", twoRanges());
    setDepth(*io, 1.0, 1.0, 15.0, DBL_MAX);
    // The member folder is replaced by a file: members cannot be written.
    ASSERT_TRUE(NORVAFileUtils::removeDirectory(dir.file("s"), true));
    {
        FILE* f = std::fopen(dir.file("s").toUTF8().c_str(), "wb");
        ASSERT_NE(nullptr, f);
        std::fclose(f);
    }
    EXPECT_NE(0, io->store(nullptr));
    // A header and metadata would describe members that are not on disk.
    EXPECT_FALSE(NORVAFileUtils::exists(dir.file("s.kms")));
    EXPECT_FALSE(NORVAFileUtils::exists(dir.file("s.xml")));
    EXPECT_TRUE(NORVAFileTransaction::leftovers(dir.file("s")).empty());
}

TEST(CompoundIOTest, RenameMovesEverythingAndKeepsWorking) {
    TempFolder dir;
    auto io = createCompound(dir, "s", twoRanges());
    setDepth(*io, 1.0, 1.0, 15.0, 15.0);
    ASSERT_EQ(0, io->store(nullptr));
    setDepth(*io, 2.0, 2.0, 16.0, 15.0);  // unsaved: stored by the rename
    ASSERT_EQ(0, io->rename("t"));
    for (const char* gone : {"s.kms", "s.xml", "s"}) EXPECT_FALSE(NORVAFileUtils::exists(dir.file(gone))) << gone;
    for (const char* there : {"t.kms", "t.xml", "t/t_0.vns", "t/t_1.xml"})
        EXPECT_TRUE(NORVAFileUtils::exists(dir.file(there))) << there;
    EXPECT_EQ(dir.file("t.kms"), io->getSourceName());

    // The renamed surface stores under its new name only.
    setDepth(*io, 3.0, 3.0, 17.0, 15.0);
    ASSERT_EQ(0, io->store(nullptr));
    EXPECT_FALSE(NORVAFileUtils::exists(dir.file("s.xml")));
    EXPECT_FALSE(NORVAFileUtils::exists(dir.file("s")));
    KIVOCompoundIO reopened(dir.file("t.kms"));
    ASSERT_EQ(0, reopened.getStatus());
    EXPECT_EQ(3u, memberDepths(*reopened.getEntries()[0].dataIO).size());
    // Queries answer alike before and after renaming: no range filters appear.
    for (const auto& e : io->getEntries()) EXPECT_EQ(nullptr, e.filter);

    // A compound never stored keeps its members through a rename.
    auto fresh = createCompound(dir, "v", twoRanges());
    ASSERT_EQ(0, fresh->rename("w"));
    EXPECT_EQ(2u, fresh->getEntries().size());
    for (const auto& e : fresh->getEntries()) EXPECT_NE(nullptr, e.dataIO);
    EXPECT_EQ(0, setDepth(*fresh, 1.0, 1.0, 12.0, 12.0));
    EXPECT_EQ(std::vector<double>{12.0}, memberDepths(*fresh->getEntries()[0].dataIO));

    auto other = createCompound(dir, "u", twoRanges());
    ASSERT_EQ(0, other->store(nullptr));
    EXPECT_EQ(146006, io->rename("u"));
    EXPECT_TRUE(NORVAFileUtils::exists(dir.file("t.kms")));
}

// The member folder of a compound "c_V2" is where a CUBE surface "c" keeps
// the host's grid set: the folder cannot go whole, so the rename is refused
// and both surfaces stay as they were.
TEST(CompoundIOTest, RenameBesideAGridSetInTheMemberFolderIsRefused) {
    TempFolder dir;
    auto io = createCompound(dir, "c_V2", twoRanges());
    setDepth(*io, 1.0, 1.0, 15.0, 15.0);
    ASSERT_EQ(0, io->store(nullptr));
    testing::internal::CaptureStdout();
    ASSERT_EQ(0, cubetest::createStored(dir.file("c.vcs"), 19.0, 11.0, 1.0, 5));
    gridlayer::hostEdit(dir.file("c.vcs"));
    testing::internal::GetCapturedStdout();
    const foldersnapshot::Snapshot before = foldersnapshot::take(dir.path().toUTF8());
    EXPECT_EQ(KIVOCompoundIO::kFolderFailed, io->rename("d"));
    EXPECT_TRUE(before == foldersnapshot::take(dir.path().toUTF8()));
    EXPECT_EQ(gridlayer::kHostDepth, gridlayer::hostDepth(dir.file("c.vcs")));
}

TEST(CompoundIOTest, OutdatedSourcesAreCombinedAndCyclesEnd) {
    TempFolder dir;
    auto withSources = [&](const char* name, std::vector<std::pair<const char*, NORVAUString>> sources) {
        auto io = createCompound(dir, name, twoRanges());
        KIVOSourceRecord record;
        for (const auto& s : sources) record.items.push_back({s.first, s.second, 0.0});
        io->getMetaData()->setSourceRecord(record);
        EXPECT_EQ(0, io->store(nullptr));
    };
    // a lists b (outdated: its source is missing) before c (up to date).
    withSources("b", {{"KIVO", dir.file("gone.vns")}});
    withSources("c", {});
    withSources("a", {{"KIVO", dir.file("b.kms")}, {"KIVO", dir.file("c.kms")}});
    // d and e list each other.
    withSources("d", {{"KIVO_Surface", dir.file("e.kms")}});
    withSources("e", {{"KIVO_Surface", dir.file("d.kms")}});
    // Stored within the same second as far as modification times tell, even
    // when the two stores straddle a second on a busy machine.
    std::filesystem::last_write_time(dir.file("d.kms").toUTF8(),
                                     std::filesystem::last_write_time(dir.file("e.kms").toUTF8()));
    struct Case {
        const char* name;
        bool outdated;
    } cases[] = {{"a", true}, {"b", true}, {"c", false}, {"d", false}};
    for (const Case& c : cases) {
        KIVOCompoundIO io(dir.file(std::string(c.name) + ".kms"));
        ASSERT_EQ(0, io.getStatus()) << c.name;
        EXPECT_EQ(c.outdated, io.checkOutdated()) << c.name;
    }
}

// Checking is reading: a source is never opened for update, and a commit a
// source has under way (or a crash cut short) is left to its owner.
TEST(CompoundIOTest, CheckingSourcesWritesNothingInThem) {
    struct Case {
        const char* name;
        std::function<void(const NORVAUString& path)> make;
        const char* planted;  // what opening the source for update would remove
        bool outdated;
    } cases[] = {
        {"T.kts",
         [](const NORVAUString& path) {
             auto io = kestrinsurface::created(path, kestrinsurface::depthAndStatus(), 1.0);
             kestrinsurface::addNode(*io, 5.0, 5.0, 12.0);
             ASSERT_EQ(0, io->store(nullptr));
         },
         "T.ktf-journal", false},
        {"G.vns",
         [](const NORVAUString& path) {
             auto meta = compoundMetaData(path, twoRanges());
             meta->setResolution(1.0);
             KIVOGriddedDataIO io(path, std::move(meta));
             ASSERT_EQ(0, io.store(nullptr));
         },
         ".G.vns.tmp-abcdef", false},
        {"C.vcs", [](const NORVAUString& path) { ASSERT_EQ(0, cubetest::createStored(path, 9.0, 9.0, 1.0)); },
         ".C.vcs.tmp-abcdef", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        ASSERT_TRUE(NORVAFileUtils::makeDirectory(dir.file("sources")));
        const NORVAUString source = dir.file(std::string("sources/") + c.name);
        c.make(source);
        std::ofstream(dir.file(std::string("sources/") + c.planted).toUTF8()) << std::string(512, '\0');
        auto io = createCompound(dir, "s", twoRanges());
        KIVOSourceRecord record;
        record.items.push_back({"KIVO", source, 0.0});
        io->getMetaData()->setSourceRecord(record);
        ASSERT_EQ(0, io->store(nullptr));
        const foldersnapshot::Snapshot before = foldersnapshot::take(dir.file("sources").toUTF8());
        KIVOCompoundIO reopened(dir.file("s.kms"));
        ASSERT_EQ(0, reopened.getStatus());
        EXPECT_EQ(c.outdated, reopened.checkOutdated());
        EXPECT_EQ(before, foldersnapshot::take(dir.file("sources").toUTF8()));
    }
}

TEST(CompoundIOTest, RasterizeUsesTheFinestMemberResolution) {
    TempFolder dir;
    auto io = createCompound(dir, "s", twoRanges());
    setDepth(*io, 2.0, 3.0, 12.0, 12.0);   // member 0 (1 m)
    setDepth(*io, 2.0, 3.0, 30.0, 30.0);   // member 1 (2 m): deeper, loses the cell
    setDepth(*io, 6.0, 6.0, 35.0, 35.0);   // member 1 only
    KIVOSurfaceDataIO::rasterizeConfig config;
    config.attribute = "Depth";
    config.minX = config.minY = 0.0;
    config.maxX = config.maxY = 8.0;
    config.cellX = config.cellY = 1.0;
    config.noData = -1.0f;
    ASSERT_EQ(0, io->rasterize(config));
    // A box reaching the surface's maximum still gets one cell beyond it.
    ASSERT_EQ(10, config.columns);
    ASSERT_EQ(10, config.rows);
    EXPECT_FLOAT_EQ(12.0f, config.output[3 * 10 + 2]);
    EXPECT_FLOAT_EQ(35.0f, config.output[6 * 10 + 6]);
    EXPECT_FLOAT_EQ(-1.0f, config.output[0]);

    config.negate = true;
    config.maxX = config.maxY = 8.0;
    ASSERT_EQ(0, io->rasterize(config));
    EXPECT_FLOAT_EQ(-12.0f, config.output[3 * 10 + 2]);

    config.attribute = "Nothing";
    EXPECT_EQ(-1, io->rasterize(config));
}

// A compound whose table gives no member a usable resolution cannot be
// rasterised (the metadata's own resolution is 0.0 for every compound).
TEST(CompoundIOTest, RasterizeRefusesWithoutAPositiveResolution) {
    TempFolder dir;
    {
        auto io = createCompound(dir, "s", twoRanges());
        setDepth(*io, 2.0, 3.0, 12.0, 12.0);
        ASSERT_EQ(0, io->store(nullptr));
        KIVOResolutionTable zero;
        for (const auto& e : twoRanges()) zero[e.first] = 0.0f;
        KIVOCompoundDataHeader header(io->getMinimum(), io->getMaximum(), "Depth", zero);
        FILE* f = std::fopen(dir.file("s.kms").toUTF8().c_str(), "wb");
        ASSERT_EQ(0, header.write(f));
        std::fclose(f);
    }
    KIVOCompoundIO io(dir.file("s.kms"));
    ASSERT_EQ(0, io.getStatus());
    KIVOSurfaceDataIO::rasterizeConfig config;
    config.attribute = "Depth";
    config.maxX = config.maxY = 8.0;
    config.cellX = config.cellY = 1.0;
    EXPECT_EQ(-1, io.rasterize(config));
    EXPECT_TRUE(config.output.empty());
}

// A header is only a claim: a forged ".kms" of a few bytes with a vast cover
// and a fine table gets a raster no larger than its members hold, none when
// it has no members, and no raster beyond the memory budget.
TEST(CompoundIOTest, RasterizeIsBoundByTheMembersAndTheBudget) {
    struct Case {
        const char* name;
        bool membersKept;
        uint64_t budget;  // 0: the default
        long result, columns;
    };
    const Case cases[] = {
        {"forged cover and table over real members", true, 0, 0, 9},
        {"forged header without members", false, 0, KIVOCompoundIO::kBadArgument, 0},
        {"raster beyond the budget", true, 100, KIVOCompoundIO::kNoMemory, 0},
    };
    KIVOResourceManager& manager = KIVOResourceManager::m_instance;
    const uint64_t limit = manager.getMemoryLimit();
    for (const Case& c : cases) {
        TempFolder dir;
        {
            auto io = createCompound(dir, "s", twoRanges());
            setDepth(*io, 2.0, 3.0, 12.0, 12.0);
            ASSERT_EQ(0, io->store(nullptr));
        }
        KIVOResolutionTable fine;
        for (const auto& e : twoRanges()) fine[e.first] = 0.25f;
        KIVOCompoundDataHeader forged(NORVAArray<double>{0.0, 0.0}, NORVAArray<double>{4000.0, 4000.0}, "Depth", fine);
        FILE* f = std::fopen(dir.file("s.kms").toUTF8().c_str(), "wb");
        ASSERT_EQ(0, forged.write(f));
        std::fclose(f);
        if (!c.membersKept) NORVAFileUtils::removeDirectory(dir.file("s"), true);
        testing::internal::CaptureStdout();
        KIVOCompoundIO io(dir.file("s.kms"));
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(0, io.getStatus()) << c.name;
        if (c.budget) manager.setMemoryLimit(c.budget);
        KIVOSurfaceDataIO::rasterizeConfig config;
        config.attribute = "Depth";
        config.maxX = config.maxY = 4000.0;
        config.noData = -1.0f;
        const long result = io.rasterize(config);
        manager.setMemoryLimit(limit);
        EXPECT_EQ(c.result, result) << c.name;
        if (result != 0) {
            EXPECT_TRUE(config.output.empty()) << c.name;
            continue;
        }
        EXPECT_EQ(c.columns, config.columns) << c.name;
        EXPECT_EQ(c.columns, config.rows) << c.name;
        EXPECT_DOUBLE_EQ(1.0, config.cellX) << c.name;  // the finest member's own resolution
        EXPECT_FLOAT_EQ(12.0f, config.output[3 * 9 + 2]) << c.name;
    }
}

TEST(CompoundIOTest, MemberListsAndRegistry) {
    TempFolder dir;
    {
        auto io = createCompound(dir, "s", threeRanges());
        std::vector<const KIVOCompoundIO::DataIORangeEntry*> list;
        io->getDataIOList(list);
        ASSERT_EQ(3u, list.size());
        EXPECT_FLOAT_EQ(4.0f, list[0]->resolution);
        EXPECT_FLOAT_EQ(1.0f, list[2]->resolution);
        std::vector<KIVOSurfaceDataIO*> members;
        io->getDataIOList(members);
        EXPECT_EQ(list[0]->dataIO.get(), members[0]);
        std::vector<NORVAUString> files;
        io->getAssociatedFiles(files);
        ASSERT_GE(files.size(), 2u);
        EXPECT_EQ(dir.file("s.kms"), files[files.size() - 2]);
        EXPECT_EQ(dir.file("s.xml"), files.back());
        ASSERT_EQ(0, io->store(nullptr));
    }
    NORVAType<KIVOSurfaceDataIO> opened = KIVOSurfaceUtils::getDataIO(dir.file("s.kms"));
    ASSERT_TRUE(opened);
    EXPECT_NE(nullptr, dynamic_cast<KIVOCompoundIO*>(opened.get()));
    EXPECT_EQ(0, opened->getStatus());
    EXPECT_EQ(0, opened->deleteAllFiles(true));
    EXPECT_FALSE(NORVAFileUtils::exists(dir.file("s.kms")));
    EXPECT_FALSE(NORVAFileUtils::exists(dir.file("s")));
}

TEST(CompoundIOTest, CubeMembersAreCreatedStoredAndReopened) {
    TempFolder dir;
    testing::internal::CaptureStdout();
    {
        auto io = cubeCompound(dir, "c");
        ASSERT_TRUE(io);
        ASSERT_EQ(0, io->getStatus());
        ASSERT_EQ(0, io->store(nullptr));
    }
    KIVOCompoundIO reopened(dir.file("c.kms"));
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(0, reopened.getStatus());
    ASSERT_EQ(2u, reopened.getEntries().size());
    EXPECT_TRUE(NORVAFileUtils::isRegularFile(dir.file("c/c_1.vcs")));
}

TEST(CompoundIOTest, RenameKeepsEditedGridsOfCubeMembers) {
    TempFolder dir;
    testing::internal::CaptureStdout();
    {
        auto io = cubeCompound(dir, "c");
        ASSERT_TRUE(io);
        ASSERT_EQ(0, io->getStatus());
        ASSERT_EQ(0, io->store(nullptr));
        auto* cube = dynamic_cast<KIVOSurfaceCUBEIO*>(io->getEntries()[0].dataIO.get());
        ASSERT_NE(nullptr, cube);
        long status = 0;
        auto entry = cube->getGrid(2.0, 2.0, status, true);
        ASSERT_TRUE(entry) << status;
        _cube_node* node = cube->getCubeNode(2.0, 2.0, status, false);
        ASSERT_NE(nullptr, node);
        ASSERT_EQ(1, cube_node_add_basic_hypothesis(node, 14.0f, 0.25f));
        entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
        entry.reset();
        ASSERT_EQ(0, io->rename("d"));
    }
    KIVOCompoundIO reopened(dir.file("d.kms"));
    ASSERT_EQ(0, reopened.getStatus());
    auto* cube = dynamic_cast<KIVOSurfaceCUBEIO*>(reopened.getEntries()[0].dataIO.get());
    ASSERT_NE(nullptr, cube);
    long status = 0;
    const _cube_node* node = cube->getCubeNode(2.0, 2.0, status, false);
    testing::internal::GetCapturedStdout();
    ASSERT_NE(nullptr, node) << "the edited grid was not written under the new name";
    ASSERT_NE(0u, node->hypotheses);
    EXPECT_FLOAT_EQ(14.0f, cube_node_hyp(node, node->hypotheses)->depth);
    EXPECT_FALSE(NORVAFileUtils::exists(dir.file("c")));
}

// A member that cannot take a node (a CUBE member keeps no generic edit),
// or cannot write an edited CUBE grid when flushed or closed, fails the
// compound's call instead of leaving the data lost unheard.
TEST(CompoundIOTest, AMemberThatCannotWriteFailsTheCall) {
    TempFolder outside;
    EXPECT_NE(0, setDepth(*createCompound(outside, "s", twoRanges()), -500.0, -500.0, 12.5, DBL_MAX));
    for (auto run : {+[](KIVOCompoundIO& io) { return io.flush(); }, +[](KIVOCompoundIO& io) { return io.close(); }}) {
        TempFolder dir;
        testing::internal::CaptureStdout();
        auto io = cubeCompound(dir, "c");
        ASSERT_TRUE(io && io->getStatus() == 0);
        EXPECT_EQ(-1, setDepth(*io, 2.0, 2.0, 12.5, DBL_MAX));  // a CUBE member keeps no generic edit
        ASSERT_EQ(0, io->store(nullptr));
        auto* cube = dynamic_cast<KIVOSurfaceCUBEIO*>(io->getEntries()[0].dataIO.get());
        long status = 0;
        auto entry = cube->getGrid(2.0, 2.0, status, true);
        ASSERT_TRUE(entry) << status;
        ASSERT_EQ(1, cube_node_add_basic_hypothesis(cube->getCubeNode(2.0, 2.0, status, false), 14.0f, 0.25f));
        entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
        entry.reset();
        // The member folder is replaced by a file: no grid can be written.
        ASSERT_TRUE(NORVAFileUtils::removeDirectory(dir.file("c"), true));
        std::fclose(std::fopen(dir.file("c").toUTF8().c_str(), "wb"));
        const long rc = run(*io);
        testing::internal::GetCapturedStdout();
        EXPECT_NE(0, rc);
    }
}
