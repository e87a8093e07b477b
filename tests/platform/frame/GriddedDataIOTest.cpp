#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "TempFolder.h"
#include "platform/core/NORVAByteIO.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOSurfaceUtils.h"
#include "platform/shapes/NORVAAreaGeometry.h"
#include "platform/shapes/NORVALineGeometry.h"
#include "platform/shapes/NORVAPointGeometry.h"

namespace {

using Entry = KIVODescriptor::AttribEntry;

KIVOMemDescriptor descriptor() {
    Entry label("Label", KIVODataType::TEXT);
    label.length = 4;
    return KIVOMemDescriptor({Entry("Depth", KIVODataType::FLOAT), Entry("Uncertainty", KIVODataType::DOUBLE),
                              Entry("Density", KIVODataType::LONG), Entry("Contributor", KIVODataType::STRING),
                              label});
}

// A grid from (10, 20), `width` by `height`, nodes every `res`.
NORVAType<KIVOGriddedDataIO> create(const NORVAUString& path, double width = 10, double height = 5,
                                    double res = 1) {
    KIVOMetaAttribute meta{descriptor()};
    auto m = makeNORVAType<KIVOSurfaceXMLMetaData>(makeNORVAType<KIVOSurfaceAttributeTable>(meta), path);
    m->setLowerLeft(10, 20);
    m->setDimensions(width, height);
    m->setResolution(res);
    return makeNORVAType<KIVOGriddedDataIO>(path, std::move(m));
}

// Depth only: the caller's descriptor is matched by name, not index.
long setDepth(KIVOSurfaceDataIO& io, double x, double y, float depth, const char* who = nullptr) {
    KIVOMemDescriptor d({Entry("Other", KIVODataType::DOUBLE), Entry("Depth", KIVODataType::FLOAT),
                         Entry("Contributor", KIVODataType::STRING)});
    KIVOMemAttributeSet a(d);
    a.setValue(0, 99.0);
    a.setValue(1, depth);
    if (who) a.setValue(2, NORVAUString(who));
    return io.set(x, y, a, d, DBL_MAX);
}

long countBox(KIVOSurfaceDataIO& io, double x0, double y0, double x1, double y1, bool create) {
    long status = -9;
    auto it = io.query(x0, y0, x1, y1, create, status, nullptr, DBL_MAX);
    EXPECT_EQ(0, status);
    long n = 0;
    for (long s = 0; it && !it->done(s); it->next(s)) ++n;
    EXPECT_EQ(n, it ? it->count() : 0);
    return n;
}

std::string readAll(const NORVAUString& path) {
    std::ifstream in(path.toUTF8(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeAll(const NORVAUString& path, const std::string& bytes) {
    std::ofstream(path.toUTF8(), std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace

TEST(Gridded, NodeCountsFollowDimensionsAndResolution) {
    TempFolder dir;
    auto io = create(dir.file("a.vns"), 10, 5, 1);
    ASSERT_EQ(0, io->getStatus());
    EXPECT_EQ(11u, io->getColumns());
    EXPECT_EQ(6u, io->getRows());
    // 0.3 / 0.1 lands just below 3 in floating point; the last node is kept.
    // 0.25 is 2.5 spacings: positions past 0.25 - 0.05 are nearest to a node
    // beyond the edge, so that node exists.
    auto fine = create(dir.file("b.vns"), 0.3, 0.25, 0.1);
    EXPECT_EQ(4u, fine->getColumns());
    EXPECT_EQ(4u, fine->getRows());
    auto partial = create(dir.file("d.vns"), 9.7, 9.4, 1);
    EXPECT_EQ(11u, partial->getColumns());
    EXPECT_EQ(10u, partial->getRows());
    auto none = create(dir.file("c.vns"), 1, 1, 0);
    EXPECT_EQ(146004, none->getStatus());
}

TEST(Gridded, StoredSurfaceReopensByNameNodeForNode) {
    TempFolder dir;
    auto io = create(dir.file("s.vns"));
    ASSERT_EQ(0, io->getStatus());
    ASSERT_EQ(0, setDepth(*io, 10, 20, -1.5f, "survey A"));
    ASSERT_EQ(0, setDepth(*io, 20.2, 24.9, -7.25f, "survey B"));
    ASSERT_EQ(0, setDepth(*io, 13, 22, 3.0f));
    long status = 0;
    auto it = io->query(NORVAPointGeometry(13, 22), true, status, nullptr, DBL_MAX);
    KIVOAttributeSet* a = it->getAttributes();
    ASSERT_EQ(0, a->setValue(1, 0.1 + 0.2));
    ASSERT_EQ(0, a->setValue(2, -123456L));
    ASSERT_EQ(0, a->setValue(4, NORVAUString("\xc3\xa9t\xc3\xa9s")));  // clipped to 4 bytes, whole characters
    EXPECT_NE(0, setDepth(*io, 9.4, 20, 1.0f));                          // outside the grid
    ASSERT_EQ(0, io->store(nullptr));
    io.reset();

    auto reopened = KIVOSurfaceUtils::getDataIO(dir.file("s"));
    ASSERT_TRUE(reopened);
    ASSERT_EQ(0, reopened->getStatus());
    EXPECT_EQ(KIVOSurfaceUtils::GRIDDED, KIVOSurfaceUtils::getSurfaceType(dir.file("s.vns")));
    auto* grid = dynamic_cast<KIVOGriddedDataIO*>(reopened.get());
    ASSERT_NE(nullptr, grid);
    EXPECT_EQ(66u, grid->getNodeCount());
    EXPECT_EQ(3, countBox(*grid, -1e300, -1e300, 1e300, 1e300, false));
    EXPECT_EQ(66, countBox(*grid, -1e300, -1e300, 1e300, 1e300, true));

    auto node = [&](double x, double y) { return static_cast<uint64_t>(grid->nearestNode(x, y)); };
    double v = 0;
    NORVAUString text;
    EXPECT_EQ(0, grid->getNodeNumber(node(10, 20), 0, v));
    EXPECT_EQ(-1.5, v);
    EXPECT_EQ(0, grid->getNodeText(node(20, 25), 3, text));
    EXPECT_EQ(NORVAUString("survey B"), text);
    EXPECT_EQ(0, grid->getNodeNumber(node(13, 22), 1, v));
    EXPECT_EQ(0.1 + 0.2, v);
    EXPECT_EQ(0, grid->getNodeNumber(node(13, 22), 2, v));
    EXPECT_EQ(-123456, v);
    EXPECT_EQ(0, grid->getNodeText(node(13, 22), 4, text));
    EXPECT_EQ(NORVAUString("\xc3\xa9t"), text);
    // Unset values stay unset, on set and on unset nodes alike.
    EXPECT_FALSE(grid->isNodeSet(node(13, 22), 3));
    EXPECT_FALSE(grid->isNodeSet(node(10, 20), 1));
    EXPECT_FALSE(grid->nodeHasValue(node(11, 20)));
    EXPECT_NE(0, grid->getNodeNumber(node(11, 20), 0, v));

    // The metadata carries the range of what the nodes hold.
    const KIVOMetaAttribute& meta = grid->getMetaData()->getAttributeTable()->getMetaAttribute();
    meta.getMinimum().getValue(0, v);
    EXPECT_EQ(-7.25, v);
    meta.getMaximum().getValue(0, v);
    EXPECT_EQ(3.0, v);
    EXPECT_FALSE(meta.getMinimum().isSet(3));
}

TEST(Gridded, QueriesAtEdges) {
    TempFolder dir;
    auto io = create(dir.file("q.vns"));
    ASSERT_EQ(0, io->getStatus());
    // A box just covering one node, and one stopping just short of it.
    EXPECT_EQ(1, countBox(*io, 13, 22, 13, 22, true));
    EXPECT_EQ(0, countBox(*io, 13.000001, 22, 13.9, 22, true));
    EXPECT_EQ(4, countBox(*io, 14, 23, 13, 22, true));  // corners in any order
    EXPECT_EQ(0, countBox(*io, 50, 50, 60, 60, true));
    EXPECT_EQ(0, countBox(*io, 13, 22, 13, 22, false));  // nothing set there yet

    long status = 0;
    double x = 0, y = 0;
    // Between nodes the nearest wins; half way goes up.
    auto p = io->query(NORVAPointGeometry(13.4, 22.6), true, status, nullptr, DBL_MAX);
    ASSERT_EQ(1, p->count());
    p->getPosition(x, y, -1);
    EXPECT_EQ(13, x);
    EXPECT_EQ(23, y);
    p = io->query(NORVAPointGeometry(13.5, 22.5), true, status, nullptr, DBL_MAX);
    p->getPosition(x, y, -1);
    EXPECT_EQ(14, x);
    EXPECT_EQ(23, y);
    EXPECT_EQ(0, io->query(NORVAPointGeometry(9.49, 20), true, status, nullptr, DBL_MAX)->count());
    EXPECT_EQ(1, io->query(NORVAPointGeometry(9.51, 20), true, status, nullptr, DBL_MAX)->count());

    // Triangle with nodes on its edges: they are inside.
    NORVAAreaGeometry triangle({{10, 20}, {14, 20}, {10, 24}});
    EXPECT_EQ(15, io->query(triangle, true, status, nullptr, DBL_MAX)->count());
    // A horizontal line along y = 22 from x = 11 to 13 reaches its own nodes
    // and none of the rows a whole spacing away.
    NORVALineGeometry line({{11, 22}, {13, 22}});
    EXPECT_EQ(3, io->query(line, true, status, nullptr, DBL_MAX)->count());
}

TEST(Gridded, AttributeSetsWriteThrough) {
    TempFolder dir;
    auto io = create(dir.file("w.vns"));
    long status = 0;
    auto it = io->query(12, 21, 13, 21, true, status, nullptr, DBL_MAX);
    ASSERT_EQ(2, it->count());
    ASSERT_EQ(0, it->getAttributes()->setValue(0, 4.5));
    KIVOMemAttributeSet values(descriptor());
    values.setValue(2, 7L);
    values.setValue(3, NORVAUString("c"));
    it->next(status);
    ASSERT_EQ(0, it->setAttributes(values));
    EXPECT_EQ(2, countBox(*io, 12, 21, 13, 21, false));
    double v = 0;
    EXPECT_EQ(0, io->getNodeNumber(io->nearestNode(12, 21), 0, v));
    EXPECT_EQ(4.5, v);
    EXPECT_EQ(0, io->getNodeNumber(io->nearestNode(13, 21), 2, v));
    EXPECT_EQ(7, v);
    EXPECT_FALSE(io->isNodeSet(io->nearestNode(13, 21), 0));
    // Values the storage type cannot hold are refused and change nothing.
    KIVOAttributeSet* a = it->getAttributes();
    EXPECT_NE(0, a->setValue(2, 1e12));
    EXPECT_NE(0, a->setValue(0, 1e300));
    EXPECT_EQ(0, a->getValue(2, v));
    EXPECT_EQ(7, v);
    EXPECT_TRUE(a->reset());
    EXPECT_TRUE(a->isEmpty());
    EXPECT_EQ(1, countBox(*io, 12, 21, 13, 21, false));
}

// A text written by its string-table entry reads back, also after a store;
// an entry the table lacks, an attribute other than a string one or a node
// outside the grid changes nothing.
TEST(Gridded, StringEntriesWriteTheirTextOrNothing) {
    TempFolder dir;
    auto io = create(dir.file("e.vns"));
    const long a = io->stringEntry(NORVAUString("survey A"));
    const long b = io->stringEntry(NORVAUString("survey B"));
    ASSERT_GE(a, 0);
    ASSERT_NE(a, b);
    EXPECT_EQ(a, io->stringEntry(NORVAUString("survey A")));
    struct Case {
        uint64_t node;
        long attribute, entry;
        const char* text;  // what the node then holds; none: nothing
    };
    const uint64_t outside = io->getNodeCount();
    const Case cases[] = {{0, 3, a, "survey A"}, {1, 3, b, "survey B"}, {2, 3, b + 1, nullptr},
                          {3, 3, -1, nullptr},   {4, 0, a, nullptr},    {5, 4, a, nullptr},
                          {outside, 3, a, nullptr}};
    for (const Case& c : cases) EXPECT_EQ(c.text ? 0 : -1, io->setNodeStringEntry(c.node, c.attribute, c.entry));
    ASSERT_EQ(0, io->store(nullptr));
    io.reset();
    KIVOGriddedDataIO reopened(dir.file("e.vns"));
    ASSERT_EQ(0, reopened.getStatus());
    for (const Case& c : cases) {
        if (c.node == outside) continue;
        SCOPED_TRACE(c.node);
        NORVAUString text;
        EXPECT_EQ(c.text != nullptr, reopened.nodeHasValue(c.node));
        if (!c.text) continue;
        EXPECT_EQ(0, reopened.getNodeText(c.node, c.attribute, text));
        EXPECT_EQ(NORVAUString(c.text), text);
    }
}

TEST(Gridded, DamagedFilesOpenWithStatus) {
    TempFolder dir;
    auto io = create(dir.file("d.vns"), 3, 2, 1);
    setDepth(*io, 10, 20, 1.0f, "x");
    ASSERT_EQ(0, io->store(nullptr));
    const std::string good = readAll(dir.file("d.vns"));
    EXPECT_EQ(146006, KIVOGriddedDataIO(dir.file("none.vns")).getStatus());
    NORVAFileUtils::copyFile(dir.file("d.xml"), dir.file("e.xml"));
    for (size_t n = 0; n < good.size(); ++n) {
        writeAll(dir.file("e.vns"), good.substr(0, n));
        ASSERT_EQ(146021, KIVOGriddedDataIO(dir.file("e.vns")).getStatus()) << n;
    }
    writeAll(dir.file("e.vns"), good + "x");
    EXPECT_EQ(146021, KIVOGriddedDataIO(dir.file("e.vns")).getStatus());

    auto patched = [&](size_t at, uint32_t value, size_t bytes) {
        std::string s = good;
        for (size_t i = 0; i < bytes; ++i) s[at + i] = static_cast<char>(value >> (8 * i));
        writeAll(dir.file("e.vns"), s);
        return KIVOGriddedDataIO(dir.file("e.vns")).getStatus();
    };
    EXPECT_EQ(146021, patched(0, 'X', 1));         // magic
    EXPECT_EQ(146007, patched(4, 2, 2));           // version
    EXPECT_EQ(146021, patched(6, 1, 2));           // reserved word
    EXPECT_EQ(146021, patched(40, 0xFFFFFFFF, 4));  // columns
    EXPECT_EQ(146021, patched(44, 0xFFFFFFFF, 4));  // rows
    EXPECT_EQ(146021, patched(48, 4, 4));          // attribute count
    EXPECT_EQ(146021, patched(52, 0xFFFFFFF0, 4));  // record size
    const size_t strings = 56 + 5 * 8;
    EXPECT_EQ(146021, patched(strings, 0xFFFFFFFF, 4));   // string count
    EXPECT_EQ(146021, patched(strings + 4, 0x7FFFFFFF, 4));  // string length
    EXPECT_EQ(146021, patched(strings + 4, 0, 4));       // a shorter string leaves bytes over
}

// A descriptor without attributes makes records of no bytes, which no byte
// count can bound: 60 bytes would announce (2^32 - 1)^2 nodes.
TEST(Gridded, SurfaceWithoutAttributesIsRefused) {
    TempFolder dir;
    KIVOMetaAttribute meta{KIVOMemDescriptor()};
    auto m = makeNORVAType<KIVOSurfaceXMLMetaData>(makeNORVAType<KIVOSurfaceAttributeTable>(meta), dir.file("z.vns"));
    m->setLowerLeft(0, 0);
    m->setDimensions(3, 3);
    m->setResolution(1);
    ASSERT_EQ(0, m->store());
    EXPECT_EQ(146004, KIVOGriddedDataIO(dir.file("z.vns"), std::move(m)).getStatus());

    NORVAByteIO::Buffer b;
    NORVAByteIO::putBytes(b, "KVNS", 4);
    NORVAByteIO::putU16(b, 1);
    NORVAByteIO::putU16(b, 0);
    for (double v : {0.0, 0.0, 1.0, 1.0}) NORVAByteIO::putF64(b, v);
    for (uint32_t v : {0xFFFFFFFFu, 0xFFFFFFFFu, 0u, 0u, 0u}) NORVAByteIO::putU32(b, v);
    ASSERT_EQ(60u, b.size());
    writeAll(dir.file("z.vns"), std::string(b.begin(), b.end()));
    KIVOGriddedDataIO opened(dir.file("z.vns"));
    EXPECT_EQ(146021, opened.getStatus());
    long status = 0;
    EXPECT_FALSE(opened.query(0, 0, 1e12, 1e12, true, status, nullptr, DBL_MAX));
}

TEST(Gridded, RenameAndDelete) {
    TempFolder dir;
    auto io = create(dir.file("r.vns"));
    setDepth(*io, 11, 21, 2.0f);
    ASSERT_EQ(0, io->store(nullptr));
    auto other = create(dir.file("taken.vns"));
    ASSERT_EQ(0, other->store(nullptr));

    EXPECT_NE(0, io->rename("taken"));  // never over another surface
    EXPECT_TRUE(NORVAFileUtils::exists(dir.file("r.vns")));
    ASSERT_EQ(0, io->rename("moved"));
    EXPECT_FALSE(NORVAFileUtils::exists(dir.file("r.vns")));
    EXPECT_FALSE(NORVAFileUtils::exists(dir.file("r.xml")));
    std::vector<NORVAUString> files;
    io->getAssociatedFiles(files);
    ASSERT_EQ(2u, files.size());
    EXPECT_EQ(dir.file("moved.vns"), files[0]);
    EXPECT_EQ(dir.file("moved.xml"), files[1]);
    EXPECT_EQ(dir.file("moved.vns"), io->getSourceName());

    KIVOGriddedDataIO reopened(dir.file("moved.vns"));
    ASSERT_EQ(0, reopened.getStatus());
    EXPECT_EQ(1, countBox(reopened, 0, 0, 100, 100, false));

    EXPECT_EQ(0, io->deleteAllFiles(false));
    EXPECT_FALSE(NORVAFileUtils::exists(dir.file("moved.vns")));
    EXPECT_TRUE(NORVAFileUtils::exists(dir.file("moved.xml")));
    EXPECT_EQ(0, io->deleteAllFiles(true));
    EXPECT_FALSE(NORVAFileUtils::exists(dir.file("moved.xml")));
}

TEST(Gridded, RasterizesThroughItsQueries) {
    TempFolder dir;
    auto io = create(dir.file("z.vns"), 2, 1, 1);
    setDepth(*io, 10, 20, -1.0f);
    setDepth(*io, 12, 21, -3.0f);
    KIVOSurfaceDataIO::rasterizeConfig config;
    config.attribute = "Depth";
    config.minX = 10;
    config.minY = 20;
    config.maxX = 12;
    config.maxY = 21;
    config.cellX = config.cellY = 1;
    config.columns = 3;
    config.rows = 2;
    ASSERT_EQ(0, io->rasterize(config));
    ASSERT_EQ(6u, config.output.size());
    EXPECT_EQ(-1.0f, config.output[0]);
    EXPECT_EQ(-3.0f, config.output[5]);
    EXPECT_EQ(config.noData, config.output[1]);
}

// Empty stretches of a large grid are stored as holes; whatever the pattern
// of set nodes (none, the first, the last, scattered), the file has its full
// size and reopens node for node.
TEST(Gridded, SparseGridsStoreAndReopenWhole) {
    const std::vector<std::vector<std::pair<double, double>>> patterns = {
        {}, {{10, 20}}, {{309, 219}}, {{10, 20}, {150.5, 119}, {309, 219}}, {{160, 100}, {161, 100}}};
    for (size_t p = 0; p < patterns.size(); ++p) {
        TempFolder dir;
        auto io = create(dir.file("s.vns"), 299, 199, 1);  // 300 x 200 nodes, far more than one block
        ASSERT_EQ(0, io->getStatus());
        float depth = 1.0f;
        for (const auto& xy : patterns[p]) ASSERT_EQ(0, setDepth(*io, xy.first, xy.second, depth++, "s"));
        ASSERT_EQ(0, io->store(nullptr));
        // Reopening checks the file's size against its node count.
        KIVOGriddedDataIO back(dir.file("s.vns"));
        ASSERT_EQ(0, back.getStatus()) << "pattern " << p;
        ASSERT_EQ(io->getNodeCount(), back.getNodeCount());
        for (uint64_t node = 0; node < io->getNodeCount(); ++node) {
            double a = NAN, b = NAN;
            EXPECT_EQ(io->getNodeNumber(node, 0, a), back.getNodeNumber(node, 0, b)) << "pattern " << p;
            if (!std::isnan(a)) {
                EXPECT_EQ(a, b) << "pattern " << p << " node " << node;
            }
            EXPECT_EQ(io->nodeHasValue(node), back.nodeHasValue(node)) << "pattern " << p << " node " << node;
        }
    }
}
