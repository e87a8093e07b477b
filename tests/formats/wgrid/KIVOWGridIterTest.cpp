// Box, area, line and point queries over weighted-grid surfaces.
#include <gtest/gtest.h>

#include <cfloat>
#include <set>
#include <utility>

#include "WGridTestSupport.h"
#include "formats/wgrid/KIVOWGridDataIO.h"
#include "platform/shapes/NORVAAreaGeometry.h"
#include "platform/shapes/NORVALineGeometry.h"
#include "platform/shapes/NORVAPointGeometry.h"

using namespace wgridtest;

namespace {

struct Node {
    double x, y;
    float value;
};

std::vector<Node> drain(KIVOSurfaceIter& iter, long* finalStatus = nullptr) {
    std::vector<Node> nodes;
    long status = 0;
    for (int guard = 0; !iter.done(status) && guard < 1000000; ++guard) {
        Node n{0, 0, 0};
        EXPECT_EQ(iter.getPosition(n.x, n.y, -1), 0);
        const KIVOAttributeSet* a = iter.getAttributes();
        EXPECT_TRUE(a && a->isSet(0));
        if (a) a->getValue(0, n.value);
        nodes.push_back(n);
        iter.next(status);
    }
    if (finalStatus) *finalStatus = status;
    return nodes;
}

// 7 x 5 pixels of resolution 1 from (0, 0), fragments of 3: the edge
// fragments reach beyond the raster, and those cells hold data too.
GridShape smallGrid() {
    GridShape g;
    g.nx = 7;
    g.ny = 5;
    g.s = 3;
    g.resolution = 1.0;
    g.centerX = 3.5;
    g.centerY = 2.5;
    g.cell = [](uint32_t c, uint32_t r, float& sum, float& weight) {
        weight = 1.0f;
        sum = static_cast<float>(100 * r + c);
    };
    return g;
}

struct Fixture {
    TempFolder dir;
    std::unique_ptr<KIVOWGridDataIO> io;
    explicit Fixture(const GridShape& g) {
        const std::string stem = dir.file("grid").toUTF8();
        writeSurface(stem, g);
        io = std::make_unique<KIVOWGridDataIO>(NORVAUString(stem + ".def"));
        EXPECT_EQ(io->getStatus(), 0);
    }
    std::vector<Node> box(double x0, double y0, double x1, double y1, long* iterStatus = nullptr) {
        long status = -7;
        NORVAType<KIVOSurfaceIter> iter = io->query(x0, y0, x1, y1, false, status, nullptr, DBL_MAX);
        EXPECT_EQ(status, 0);
        if (!iter) return {};
        if (iterStatus) *iterStatus = iter->getStatus();
        return drain(*iter);
    }
};

TEST(WGridIter, BoxQueriesServeOnlyPixelsOfTheRaster) {
    Fixture f(smallGrid());
    struct BoxCase {
        const char* name;
        double x0, y0, x1, y1;
        size_t nodes;
        long status;
    };
    const BoxCase cases[] = {
        {"whole raster", -10, -10, 100, 100, 35, 0},
        {"entirely west", -50, 0, -20, 4, 0, -1},
        {"one cell west", -0.9, 0, -0.1, 4, 0, -1},
        {"two cells west", -1.9, 0, -1.1, 4, 0, -1},
        {"starting exactly on the east edge", 7.0, 0, 9, 4, 0, -1},
        {"starting exactly on the north edge", 0, 5.0, 4, 9, 0, -1},
        {"inverted box", 4, 4, 1, 1, 0, -1},
        // One pixel of the north-east fragment: its cells inside the raster.
        {"north-east corner pixel", 6.5, 4.5, 6.5, 4.5, 1 * 2, 0},
        // One pixel of the first fragment: the whole fragment.
        {"south-west pixel", 0.5, 0.5, 0.5, 0.5, 9, 0},
        // Rows 0..2 end on a fragment boundary: the next row of fragments is not touched.
        {"fragment-aligned box", 0, 0, 2.5, 2.5, 9, 0},
    };
    for (const BoxCase& c : cases) {
        long status = 0;
        const std::vector<Node> nodes = f.box(c.x0, c.y0, c.x1, c.y1, &status);
        EXPECT_EQ(nodes.size(), c.nodes) << c.name;
        EXPECT_EQ(status, c.status) << c.name;
        for (const Node& n : nodes) {
            EXPECT_TRUE(n.x >= 0 && n.x < 7 && n.y >= 0 && n.y < 5) << c.name;
            EXPECT_EQ(n.value, static_cast<float>(100 * n.y + n.x)) << c.name;
        }
    }
}

TEST(WGridIter, NodesWithoutValueAreNeverServedTheFirstIncluded) {
    GridShape g = smallGrid();
    g.emptyFragments = {1};
    g.cell = [](uint32_t c, uint32_t r, float& sum, float& weight) {
        weight = (c + r) % 2 == 0 ? 0.0f : 2.0f;  // pixel (0, 0) has none
        sum = 3.0f * weight;
    };
    Fixture f(g);
    const std::vector<Node> nodes = f.box(-10, -10, 100, 100);
    std::set<std::pair<double, double>> seen;
    for (const Node& n : nodes) {
        EXPECT_EQ(n.value, 3.0f);
        EXPECT_EQ(static_cast<int>(n.x + n.y) % 2, 1);
        EXPECT_FALSE(n.x >= 3 && n.x < 6 && n.y < 3) << "fragment 1 has no data";
        seen.insert({n.x, n.y});
    }
    EXPECT_EQ(seen.size(), nodes.size());
    EXPECT_EQ(nodes.size(), 17u - 5u);  // odd pixels, less those of fragment 1
}

TEST(WGridIter, FragmentsThatCannotBeReadAreSkipped) {
    GridShape g = smallGrid();
    Fixture f(g);
    // Point the first fragment past the end of the files.
    const std::string stem = f.dir.file("grid").toUTF8();
    std::vector<uint8_t> weight = readBytes(stem + ".weight");
    weight[6] = 0x7F;
    writeBytes(stem + ".weight", weight);
    KIVOWGridDataIO io(NORVAUString(stem + ".def"));
    long status = 0;
    NORVAType<KIVOSurfaceIter> iter = io.query(-10, -10, 100, 100, false, status, nullptr, DBL_MAX);
    ASSERT_TRUE(iter);
    const std::vector<Node> nodes = drain(*iter);
    EXPECT_EQ(nodes.size(), 35u - 9u);
    for (const Node& n : nodes) EXPECT_FALSE(n.x < 3 && n.y < 3);
}

TEST(WGridIter, AreaQueryServesNodesInsideThePolygon) {
    Fixture f(smallGrid());
    const NORVAAreaGeometry triangle(NORVAAreaGeometry::Ring{{0, 0}, {6, 0}, {0, 4}});
    long status = -7;
    NORVAType<KIVOSurfaceIter> iter = f.io->query(triangle, false, status, nullptr, DBL_MAX);
    ASSERT_TRUE(iter);
    EXPECT_EQ(status, 0);
    const std::vector<Node> nodes = drain(*iter);
    size_t expected = 0;
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 7; ++c)
            if (c / 6.0 + r / 4.0 <= 1.0) ++expected;
    EXPECT_EQ(nodes.size(), expected);
    for (const Node& n : nodes) EXPECT_LE(n.x / 6.0 + n.y / 4.0, 1.0 + 1e-9);
}

TEST(WGridIter, PointAndLineQueriesServeTheNearestNode) {
    Fixture f(smallGrid());
    long status = -7;
    NORVAType<KIVOSurfaceIter> point = f.io->query(NORVAPoint3D(2.4, 3.6, 0), false, status, nullptr, DBL_MAX);
    ASSERT_TRUE(point);
    long done = 0;
    ASSERT_FALSE(point->done(done));
    float v = 0;
    point->getAttributes()->getValue(0, v);
    EXPECT_EQ(v, 402.0f);
    double x, y;
    EXPECT_EQ(point->getPosition(x, y, -1), 1);
    EXPECT_EQ(x, 2.4);
    EXPECT_FALSE(point->next(done));

    // Just beyond half a pixel west of the raster there is no node.
    NORVAType<KIVOSurfaceIter> outside = f.io->query(NORVAPoint3D(-0.6, 1, 0), false, status, nullptr, DBL_MAX);
    ASSERT_TRUE(outside);
    EXPECT_TRUE(outside->done(done));

    const NORVALineGeometry line(std::vector<NORVAPoint2D>{{0, 0}, {-5, -5}, {6, 4}});
    NORVAType<KIVOSurfaceIter> iter = f.io->query(line, false, status, nullptr, DBL_MAX);
    ASSERT_TRUE(iter);
    std::vector<bool> set;
    std::vector<float> values;
    while (!iter->done(done)) {
        set.push_back(iter->getAttributes()->isSet(0));
        float value = 0;
        iter->getAttributes()->getValue(0, value);
        values.push_back(value);
        iter->next(done);
    }
    EXPECT_EQ(set, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(values[0], 0.0f);
    EXPECT_EQ(values[2], 406.0f);
}

TEST(WGridIter, AttributeSetValuesAndText) {
    GridShape g = smallGrid();
    g.cell = [](uint32_t c, uint32_t r, float& sum, float& weight) {
        weight = 4.0f;
        sum = 10.0f;
    };
    Fixture f(g);
    long status = 0;
    NORVAType<KIVOSurfaceIter> iter = f.io->query(0.5, 0.5, 0.5, 0.5, false, status, nullptr, DBL_MAX);
    ASSERT_TRUE(iter);
    KIVOAttributeSet* a = iter->getAttributes();
    ASSERT_NE(a, nullptr);
    NORVAUString text;
    ASSERT_EQ(a->getStringValue(0, text, false), 0);
    EXPECT_EQ(text.toUTF8(), "2.5");
    unsigned char byte = 0;
    EXPECT_EQ(a->getValue(0, byte), 0);
    EXPECT_EQ(byte, 2);
    std::unique_ptr<KIVOAttributeSet> copy = a->newCopy();
    EXPECT_TRUE(copy->isSet(0));
    EXPECT_TRUE(copy->reset());
    EXPECT_TRUE(copy->isEmpty());
    float v = 0;
    copy->getValue(0, v);
    EXPECT_EQ(v, FLT_MAX);
    EXPECT_TRUE(a->isSet(0));
    EXPECT_EQ(a->getValue(1, v), -1);
}

TEST(WGridIter, ProgressCountsFragments) {
    Fixture f(smallGrid());
    NORVAProgress progress;
    long status = 0;
    NORVAType<KIVOSurfaceIter> iter = f.io->query(-10, -10, 100, 100, false, status, &progress, DBL_MAX);
    ASSERT_TRUE(iter);
    EXPECT_EQ(progress.getSteps(), 6u);
    drain(*iter);
    EXPECT_EQ(progress.getDone(), 5u);
}

TEST(WGridIter, RasterizeUsesTheBoxQuery) {
    Fixture f(smallGrid());
    KIVOSurfaceDataIO::rasterizeConfig config;
    config.attribute = "Depth";
    config.minX = 0;
    config.minY = 0;
    config.maxX = 7;
    config.maxY = 5;
    config.columns = 7;
    config.rows = 5;
    ASSERT_EQ(f.io->rasterize(config), 0);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 7; ++c) EXPECT_EQ(config.output[r * 7 + c], static_cast<float>(100 * r + c));
}

}  // namespace
