#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <map>
#include <utility>

#include "CubeTestSupport.h"
#include "cube/CUBELayerFile.h"
#include "cube/CUBEUtils.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "platform/core/NORVAProgress.h"
#include "platform/shapes/NORVAAreaGeometry.h"
#include "platform/shapes/NORVALineGeometry.h"
#include "platform/shapes/NORVAPointGeometry.h"

using cubetest::TempDir;
using cubetest::vccBytes;

namespace {

// 13 x 11 nodes at 1 m from (1000, 2000) in 5-node tiles: 3 x 3 grids, the
// east column 3 nodes wide and the south row a single node high.
constexpr int kAcross = 13, kDown = 11, kTile = 5;
constexpr double kX0 = 1000.0, kTop = 2010.0;
constexpr int kHoleRow = 6, kHoleColumn = 7;  // the one node without a depth

float depthOf(int row, int column) { return 100.0f * row + column + 0.5f; }
float uncertaintyOf(int row, int column) { return depthOf(row, column) / 1000.0f; }
double xOf(int column) { return kX0 + column; }
double yOf(int row) { return kTop - row; }

struct Surface {
    TempDir dir;
    NORVAUString path;
    NORVAUString prefix;

    Surface() : path(dir.file("layers.vcs")) {
        EXPECT_EQ(0, cubetest::createStored(path, kAcross - 1, kDown - 1, 1.0, kTile));
        KIVOSurfaceCUBEIO s(path);
        prefix = s.getGridPrefix();
        EXPECT_TRUE(CUBEUtils::makeGridFolder(prefix));
        for (uint16_t r = 0; r < 3; ++r)
            for (uint16_t c = 0; c < 3; ++c) {
                writeLayer("Depth", r, c, depthOf);
                writeLayer("Uncertainty", r, c, uncertaintyOf);
            }
    }
    NORVAUString layerFile(const char* attribute, uint16_t r, uint16_t c) const {
        return CUBEUtils::layerFileName(prefix, NORVAUString(attribute), r, c);
    }
    static std::pair<uint32_t, uint32_t> shape(uint16_t r, uint16_t c) {
        return {std::min(kTile, kDown - r * kTile), std::min(kTile, kAcross - c * kTile)};
    }
    void writeLayer(const char* attribute, uint16_t r, uint16_t c, float (*value)(int, int)) const {
        const auto [rows, columns] = shape(r, c);
        std::vector<float> values;
        for (uint32_t i = 0; i < rows; ++i)
            for (uint32_t j = 0; j < columns; ++j) {
                const int row = r * kTile + i, column = c * kTile + j;
                const bool hole = value == depthOf && row == kHoleRow && column == kHoleColumn;
                values.push_back(hole ? FLT_MAX : value(row, column));
            }
        cubetest::writeAll(layerFile(attribute, r, c), vccBytes(r, c, rows, columns, values));
    }
};

struct Node {
    double x, y;
    float depth;
};

// Every node the iterator serves, reading Uncertainty before Depth so the
// walk keeps following Depth.
std::vector<Node> walk(NORVAType<KIVOSurfaceIter> it, bool checkUncertainty = true) {
    std::vector<Node> nodes;
    if (!it) return nodes;
    long status = 0;
    do {
        KIVOAttributeSet* a = it->getAttributes();
        if (it->done(status) || a == nullptr) break;
        Node n{};
        float u = 0.0f;
        EXPECT_EQ(0, it->getPosition(n.x, n.y, -1));
        if (checkUncertainty) {
            EXPECT_EQ(0, a->getValue(1, u));
        }
        EXPECT_EQ(0, a->getValue(0, n.depth));
        if (checkUncertainty) {
            EXPECT_FLOAT_EQ(n.depth / 1000.0f, u);
        }
        nodes.push_back(n);
    } while (it->next(status));
    return nodes;
}

std::vector<Node> box(KIVOSurfaceCUBEIO& s, double x0, double y0, double x1, double y1,
                      bool checkUncertainty = true) {
    long status = -1;
    auto nodes = walk(s.query(x0, y0, x1, y1, false, status, nullptr, DBL_MAX), checkUncertainty);
    EXPECT_EQ(0, status);
    return nodes;
}

std::vector<Node> geometry(KIVOSurfaceCUBEIO& s, const NORVAGeometry& g) {
    long status = -1;
    auto nodes = walk(s.query(g, false, status, nullptr, DBL_MAX));
    EXPECT_EQ(0, status);
    return nodes;
}

}  // namespace

TEST(CubeLayerCache, BoxOverTheSurfaceServesEveryNodeWithAValueOnce) {
    Surface f;
    KIVOSurfaceCUBEIO s(f.path);
    NORVAProgress progress;
    long status = -1;
    const auto nodes = walk(s.query(900.0, 1900.0, 1100.0, 2100.0, false, status, &progress, DBL_MAX));
    ASSERT_EQ(static_cast<size_t>(kAcross * kDown - 1), nodes.size());
    std::map<std::pair<int, int>, float> seen;
    for (const Node& n : nodes) {
        const int column = static_cast<int>(std::lround(n.x - kX0)), row = static_cast<int>(std::lround(kTop - n.y));
        EXPECT_DOUBLE_EQ(xOf(column), n.x);
        EXPECT_DOUBLE_EQ(yOf(row), n.y);
        EXPECT_EQ(depthOf(row, column), n.depth) << row << "," << column;
        EXPECT_TRUE(seen.emplace(std::make_pair(row, column), n.depth).second);
    }
    EXPECT_EQ(0u, seen.count({kHoleRow, kHoleColumn}));
    EXPECT_EQ(9u, progress.getSteps());
    EXPECT_EQ(9u, progress.getDone());
}

TEST(CubeLayerCache, BoxEdgesFollowTheNodeTolerance) {
    Surface f;
    KIVOSurfaceCUBEIO s(f.path);
    // Row 10 is the single-node southern grid row; column 12 the last node.
    auto first = box(s, xOf(3) + 1e-11, yOf(10), xOf(12), yOf(10));
    ASSERT_EQ(10u, first.size());
    EXPECT_DOUBLE_EQ(xOf(3), first.front().x);
    EXPECT_DOUBLE_EQ(xOf(12), first.back().x);
    auto half = box(s, xOf(3) + 0.5, yOf(10), xOf(12) + 0.5, yOf(10));
    ASSERT_EQ(9u, half.size());
    EXPECT_DOUBLE_EQ(xOf(4), half.front().x);
    // A box between two node columns holds no node, but the grids after it still count.
    EXPECT_TRUE(box(s, xOf(4) + 0.2, yOf(3), xOf(4) + 0.8, yOf(0)).empty());
    EXPECT_EQ(8u, box(s, xOf(4) + 0.2, yOf(7), xOf(6), yOf(4)).size());
    // Across the grid corner at (row 5, column 5) and over the hole.
    const auto corner = box(s, xOf(4), yOf(kHoleRow), xOf(kHoleColumn), yOf(4));
    EXPECT_EQ(11u, corner.size());
    EXPECT_TRUE(box(s, xOf(12) + 0.5, yOf(10), xOf(12) + 0.9, yOf(0)).empty());
    EXPECT_TRUE(box(s, 500.0, 500.0, 600.0, 600.0).empty());
}

// The walk follows whichever attribute its caller reads: switching in the
// middle of a row must neither skip nor repeat a node, and from then on the
// nodes with a value of the new attribute count (the hole has an uncertainty).
TEST(CubeLayerCache, FollowedAttributeCanChangeInTheMiddleOfARow) {
    Surface f;
    KIVOSurfaceCUBEIO s(f.path);
    long status = -1;
    auto it = s.query(900.0, 1900.0, 1100.0, 2100.0, false, status, nullptr, DBL_MAX);
    ASSERT_EQ(0, status);
    std::map<std::pair<int, int>, int> visits;
    int served = 0;
    do {
        KIVOAttributeSet* a = it->getAttributes();
        double x = 0, y = 0;
        ASSERT_EQ(0, it->getPosition(x, y, -1));
        const int column = static_cast<int>(std::lround(x - kX0)), row = static_cast<int>(std::lround(kTop - y));
        ASSERT_DOUBLE_EQ(xOf(column), x);
        ASSERT_DOUBLE_EQ(yOf(row), y);
        float value = 0.0f;
        // Depth for the first 17 nodes (into the third row of grid (0, 0)), then Uncertainty alone.
        if (served < 17) {
            ASSERT_EQ(0, a->getValue(0, value));
            EXPECT_EQ(depthOf(row, column), value);
        } else {
            ASSERT_EQ(0, a->getValue(1, value));
            EXPECT_FLOAT_EQ(uncertaintyOf(row, column), value);
        }
        ++visits[{row, column}];
        ++served;
    } while (it->next(status));
    EXPECT_EQ(static_cast<size_t>(kAcross * kDown), visits.size());
    for (const auto& [node, count] : visits) EXPECT_EQ(1, count) << node.first << "," << node.second;
}

TEST(CubeLayerCache, PointsLinesAndAreasReadTheirOwnNodes) {
    Surface f;
    KIVOSurfaceCUBEIO s(f.path);
    auto at = [&](double x, double y) {
        const auto n = geometry(s, NORVAPointGeometry(x, y));
        return n.size() == 1 ? n[0].depth : -1.0f;
    };
    EXPECT_EQ(depthOf(2, 3), at(xOf(3) + 0.4, yOf(2)));
    EXPECT_EQ(depthOf(2, 4), at(xOf(3) + 0.6, yOf(2)));
    EXPECT_EQ(depthOf(2, 5), at(xOf(4) + 0.6, yOf(2) - 0.2));  // rounds into the next grid
    EXPECT_EQ(depthOf(10, 0), at(xOf(0) + 0.3, yOf(10) - 0.3));
    EXPECT_EQ(depthOf(10, 12), at(xOf(12), yOf(10)));
    EXPECT_EQ(-1.0f, at(xOf(kHoleColumn), yOf(kHoleRow)));

    NORVALineGeometry line;
    line.addPoint(xOf(1), yOf(1));
    line.addPoint(xOf(kHoleColumn), yOf(kHoleRow));  // no depth: passed over
    line.addPoint(xOf(11) + 0.3, yOf(9) - 0.1);
    line.addPoint(xOf(12) + 3.0, yOf(9));  // off the surface
    const auto onLine = geometry(s, line);
    ASSERT_EQ(2u, onLine.size());
    EXPECT_EQ(depthOf(1, 1), onLine[0].depth);
    EXPECT_EQ(depthOf(9, 11), onLine[1].depth);
    EXPECT_DOUBLE_EQ(xOf(11), onLine[1].x);

    // A triangle over the western grids: nodes with column <= row - 1 inside.
    const auto area = geometry(
        s, NORVAAreaGeometry({NORVAPoint2D(xOf(0), yOf(1)), NORVAPoint2D(xOf(0), yOf(9)), NORVAPoint2D(xOf(8), yOf(9))}));
    for (const Node& n : area) {
        const double row = kTop - n.y, column = n.x - kX0;
        EXPECT_LE(column, row - 1.0 + 1e-9);
        EXPECT_EQ(depthOf(static_cast<int>(row), static_cast<int>(column)), n.depth);
    }
    EXPECT_EQ(45u, area.size());  // 1 + 2 + ... + 9 nodes
}

// The surface reaches one spacing past its last node column and row. A
// point in the southern half of that strip reads the last row; one in the
// eastern half, or outside the surface however close, reads nothing.
TEST(CubeLayerCache, PointsAtTheSurfaceEdges) {
    Surface f;
    KIVOSurfaceCUBEIO s(f.path);
    const double south = kTop - kDown, east = kX0 + kAcross;  // the extent's own edges
    struct Case {
        double x, y;
        float depth;  // -1: no node
    } const cases[] = {
        {xOf(3), south + 0.2, depthOf(10, 3)},
        {xOf(3), south, depthOf(10, 3)},
        {xOf(12), south + 0.4, depthOf(10, 12)},
        {xOf(3), south + 0.7, depthOf(10, 3)},
        {xOf(3), south - 0.1, -1.0f},
        {east - 0.3, yOf(4), -1.0f},
        {east - 0.6, yOf(4), depthOf(4, 12)},
        {xOf(0) - 0.3, yOf(4), -1.0f},
        {xOf(0) - 0.3, yOf(10) - 0.3, -1.0f},
        {xOf(5), yOf(0) + 0.3, -1.0f},
        {xOf(0) - 1e-9, yOf(0) + 1e-9, -1.0f},
        {xOf(0), yOf(0), depthOf(0, 0)},
    };
    for (const Case& c : cases) {
        const auto n = geometry(s, NORVAPointGeometry(c.x, c.y));
        EXPECT_EQ(c.depth, n.size() == 1 ? n[0].depth : -1.0f) << c.x << ", " << c.y;
    }
    // A line's points follow the same rule.
    NORVALineGeometry line;
    line.addPoint(xOf(2), south + 0.1);
    line.addPoint(xOf(4), yOf(9));
    const auto onLine = geometry(s, line);
    ASSERT_EQ(2u, onLine.size());
    EXPECT_EQ(depthOf(10, 2), onLine[0].depth);
    EXPECT_DOUBLE_EQ(yOf(10), onLine[0].y);
    EXPECT_EQ(depthOf(9, 4), onLine[1].depth);
}

TEST(CubeLayerCache, AttributeSetSaturatesValuesAnIntegerCannotHold) {
    Surface f;
    std::vector<float> u(25, 3.7f);
    u[0] = FLT_MAX;
    u[1] = std::nanf("");
    u[2] = 70000.0f;
    u[3] = -5.0f;
    cubetest::writeAll(f.layerFile("Uncertainty", 0, 0), vccBytes(0, 0, 5, 5, u));
    KIVOSurfaceCUBEIO s(f.path);
    long status = 0;
    auto it = s.query(xOf(0), yOf(0), xOf(4), yOf(0), false, status, nullptr, DBL_MAX);
    ASSERT_TRUE(it);
    KIVOAttributeSet* a = it->getAttributes();
    unsigned char c = 0;
    unsigned short us = 0;
    long l = 0;
    short sh = 0;
    EXPECT_FALSE(a->isSet(1));  // the invalid float
    a->getValue(1, c), a->getValue(1, us), a->getValue(1, l);
    EXPECT_EQ(255, c);
    EXPECT_EQ(65535, us);
    EXPECT_EQ(0x7FFFFFFF, l);
    a->getValue(0, c);
    EXPECT_EQ(0, c);  // depth 0.5 truncates
    ASSERT_TRUE(it->next(status));
    EXPECT_TRUE(a->isSet(1));  // NaN is a value, not the empty one
    EXPECT_FALSE(a->isEmpty());
    a->getValue(1, c), a->getValue(1, us), a->getValue(1, l);
    EXPECT_EQ(255, c);
    EXPECT_EQ(65535, us);
    EXPECT_EQ(0x7FFFFFFF, l);
    ASSERT_TRUE(it->next(status));
    a->getValue(1, us), a->getValue(1, l), a->getValue(1, sh);
    EXPECT_EQ(65535, us);
    EXPECT_EQ(70000, l);
    EXPECT_EQ(0x7FFF, sh);
    ASSERT_TRUE(it->next(status));
    a->getValue(1, c), a->getValue(1, sh);
    EXPECT_EQ(255, c);
    EXPECT_EQ(-5, sh);
    ASSERT_TRUE(it->next(status));
    a->getValue(1, c);
    EXPECT_EQ(3, c);
    NORVAUString text;
    EXPECT_EQ(-1, a->getValue(1, text));
    EXPECT_EQ(-1, a->setValue(1, 2.0f));
}

TEST(CubeLayerCache, RasterMatchesTheLayers) {
    Surface f;
    KIVOSurfaceCUBEIO s(f.path);
    KIVOSurfaceDataIO::rasterizeConfig config;
    config.attribute = "Depth";
    config.minX = 900.0, config.minY = 1900.0, config.maxX = 1100.0, config.maxY = 2100.0;
    config.cellX = config.cellY = 0.25;
    config.noData = -1.0f;
    ASSERT_EQ(0, s.rasterize(config));
    EXPECT_DOUBLE_EQ(1.0, config.cellX);
    // The surface's extent reaches one node spacing past its last node
    // column and row, so the raster holds one cell more each way.
    EXPECT_DOUBLE_EQ(kX0, config.minX);
    EXPECT_DOUBLE_EQ(kTop - kDown, config.minY);
    const int columns = kAcross + 1, rows = kDown + 1;
    ASSERT_EQ(columns, config.columns);
    ASSERT_EQ(rows, config.rows);
    ASSERT_EQ(static_cast<size_t>(columns * rows), config.output.size());
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j) {
            const int row = kDown - i;  // raster row 0 lies at the box's minimum y
            const bool none = row < 0 || row >= kDown || j >= kAcross || (row == kHoleRow && j == kHoleColumn);
            EXPECT_EQ(none ? -1.0f : depthOf(row, j), config.output[i * columns + j]) << i << "," << j;
        }

    KIVOSurfaceDataIO::rasterizeConfig part;
    part.attribute = "Uncertainty";
    part.minX = xOf(4), part.minY = yOf(6), part.maxX = xOf(6), part.maxY = yOf(5);
    part.columnMajor = part.negate = true;
    ASSERT_EQ(0, s.rasterize(part));
    EXPECT_DOUBLE_EQ(xOf(2), part.minX);  // widened by two nodes
    EXPECT_DOUBLE_EQ(yOf(8), part.minY);
    ASSERT_EQ(7, part.columns);
    ASSERT_EQ(6, part.rows);
    EXPECT_EQ(-uncertaintyOf(8, 2), part.output[0]);
    EXPECT_EQ(-uncertaintyOf(7, 2), part.output[1]);
    EXPECT_EQ(-uncertaintyOf(8, 3), part.output[6]);

    config.attribute = "NoSuchAttribute";
    EXPECT_EQ(-1, s.rasterize(config));
}

TEST(CubeLayerCache, DamagedOrForeignLayerFilesAreRefused) {
    Surface f;
    const std::vector<float> full(25, 7.0f);
    // Cut inside its values; header naming another grid; a shape beyond the
    // grid with almost no bytes behind it; a shape smaller than the grid;
    // a reserved word that is not 0.
    std::vector<uint8_t> cut = vccBytes(0, 0, 5, 5, full);
    cut.resize(cut.size() - 6);
    cubetest::writeAll(f.layerFile("Depth", 0, 0), cut);
    cubetest::writeAll(f.layerFile("Depth", 0, 1), vccBytes(1, 1, 5, 5, full));
    cubetest::writeAll(f.layerFile("Depth", 1, 0), vccBytes(1, 0, 60000, 60000, full));
    cubetest::writeAll(f.layerFile("Depth", 1, 1), vccBytes(1, 1, 4, 4, full));
    cubetest::writeAll(f.layerFile("Depth", 0, 2), vccBytes(0, 2, 5, 3, std::vector<float>(15, 7.0f), 1));
    // Overflows 32-bit arithmetic: 4 x 65536 x 65536 wraps to 0.
    cubetest::writeAll(f.layerFile("Depth", 1, 2), vccBytes(1, 2, 65536, 65536, {}));
    KIVOSurfaceCUBEIO s(f.path);
    const auto nodes = box(s, 900.0, 1900.0, 1100.0, 2100.0);
    for (const Node& n : nodes) EXPECT_LE(n.y, yOf(10) + 1e-9) << n.x << "," << n.y;  // only the south row survives
    EXPECT_EQ(static_cast<size_t>(kAcross), nodes.size());
    EXPECT_TRUE(geometry(s, NORVAPointGeometry(xOf(1), yOf(1))).empty());

    // Once mended, a refused file is read: nothing of it was remembered.
    f.writeLayer("Depth", 0, 0, depthOf);
    const auto mended = box(s, xOf(0), yOf(4), xOf(4), yOf(0));
    EXPECT_EQ(25u, mended.size());
}

TEST(CubeLayerCache, HeaderWithoutValuesIsAnEmptyLayerReadOnce) {
    Surface f;
    cubetest::writeAll(f.layerFile("Depth", 0, 0), vccBytes(0, 0, 5, 5, {}));
    KIVOSurfaceCUBEIO s(f.path);
    EXPECT_TRUE(box(s, xOf(0), yOf(4), xOf(4), yOf(0)).empty());
    f.writeLayer("Depth", 0, 0, depthOf);
    EXPECT_TRUE(box(s, xOf(0), yOf(4), xOf(4), yOf(0)).empty());
    s.flush();  // the read cache goes, and the file is read afresh
    EXPECT_EQ(25u, box(s, xOf(0), yOf(4), xOf(4), yOf(0)).size());
}

TEST(CubeLayerCache, LayersBeyondTheBudgetAreServedOneAtATime) {
    Surface f;
    const uint64_t old = KIVOResourceManager::m_instance.getMemoryLimit();
    for (uint64_t limit : {50u, 1u}) {  // room for a 5-node layer but not a 25-node one; room for none
        KIVOResourceManager::m_instance.setMemoryLimit(limit);
        KIVOSurfaceCUBEIO s(f.path);
        EXPECT_EQ(static_cast<size_t>(kAcross * kDown - 1), box(s, 900.0, 1900.0, 1100.0, 2100.0).size()) << limit;
        EXPECT_LE(s.getHeldBytes(), 4u * kTile * kTile) << limit;
    }
    KIVOResourceManager::m_instance.setMemoryLimit(old);
}

TEST(CubeLayerCache, LayerFileSizeChecksHoldForTheLargestShapes) {
    TempDir dir;
    const NORVAUString path = dir.file("one.vcc");
    const struct {
        uint32_t rows, columns;
        size_t values;
        bool opens;
        uint64_t count;
    } cases[] = {
        {0x80000000u, 0x80000000u, 1, false, 0},  // 2^62 values: four times that wraps to 0
        {0x40000000u, 0x00000004u, 1, false, 0},  // 2^32 values: 2^34 bytes
        {0xFFFFFFFFu, 0xFFFFFFFFu, 2, false, 0},
        {1, 1, 1, true, 1},
        {1, 2, 2, true, 2},
    };
    for (const auto& c : cases) {
        cubetest::writeAll(path, vccBytes(0, 0, c.rows, c.columns, std::vector<float>(c.values, 1.0f)));
        const CUBEGridIdx key(0, 0, 0, 0, c.rows, c.columns, 0.0, 0.0, 1.0f, 1.0f);
        CUBELayerFile file;
        EXPECT_EQ(c.opens, file.open(path, key)) << c.rows << " x " << c.columns;
        if (c.opens) {
            EXPECT_EQ(c.count, file.valueCount());
        }
    }
}

TEST(CubeLayerCache, HeaderWithStrayBytesButNoWholeValueIsAnEmptyLayerReadOnce) {
    for (size_t stray = 1; stray <= 3; ++stray) {
        Surface f;
        std::vector<uint8_t> bytes = vccBytes(0, 0, 5, 5, {});
        bytes.resize(bytes.size() + stray, 0x7F);
        cubetest::writeAll(f.layerFile("Depth", 0, 0), bytes);
        KIVOSurfaceCUBEIO s(f.path);
        EXPECT_TRUE(box(s, xOf(0), yOf(4), xOf(4), yOf(0)).empty()) << stray;
        f.writeLayer("Depth", 0, 0, depthOf);
        EXPECT_TRUE(box(s, xOf(0), yOf(4), xOf(4), yOf(0)).empty()) << stray;  // not read again
        s.flush();
        EXPECT_EQ(25u, box(s, xOf(0), yOf(4), xOf(4), yOf(0)).size()) << stray;
    }
}
