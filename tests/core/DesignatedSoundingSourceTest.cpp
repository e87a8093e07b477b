#include <gtest/gtest.h>

#include <cfloat>
#include <memory>
#include <sstream>

#include "core/KIVODesignatedRTreeEntry.h"
#include "core/KIVODesignatedSoundingSource.h"
#include "core/SoundingSourceTestSupport.h"

using namespace soundingtest;
using Entry = KIVODesignatedRTreeEntry;
using Box = KIVODesignatedSoundingSource::Box;
using Tree = KIVODesignatedSoundingSource::Tree;

namespace {
Box box(double x0, double y0, double x1, double y1) { return Box(NORVAPoint2D(x0, y0), NORVAPoint2D(x1, y1)); }

// A tree of capacity 4 holding a 10 x 10 lattice of soundings, depth = x + y / 100.
struct Lattice {
    TestSurface t{{{3, 4, {{"Depth", 7}, {"Weight", 2}}}}};
    Tree tree{4};
    Lattice() {
        for (int x = 0; x < 10; ++x)
            for (int y = 0; y < 10; ++y)
                tree.insert(NORVAType<Tree::Leaf>(
                    new Entry(*t.surface.getDataIO(), DBL_MAX, NORVAPoint3D(x, y, x + y / 100.0),
                              KIVODesignatedIter::DESIGNATED)));
    }
};
}  // namespace

TEST(DesignatedSoundingSource, ServesTheEntriesInsideTheBox) {
    struct Case {
        Box window;
        unsigned long count;
    };
    const Case cases[] = {{box(0, 0, 9, 9), 100},       {box(2, 2, 3, 3), 4},  // edges included
                          {box(2.5, 0, 2.5, 9), 0},     {box(4, 4, 4, 4), 1},
                          {box(-5, -5, -1, -1), 0},     {Box(), 0}};
    Lattice l;
    KIVODesignatedSoundingSource source(l.t.surface, l.tree, box(0, 0, 9, 9));
    EXPECT_EQ(source.getCover(), box(0, 0, 9, 9));
    EXPECT_EQ(source.getNumSoundingGroups(), 1u);
    EXPECT_EQ(&source.getRTree(), &l.tree);
    for (const Case& c : cases) {
        long status = -1;
        EXPECT_EQ(source.getSoundingCount(c.window, status), c.count);
        EXPECT_EQ(status, 0);
        KIVODesignatedSoundingSource::SoundingSet set(NORVAScaler(0.001));
        EXPECT_EQ(source.getSoundings(7, c.window, set), 0);
        std::vector<ORTIN_3_12_0::SoundingStruct> structs;
        EXPECT_EQ(source.getSoundings(7, c.window, structs), 0);
        ASSERT_EQ(set.size(), c.count);
        ASSERT_EQ(structs.size(), c.count);
        for (size_t k = 0; k < set.size(); ++k) {
            // The reference word gives the entry back, wherever it lives.
            const auto* entry = reinterpret_cast<const Entry*>(set[k].reference);
            EXPECT_EQ(structs[k].reference, set[k].reference);
            double x, y, z;
            set.getPosition(k, x, y, z);
            EXPECT_EQ(entry->getPosition()[0], x);
            EXPECT_NEAR(structs[k].z, entry->getDepth(), 0);
            EXPECT_NEAR(z, structs[k].x + structs[k].y / 100.0, 1e-5);
            EXPECT_TRUE(c.window.contains(NORVAPoint2D(structs[k].x, structs[k].y)));
            EXPECT_EQ(set[k].flag, 0);
        }
    }
    static_assert(sizeof(ORTIN_3_12_0::SoundingRecord{}.reference) >= sizeof(void*), "an address must fit");

    NORVAType<ORTIN_3_12_0::NORVASoundingSource> copy = source.newCopy();
    long status = -1;
    EXPECT_EQ(copy->getSoundingCount(box(0, 0, 1, 1), status), 4u);
    EXPECT_EQ(copy->getCover(), box(0, 0, 9, 9));
}

TEST(DesignatedRTreeEntry, LeafOperations) {
    TestSurface t({{3, 4, {{"Depth", 7}, {"Weight", 2}}}});
    const KIVOSurfaceDataIO& io = *t.surface.getDataIO();
    Entry e(io, 6.5, NORVAPoint3D(3, 4, 7.25), KIVODesignatedIter::OUTSTANDING);
    EXPECT_EQ(e.getMemSize(), 64u);
    EXPECT_EQ(e.getBoundingBox(), box(3, 4, 3, 4));
    EXPECT_EQ(e.getLow(1), 4.0);
    EXPECT_EQ(e.getHigh(0), 3.0);
    EXPECT_FLOAT_EQ(e.getDepth(), 7.25f);
    EXPECT_FLOAT_EQ(e.getOriginalDepth(), 6.5f);
    EXPECT_TRUE(e.hasOriginalDepth());
    EXPECT_FALSE(Entry(io, DBL_MAX, NORVAPoint3D(3, 4, 7), KIVODesignatedIter::DESIGNATED).hasOriginalDepth());
    EXPECT_TRUE(e.overlap(box(3, 4, 5, 5))) << "touching at a corner";
    EXPECT_FALSE(e.overlap(box(3.1, 4, 5, 5)));
    std::string id = "x";
    e.getId(id);
    EXPECT_TRUE(id.empty());

    struct Case {
        double original, x, y, depth;
        KIVODesignatedIter::DESIGNATED_TYPE type;
        bool equal;
    };
    const Case cases[] = {{6.5, 3, 4, 7.25, KIVODesignatedIter::OUTSTANDING, true},
                          {6.6, 3, 4, 7.25, KIVODesignatedIter::OUTSTANDING, false},
                          {6.5, 3.1, 4, 7.25, KIVODesignatedIter::OUTSTANDING, false},
                          {6.5, 3, 4, 7.5, KIVODesignatedIter::OUTSTANDING, false},
                          {6.5, 3, 4, 7.25, KIVODesignatedIter::DESIGNATED, false}};
    for (const Case& c : cases)
        EXPECT_EQ(e.equals(Entry(io, c.original, NORVAPoint3D(c.x, c.y, c.depth), c.type)), c.equal);

    NORVAType<Entry::Node> copy = e.newCopy();
    EXPECT_TRUE(e.equals(static_cast<Entry&>(*copy)));
}

TEST(DesignatedRTreeEntry, FromIteratorAndNodeAttributes) {
    TestSurface t({{3, 4, {{"Depth", 7}, {"Weight", 2}}}}, {{3, 4, 7.5, 6.0}, {8, 8, 9.0, std::nan("")}});
    long status = 0;
    NORVAType<KIVODesignatedIter> iter = t.io->meta.getDesignatedIter(*t.io, status);
    Entry first(*iter);
    iter->next(status);
    Entry second(*iter);
    EXPECT_EQ(first.getStatus(), 0);
    EXPECT_EQ(first.getDataIO(), t.io);
    EXPECT_EQ(first.getPosition(), NORVAPoint3D(3, 4, 7.5));
    EXPECT_FLOAT_EQ(first.getOriginalDepth(), 6.0f);
    EXPECT_EQ(first.getType(), KIVODesignatedIter::OUTSTANDING);
    EXPECT_FALSE(second.hasOriginalDepth()) << "an original depth that does not read is none";

    std::unique_ptr<KIVOAttributeSet> atts = first.getAttributes();
    ASSERT_TRUE(atts);
    double weight = 0;
    EXPECT_EQ(atts->getDoubleValue(3, weight, false), 0);
    EXPECT_EQ(weight, 2.0);
    EXPECT_FALSE(second.getAttributes()) << "no node at (8, 8)";
    t.io->queryStatus = 5;
    EXPECT_FALSE(first.getAttributes());
}
