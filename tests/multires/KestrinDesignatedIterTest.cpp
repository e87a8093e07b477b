#include <gtest/gtest.h>

#include <cfloat>

#include "KestrinPointTestSupport.h"
#include "KestrinSurfaceTestSupport.h"
#include "TempFolder.h"
#include "multires/KestrinDesignatedIter.h"
#include "multires/KestrinDesignatedNodeIter.h"
#include "multires/KestrinXMLMetaData.h"
#include "platform/frame/KIVOExtendDataIO.h"
#include "platform/frame/KIVOGriddedDataIO.h"

namespace {

using namespace kestrinpoints;

std::vector<double> depthsOf(KestrinPointIter& it) {
    std::vector<double> out;
    long depth = -1;
    KIVODataType::DATA_TYPE type;
    if (!it.indexOf("Depth", depth, type)) return out;
    long s = 0;
    for (bool more = !it.done(s); more; more = it.next(s)) {
        double d = 0;
        it.get(depth, d);
        out.push_back(d);
    }
    return out;
}

TEST(KestrinDesignatedIter, KeepsOnlyPointsWithBit30AndNoRejection) {
    struct Case {
        double status;
        bool designated;
    };
    const std::vector<Case> cases{{0x40000000, true},  {0x40000001, true}, {1, false},
                                  {0, false},          {-1, false},        {-1073741824.0, false},  // bits 31 and 30
                                  {0x7FFFFFFF, false},  // the field's empty value
                                  {0x7FFFFFFE, true},  {INT32_MIN, false}};
    std::vector<double> statuses, expected;
    for (size_t i = 0; i < cases.size(); ++i) {
        statuses.push_back(cases[i].status);
        if (cases[i].designated) expected.push_back(10.0 + double(i));
    }
    auto s = store(depthAndStatus(), byStatus(statuses));
    KestrinDesignatedIter it(*s);
    EXPECT_EQ(0, it.getStatus());
    EXPECT_EQ(expected, depthsOf(it));
}

// A point whose "Status" was never written reads the store's empty value,
// 0x7FFFFFFF for a 32-bit field, whose bit 30 is set: it is not designated.
TEST(KestrinDesignatedIter, AnUnwrittenStatusIsNotDesignated) {
    auto s = store(depthAndStatus(), {{1.0, 1.0, {10.0}}, {2.0, 2.0, {11.0, 0x40000000}}});
    KestrinDesignatedIter it(*s);
    EXPECT_EQ(0, it.getStatus());
    EXPECT_EQ(std::vector<double>{11.0}, depthsOf(it));
}

TEST(KestrinDesignatedIter, AStoreWithoutStatusHasNoDesignatedSounding) {
    auto s = store({{"Depth", KestrinStoreType::DOUBLE}, {"Flag", KestrinStoreType::LONG}},
                   byStatus({0x40000000, 0x40000001}));
    KestrinDesignatedIter it(*s);
    long status = 0;
    EXPECT_TRUE(it.done(status));
    EXPECT_TRUE(depthsOf(it).empty());
}

TEST(KestrinDesignatedIter, EveryConstructorChoosesTheSameWayInsideItsSelection) {
    TempFolder dir;
    const NORVAUString path = dir.file("designated.kps");
    auto s = store(depthAndStatus(), byStatus({0x40000000, 0, 0x40000000, 0x40000000}));
    ASSERT_EQ(0, s->store(path));
    const NORVAArray<double> mn{1.5, 1.5}, mx{3.5, 3.5};  // points 2 and 3
    KestrinDesignatedIter fromPath(path), fromStore(*s), pathBox(path, mn, mx), storeBox(*s, mn, mx);
    EXPECT_EQ((std::vector<double>{10, 12, 13}), depthsOf(fromPath));
    EXPECT_EQ((std::vector<double>{10, 12, 13}), depthsOf(fromStore));
    EXPECT_EQ((std::vector<double>{12}), depthsOf(pathBox));
    EXPECT_EQ((std::vector<double>{12}), depthsOf(storeBox));
}

// A tile-store surface over a store that the test keeps.
struct Surface {
    explicit Surface(std::unique_ptr<NORVAKestrinTileStore> s) : store(std::move(s)), io(*store) {}
    std::unique_ptr<NORVAKestrinTileStore> store;
    KIVOKestrinDataIO io;
};

TEST(KestrinDesignatedNodeIter, ServesPositionStoredDepthAndTypeZero) {
    Surface surface(store({{"Uncertainty", KestrinStoreType::FLOAT}, {"Status", KestrinStoreType::LONG},
                           {"Depth", KestrinStoreType::DOUBLE}},
                          {{2, 3, {0.5, 0x40000000, 21.5}}, {4, 5, {0.5, 0, 22.5}}, {6, 7, {0.5, 0x40000001, 23.5}}}));
    ASSERT_EQ(0, surface.io.getStatus());
    long status = -1;
    NORVAType<KIVODesignatedIter> it = surface.io.getMetaData()->getDesignatedIter(surface.io, status);
    EXPECT_EQ(0, status);
    ASSERT_TRUE(it);
    EXPECT_EQ(&surface.io, it->getDataIO());
    std::vector<std::vector<double>> seen;
    for (bool more = !it->done(status); more; more = it->next(status)) {
        double x = 0, y = 0;
        EXPECT_EQ(0, it->getPosition(x, y));
        long s1 = -1, s2 = -1, s3 = -1;
        const double original = it->getOriginalDepth(s1);
        EXPECT_EQ(original, it->getDepth(s2));
        EXPECT_EQ(KIVODesignatedIter::NOT_DESIGNATED, it->getType(s3));
        EXPECT_EQ(0, s1 + s2 + s3);
        seen.push_back({x, y, original});
    }
    EXPECT_EQ((std::vector<std::vector<double>>{{2, 3, 21.5}, {6, 7, 23.5}}), seen);
    EXPECT_EQ(0, it->registerDesignated(1, 1, 1, KIVODesignatedIter::DESIGNATED));
}

TEST(KestrinDesignatedNodeIter, ReachesTheStoreThroughTheFrameworksWrapper) {
    auto inner = std::make_unique<Surface>(store(depthAndStatus(), byStatus({0x40000000, 0})));
    NORVAType<KIVOSurfaceDataIO> wrapped(new KIVOKestrinDataIO(*inner->store));
    KIVOExtendDataIO extend(wrapped);
    KestrinDesignatedNodeIter it(extend);
    long status = 0;
    ASSERT_FALSE(it.done(status));
    EXPECT_EQ(10.0, it.getOriginalDepth(status));
    EXPECT_FALSE(it.next(status));
    EXPECT_TRUE(it.done(status));
}

TEST(KestrinDesignatedNodeIter, OtherDataIOsAndStoresWithoutDepthGiveNothing) {
    KIVOGriddedDataIO gridded(NORVAUString("/nonexistent/none.vns"));
    KestrinDesignatedNodeIter none(gridded);
    long status = 0;
    EXPECT_TRUE(none.done(status));
    EXPECT_FALSE(none.next(status));
    double x = 0, y = 0;
    EXPECT_NE(0, none.getPosition(x, y));

    Surface noDepth(store({{"Sounding", KestrinStoreType::DOUBLE}, {"Status", KestrinStoreType::LONG}},
                          byStatus({0x40000000})));
    KestrinDesignatedNodeIter it(noDepth.io);
    ASSERT_FALSE(it.done(status));
    EXPECT_EQ(DBL_MAX, it.getOriginalDepth(status));
    EXPECT_EQ(-1, status);
    EXPECT_EQ(DBL_MAX, it.getOriginalDepth(status));  // asked again: still no endless look-up
    EXPECT_EQ(-1, status);
}

}  // namespace
