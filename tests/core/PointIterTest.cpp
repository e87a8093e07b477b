#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <limits>
#include <map>
#include <utility>

#include "core/CoreTestSupport.h"
#include "core/KIVOAcceptedStatusFilter.h"
#include "core/KIVOAreaGeomIter.h"
#include "core/KIVORangeAttributeFilter.h"
#include "core/KIVOSurfaceFilteredPointIter.h"
#include "core/KIVOSurfacePointIter.h"
#include "platform/shapes/NORVAAreaGeometry.h"

using coretest::descriptorOf;
using coretest::setNode;

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();
using Names = std::vector<NORVAUString>;

// Three served nodes on row 0: (0,0) depth 1 accepted, (1,0) depth 2
// rejected, (2,0) an uncertainty but no depth.
class PointIterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(surface.getStatus(), 0);
        ASSERT_EQ(setNode(surface, 0, 0, {{"Depth", 1.0}, {"Uncertainty", 0.1}, {"Status", 0.0}}), 0);
        ASSERT_EQ(setNode(surface, 1, 0, {{"Depth", 2.0}, {"Uncertainty", 0.2}, {"Status", -1.0}}), 0);
        ASSERT_EQ(setNode(surface, 2, 0, {{"Depth", kNaN}, {"Uncertainty", 0.3}}), 0);
    }
    // Depth by position, NaN where get refused to serve one.
    static std::map<std::pair<double, double>, double> depths(KIVOPointIter& it) {
        std::map<std::pair<double, double>, double> out;
        long status = 0;
        for (; !it.done(status); it.next(status)) {
            double x = 0, y = 0, d = 0;
            EXPECT_EQ(it.getPosition(x, y), 0);
            out[{x, y}] = it.get(KIVOSurfacePointIter::DEPTH, d) == 0 ? d : kNaN;
            if (std::isnan(out[{x, y}])) {
                EXPECT_EQ(d, 0.0);
            }
        }
        return out;
    }
    const KIVODescriptor& layout() { return surface.getAttributeInfo()->getDescriptor(); }

    coretest::TempDir dir;
    KIVOSurface surface =
        coretest::makeGridded(dir.file("p.vns"), descriptorOf({"Depth", "Uncertainty", "Status"}), 3, 3);
};
}  // namespace

TEST_F(PointIterTest, ServesNodesAsSoundingsAndRefusesMissingDepth) {
    KIVOSurfacePointIter it(surface, nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(it.getStatus(), 0);
    Names available;
    it.getAvailable(available);
    EXPECT_EQ(available, (Names{"Horizontal_Error", "Source_Name", "Depth", "Vertical_Error"}));
    long index = 0;
    KIVOPointIter::DATA_TYPE type = KIVODataType::DOUBLE;
    EXPECT_FALSE(it.indexOf("Horizontal_Error", index, type));
    EXPECT_EQ(index, -1);
    EXPECT_TRUE(it.indexOf("Source_Name", index, type));
    EXPECT_EQ(index, 3);
    EXPECT_EQ(type, KIVODataType::TEXT);
    NORVAUString source;
    EXPECT_EQ(it.get(3, source), 0);
    EXPECT_EQ(source, surface.getSourceName());
    long integer = 0;
    EXPECT_NE(it.get(0, integer), 0);
    Names names;
    EXPECT_EQ(it.getAttributeNames(names), 0);
    EXPECT_EQ(names, (Names{"Depth", "Uncertainty", "Status"}));

    auto got = depths(it);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[std::make_pair(0.0, 0.0)], 1.0);
    EXPECT_EQ(got[std::make_pair(1.0, 0.0)], 2.0);
    EXPECT_TRUE(std::isnan(got[std::make_pair(2.0, 0.0)])) << "no depth must not read as 0.0";
}

TEST_F(PointIterTest, BoxAndOtherAttributeNames) {
    NORVAUString depthName("Uncertainty");
    KIVOSurfacePointIter it(surface, 0.5, -0.5, 2.5, 0.5, &depthName, nullptr, nullptr);
    auto got = depths(it);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_DOUBLE_EQ(got[std::make_pair(2.0, 0.0)], 0.3);
}

TEST(PointIter, SurfaceWithoutUncertaintyOrAttributes) {
    coretest::TempDir dir;
    KIVOSurface surface = coretest::makeGridded(dir.file("d.vns"), descriptorOf({"Depth"}), 2, 2);
    setNode(surface, 0, 0, {{"Depth", 4.0}});
    KIVOSurfacePointIter it(surface, nullptr, nullptr, nullptr, nullptr);
    Names available;
    it.getAvailable(available);
    EXPECT_EQ(available, (Names{"Horizontal_Error", "Source_Name", "Depth"}));
    long index = 0;
    KIVOPointIter::DATA_TYPE type;
    EXPECT_FALSE(it.indexOf("Vertical_Error", index, type));
    double v = 1.0;
    EXPECT_NE(it.get(KIVOSurfacePointIter::VERTICAL_ERROR, v), 0);

    // A first node that has no attribute set lists no attribute fields.
    KIVOSurface stub = coretest::makeStub({{0, 0, 5.0, false}, {1, 0, 6.0}});
    KIVOSurfacePointIter bare(stub, nullptr, nullptr, nullptr, nullptr);
    bare.getAvailable(available);
    EXPECT_EQ(available, (Names{"Horizontal_Error", "Source_Name"}));
    EXPECT_FALSE(bare.indexOf("Depth", index, type));
    EXPECT_NE(bare.get(0, v), 0);
    long status = 0;
    EXPECT_TRUE(bare.next(status));
    EXPECT_EQ(bare.get(0, v), 0);
    EXPECT_EQ(v, 6.0);
}

TEST_F(PointIterTest, FilteredIteratorSkipsRejectedNodes) {
    auto inner = makeNORVAType<KIVOSurfacePointIter>(surface, nullptr, nullptr, nullptr, nullptr);
    KIVOSurfaceFilteredPointIter it(surface, std::move(inner),
                                    NORVAType<KIVOAttributeFilter>(new KIVOAcceptedStatusFilter(layout())));
    auto got = depths(it);
    EXPECT_EQ(got.size(), 2u);
    EXPECT_EQ(got.count(std::make_pair(1.0, 0.0)), 0u);
    long status = 0;
    EXPECT_FALSE(it.next(status));
}

TEST_F(PointIterTest, FilteredIteratorRejectingEverythingOrWithoutInnerIsDone) {
    auto inner = makeNORVAType<KIVOSurfacePointIter>(surface, nullptr, nullptr, nullptr, nullptr);
    NORVAType<KIVOAttributeFilter> none(
        new KIVORangeAttributeFilter(0, 100.0, 200.0, KIVORangeAttributeFilter::INSIDE_INCLUSIVE));
    KIVOSurfaceFilteredPointIter rejecting(surface, std::move(inner), std::move(none));
    long status = 0;
    EXPECT_TRUE(rejecting.done(status));
    EXPECT_FALSE(rejecting.next(status));

    KIVOSurfaceFilteredPointIter empty(surface, NORVAType<KIVOSurfacePointIter>(), NORVAType<KIVOAttributeFilter>());
    EXPECT_TRUE(empty.done(status));
    EXPECT_FALSE(empty.next(status));
    double x = 0, y = 0, d = 0;
    long index = 0;
    KIVOPointIter::DATA_TYPE type;
    NORVAUString text;
    Names names;
    EXPECT_EQ(empty.getPosition(x, y), -1);
    EXPECT_EQ(empty.get(0, d), -1);
    EXPECT_EQ(empty.get(3, text), -1);
    EXPECT_EQ(empty.count(), -1);
    EXPECT_FALSE(empty.indexOf("Source_Name", index, type));
    EXPECT_EQ(empty.getAttributes(), nullptr);
    EXPECT_EQ(empty.getDescriptor(), nullptr);
    EXPECT_EQ(empty.getAttributeNames(names), -1);
    empty.getAvailable(names);
    EXPECT_TRUE(names.empty());
}

TEST_F(PointIterTest, AreaIteratorKeepsNodesInsideThePolygon) {
    long status = 0;
    KIVOAreaGeomIter inside(surface.query(-1, -1, 3, 3, status, false, nullptr, nullptr, DBL_MAX),
                            NORVAAreaGeometry::rectangle(0.5, -0.5, 2.5, 0.5));
    int served = 0;
    for (; !inside.done(status); inside.next(status)) {
        double x = 0, y = 0;
        inside.getPosition(x, y, -1);
        EXPECT_GT(x, 0.5);
        ++served;
    }
    EXPECT_EQ(served, 2);

    KIVOAreaGeomIter nowhere(surface.query(-1, -1, 3, 3, status, false, nullptr, nullptr, DBL_MAX),
                             NORVAAreaGeometry::rectangle(10, 10, 11, 11));
    EXPECT_TRUE(nowhere.done(status));
    EXPECT_EQ(nowhere.count(), 3) << "the wrapped iterator's count";

    KIVOAreaGeomIter empty(NORVAType<KIVOSurfaceIter>(), NORVAAreaGeometry::rectangle(0, 0, 1, 1));
    double x = 0, y = 0;
    EXPECT_TRUE(empty.done(status));
    EXPECT_FALSE(empty.next(status));
    EXPECT_EQ(empty.getAttributes(), nullptr);
    EXPECT_EQ(empty.getPosition(x, y, -1), -1);
    EXPECT_EQ(empty.count(), -1);
    KIVOMemAttributeSet set(layout());
    EXPECT_EQ(empty.setAttributes(set), -1);
    EXPECT_EQ(empty.getAttributeDescriptor().getNumberOfAttributes(), 0);
}
