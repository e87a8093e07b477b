// Opening weighted-grid surfaces, their node values, files and budget.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <unistd.h>

#include "WGridTestSupport.h"
#include "core/KIVOSurfaceOpen.h"
#include "formats/wgrid/KIVOSurfaceWGridMetaData.h"
#include "formats/wgrid/KIVOWGridDataIO.h"
#include "platform/frame/KIVOResourceManager.h"
#include "platform/proj/NORVACoordSystem.h"

using namespace wgridtest;

namespace {

// An n x n raster in fragments of s, the rest as GridShape has it.
GridShape squareGrid(uint32_t n, uint32_t s) {
    GridShape g;
    g.nx = g.ny = n;
    g.s = s;
    return g;
}

struct Surface {
    TempFolder dir;
    std::string stem;
    explicit Surface(const GridShape& g, const std::string& name = "grid") {
        stem = dir.file(name).toUTF8();
        writeSurface(stem, g);
    }
    NORVAUString def() const { return NORVAUString(stem + ".def"); }
};

TEST(WGridDataIO, OpensAndDerivesTheGeometry) {
    GridShape g;  // nx = 100, s = 50
    Surface s(g);
    KIVOWGridDataIO io(s.def());
    ASSERT_EQ(io.getStatus(), 0);
    EXPECT_EQ(io.getNumFragsX(), 3u);
    EXPECT_EQ(io.getNumFragsY(), 2u);
    EXPECT_EQ(io.getMinimum(), (NORVAArray<double>{g.swX(), g.swY()}));
    EXPECT_EQ(io.getMaximum(), (NORVAArray<double>{g.swX() + 200.0, g.swY() + 120.0}));
    EXPECT_EQ(io.getSourceName(), s.def());
    ASSERT_NE(io.getCoordSystem(), nullptr);
    EXPECT_TRUE(io.getCoordSystem()->isEqual(NORVACoordSystem("EPSG:32631")));

    const KIVOSurfaceMetaData* meta = io.getMetaData();
    ASSERT_NE(meta, nullptr);
    double minX, minY, maxX, maxY, rx, ry;
    ASSERT_EQ(meta->getCover(minX, minY, maxX, maxY), 0);
    EXPECT_EQ(minX, g.swX());
    EXPECT_EQ(maxY, g.swY() + 120.0);
    meta->getResolution(rx, ry);
    EXPECT_EQ(rx, 2.0);
    EXPECT_EQ(ry, 2.0);
    const KIVODescriptor& d = meta->getAttributeTable()->getDescriptor();
    ASSERT_EQ(d.getNumberOfAttributes(), 1);
    EXPECT_EQ(d.getAttributeName(0).toUTF8(), "Depth");
    EXPECT_EQ(d.getAttributeType(0), KIVODataType::FLOAT);
    EXPECT_EQ(d.getUnitDirection(0).toUTF8(), "DEPTH");
    float maxDepth = 0;
    EXPECT_EQ(meta->getAttributeTable()->getMetaAttribute().getMaximum().getValue(0, maxDepth), 0);
    EXPECT_EQ(maxDepth, 99.0f);
    EXPECT_EQ(meta->getClassTypeName().toUTF8(), "DazavazEdora::RWMetaData");
}

TEST(WGridDataIO, DepthIsSumOverWeightForEveryPixel) {
    GridShape g;
    g.nx = 7;
    g.ny = 5;
    g.s = 3;
    g.cell = [](uint32_t c, uint32_t r, float& sum, float& weight) {
        weight = (c * 7 + r) % 4 == 0 ? 0.0f : static_cast<float>(0.5 * ((c + 2 * r) % 5 + 1));
        sum = weight * 3.0f + static_cast<float>(c) - 0.125f * static_cast<float>(r);
    };
    Surface s(g);
    KIVOWGridDataIO io(s.def());
    ASSERT_EQ(io.getStatus(), 0);
    for (uint32_t r = 0; r < g.ny; ++r) {
        for (uint32_t c = 0; c < g.nx; ++c) {
            float value = 0, expected = 0;
            ASSERT_EQ(io.getDepth(c, r, value), 0);
            if (expectedDepth(g, c, r, expected))
                EXPECT_EQ(value, expected) << c << "," << r;
            else
                EXPECT_EQ(value, FLT_MAX) << c << "," << r;
        }
    }
    float v;
    EXPECT_EQ(io.getDepth(g.nx, 0, v), -1);
    EXPECT_EQ(io.getDepth(0, g.ny, v), -1);
}

TEST(WGridDataIO, IntensityModeKeepsTheLowByteOfTheWholePart) {
    GridShape g = squareGrid(4, 4);
    g.representation = "intensity";
    g.cell = [](uint32_t c, uint32_t r, float& sum, float& weight) {
        weight = c == 0 ? 0.0f : 2.0f;
        sum = 2.0f * (static_cast<float>(c * 100) + 0.75f);  // 100.75, 200.75, 300.75
    };
    Surface s(g);
    KIVOWGridDataIO io(s.def(), "Depth");
    ASSERT_EQ(io.getStatus(), 0);
    EXPECT_TRUE(io.isIntensity());
    EXPECT_EQ(io.getMetaData()->getAttributeTable()->getDescriptor().getAttributeType(0), KIVODataType::UCHAR);
    const float expected[] = {0, 100, 200, 300 % 256};
    for (uint32_t c = 0; c < 4; ++c) {
        float v = -1;
        ASSERT_EQ(io.getDepth(c, 1, v), 0);
        EXPECT_EQ(v, expected[c]);
    }
    EXPECT_EQ(io.getDepthFragment(0), nullptr);
    EXPECT_NE(io.getIntensityFragment(0), nullptr);
}

struct OpenCase {
    const char* name;
    std::function<void(GridShape&)> change;
    long status;
};

TEST(WGridDataIO, RefusesSizesThatDescribeNoRaster) {
    const OpenCase cases[] = {
        {"fragment size 0", [](GridShape& g) { g.s = 0; }, 146142},
        {"no pixels across", [](GridShape& g) { g.nx = 0; }, 146142},
        {"no pixels down", [](GridShape& g) { g.ny = 0; }, 146142},
        {"resolution 0", [](GridShape& g) { g.resolution = 0.0; }, 146142},
        {"negative resolution", [](GridShape& g) { g.resolution = -2.0; }, 146142},
        {"a valid grid", [](GridShape&) {}, 0},
    };
    for (const OpenCase& c : cases) {
        GridShape g = squareGrid(10, 5);
        GridShape written = g;
        c.change(g);
        Surface s(written);
        testsupport::writeFile(s.stem + ".def", defText(g));
        KIVOWGridDataIO io(s.def());
        EXPECT_EQ(io.getStatus(), c.status) << c.name;
    }
}

TEST(WGridDataIO, DefinitionAndHeaderFailuresAreTheStatus) {
    GridShape g;
    {
        TempFolder dir;
        KIVOWGridDataIO io(dir.file("none.def"));
        EXPECT_EQ(io.getStatus(), 146141);
    }
    {
        Surface s(g);
        testsupport::writeFile(s.stem + ".def", "Version 1\nold\n");
        EXPECT_EQ(KIVOWGridDataIO(s.def()).getStatus(), 146142);
    }
    {
        Surface s(g);
        NORVAFileUtils::removeFile(NORVAUString(s.stem + ".des"));
        EXPECT_EQ(KIVOWGridDataIO(s.def()).getStatus(), 146146);
    }
    {
        Surface s(g);
        testsupport::writeFile(s.stem + ".des", "NORVA RASTER HEADER 1\nCOORDINATE SYSTEM = nowhere\n");
        EXPECT_NE(KIVOWGridDataIO(s.def()).getStatus(), 0);
    }
}

TEST(WGridDataIO, PrefersItsOwnRasterHeaderThenTheFirstInOrder) {
    GridShape g;
    Surface s(g, "m");
    const std::string folder = s.dir.path().toUTF8() + "/";
    testsupport::writeFile(folder + "a.des", "NORVA RASTER HEADER 1\nCOORDINATE SYSTEM = EPSG:4326\n");
    testsupport::writeFile(folder + "z.des", "NORVA RASTER HEADER 1\nCOORDINATE SYSTEM = EPSG:3857\n");
    {
        KIVOWGridDataIO io(s.def());
        ASSERT_EQ(io.getStatus(), 0);
        EXPECT_TRUE(io.getCoordSystem()->isEqual(NORVACoordSystem("EPSG:32631")));
    }
    NORVAFileUtils::removeFile(NORVAUString(s.stem + ".des"));
    KIVOWGridDataIO io(s.def());
    ASSERT_EQ(io.getStatus(), 0);
    EXPECT_TRUE(io.getCoordSystem()->isEqual(NORVACoordSystem("EPSG:4326")));
}

TEST(WGridDataIO, StoreIsRefusedWhileTheMetadataRewritesTheDefinition) {
    GridShape g;
    g.extraData = "COMMENT = hello, world\n";
    Surface s(g);
    KIVOWGridDataIO io(s.def());
    ASSERT_EQ(io.getStatus(), 0);
    EXPECT_EQ(io.store(nullptr), 146140);
    ASSERT_EQ(io.getMetaData()->getSourceRecord().items.size(), 1u);
    EXPECT_EQ(io.getMetaData()->getSourceRecord().items[0].key.toUTF8(), "COMMENT");
    EXPECT_EQ(io.getMetaData()->getSourceRecord().items[0].value.toUTF8(), "hello");

    testsupport::writeFile(s.stem + ".def", "changed");
    ASSERT_EQ(io.getMetaData()->store(), 0);
    const std::string text = testsupport::readFile(s.stem + ".def");
    EXPECT_NE(text.find("COMMENT = hello, world\nOUTDATED = FALSE\n"), std::string::npos);
    EXPECT_NE(text.find("DIMENSIONS = 200.000000000,120.000000000"), std::string::npos);
    KIVOWGridDataIO again(s.def());
    EXPECT_EQ(again.getStatus(), 0);
}

TEST(WGridDataIO, FragmentsComeFromTheCacheUntilFlushed) {
    GridShape g = squareGrid(10, 5);
    Surface s(g);
    KIVOWGridDataIO io(s.def());
    ASSERT_EQ(io.getStatus(), 0);
    ASSERT_NE(io.getDepthFragment(0), nullptr);
    // With the data gone, a cached fragment is still served ...
    NORVAFileUtils::removeFile(NORVAUString(s.stem + ".sum"));
    EXPECT_NE(io.getDepthFragment(0), nullptr);
    EXPECT_EQ(io.getDepthFragment(1), nullptr);
    // ... and a failed one is remembered until flush.
    writeSurface(s.stem, g);
    EXPECT_EQ(io.getDepthFragment(1), nullptr);
    EXPECT_EQ(io.flush(), 0);
    EXPECT_NE(io.getDepthFragment(1), nullptr);
    EXPECT_EQ(io.getDepthFragment(io.getNumFragsX() * io.getNumFragsY()), nullptr);
}

TEST(WGridDataIO, FreedFragmentsStopCountingAgainstTheBudget) {
    GridShape g = squareGrid(20, 10);
    Surface s(g);
    KIVOResourceManager& budget = KIVOResourceManager::m_instance;
    KIVOWGridDataIO io(s.def());
    ASSERT_EQ(io.getStatus(), 0);
    EXPECT_TRUE(budget.isMember(&io));
    budget.resetMemoryLimit();
    const uint32_t before = budget.m_available;
    for (uint64_t f = 0; f < 4; ++f) ASSERT_NE(io.getDepthFragment(f), nullptr);
    EXPECT_EQ(io.getHeldBytes(), 9u * 8u + 4u * 400u);
    budget.resetMemoryLimit();
    EXPECT_EQ(before - budget.m_available, 9u * 8u + 4u * 400u);
    io.flush();
    budget.resetMemoryLimit();
    EXPECT_EQ(before - budget.m_available, 9u * 8u);

    // A budget too small for a fragment makes room by flushing, then refuses.
    const uint64_t limit = budget.getMemoryLimit();
    budget.setMemoryLimit(9u * 8u + 4u * 400u + 100u);
    for (uint64_t f = 0; f < 4; ++f) EXPECT_NE(io.getDepthFragment(f), nullptr);
    budget.setMemoryLimit(9u * 8u + 100u);
    io.flush();
    EXPECT_EQ(io.getDepthFragment(0), nullptr);
    budget.setMemoryLimit(limit);
}

TEST(WGridDataIO, GridIndexFailures) {
    struct IndexCase {
        const char* name;
        std::function<void(const std::string& stem)> damage;
        long status;
    };
    const IndexCase cases[] = {
        {"no weight file", [](const std::string& stem) { NORVAFileUtils::removeFile(NORVAUString(stem + ".weight")); },
         146145},
        {"weight file cut short after opening",
         [](const std::string& stem) { writeBytes(stem + ".weight", std::vector<uint8_t>(8 * 9 - 1, 0)); }, 146142},
    };
    for (const IndexCase& c : cases) {
        GridShape g = squareGrid(20, 10);
        Surface s(g);
        KIVOWGridDataIO io(s.def());
        ASSERT_EQ(io.getStatus(), 0) << c.name;
        c.damage(s.stem);
        EXPECT_EQ(io.readGridIndex(), c.status) << c.name;
        long status = 0;
        NORVAType<KIVOSurfaceIter> iter = io.query(-1e9, -1e9, 1e9, 1e9, false, status, nullptr, DBL_MAX);
        EXPECT_EQ(status, c.status) << c.name;
        ASSERT_TRUE(iter) << c.name;
        long doneStatus = 0;
        EXPECT_TRUE(iter->done(doneStatus)) << c.name;
        EXPECT_EQ(doneStatus, c.status) << c.name;
    }
}

TEST(WGridDataIO, HugePixelCountsNeedAnIndexTheFileHolds) {
    GridShape g = squareGrid(2147483647, 1);
    g.resolution = 1e-3;
    TempFolder dir;
    const std::string stem = dir.file("huge").toUTF8();
    testsupport::writeFile(stem + ".def", defText(g));
    testsupport::writeFile(stem + ".des", kDes);
    writeBytes(stem + ".weight", std::vector<uint8_t>(64, 0));
    writeBytes(stem + ".sum", std::vector<uint8_t>(64, 0));
    KIVOWGridDataIO io(NORVAUString(stem + ".def"));
    EXPECT_EQ(io.getStatus(), 146142);
    float v;
    EXPECT_EQ(io.getDepth(5, 5, v), -1);
    long status = 0;
    EXPECT_FALSE(io.query(0, 0, 1, 1, false, status, nullptr, DBL_MAX));
    EXPECT_EQ(status, 146142);
}

TEST(WGridDataIO, RenameMovesAllThreeFilesOrNone) {
    GridShape g = squareGrid(10, 5);
    Surface s(g, "old");
    const std::string folder = s.dir.path().toUTF8() + "/";
    KIVOWGridDataIO io(s.def());
    ASSERT_EQ(io.getStatus(), 0);

    // A surface already named so is not overwritten; nothing moves.
    testsupport::writeFile(folder + "taken.sum", "other");
    EXPECT_EQ(io.rename("taken"), 146006);
    for (const char* ext : {".weight", ".sum", ".def"}) EXPECT_TRUE(testsupport::fileExists(folder + "old" + ext));
    EXPECT_EQ(testsupport::readFile(folder + "taken.sum"), "other");
    EXPECT_FALSE(testsupport::fileExists(folder + "taken.weight"));
    EXPECT_EQ(io.getSourceName().toUTF8(), folder + "old.def");

    ASSERT_EQ(io.rename("new.def"), 0);
    for (const char* ext : {".weight", ".sum", ".def"}) {
        EXPECT_FALSE(testsupport::fileExists(folder + "old" + ext));
        EXPECT_TRUE(testsupport::fileExists(folder + "new" + ext));
    }
    EXPECT_EQ(io.getSourceName().toUTF8(), folder + "new.def");
    io.flush();
    EXPECT_NE(io.getDepthFragment(0), nullptr);
}

TEST(WGridDataIO, RenameInAReadOnlyFolderLeavesTheSurfaceWhole) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    GridShape g = squareGrid(10, 5);
    Surface s(g, "old");
    const std::string folder = s.dir.path().toUTF8();
    KIVOWGridDataIO io(s.def());
    ASSERT_EQ(io.getStatus(), 0);
    chmod(folder.c_str(), 0555);
    const long status = io.rename("new");
    chmod(folder.c_str(), 0755);
    EXPECT_EQ(status, 146006);
    for (const char* ext : {".weight", ".sum", ".def"}) EXPECT_TRUE(testsupport::fileExists(folder + "/old" + ext));
    EXPECT_EQ(KIVOWGridDataIO(s.def()).getStatus(), 0);
}

TEST(WGridDataIO, DeleteAllFilesAndAssociatedFiles) {
    GridShape g = squareGrid(10, 5);
    Surface s(g);
    KIVOWGridDataIO io(s.def());
    std::vector<NORVAUString> files;
    ASSERT_EQ(io.getAssociatedFiles(files), 0);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].toUTF8(), s.stem + ".weight");
    EXPECT_EQ(files[1].toUTF8(), s.stem + ".sum");
    EXPECT_EQ(files[2].toUTF8(), s.stem + ".def");
    NORVAFileUtils::removeFile(NORVAUString(s.stem + ".sum"));
    EXPECT_EQ(io.deleteAllFiles(false), 0);
    for (const NORVAUString& f : files) EXPECT_FALSE(NORVAFileUtils::exists(f));
    EXPECT_TRUE(testsupport::fileExists(s.stem + ".des"));
}

TEST(WGridDataIO, OpensThroughTheFormatRegistry) {
    GridShape g = squareGrid(10, 5);
    Surface s(g);
    long status = -7;
    NORVAType<KIVOSurface> surface = KIVOSurfaceUtils::open(s.def(), status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(surface);
    TempFolder empty;
    KIVOSurfaceUtils::open(empty.file("none.def"), status);
    EXPECT_EQ(status, 146141);
}

}  // namespace
