#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FrameTestSupport.h"
#include "platform/frame/KIVOPointIter.h"
#include "platform/frame/KIVOSurfaceFilteredIter.h"

using namespace frametest;

namespace {
std::vector<double> drain(KIVOSurfaceIter& it) {
    std::vector<double> out;
    long status = 0;
    while (!it.done(status)) {
        double d = 0;
        EXPECT_NE(it.getAttributes(), nullptr);
        if (it.getAttributes()) it.getAttributes()->getValue(0, d);
        out.push_back(d);
        it.next(status);
        EXPECT_EQ(status, 0);
    }
    return out;
}
NORVAType<KIVOSurfaceIter> nodes(std::vector<double> depths) {
    std::vector<Node> n;
    for (size_t i = 0; i < depths.size(); ++i) n.push_back({double(i), 0.0, depths[i]});
    return NORVAType<KIVOSurfaceIter>(new VectorIter(n));
}
}  // namespace

TEST(FrameFilteredIter, SkipsRejectedIncludingFirstNode) {
    KIVOSurfaceFilteredIter it(nodes({1, 5, 2, 7, 9, 0}), DepthAtLeast(5));
    long status = 0;
    EXPECT_FALSE(it.done(status));
    double x = -1, y = -1;
    EXPECT_EQ(it.getPosition(x, y, -1), 0);
    EXPECT_EQ(x, 1.0);  // the first node was rejected at construction
    EXPECT_EQ(drain(it), (std::vector<double>{5, 7, 9}));
    EXPECT_TRUE(it.done(status));
    EXPECT_EQ(it.getAttributes(), nullptr);
    EXPECT_FALSE(it.next(status));
    EXPECT_EQ(it.count(), 6);  // the inner iterator's count
    EXPECT_EQ(it.getAttributeDescriptor().getAttributeIndex("Depth"), 0);
}

TEST(FrameFilteredIter, NextReportsWhetherANodeFollows) {
    KIVOSurfaceFilteredIter it(nodes({5, 1, 6, 1}), DepthAtLeast(5));
    long status = 0;
    EXPECT_TRUE(it.next(status));  // 5 -> 6
    EXPECT_FALSE(it.next(status));  // 6 -> past the end (1 rejected)
    EXPECT_TRUE(it.done(status));
}

TEST(FrameFilteredIter, RejectingAllIsDoneAtOnce) {
    KIVOSurfaceFilteredIter it(nodes({1, 2, 3}), DepthAtLeast(100));
    long status = 0;
    EXPECT_TRUE(it.done(status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(it.getAttributes(), nullptr);
    EXPECT_TRUE(drain(it).empty());
}

TEST(FrameFilteredIter, EmptyInnerIterator) {
    KIVOSurfaceFilteredIter it(nodes({}), DepthAtLeast(0));
    long status = 0;
    EXPECT_TRUE(it.done(status));
}

TEST(FrameFilteredIter, NullInnerIteratorIsDone) {
    KIVOSurfaceFilteredIter it(NORVAType<KIVOSurfaceIter>(), DepthAtLeast(0));
    long status = 7;
    EXPECT_TRUE(it.done(status));
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(it.next(status));
    EXPECT_EQ(it.getAttributes(), nullptr);
    double x = 0, y = 0;
    EXPECT_EQ(it.getPosition(x, y, -1), -1);
    EXPECT_EQ(it.count(), -1);
    EXPECT_EQ(it.getAttributeDescriptor().getNumberOfAttributes(), 0);
    KIVOMemAttributeSet a(depthDescriptor());
    EXPECT_EQ(it.setAttributes(a), -1);
}

TEST(FrameFilteredIter, FilterIsCopiedSoCallerMayDestroyItsOwn) {
    int alive = 0;
    auto filter = std::make_unique<DepthAtLeast>(5, &alive);
    std::unique_ptr<KIVOSurfaceFilteredIter> it;
    it = std::make_unique<KIVOSurfaceFilteredIter>(nodes({1, 6, 2, 8}), *filter);
    EXPECT_EQ(alive, 2);
    filter.reset();  // the caller's filter dies first
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(drain(*it), (std::vector<double>{6, 8}));
    it.reset();
    EXPECT_EQ(alive, 0);
}

TEST(FrameFilteredIter, SetAttributesReachesInnerNode) {
    auto inner = new VectorIter({{0, 0, 1}, {1, 0, 6}});
    KIVOSurfaceFilteredIter it{NORVAType<KIVOSurfaceIter>(inner), DepthAtLeast(5)};
    KIVOMemAttributeSet a(depthDescriptor());
    a.setValue(0, 3.0);
    EXPECT_EQ(it.setAttributes(a), 0);
    EXPECT_EQ(inner->writes, 1);
    double d = 0;
    it.getAttributes()->getValue(0, d);
    EXPECT_EQ(d, 3.0);
}

namespace {
class Soundings : public KIVOPointIter {
public:
    bool next(long& s) override {
        s = 0;
        return false;
    }
    long getPosition(double& x, double& y) const override { return 0; }
    const NORVACoordSystem* getCoordSystem() const override { return nullptr; }
    void getAvailable(std::vector<NORVAUString>& n) const override { n = {"Depth", "Count", "Name", "Bad"}; }
    DATA_TYPE getType(long i) const override {
        static const DATA_TYPE t[] = {KIVODataType::DOUBLE, KIVODataType::LONG, KIVODataType::STRING,
                                      KIVODataType::SHORT};
        return i >= 0 && i < 4 ? t[i] : KIVODataType::DOUBLE;
    }
    long get(long i, NORVAUString& v) const override {
        if (i != 2) return -1;
        v = "12.5";
        return 0;
    }
    long get(long i, long& v) const override {
        if (i != 1) return -1;
        v = -3;
        return 0;
    }
    long get(long i, double& v) const override {
        if (i != 0) return -1;
        v = 4.5;
        return 0;
    }
    long count() const override { return 1; }
    bool indexOf(const NORVAUString&, long& i, DATA_TYPE& t) const override {
        i = -1;
        return false;
    }
};
}  // namespace

TEST(FramePointIter, GetAsDoubleUsesTheTypedGet) {
    Soundings s;
    double v = 0;
    EXPECT_EQ(s.getAsDouble(0, v), 0);
    EXPECT_EQ(v, 4.5);
    EXPECT_EQ(s.getAsDouble(1, v), 0);
    EXPECT_EQ(v, -3.0);
    EXPECT_EQ(s.getAsDouble(2, v), 0);
    EXPECT_EQ(v, 12.5);
    v = 1;
    EXPECT_EQ(s.getAsDouble(3, v), -1);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(s.getAsDouble(9, v), -1);
    std::vector<NORVAUString> extra{"x"};
    s.getAdditionalAttributes(extra);
    EXPECT_TRUE(extra.empty());
}
