// The PFM surface: construction, metadata, box, area and point queries,
// attribute sets, copies and rasterising.
#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <map>
#include <set>
#include <string>

#include "PFMTestSupport.h"
#include "core/KIVOSurfaceOpen.h"
#include "formats/pfm/KIVOPFMDataIO.h"
#include "formats/pfm/PFMAttributeSet.h"
#include "formats/pfm/PFMIter.h"
#include "formats/pfm/pfm_bins.h"
#include "formats/pfm/pfm_error.h"
#include "formats/pfm/pfm_handles.h"
#include "formats/pfm/pfm_header.h"
#include "formats/pfm/pfm_open.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/shapes/NORVAAreaGeometry.h"
#include "platform/shapes/NORVALineGeometry.h"
#include "platform/shapes/NORVAPointGeometry.h"

namespace {

using Bins = std::set<std::pair<int, int>>;

// (column, row) of every node an iterator serves, in order.
std::vector<std::pair<int, int>> nodes(KIVOSurfaceIter& iter) {
    std::vector<std::pair<int, int>> out;
    long status = 0;
    while (!iter.done(status)) {
        double x = 0, y = 0;
        const long none = -1;
        EXPECT_EQ(iter.getPosition(x, y, none), 0);
        out.emplace_back(static_cast<int>((x - 1000.0) / 10.0), static_cast<int>((y - 2000.0) / 10.0));
        if (!iter.next(status)) break;
        EXPECT_EQ(status, 0);
    }
    return out;
}

class PFMDataIOTest : public ::testing::Test {
protected:
    void SetUp() override { paths = pfmfixture::write(dir.path(), "survey.pfm", pfmtest::projectedPlan()); }
    testsupport::ScratchDir dir;
    pfmfixture::Paths paths;
};

TEST_F(PFMDataIOTest, OpenedByConstructionNotThroughTheRegistry) {
    long status = 0;
    EXPECT_FALSE(KIVOSurfaceUtils::open(NORVAUString(paths.handle), status));
    EXPECT_EQ(status, 146009);

    KIVOPFMDataIO io{NORVAUString(paths.handle)};
    EXPECT_EQ(io.getStatus(), 0);
    EXPECT_EQ(io.getPFMHandle(), -1);  // not opened by construction
    double minX, minY, maxX, maxY;
    ASSERT_EQ(io.getMetaData()->getCover(minX, minY, maxX, maxY), 0);
    EXPECT_DOUBLE_EQ(minX, 1000.0);
    EXPECT_DOUBLE_EQ(minY, 2000.0);
    EXPECT_DOUBLE_EQ(maxX, 1100.0);
    EXPECT_DOUBLE_EQ(maxY, 2050.0);
    EXPECT_EQ(io.getMinimum(), (NORVAArray<double>{1000.0, 2000.0}));
    EXPECT_EQ(io.getMaximum(), (NORVAArray<double>{1100.0, 2050.0}));
    double rx, ry, w, h;
    io.getMetaData()->getResolution(rx, ry);
    io.getMetaData()->getDimensions(w, h);
    EXPECT_DOUBLE_EQ(rx, 10.0);
    EXPECT_DOUBLE_EQ(ry, 10.0);
    EXPECT_DOUBLE_EQ(w, 100.0);
    EXPECT_DOUBLE_EQ(h, 50.0);
    EXPECT_EQ(io.getMetaData()->getClassTypeName(), NORVAUString("DazavazEdora::RWMetaData"));
    EXPECT_EQ(io.getMetaData()->getDescriptiveFields().creationDate, NORVAUString("Mon Dec  7 2026"));
    ASSERT_NE(io.getCoordSystem(), nullptr);
    const KIVOSurfaceAttributeTable* table = io.getAttributeInfo();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->getNumAttributes(), 3);
    double value = 0.0;
    table->getMetaAttribute().getMaximum().getDoubleValue(1, value, false);
    EXPECT_DOUBLE_EQ(value, 40.0);
    std::vector<NORVAUString> files;
    EXPECT_EQ(io.getAssociatedFiles(files), 0);
    EXPECT_EQ(files, std::vector<NORVAUString>{NORVAUString(paths.handle)});
    EXPECT_EQ(io.getSourceName(), NORVAUString(paths.handle));
    // The metadata closed its own handle.
    for (int32_t i = 0; i < PFM_MAX_FILES; ++i) EXPECT_EQ(pfm_handle_table(i), -1);
}

TEST_F(PFMDataIOTest, FilesThatCannotBeReadGiveStatusMinusOne) {
    testing::internal::CaptureStdout();
    KIVOPFMDataIO missing{NORVAUString(dir.file("none.pfm"))};
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(missing.getStatus(), -1);
    EXPECT_NE(printed.find("PFM Error: "), std::string::npos);
    EXPECT_NE(printed.find("does not exist"), std::string::npos);
    EXPECT_EQ(missing.open(), -1);
    EXPECT_EQ(missing.getPFMHandle(), -1);
    long status = 0;
    auto iter = missing.query(0, 0, 1e9, 1e9, false, status, nullptr, DBL_MAX);
    ASSERT_TRUE(iter);
    EXPECT_TRUE(iter->done(status));
    EXPECT_FALSE(testsupport::fileExists(dir.file("none.pfm")));  // nothing created
}

TEST_F(PFMDataIOTest, DescriptorEntriesStopAtTheFirstEmptyAttributeName) {
    struct Case {
        std::array<std::string, 3> names;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{"Tide", "", "Quality"}, {"DEPTH", "Max_Depth", "Average_Depth", "Tide"}},
        {{"A", "B", "C"}, {"DEPTH", "Max_Depth", "Average_Depth", "A", "B", "C"}},
        {{"", "B", ""}, {"DEPTH", "Max_Depth", "Average_Depth"}},
    };
    int n = 0;
    for (const Case& c : cases) {
        pfmfixture::Plan plan = pfmtest::projectedPlan();
        plan.attrNames = c.names;
        plan.attrMin = {-1.0f, -2.0f, -3.0f};
        plan.attrMax = {1.0f, 2.0f, 3.0f};
        const auto p = pfmfixture::write(dir.path(), "attr" + std::to_string(n++) + ".pfm", plan);
        KIVOPFMDataIO io{NORVAUString(p.handle)};
        ASSERT_EQ(io.getStatus(), 0);
        const KIVODescriptor& d = io.getAttributeInfo()->getDescriptor();
        ASSERT_EQ(d.getNumberOfAttributes(), static_cast<long>(c.expected.size()));
        for (size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_EQ(d.getAttributeName(static_cast<long>(i)), NORVAUString(c.expected[i]));
        EXPECT_EQ(d.getUnitKey(0), NORVAUString("m"));
        EXPECT_EQ(d.getUnitDirection(2), NORVAUString("DEPTH"));
        if (c.expected.size() > 3) {
            double v = 0.0;
            io.getAttributeInfo()->getMetaAttribute().getMinimum().getDoubleValue(3, v, false);
            EXPECT_DOUBLE_EQ(v, -1.0);
            EXPECT_TRUE(d.getUnitKey(3).isEmpty());
        }
    }
}

TEST_F(PFMDataIOTest, BoxQueries) {
    KIVOPFMDataIO io{NORVAUString(paths.handle)};
    struct Case {
        const char* name;
        double x0, y0, x1, y1;
        std::vector<std::pair<int, int>> expected;
        long count;
    };
    const Case cases[] = {
        // The whole cover, an exact number of bins: the last column and row are
        // reached and nothing wraps into the next row.
        {"full cover", 1000, 2000, 1100, 2050, {{0, 0}, {9, 0}, {0, 1}, {3, 2}, {9, 4}}, 36},
        {"larger than the cover", -1e9, -1e9, 1e9, 1e9, {{0, 0}, {9, 0}, {0, 1}, {3, 2}, {9, 4}}, 36},
        {"one bin", 1031, 2021, 1039, 2029, {{3, 2}}, 0},  // a depth of 0 is still a node
        {"empty bins only", 1041, 2031, 1079, 2039, {}, 0},
        {"outside", 2000, 3000, 2100, 3100, {}, 0},
        {"zero width", 1050, 2000, 1050, 2050, {}, 0},
        {"east edge column", 1091, 2001, 1100, 2050, {{9, 0}, {9, 4}}, 0},
    };
    for (const Case& c : cases) {
        long status = -5;
        auto iter = io.query(c.x0, c.y0, c.x1, c.y1, false, status, nullptr, DBL_MAX);
        ASSERT_TRUE(iter) << c.name;
        EXPECT_EQ(status, 0);
        if (!c.expected.empty()) {
            EXPECT_EQ(iter->count(), c.count) << c.name;
        }
        EXPECT_EQ(nodes(*iter), c.expected) << c.name;
        long s = 0;
        EXPECT_TRUE(iter->done(s));
        EXPECT_FALSE(iter->next(s));  // done stays done
    }
}

TEST_F(PFMDataIOTest, AttributeSetServesThreeDepths) {
    KIVOPFMDataIO io{NORVAUString(paths.handle)};
    long status = 0;
    auto iter = io.query(1000, 2000, 1009, 2009, false, status, nullptr, DBL_MAX);
    ASSERT_TRUE(iter);
    ASSERT_FALSE(iter->done(status));
    KIVOAttributeSet* a = iter->getAttributes();
    float f = -1.0f;
    double d = -1.0;
    EXPECT_EQ(a->getValue(0, f), 0);
    EXPECT_FLOAT_EQ(f, 10.5f);
    EXPECT_EQ(a->getDoubleValue(1, d, false), 0);
    EXPECT_DOUBLE_EQ(d, 12.25);
    EXPECT_EQ(a->getValue(2, f), 0);
    EXPECT_FLOAT_EQ(f, 11.0f);
    f = 99.0f;
    EXPECT_EQ(a->getValue(3, f), 0);  // described, not served
    EXPECT_FLOAT_EQ(f, 99.0f);
    NORVAUString text;
    EXPECT_EQ(a->getStringValue(1, text, false), 0);
    EXPECT_EQ(text, NORVAUString("12.25"));
    EXPECT_EQ(a->getStringValue(3, text, false), -1);
    EXPECT_EQ(a->getValue(0, d), -1);
    long l = 0;
    EXPECT_EQ(a->getValue(0, l), -1);
    EXPECT_EQ(a->setValue(0, 5.0f), 0);
    EXPECT_EQ(a->getValue(0, f), 0);
    EXPECT_FLOAT_EQ(f, 10.5f);  // unchanged: read-only
    EXPECT_EQ(a->setValue(0, 5.0), -1);
    EXPECT_EQ(iter->setAttributes(*a), -1);
    EXPECT_TRUE(a->isSet(0));
    EXPECT_TRUE(a->isSet(7));
    EXPECT_FALSE(a->isEmpty());
    auto copy = a->newCopy();
    EXPECT_TRUE(a->reset());
    EXPECT_TRUE(a->isEmpty());
    EXPECT_EQ(copy->getValue(0, f), 0);
    EXPECT_FLOAT_EQ(f, 10.5f);
    EXPECT_EQ(&iter->getAttributeDescriptor(), &io.getAttributeInfo()->getDescriptor());
}

TEST_F(PFMDataIOTest, PointQueries) {
    KIVOPFMDataIO io{NORVAUString(paths.handle)};
    struct Case {
        const char* name;
        double x, y;
        bool node;
        uint32_t count;
    };
    const Case cases[] = {
        {"bin with soundings", 1005, 2005, true, 3},
        {"empty bin", 1055, 2025, true, 0},
        {"just east of the cover", 1100.5, 2005, false, 0},  // would read bin (0, 1)
        {"just north of the cover", 1005, 2050.5, false, 0},
        {"west of the cover", 985, 2005, false, 0},
    };
    for (const Case& c : cases) {
        long status = 0;
        auto iter = io.query(NORVAPointGeometry(c.x, c.y), false, status, nullptr, DBL_MAX);
        ASSERT_TRUE(iter) << c.name;
        EXPECT_EQ(iter->done(status), !c.node) << c.name;
        if (c.node) {
            const auto* set = static_cast<const PFMAttributeSet*>(iter->getAttributes());
            EXPECT_EQ(set->getRecord().num_soundings, c.count) << c.name;
            EXPECT_EQ(set->isEmpty(), c.count == 0) << c.name;
            EXPECT_EQ(iter->count(), 0);
            EXPECT_FALSE(iter->next(status));
            EXPECT_TRUE(iter->done(status));
        } else {
            EXPECT_TRUE(iter->getAttributes()->isEmpty()) << c.name;
        }
    }
}

TEST_F(PFMDataIOTest, AreaAndLineQueries) {
    KIVOPFMDataIO io{NORVAUString(paths.handle)};
    long status = 0;
    // A triangle over the south-west: (0, 0), (0, 1) and (3, 2) have centres inside, (9, 0) not.
    const NORVAAreaGeometry triangle({NORVAPoint2D(1000, 2000), NORVAPoint2D(1060, 2000), NORVAPoint2D(1000, 2040)});
    auto iter = io.query(triangle, false, status, nullptr, DBL_MAX);
    ASSERT_TRUE(iter);
    EXPECT_EQ(nodes(*iter), (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}}));
    const NORVAAreaGeometry wide({NORVAPoint2D(990, 1990), NORVAPoint2D(1200, 1990), NORVAPoint2D(990, 2090)});
    iter = io.query(wide, false, status, nullptr, DBL_MAX);
    EXPECT_EQ(nodes(*iter), (std::vector<std::pair<int, int>>{{0, 0}, {9, 0}, {0, 1}, {3, 2}}));
    const NORVALineGeometry line({NORVAPoint2D(1000, 2000), NORVAPoint2D(1100, 2050)});
    iter = io.query(line, false, status, nullptr, DBL_MAX);
    ASSERT_TRUE(iter);
    EXPECT_TRUE(iter->done(status));
}

TEST_F(PFMDataIOTest, CopiesOpenAndCloseTheirOwnHandles) {
    auto original = std::make_unique<KIVOPFMDataIO>(NORVAUString(paths.handle));
    ASSERT_EQ(original->open(), 0);
    const int32_t handle = original->getPFMHandle();
    ASSERT_GE(handle, 0);
    KIVOPFMDataIO copy(*original);
    EXPECT_EQ(copy.getPFMHandle(), -1);
    EXPECT_EQ(copy.getMetaData(), original->getMetaData());  // shared, not handed over
    ASSERT_EQ(copy.open(), 0);
    EXPECT_NE(copy.getPFMHandle(), handle);
    KIVOPFMDataIO assigned{NORVAUString(dir.file("none.pfm"))};
    testing::internal::CaptureStdout();
    assigned = copy;
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(assigned.getPFMHandle(), -1);
    EXPECT_EQ(assigned.getStatus(), 0);
    original.reset();  // closes its handle only
    EXPECT_EQ(pfm_handle_table(handle), -1);
    EXPECT_EQ(pfm_handle_table(copy.getPFMHandle()), copy.getPFMHandle());
    long status = 0;
    auto iter = copy.query(1000, 2000, 1100, 2050, false, status, nullptr, DBL_MAX);
    EXPECT_EQ(nodes(*iter).size(), 5U);
    EXPECT_NE(copy.getMetaData(), nullptr);
    EXPECT_EQ(copy.close(), 0);
    EXPECT_EQ(copy.close(), 0);
}

TEST_F(PFMDataIOTest, ViewingChangesNoFile) {
    std::map<std::string, std::string> before, after;
    pfmtest::snapshot(dir.path(), before);
    {
        KIVOPFMDataIO io{NORVAUString(paths.handle)};
        long status = 0;
        nodes(*io.query(0, 0, 1e9, 1e9, false, status, nullptr, DBL_MAX));
        KIVOSurfaceDataIO::rasterizeConfig config;
        config.attribute = NORVAUString("Depth");
        config.minX = 1000;
        config.minY = 2000;
        config.maxX = 1100;
        config.maxY = 2050;
        EXPECT_EQ(io.rasterize(config), 0);
        io.setModified(true);
        EXPECT_TRUE(io.isModified());
        EXPECT_EQ(io.store(nullptr), 0);
        EXPECT_EQ(io.flush(), 0);
        EXPECT_FALSE(io.isOutdated());
    }
    pfmtest::snapshot(dir.path(), after);
    EXPECT_EQ(before, after);
}

TEST_F(PFMDataIOTest, Rasterising) {
    KIVOPFMDataIO io{NORVAUString(paths.handle)};
    struct Case {
        const char* attribute;
        long result;
        float at00, at90;
    };
    const Case cases[] = {{"Depth", 0, 10.5f, 20.0f},
                          {"DEPTH", 0, 10.5f, 20.0f},
                          {"Max_Depth", 0, 12.25f, 21.0f},
                          {"Average_Depth", 0, 11.0f, 20.5f},
                          {"depth", -1, 0, 0},
                          {"Uncertainty", -1, 0, 0}};
    for (const Case& c : cases) {
        KIVOSurfaceDataIO::rasterizeConfig config;
        config.attribute = NORVAUString(c.attribute);
        config.minX = 900;  // clamped to the cover
        config.minY = 2000;
        config.maxX = 1100;
        config.maxY = 2100;
        config.cellX = 1.0;  // finer than the bins: the bin size is used
        config.noData = -1.0f;
        ASSERT_EQ(io.rasterize(config), c.result) << c.attribute;
        if (c.result != 0) continue;
        EXPECT_EQ(config.columns, 10);
        EXPECT_EQ(config.rows, 5);
        ASSERT_EQ(config.output.size(), 50U);
        EXPECT_FLOAT_EQ(config.output[0], c.at00);
        EXPECT_FLOAT_EQ(config.output[9], c.at90);
        EXPECT_FLOAT_EQ(config.output[10], 5.0f);
        EXPECT_FLOAT_EQ(config.output[2 * 10 + 3], 0.0f);
        EXPECT_FLOAT_EQ(config.output[4 * 10 + 9], 30.0f);
        EXPECT_FLOAT_EQ(config.output[1], -1.0f);  // empty bin: no data
    }
    // Coarser cells take every second bin.
    KIVOSurfaceDataIO::rasterizeConfig coarse;
    coarse.attribute = NORVAUString("Depth");
    coarse.minX = 1000;
    coarse.minY = 2000;
    coarse.maxX = 1100;
    coarse.maxY = 2050;
    coarse.cellX = coarse.cellY = 20.0;
    coarse.noData = -1.0f;
    ASSERT_EQ(io.rasterize(coarse), 0);
    EXPECT_EQ(coarse.columns, 5);
    EXPECT_EQ(coarse.rows, 3);
    EXPECT_FLOAT_EQ(coarse.output[0], 10.5f);
    EXPECT_FLOAT_EQ(coarse.output[1 * 5 + 0], -1.0f);  // bin row 2, column 0 is empty
    // A caller's own grid is used as given.
    std::vector<float> buffer(4, 7.0f);
    KIVOSurfaceDataIO::rasterizeConfig own;
    own.attribute = NORVAUString("Max_Depth");
    own.minX = 1000;
    own.minY = 2000;
    own.maxX = 1020;
    own.maxY = 2020;
    own.cellX = own.cellY = 10.0;
    own.columns = own.rows = 2;
    own.buffer = buffer.data();
    own.noData = -2.0f;
    ASSERT_EQ(io.rasterize(own), 0);
    EXPECT_EQ(buffer, (std::vector<float>{12.25f, -2.0f, 5.0f, -2.0f}));
}

TEST_F(PFMDataIOTest, GeographicSurfaces) {
    const auto p = pfmfixture::write(dir.path(), "geo.pfm", pfmtest::geographicPlan());
    KIVOPFMDataIO io{NORVAUString(p.handle)};
    ASSERT_EQ(io.getStatus(), 0);
    long status = 0;
    const NORVACoordSystem* cs = io.getMetaData()->getCoordSystem(status);
    ASSERT_NE(cs, nullptr);
    EXPECT_TRUE(cs->isGeographic());
    EXPECT_EQ(cs->getName(), NORVAUString("Geographic"));
    double rx = 0, ry = 0;
    io.getMetaData()->getResolution(rx, ry);
    EXPECT_DOUBLE_EQ(rx, 0.001);
    auto iter = io.query(-71, 42, -70, 43, false, status, nullptr, DBL_MAX);
    ASSERT_FALSE(iter->done(status));
    double x = 0, y = 0;
    const long none = -1;
    iter->getPosition(x, y, none);
    EXPECT_NEAR(x, -70.5 + 2.5 * 0.001, 1e-12);
    EXPECT_NEAR(y, 42.25 + 1.5 * 0.001, 1e-12);
    EXPECT_FALSE(iter->next(status));
    ASSERT_EQ(io.open(), 0);
    EXPECT_GT(io.getPFMHeader().bin_size_xy, 110.0);  // about 111 m of latitude
    EXPECT_LT(io.getPFMHeader().bin_size_xy, 112.0);
}

// A bin file cut short opens: every bin it still holds is served, the bins
// past the cut fail to read on their own, and a raster that needs them fails.
TEST_F(PFMDataIOTest, BinFileCutShortServesTheBinsItHolds) {
    const pfmfixture::Plan plan = pfmtest::projectedPlan();
    const long record = pfmfixture::recordBytes(plan);
    struct Case {
        long cut;  // bytes kept after the text header
        Bins served;
        bool rowZeroHeld;
    };
    const Case cases[] = {
        {49 * record + 3, {{0, 0}, {9, 0}, {0, 1}, {3, 2}}, true},  // inside the last bin
        {23 * record, {{0, 0}, {9, 0}, {0, 1}}, true},              // just before bin (3, 2)
        {10 * record + 1, {{0, 0}, {9, 0}}, true},
        {9 * record, {{0, 0}}, false},
        {0, {}, false},       // the header alone
    };
    const std::string piece = paths.bin + "/hugefile.000";
    const std::string whole = testsupport::readFile(piece);
    for (const Case& c : cases) {
        const std::string where = "cut " + std::to_string(c.cut);
        testsupport::writeFile(piece, whole.substr(0, static_cast<size_t>(16384 + c.cut)));
        KIVOPFMDataIO io{NORVAUString(paths.handle)};
        ASSERT_EQ(io.getStatus(), 0) << where;
        ASSERT_EQ(io.open(), 0) << where;
        long status = 0;
        auto all = io.query(0, 0, 1e9, 1e9, false, status, nullptr, DBL_MAX);
        const auto got = nodes(*all);
        EXPECT_EQ(Bins(got.begin(), got.end()), c.served) << where;
        EXPECT_EQ(got.size(), c.served.size()) << where;

        BIN_RECORD r;
        EXPECT_EQ(fetch_bin_record(io.getPFMHandle(), 9, 4, &r), -14) << where;
        BIN_RECORD row[10];
        EXPECT_EQ(read_bin_row(io.getPFMHandle(), 10, 4, 0, row), -14) << where;
        EXPECT_EQ(read_bin_row(io.getPFMHandle(), 10, 0, 0, row), c.rowZeroHeld ? 0 : -14) << where;

        KIVOSurfaceDataIO::rasterizeConfig cover;
        cover.attribute = NORVAUString("Depth");
        cover.minX = 1000;
        cover.minY = 2000;
        cover.maxX = 1100;
        cover.maxY = 2050;
        EXPECT_EQ(io.rasterize(cover), -1) << where;
        EXPECT_TRUE(cover.output.empty()) << where;
        std::vector<float> buffer(10, 7.0f);
        KIVOSurfaceDataIO::rasterizeConfig rowZero;
        rowZero.attribute = NORVAUString("Depth");
        rowZero.minX = 1000;
        rowZero.minY = rowZero.maxY = 2000;
        rowZero.maxX = 1090;
        rowZero.cellX = rowZero.cellY = 10.0;
        rowZero.columns = 10;
        rowZero.rows = 1;
        rowZero.buffer = buffer.data();
        rowZero.noData = -1.0f;
        EXPECT_EQ(io.rasterize(rowZero), c.rowZeroHeld ? 0 : -1) << where;
        if (c.rowZeroHeld) {
            EXPECT_FLOAT_EQ(buffer[0], 10.5f);
            EXPECT_FLOAT_EQ(buffer[9], 20.0f);
        }
    }
    testsupport::writeFile(piece, whole);
}

// A bin file cut inside its 16,384-byte header block is refused even when
// the header text itself is still whole: -14 from the library, -1 and a
// "PFM Error: " line from the surface.
TEST_F(PFMDataIOTest, BinFileCutInsideItsHeaderBlockIsRefused) {
    const std::string piece = paths.bin + "/hugefile.000";
    const std::string whole = testsupport::readFile(piece);
    ASSERT_LT(whole.find('\0'), 6000U);  // the text ends before every cut below
    PFM_OPEN_ARGS args;
    std::snprintf(args.list_path, sizeof args.list_path, "%s", paths.handle.c_str());
    args.read_only = true;
    PFM_OPEN_ARGS first = args;
    const int32_t opened = pfm_open_existing(&first);
    ASSERT_GE(opened, 0);
    for (size_t cut : {6000, 16000, 16383}) {
        const std::string where = "cut at " + std::to_string(cut);
        testsupport::writeFile(piece, whole.substr(0, cut));
        BIN_HEADER head;
        EXPECT_EQ(parse_bin_header(opened, &head), PFM_READ_BIN_FILE_ERROR) << where;
        EXPECT_STREQ(pfm_last_error_text(), "Error reading from bin file") << where;
        PFM_OPEN_ARGS again = args;
        EXPECT_EQ(pfm_open_existing(&again), PFM_FAILURE) << where;
        EXPECT_EQ(pfm_last_error_code(), PFM_READ_BIN_FILE_ERROR) << where;

        testing::internal::CaptureStdout();
        KIVOPFMDataIO io{NORVAUString(paths.handle)};
        const long opening = io.open();
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(io.getStatus(), -1) << where;
        EXPECT_EQ(opening, -1) << where;
        EXPECT_NE(printed.find("PFM Error: Error reading from bin file\n"), std::string::npos) << where << printed;
    }
    pfm_close(opened);
    testsupport::writeFile(piece, whole);
    for (int32_t i = 0; i < PFM_MAX_FILES; ++i) EXPECT_EQ(pfm_handle_table(i), -1);
}

TEST_F(PFMDataIOTest, DeleteAllFilesRemovesOnlyTheNamedFile) {
    KIVOPFMDataIO io{NORVAUString(paths.handle)};
    EXPECT_EQ(io.deleteAllFiles(false), 0);
    EXPECT_FALSE(testsupport::fileExists(paths.handle));
    EXPECT_TRUE(testsupport::fileExists(paths.list));
}

TEST_F(PFMDataIOTest, AnEditOrADeleteThatCannotBeDoneIsReported) {
    KIVOPFMDataIO io{NORVAUString(paths.handle)};
    const PFMAttributeSet node(&io);
    EXPECT_EQ(io.set(1005.0, 2005.0, node, io.getAttributeInfo()->getDescriptor(), 10.0), -1);
    const std::string folder = dir.file("folder.pfm");
    ASSERT_TRUE(NORVAFileUtils::makeDirectory(NORVAUString(folder)));
    EXPECT_EQ(KIVOPFMDataIO(NORVAUString(folder)).deleteAllFiles(false), 146006);
    EXPECT_TRUE(testsupport::fileExists(folder));
}

}  // namespace

namespace {

TEST(PFMOlderVersionTest, VersionThreeStructureReadsAsGeographicWithFlagValidity) {
    testsupport::ScratchDir dir;
    pfmfixture::Plan plan = pfmtest::geographicPlan();
    plan.version = "3.20";
    pfmfixture::Bin bin;
    bin.count = 2;
    bin.min = bin.max = bin.avg = 7.5;
    bin.flags[1] = 1;  // checked
    bin.flags[4] = 1;  // selected
    plan.bins[{5, 3}] = bin;
    const auto p = pfmfixture::write(dir.path(), "old.pfm", plan);
    KIVOPFMDataIO io{NORVAUString(p.handle)};
    ASSERT_EQ(io.getStatus(), 0);
    ASSERT_EQ(io.open(), 0);
    const BIN_HEADER head = io.getPFMHeader();
    EXPECT_EQ(head.projection, 0);
    EXPECT_STREQ(head.ndx_attr_name[0], "UNAVAILABLE");
    EXPECT_STREQ(head.user_flag_name[2], "PFM_NBR");
    BIN_RECORD record;
    ASSERT_EQ(fetch_bin_record(io.getPFMHandle(), 5, 3, &record), 0);
    EXPECT_EQ(record.validity, 512U + 4U);
    EXPECT_FLOAT_EQ(record.min_depth, 7.5f);
    long status = 0;
    auto iter = io.query(-71, 42, -70, 43, false, status, nullptr, DBL_MAX);
    int count = 0;
    while (!iter->done(status)) {
        ++count;
        if (!iter->next(status)) break;
    }
    EXPECT_EQ(count, 2);  // (2, 1) and (5, 3)
}

}  // namespace
