#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <unistd.h>

#include "KestrinSurfaceTestSupport.h"
#include "TempFolder.h"
#include "WorkingFolder.h"
#include "platform/kestrin/KestrinLockHolder.h"
#include "multires/KIVOKestrinAttributeSet.h"
#include "platform/core/NORVAAtomicFileFaults.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOSurfaceUtils.h"
#include "platform/kestrin/KestrinStatus.h"
#include "platform/kestrin/NORVAKestrinTileDataIO.h"
#include "platform/shapes/NORVAAreaGeometry.h"
#include "platform/shapes/NORVALineGeometry.h"
#include "platform/shapes/NORVAPointGeometry.h"

namespace {

using namespace kestrinsurface;

TEST(KestrinDataIO, AGridOfNewNodesOneSpacingApartKeepsEveryNode) {
    TempFolder dir;
    const NORVAUString path = dir.file("grid.kps");
    const double r = 2.0;
    {
        auto io = created(path, depthAndStatus(), r);
        ASSERT_EQ(0, io->getStatus());
        for (int i = 0; i < 10; ++i)
            for (int j = 0; j < 10; ++j) addNode(*io, 10 + i * r, 10 + j * r, i * 10 + j);
        EXPECT_TRUE(io->isModified());
        EXPECT_EQ(100u, io->getNodeTree()->size());
        ASSERT_EQ(0, io->store(nullptr));
        EXPECT_EQ(0u, io->getNodeTree()->size());
    }
    KIVOKestrinDataIO reopened(path);
    ASSERT_EQ(0, reopened.getStatus());
    EXPECT_EQ(100, reopened.getTileStore()->getDataIO(0)->getNumRecords());
    double sum = 0.0;
    forEachNode(reopened, 0, 0, 100, 100, false, [&](KIVOSurfaceIter& it) {
        double depth = 0.0;
        it.getAttributes()->getValue(0, depth);
        sum += depth;
    });
    EXPECT_EQ(4950.0, sum);
}

TEST(KestrinDataIO, ACreateQueryAddsOneNodeOnlyWhereNoneIs) {
    auto io = created("", depthAndStatus(), 1.0);
    EXPECT_FALSE(io->isModified());
    const size_t served = forEachNode(*io, 5, 5, 5, 5, true, [](KIVOSurfaceIter& it) {
        double x = 0, y = 0;
        EXPECT_EQ(0, it.getPosition(x, y, -1));
        EXPECT_EQ(5.0, x);
        EXPECT_EQ(5.0, y);
    });
    EXPECT_EQ(1u, served);  // the new node is served once
    EXPECT_TRUE(io->isModified());
    forEachNode(*io, 5, 5, 5, 5, true, [](KIVOSurfaceIter&) {});
    forEachNode(*io, 5.4, 5.4, 5.4, 5.4, true, [](KIVOSurfaceIter&) {});  // overlapping square
    EXPECT_EQ(1u, io->getNodeTree()->size());
    forEachNode(*io, 6, 5, 6, 5, true, [](KIVOSurfaceIter&) {});  // touching square
    EXPECT_EQ(2u, io->getNodeTree()->size());
    EXPECT_EQ(0u, forEachNode(*io, 50, 50, 50, 50, false, [](KIVOSurfaceIter&) {}));
}

// A create query closer than one spacing (along both axes) to a node,
// pending or stored, is served the nearest such node; a node is made only
// where none is that close, so where nodes lie never depends on when they
// were written.
TEST(KestrinDataIO, ACreateQueryIsServedTheNearestNodeWithinOneSpacing) {
    struct Query {
        double x, y, servedX, servedY;
    };
    const Query queries[] = {
        {5.7, 5.0, 5, 5}, {4.4, 5.8, 5, 5}, {5.6, 5.6, 5, 5},  // beyond half a spacing
        {6.0, 5.0, 6, 5},                                     // one spacing away: a node of its own
        {6.0, 5.9, 6, 5}, {5.4, 5.2, 5, 5}, {5.5, 5.0, 5, 5},  // the nearer of two; a tie
    };
    enum Written { NEVER, FIRST_NODE, BEFORE_EACH };
    for (Written written : {NEVER, FIRST_NODE, BEFORE_EACH}) {
        SCOPED_TRACE(written);
        auto io = created("", depthAndStatus(), 1.0);
        addNode(*io, 5, 5, 1.0);
        if (written == FIRST_NODE) {
            ASSERT_EQ(0, io->flush());
        }
        for (const Query& q : queries) {
            SCOPED_TRACE(testing::Message() << q.x << "," << q.y);
            if (written == BEFORE_EACH) {
                ASSERT_EQ(0, io->flush());
            }
            double x = NAN, y = NAN;
            EXPECT_EQ(1u, forEachNode(*io, q.x, q.y, q.x, q.y, true, [&](KIVOSurfaceIter& it) {
                          it.getPosition(x, y, -1);
                      }));
            EXPECT_EQ(q.servedX, x);
            EXPECT_EQ(q.servedY, y);
        }
        EXPECT_EQ(2u, countNodes(*io));
    }
    // Random positions: the same nodes whether written after every query or never.
    std::vector<std::pair<double, double>> layouts[2];
    for (int flushing = 0; flushing < 2; ++flushing) {
        auto io = created("", depthAndStatus(), 1.0);
        uint32_t seed = 7;
        for (int i = 0; i < 400; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const double x = (seed >> 8) % 20000 / 1000.0, y = (seed >> 4) % 20000 / 1000.0;
            if (flushing) {
                ASSERT_EQ(0, io->flush());
            }
            ASSERT_EQ(1u, forEachNode(*io, x, y, x, y, true, [](KIVOSurfaceIter&) {})) << x << "," << y;
        }
        forEachNode(*io, -1, -1, 21, 21, false, [&](KIVOSurfaceIter& it) {
            double x = 0, y = 0;
            it.getPosition(x, y, -1);
            layouts[flushing].emplace_back(x, y);
        });
        std::sort(layouts[flushing].begin(), layouts[flushing].end());
    }
    EXPECT_EQ(layouts[0], layouts[1]);
}

TEST(KestrinDataIO, PendingNodesReachTheStoreInBatchesOfAThousand) {
    auto io = created("", depthAndStatus(), 0.01);
    NORVAKestrinDataIO& store = *io->getTileStore()->getDataIO(0);
    for (int i = 0; i < 999; ++i) ASSERT_EQ(0, io->addNewNode(i * 0.1, 0.0));
    EXPECT_EQ(1u, countNodes(*io, 0, 0, 0, 0));
    EXPECT_EQ(0, store.getNumRecords());
    ASSERT_EQ(0, io->addNewNode(99.9, 0.0));
    countNodes(*io, 0, 0, 0, 0);
    EXPECT_EQ(1000, store.getNumRecords());
    EXPECT_EQ(0u, io->getNodeTree()->size());
    EXPECT_EQ(1000u, countNodes(*io, -1, -1, 101, 1));
    ASSERT_EQ(0, io->addNewNode(50.05, 1.0));
    EXPECT_EQ(0, io->flush());
    EXPECT_EQ(1001, store.getNumRecords());
    EXPECT_EQ(0, io->flush());  // nothing pending: an empty batch
    EXPECT_EQ(1001, store.getNumRecords());
}

// Nodes added before and after the tree of pending nodes is looked at are
// all in it, all found by queries, and all stored once.
TEST(KestrinDataIO, PendingNodesAreOneSetWhenTheTreeIsLookedAtMidway) {
    auto io = created("", depthAndStatus(), 1.0);
    for (int i = 0; i < 30; ++i) ASSERT_EQ(0, io->addNewNode(i, 0.0));
    EXPECT_EQ(30u, io->getNodeTree()->size());
    for (int i = 0; i < 30; ++i) ASSERT_EQ(0, io->addNewNode(i, 1.0));
    ASSERT_EQ(0, io->addNewNode(3.2, 0.9));  // shares area with a node of each half
    EXPECT_EQ(60u, io->getNodeTree()->size());
    EXPECT_EQ(60u, countNodes(*io, -1, -1, 31, 2));
    EXPECT_EQ(1u, countNodes(*io, 7, 1, 7, 1));
    EXPECT_EQ(0, io->flush());
    EXPECT_EQ(60, io->getTileStore()->getDataIO(0)->getNumRecords());
    EXPECT_EQ(60u, countNodes(*io, -1, -1, 31, 2));
}

TEST(KestrinDataIO, AFailedBatchKeepsThePendingNodes) {
    TempFolder dir;
    const NORVAUString path = dir.file("s.kps");
    {
        auto io = created(path, depthAndStatus(), 1.0);
        addNode(*io, 1, 1, 7.0);
        ASSERT_EQ(0, io->store(nullptr));
    }
    NORVAType<NORVAKestrinDataIO> readOnly(new NORVAKestrinTileDataIO(path, NORVAKestrinDataIO::READ));
    NORVAKestrinTileStore store(readOnly);
    KIVOKestrinDataIO io(store);
    ASSERT_EQ(0, io.getStatus());
    addNode(io, 3, 3, 8.0);
    EXPECT_EQ(KestrinStatus::WRITE_FAILED, io.flush());
    EXPECT_EQ(1u, io.getNodeTree()->size());
    EXPECT_EQ(2u, countNodes(io));
    EXPECT_EQ(KestrinStatus::WRITE_FAILED, io.store(nullptr));
    EXPECT_EQ(1u, io.getNodeTree()->size());
}

TEST(KestrinDataIO, ABoxQueryServesStoredPointsFirstThenPendingNodesInTheBox) {
    auto io = created("", depthAndStatus(), 1.0);
    addNode(*io, 1, 1, -1.0);
    addNode(*io, 2, 2, -2.0);
    ASSERT_EQ(0, io->flush());
    addNode(*io, 3, 3, -3.0);
    addNode(*io, 4, 4, -4.0);
    addNode(*io, 60, 60, -60.0);
    std::vector<double> depths;
    forEachNode(*io, 0, 0, 10, 10, false, [&](KIVOSurfaceIter& it) {
        double d = 0;
        it.getAttributes()->getValue(0, d);
        depths.push_back(d);
    });
    EXPECT_EQ((std::vector<double>{-1, -2, -3, -4}), depths);
}

TEST(KestrinDataIO, EveryDataTypeSurvivesCreateAddStoreAndReopen) {
    TempFolder dir;
    const NORVAUString path = dir.file("types.kps");
    std::vector<Entry> entries;
    const char* names[] = {"F", "D", "US", "S", "L", "UL", "Str", "UC", "Txt", "DT", "Da", "Ti"};
    for (int t = 0; t <= 11; ++t) entries.emplace_back(names[t], t);
    entries[8].length = 5;
    {
        auto io = created(path, entries, 1.0);
        ASSERT_EQ(0, io->getStatus());
        forEachNode(*io, 1, 1, 1, 1, true, [](KIVOSurfaceIter& it) {
            KIVOAttributeSet& a = *it.getAttributes();
            EXPECT_EQ(0, a.setValue(0, 1.5f));
            EXPECT_EQ(0, a.setValue(1, -2.25));
            EXPECT_EQ(0, a.setValue(2, static_cast<unsigned short>(65534)));
            EXPECT_EQ(0, a.setValue(3, static_cast<short>(-32768)));
            EXPECT_EQ(0, a.setValue(4, -2147483647L - 1));
            EXPECT_EQ(0, a.setValue(5, 4294967294UL));
            EXPECT_EQ(0, a.setValue(6, NORVAUString("survey é")));
            EXPECT_EQ(0, a.setValue(7, static_cast<unsigned char>(254)));
            EXPECT_EQ(0, a.setValue(8, NORVAUString("abcde")));
            EXPECT_EQ(0, a.setValue(9, 1.6e9));
            EXPECT_EQ(0, a.setValue(10, 19000.0));
            EXPECT_EQ(0, a.setValue(11, 3600.5));
        });
        ASSERT_EQ(0, io->store(nullptr));
    }
    KIVOKestrinDataIO io(path);
    ASSERT_EQ(0, io.getStatus());
    const KIVODescriptor& d = io.getAttributeInfo()->getDescriptor();
    ASSERT_EQ(12, d.getNumberOfAttributes());
    for (int t = 0; t <= 11; ++t) EXPECT_EQ(t, d.getAttributeType(t)) << t;
    EXPECT_EQ(5u, d.getLength(8));
    EXPECT_EQ(1u, forEachNode(io, 0, 0, 5, 5, false, [](KIVOSurfaceIter& it) {
        const KIVOAttributeSet& a = *it.getAttributes();
        float f = 0;
        double v = 0;
        unsigned short us = 0;
        short s = 0;
        long l = 0;
        unsigned long ul = 0;
        unsigned char uc = 0;
        NORVAUString text;
        a.getValue(0, f);
        EXPECT_EQ(1.5f, f);
        a.getValue(1, v);
        EXPECT_EQ(-2.25, v);
        a.getValue(2, us);
        EXPECT_EQ(65534, us);
        a.getValue(3, s);
        EXPECT_EQ(-32768, s);
        a.getValue(4, l);
        EXPECT_EQ(-2147483647L - 1, l);
        a.getValue(5, ul);
        EXPECT_EQ(4294967294UL, ul);
        a.getValue(6, text);
        EXPECT_EQ(NORVAUString("survey é"), text);
        a.getValue(7, uc);
        EXPECT_EQ(254, uc);
        a.getValue(8, text);
        EXPECT_EQ(NORVAUString("abcde"), text);
        a.getValue(9, v);
        EXPECT_EQ(1.6e9, v);
        a.getValue(10, v);
        EXPECT_EQ(19000.0, v);
        a.getValue(11, v);
        EXPECT_EQ(3600.5, v);
    }));
    // The attribute table's ranges come from the stored values.
    double lo = 0;
    io.getAttributeInfo()->getMetaAttribute().getMinimum().getValue(1, lo);
    EXPECT_EQ(-2.25, lo);
}

TEST(KestrinDataIO, TheAttributeTableRangesLeaveEmptyValuesOut) {
    TempFolder dir;
    const NORVAUString path = dir.file("range.kps");
    {
        auto io = created(path, {Entry("Depth", KIVODataType::FLOAT), Entry("Count", KIVODataType::USHORT)}, 1.0);
        addNode(*io, 1, 1, 0.0);
        forEachNode(*io, 2, 2, 2, 2, true, [](KIVOSurfaceIter& it) { it.getAttributes()->setValue(0, -4.5f); });
        forEachNode(*io, 3, 3, 3, 3, true, [](KIVOSurfaceIter& it) { it.getAttributes()->setValue(0, 7.25f); });
        ASSERT_EQ(0, io->store(nullptr));
    }
    KIVOKestrinDataIO io(path);
    const KIVOMetaAttribute& meta = io.getAttributeInfo()->getMetaAttribute();
    float lo = 0, hi = 0;
    meta.getMinimum().getValue(0, lo);
    meta.getMaximum().getValue(0, hi);
    EXPECT_EQ(-4.5f, lo);
    EXPECT_EQ(7.25f, hi);
    EXPECT_FALSE(meta.getMinimum().isSet(1));  // Count only ever held its empty value
}

TEST(KestrinDataIO, StatusWordsKeepBitsThirtyAndThirtyOneInBothIntegerKinds) {
    TempFolder dir;
    const NORVAUString path = dir.file("status.kps");
    const unsigned long bits = (1UL << 31) | (1UL << 30);
    const long signedBits = -1073741824L;  // the same 32 bits as a signed word
    {
        auto io = created(path, {Entry("Status", KIVODataType::LONG), Entry("Flags", KIVODataType::ULONG)}, 1.0);
        forEachNode(*io, 1, 1, 1, 1, true, [&](KIVOSurfaceIter& it) {
            EXPECT_EQ(0, it.getAttributes()->setValue(0, signedBits));
            EXPECT_EQ(0, it.getAttributes()->setValue(1, bits));
        });
        ASSERT_EQ(0, io->store(nullptr));
    }
    KIVOKestrinDataIO io(path);
    forEachNode(io, 0, 0, 5, 5, false, [&](KIVOSurfaceIter& it) {
        long s = 0;
        unsigned long f = 0;
        it.getAttributes()->getValue(0, s);
        it.getAttributes()->getValue(1, f);
        EXPECT_EQ(signedBits, s);
        EXPECT_EQ(bits, f);
        EXPECT_TRUE(f & (1UL << 30));
        // A 64-bit long beyond the 32-bit field is refused, not wrapped.
        EXPECT_EQ(-1, it.getAttributes()->setValue(0, static_cast<long>(bits)));
        EXPECT_EQ(-1, it.getAttributes()->setValue(1, 1UL << 32));
        EXPECT_EQ(0, it.getAttributes()->setValue(1, bits | 1UL));
    });
    forEachNode(io, 0, 0, 5, 5, false, [&](KIVOSurfaceIter& it) {
        unsigned long f = 0;
        it.getAttributes()->getValue(1, f);
        EXPECT_EQ(bits | 1UL, f);
    });
}

TEST(KestrinDataIO, AssociatedFilesAreTheHeaderThePointsAndTheTileListWhenItExists) {
    TempFolder dir;
    const NORVAUString path = dir.file("s.kps");
    auto io = created(path, depthAndStatus(), 1.0);
    std::vector<NORVAUString> files;
    EXPECT_EQ(0, io->getAssociatedFiles(files));
    EXPECT_EQ((std::vector<NORVAUString>{path, dir.file("s.ktf")}), files);
    FILE* f = std::fopen(dir.file("s.kps.tls").toUTF8().c_str(), "w");
    std::fclose(f);
    files.clear();
    io->getAssociatedFiles(files);
    EXPECT_EQ((std::vector<NORVAUString>{path, dir.file("s.ktf"), dir.file("s.kps.tls")}), files);
}

// The generic edit keeps nothing: it is refused, never counted as made.
TEST(KestrinDataIO, OperationsWithoutEffectChangeNothingAndTheGenericEditIsRefused) {
    TempFolder dir;
    const NORVAUString path = dir.file("s.kps");
    auto io = created(path, depthAndStatus(), 1.0);
    addNode(*io, 1, 1, 3.0);
    ASSERT_EQ(0, io->store(nullptr));
    KIVOMemAttributeSet values(io->getAttributeInfo()->getDescriptor());
    KIVOSurfaceDataIO::rasterizeConfig raster;
    std::vector<float> cells;
    double a = 0, b = 0, c = 0, d = 0, e = 0, g = 0;
    EXPECT_EQ(-1, io->set(1, 1, values, io->getAttributeInfo()->getDescriptor(), DBL_MAX));
    EXPECT_EQ(0, io->open());
    EXPECT_EQ(0, io->close());
    EXPECT_EQ(0, io->deleteAllFiles(true));
    EXPECT_EQ(0, io->rasterize(raster));
    EXPECT_EQ(0, io->rasterize("Depth", a, b, c, d, e, g, cells, 0.0f));
    EXPECT_TRUE(NORVAFileUtils::exists(path));
    EXPECT_EQ(1u, countNodes(*io));
    EXPECT_FALSE(io->isOutdated());
}

TEST(KestrinDataIO, PathsEndingInKcsOpenAsReadOnlyCellStores) {
    TempFolder dir;
    const char* names[] = {"a.KCS", "b.kcs", "c.Kcs", "d.kts", "e.kps"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const NORVAUString path = dir.file(name);
        {
            auto io = created(path, depthAndStatus(), 1.0);
            addNode(*io, 1, 1, 3.0);
            ASSERT_EQ(0, io->store(nullptr));
        }
        KIVOKestrinDataIO io(path);
        ASSERT_EQ(0, io.getStatus());
        const bool cell = NORVAUString(name).endsWithIgnoreCase("kcs");
        EXPECT_EQ(!cell, io.getTileStore()->getDataIO(0)->isWritable());
        forEachNode(io, 0, 0, 5, 5, false, [&](KIVOSurfaceIter& it) {
            EXPECT_EQ(cell ? KestrinStatus::WRITE_FAILED : 0, it.getAttributes()->setValue(0, 4.0));
        });
    }
}

TEST(KestrinDataIO, AReadOnlyTileFileOpensForReadingOnly) {
    if (::geteuid() == 0) GTEST_SKIP() << "file modes do not bind the superuser";
    TempFolder dir;
    const NORVAUString path = dir.file("s.kps");
    {
        auto io = created(path, depthAndStatus(), 1.0);
        ASSERT_EQ(0, io->store(nullptr));
    }
    ::chmod(path.toUTF8().c_str(), 0444);
    KIVOKestrinDataIO io(path);
    ASSERT_EQ(0, io.getStatus());
    EXPECT_FALSE(io.getTileStore()->getDataIO(0)->isWritable());
}

TEST(KestrinDataIO, CreationStopsAtTheFirstFailure) {
    struct Row {
        bool xml;
        bool coordSystem;
        bool expectStore;
    };
    const Row rows[] = {{true, true, true}, {true, false, false}};
    for (const Row& r : rows) {
        KIVOKestrinDataIO io("x.kps", *metadata(depthAndStatus(), 1.0, r.coordSystem));
        EXPECT_EQ(r.expectStore, io.getStatus() == 0);
        EXPECT_EQ(r.expectStore, io.getTileStore() != nullptr);
        EXPECT_EQ(r.expectStore, io.getNodeTree() != nullptr);
    }
    class NotXML : public KIVOSurfaceMetaData {
    public:
        long getResolution(double& x, double& y) const override { return x = y = 1.0, 0; }
        const NORVACoordSystem* getCoordSystem(long& s) const override { return s = -1, nullptr; }
        long getCover(double&, double&, double&, double&) const override { return 0; }
        long getDimensions(double&, double&) const override { return 0; }
        KIVOSurfaceAttributeTable* getAttributeTable() override { return nullptr; }
        const KIVOSurfaceAttributeTable* getAttributeTable() const override { return nullptr; }
    } notXml;
    KIVOKestrinDataIO io("x.kps", notXml);
    EXPECT_EQ(-1, io.getStatus());
    long status = 5;
    EXPECT_FALSE(io.query(0, 0, 1, 1, true, status, nullptr, 0.0)->getAttributes());
}

TEST(KestrinDataIO, MetadataIsNamedAfterTheSurface) {
    TempFolder dir;
    const NORVAUString path = dir.file("named.kps");
    {
        auto io = created(path, depthAndStatus(), 1.0);
        ASSERT_EQ(0, io->getMetaData()->store());
        ASSERT_EQ(0, io->store(nullptr));
    }
    EXPECT_TRUE(NORVAFileUtils::exists(dir.file("named.xml")));
    KIVOKestrinDataIO io(path);
    EXPECT_EQ(dir.file("named.xml"), static_cast<KestrinXMLMetaData*>(io.getMetaData())->getFileName());
    EXPECT_FALSE(NORVAFileUtils::exists("TMP"));
}

TEST(KestrinDataIO, TheRegistryOpensTileStoresByExtension) {
    TempFolder dir;
    const NORVAUString path = dir.file("s.kts");
    {
        auto io = created(path, depthAndStatus(), 1.0);
        addNode(*io, 1, 1, 3.0);
        ASSERT_EQ(0, io->store(nullptr));
    }
    NORVAType<KIVOSurfaceDataIO> io = KIVOSurfaceUtils::getDataIO(path);
    ASSERT_TRUE(io);
    ASSERT_NE(nullptr, dynamic_cast<KIVOKestrinDataIO*>(io.get()));
    EXPECT_EQ(1u, countNodes(*io));
    double x = 0, y = 0;
    EXPECT_EQ(0, io->getMetaData()->getResolution(x, y));
    EXPECT_EQ(1.0, x);
    EXPECT_EQ(KIVOSurfaceUtils::TILE_STORE, KIVOSurfaceUtils::getSurfaceType(path));
}

TEST(KestrinDataIO, GeometryQueriesSelectInsideTheAreaOrAtThePoint) {
    auto io = created("", depthAndStatus(), 1.0);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) addNode(*io, i, j, i * 10 + j);
    ASSERT_EQ(0, io->flush());
    long status = 9;
    // A triangle over the lower-left half: x + y <= 4 roughly.
    NORVAAreaGeometry area(NORVAAreaGeometry::Ring{{-0.5, -0.5}, {4.6, -0.5}, {-0.5, 4.6}});
    NORVAType<KIVOSurfaceIter> it = io->query(area, false, status, nullptr, 0.0);
    ASSERT_TRUE(it);
    EXPECT_EQ(0, status);
    size_t inside = 0;
    long s = 0;
    for (bool more = !it->done(s); more; more = it->next(s)) {
        double x = 0, y = 0;
        it->getPosition(x, y, -1);
        EXPECT_LE(x + y, 4.0);
        ++inside;
    }
    EXPECT_EQ(15u, inside);
    it = io->query(NORVAPointGeometry(2, 3), false, status, nullptr, 0.0);
    ASSERT_TRUE(it);
    double depth = 0;
    it->getAttributes()->getValue(0, depth);
    EXPECT_EQ(23.0, depth);
    EXPECT_FALSE(io->query(NORVALineGeometry(), false, status, nullptr, 0.0));
}

TEST(KestrinDataIO, ACancelledProgressEndsTheIteration) {
    auto io = created("", depthAndStatus(), 1.0);
    for (int i = 0; i < 5; ++i) addNode(*io, i, 0, i);
    ASSERT_EQ(0, io->flush());
    class CancelAfterTwo : public NORVAProgress {
    public:
        bool step() override { return NORVAProgress::step() && getDone() < 2; }
    } progress;
    EXPECT_EQ(2u, forEachNode(*io, -1, -1, 10, 10, false, [](KIVOSurfaceIter&) {}, &progress));
    EXPECT_EQ(5u, progress.getSteps());
}

}  // namespace

namespace {

using namespace kestrinsurface;

// Create-queries on regular grids at every resolution in use, near the
// origin and at large map coordinates: neighbours one spacing apart never
// take each other's place; a position well inside a pending node's square
// adds nothing.
TEST(KestrinDataIO, GridsOfCreateQueriesKeepEveryNodeAtAnyResolutionAndPlace) {
    struct Origin {
        double x, y;
    };
    for (double r : {0.01, 0.1, 0.2, 0.3, 0.5, 1.0, 2.0, 10.0})
        for (Origin o : {Origin{0.0, 0.0}, Origin{512345.67, 6543210.89}}) {
            SCOPED_TRACE(testing::Message() << r << " at " << o.x);
            auto io = created("", depthAndStatus(), r);
            for (int i = 0; i < 30; ++i)
                for (int j = 0; j < 30; ++j) addNode(*io, o.x + i * r, o.y + j * r, i * 30 + j);
            EXPECT_EQ(900u, io->getNodeTree()->size());
            addNode(*io, o.x + 0.4 * r, o.y + 0.3 * r, -1);
            addNode(*io, o.x + 5 * r + 1e-9 * r, o.y + 5 * r, -1);
            EXPECT_EQ(900u, io->getNodeTree()->size());
            ASSERT_EQ(0, io->flush());
            EXPECT_EQ(900, io->getTileStore()->getDataIO(0)->getNumRecords());
        }
}

TEST(KestrinDataIO, NonFinitePositionsAreRefusedAndTheOthersStillStore) {
    TempFolder dir;
    const NORVAUString path = dir.file("s.kps");
    auto io = created(path, depthAndStatus(), 1.0);
    const double inf = std::numeric_limits<double>::infinity();
    for (auto xy : {std::make_pair(inf, 5.0), std::make_pair(5.0, -inf), std::make_pair(std::nan(""), 1.0)}) {
        long status = 0;
        EXPECT_FALSE(io->query(xy.first, xy.second, xy.first, xy.second, true, status, nullptr, 0.0));
        EXPECT_EQ(-1, status);
        EXPECT_EQ(-1, io->addNewNode(xy.first, xy.second));
    }
    for (int i = 0; i < 6; ++i) addNode(*io, i, 0, i);
    ASSERT_EQ(0, io->store(nullptr));
    KIVOKestrinDataIO reopened(path);
    EXPECT_EQ(6u, countNodes(reopened));
}

// Two holders of one stored node each change a field of their own.
TEST(KestrinDataIO, TwoAttributeSetsOnOneNodeKeepEachOthersEdits) {
    TempFolder dir;
    const NORVAUString path = dir.file("s.kps");
    {
        auto io = created(path, depthAndStatus(), 1.0);
        addNode(*io, 1, 1, 5.0);
        ASSERT_EQ(0, io->store(nullptr));
    }
    {
        KIVOKestrinDataIO io(path);
        long status = 0;
        NORVAType<KIVOSurfaceIter> a = io.query(1, 1, 1, 1, false, status, nullptr, 0.0);
        NORVAType<KIVOSurfaceIter> b = io.query(1, 1, 1, 1, false, status, nullptr, 0.0);
        EXPECT_EQ(0, a->getAttributes()->setValue(0, 42.0));
        EXPECT_EQ(0, b->getAttributes()->setValue(1, 7L));
        ASSERT_EQ(0, io.store(nullptr));
    }
    KIVOKestrinDataIO io(path);
    forEachNode(io, 1, 1, 1, 1, false, [](KIVOSurfaceIter& it) {
        double depth = 0;
        long status = 0;
        it.getAttributes()->getValue(0, depth);
        it.getAttributes()->getValue(1, status);
        EXPECT_EQ(42.0, depth);
        EXPECT_EQ(7, status);
    });
}

TEST(KestrinDataIO, TheMetadataGivenAtCreationSurvivesStoreAndReopen) {
    TempFolder dir;
    const NORVAUString path = dir.file("p.kps");
    auto meta = metadata(depthAndStatus(), 1.0);
    KIVOSourceRecord source;
    source.items.push_back({"KIVO", "/data/a.vns", 0.0});
    source.firstTime = 10.0;
    source.lastTime = 20.0;
    meta->setSourceRecord(source);
    KIVOProcessRecord process;
    process.name = "Combine";
    meta->setProcessRecord(process);
    KIVODescriptiveFields fields;
    fields.text1 = "first";
    fields.comments = "made by a test";
    meta->setDescriptiveFields(fields);
    {
        KIVOKestrinDataIO io(path, *meta);
        addNode(io, 1, 1, 5.0);
        ASSERT_EQ(0, io.store(nullptr));
    }
    KIVOKestrinDataIO io(path);
    ASSERT_EQ(0, io.getStatus());
    EXPECT_EQ(source, io.getMetaData()->getSourceRecord());
    EXPECT_EQ(process, io.getMetaData()->getProcessRecord());
    EXPECT_EQ(fields, io.getMetaData()->getDescriptiveFields());
    EXPECT_EQ(2, io.getAttributeInfo()->getDescriptor().getNumberOfAttributes());
}

// Storing through a data-IO around a store the caller holds writes that
// store's own files, or nothing when it has none; never the working folder.
TEST(KestrinDataIO, AHeldStoreIsStoredIntoItsOwnFilesOnly) {
    TempFolder dir, work;
    WorkingFolder cwd(work.path().toUTF8());
    ASSERT_TRUE(cwd.entered());
    const NORVAUString path = dir.file("s.kps");
    {
        auto io = created(path, depthAndStatus(), 1.0);
        addNode(*io, 1, 1, 5.0);
        ASSERT_EQ(0, io->store(nullptr));
    }
    {
        NORVAType<NORVAKestrinDataIO> file(new NORVAKestrinTileDataIO(path, NORVAKestrinDataIO::UPDATE));
        NORVAKestrinTileStore held(file);
        KIVOKestrinDataIO io(held);
        addNode(io, 3, 3, 6.0);
        EXPECT_EQ(0, io.store(nullptr));
    }
    KIVOKestrinDataIO reopened(path);
    EXPECT_EQ(2u, countNodes(reopened));
    NORVAKestrinTileStore memory(created("", depthAndStatus(), 1.0)->getTileStore()->getDataIO(0)->getPointDataConfig(),
                                 false, true);
    KIVOKestrinDataIO io(memory);
    addNode(io, 3, 3, 6.0);
    EXPECT_EQ(KestrinStatus::WRITE_FAILED, io.store(nullptr));
    std::vector<NORVAUString> files;
    NORVAFileUtils::listDirectory(work.path(), files);
    EXPECT_TRUE(files.empty());
}

class BusySurface : public ::testing::Test {
protected:
    void SetUp() override {
        NORVAKestrinDatabase::setBusyTimeout(50);
        auto io = created(m_path, depthAndStatus(), 1.0);
        for (int i = 0; i < 5; ++i) addNode(*io, i, 0, i);
        ASSERT_EQ(0, io->store(nullptr));
    }
    void TearDown() override { NORVAKestrinDatabase::setBusyTimeout(m_timeout); }
    std::string points() const { return m_dir.file("s.ktf").toUTF8(); }

    int m_timeout = NORVAKestrinDatabase::getBusyTimeout();
    TempFolder m_dir;
    NORVAUString m_path = m_dir.file("s.kps");
};

// Another process's exclusive lock: opening and querying report it (busy,
// not damaged, not empty); a reader's lock: storing reports it and drops
// the session, leaving the file as it was.
TEST_F(BusySurface, LocksHeldElsewhereAreReportedThroughStatusAndDone) {
    KIVOKestrinDataIO io(m_path);
    ASSERT_EQ(0, io.getStatus());
    {
        kestrintest::LockHolder holder(points(), "BEGIN EXCLUSIVE");
        ASSERT_TRUE(holder.locked());
        EXPECT_EQ(KestrinStatus::CANNOT_OPEN, KIVOKestrinDataIO(m_path).getStatus());
        long status = 0;
        NORVAType<KIVOSurfaceIter> it = io.query(-10, -10, 10, 10, false, status, nullptr, 0.0);
        EXPECT_EQ(KestrinStatus::CANNOT_OPEN, status);
        long doneStatus = 0;
        EXPECT_TRUE(it->done(doneStatus));
        EXPECT_EQ(KestrinStatus::CANNOT_OPEN, doneStatus);
    }
    for (int i = 0; i < 3; ++i) addNode(io, i, 1, 10 + i);
    {
        kestrintest::LockHolder holder(points(), "BEGIN; SELECT COUNT(*) FROM kestrin_points");
        ASSERT_TRUE(holder.locked());
        EXPECT_EQ(0, io.flush());
        EXPECT_EQ(KestrinStatus::WRITE_FAILED, io.store(nullptr));
        EXPECT_EQ(5u, countNodes(io)) << "its session is dropped whole";
    }
    // No part of it is stored later, and another object stores at once.
    addNode(io, 0, 2, 20);
    EXPECT_EQ(KestrinStatus::WRITE_FAILED, io.store(nullptr));
    KIVOKestrinDataIO other(m_path);
    addNode(other, 0, 2, 20);
    EXPECT_EQ(0, other.store(nullptr));
    KIVOKestrinDataIO reopened(m_path);
    EXPECT_EQ(6u, countNodes(reopened));
}

}  // namespace

namespace {

using namespace kestrinsurface;

// Generation g: every node's depth is g and the metadata's source record
// starts at time g.
long storeGeneration(const NORVAUString& path, int g) {
    auto meta = metadata(depthAndStatus(), 1.0);
    KIVOSourceRecord source;
    source.firstTime = g;
    meta->setSourceRecord(source);
    KIVOKestrinDataIO io(path, *meta);
    for (int i = 0; i < 300; ++i) addNode(io, i % 20, i / 20, g);
    return io.store(nullptr);
}

// Stored back in place: every node's depth and the metadata's source record
// go from generation g to g + 1.
long storeInPlace(const NORVAUString& path, double g) {
    KIVOKestrinDataIO io(path);
    if (io.getStatus() != 0) return io.getStatus();
    forEachNode(io, -1, -1, 100, 100, false, [&](KIVOSurfaceIter& it) { it.getAttributes()->setValue(0, g + 1); });
    KIVOSourceRecord source;
    source.firstTime = g + 1;
    io.getMetaData()->setSourceRecord(source);
    return io.store(nullptr);
}

// Opens the surface as a user would and checks that points, header and
// metadata are of one generation (returned) and that opening finished or
// dropped whatever a crash left half done.
double wholeGeneration(const TempFolder& dir, const NORVAUString& path) {
    KIVOKestrinDataIO io(path);
    EXPECT_EQ(0, io.getStatus());
    if (io.getStatus() != 0) return -1;
    const double generation = io.getMetaData()->getSourceRecord().firstTime;
    size_t nodes = 0;
    forEachNode(io, -1, -1, 100, 100, false, [&](KIVOSurfaceIter& it) {
        double depth = -1;
        it.getAttributes()->getValue(0, depth);
        EXPECT_EQ(generation, depth);
        ++nodes;
    });
    EXPECT_EQ(300u, nodes);
    std::vector<NORVAUString> files;
    NORVAFileUtils::listDirectory(dir.path(), files);
    std::string names;
    for (const NORVAUString& f : files) names += " " + f.toUTF8();
    EXPECT_EQ(3u, files.size()) << names;  // s.kps, s.ktf, s.xml
    return generation;
}

// A surface stored again and again over its path and killed at any moment
// opens whole: points, header and metadata of one generation.
TEST(KestrinDataIO, AStoreKilledAnyTimeLeavesOneWholeGeneration) {
    TempFolder dir;
    const NORVAUString path = dir.file("s.kps");
    ASSERT_EQ(0, storeGeneration(path, 0));
    for (int round = 0; round < 16; ++round) {
        SCOPED_TRACE(round);
        const pid_t child = ::fork();
        if (child == 0) {
            for (int g = 1;; ++g)
                if (storeGeneration(path, g) != 0) ::_exit(1);
        }
        ::usleep(static_cast<useconds_t>(2000 + round * 3000));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ASSERT_GE(wholeGeneration(dir, path), 0);
    }
}

// A store in place dies at each step of its commit in turn (a forked child
// ends there, as if killed): its points commit through SQLite between the
// journal and the moves, and the surface opens old or new, never new points
// beside old metadata.
TEST(KestrinDataIO, AStoreInPlaceDeadAtEveryStepLeavesOneWholeGeneration) {
    namespace faults = NORVAAtomicFileFaults;
    TempFolder dir;
    const NORVAUString path = dir.file("s.kps");
    ASSERT_EQ(0, storeGeneration(path, 0));
    unsigned deaths = 0, advanced = 0;
    for (int s = 0; s < faults::STEP_COUNT; ++s) {
        for (unsigned n = 1;; ++n) {
            SCOPED_TRACE("step " + std::to_string(s) + " #" + std::to_string(n));
            const double before = wholeGeneration(dir, path);
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                faults::exitAtNth(static_cast<faults::Step>(s), n);
                ::_exit(storeInPlace(path, before) == 0 ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(child, ::waitpid(child, &status, 0));
            const bool died = WIFEXITED(status) && WEXITSTATUS(status) == faults::kExitCode;
            const double after = wholeGeneration(dir, path);
            EXPECT_TRUE(after == before || after == before + 1) << before << " -> " << after;
            deaths += died;
            advanced += died && after > before;
            if (!died || ::testing::Test::HasFailure()) break;
        }
    }
    // Deaths before SQLite's commit keep the old generation, those after it the new one.
    EXPECT_GT(advanced, 0u);
    EXPECT_GT(deaths, advanced);
    std::printf("store in place dead at every step: %u deaths (%u after the points committed), all whole\n", deaths,
                advanced);
}

}  // namespace
