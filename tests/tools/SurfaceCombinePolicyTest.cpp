// Combine policy: conflict rule outcomes, weighted copying, designated
// soundings and whole combines into gridded and tile-store products.
#include <gtest/gtest.h>

#include <algorithm>

#include <type_traits>

#include "CombineTestSupport.h"
#include "FolderSnapshot.h"
#include "multires/KestrinSurfaceTestSupport.h"
#include "core/KIVOSurfaceOpen.h"
#include "multires/KIVOKestrinDataIO.h"
#include "platform/frame/KIVOSurfaceUtils.h"
#include "platform/kestrin/KestrinLockHolder.h"
#include "platform/kestrin/KestrinStatus.h"
#include "platform/kestrin/NORVAKestrinDatabase.h"
#include "platform/shapes/NORVAPointGeometry.h"

using namespace combinetest;
namespace Combine = KIVODazavazEdora::Combine;

namespace {

struct Step {
    std::unique_ptr<KIVOAttributeSet> set;
    long status = 0;
};

// One pass of the caller's loop over the source node at (x, y).
Step combineNode(SurfaceCombinePolicy& policy, KIVOSurface& product, KIVOSurface& source, double x, double y) {
    Step step;
    NORVAType<KIVOSurfaceIter> node = source.query(x, y, 0.0, step.status, false, nullptr, nullptr, DBL_MAX);
    if (!node) return step;
    NORVAType<KIVOSurfaceIter> target = policy.getProductIter(product, source, *node, step.status);
    if (!target) return step;
    step.set = policy.getSurfaceAtts(product, *target, source, *node, step.status);
    if (step.set) policy.setNode(source, *step.set, product, *target);
    return step;
}

std::vector<Entry> weightedLayout() {
    return {entry("Depth", KIVODataType::FLOAT, "Weight"), entry("Count", KIVODataType::LONG, "Weight"),
            entry("Weight", KIVODataType::DOUBLE)};
}

struct Fixture {
    TempFolder dir;
    RecordingPolicy policy;
    NORVAType<KIVOSurface> product;
    std::unique_ptr<KIVOSurface> source;

    void make(const std::vector<Entry>& layout, const std::vector<Node>& nodes, const char* output = "p.vns") {
        ASSERT_EQ(0, storeGridded(dir.file("s.vns"), layout, nodes));
        Combine::Options o = options(dir.file(output), {dir.file("s.vns")});
        ASSERT_EQ(0, policy.CreateOutputSurface(o, product));
        source = openGridded(dir.file("s.vns"));
        ASSERT_EQ(0, source->getStatus());
    }
    // Writes a node into the product directly, as an earlier source would.
    void preset(double x, double y, double depth) {
        long status = 0;
        NORVAType<KIVOSurfaceIter> it = product->query(x, y, 0.0, status, true, nullptr, nullptr, DBL_MAX);
        ASSERT_TRUE(it);
        const long d = it->getAttributeDescriptor().getAttributeIndex("Depth");
        ASSERT_EQ(0, it->getAttributes()->setValue(d, static_cast<float>(depth)));
    }
};

}  // namespace

TEST(CombinePolicy, ValuesAreDividedByTheSourceWeight) {
    struct Case {
        double weight;
        double depth;  // NaN: the node is left as it was
        double count;
        int exceptions;
    };
    const std::vector<Case> cases = {
        {3.0, 10.0, 2.0, 0},      // 7 / 3 truncates
        {0.0, 30.0, 7.0, 0},      // a weight of 0 counts as 1
        {2.9, 30.0 / 2.9, 3.0, 0},  // the integer divisor is the truncated weight
        {0.5, NAN, NAN, 1},       // integer divisor 0: nothing is written
        {-2.0, -15.0, -3.0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.weight);
        Fixture f;
        f.make(weightedLayout(), {{1, 1, {{"Depth", 30.0}, {"Count", 7.0}, {"Weight", c.weight}}}});
        f.preset(1, 1, 99.0);  // the rule lets the source win
        testing::internal::CaptureStdout();
        const Step step = combineNode(f.policy, *f.product, *f.source, 1, 1);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(0, step.status);
        EXPECT_EQ(static_cast<size_t>(c.exceptions), f.policy.exceptionLines.size());
        if (std::isnan(c.depth)) {
            EXPECT_FALSE(step.set);
            EXPECT_EQ(827, f.policy.exceptionLines.at(0));
            EXPECT_NE(std::string::npos, out.find("Unhandled exception: .\\tools\\SurfaceCombinePolicy line 827"));
            EXPECT_DOUBLE_EQ(99.0, valueAt(*f.product, 1, 1, "Depth"));  // untouched
            continue;
        }
        EXPECT_NEAR(c.depth, valueAt(*f.product, 1, 1, "Depth"), 1e-5);
        EXPECT_DOUBLE_EQ(c.count, valueAt(*f.product, 1, 1, "Count"));
        EXPECT_EQ(f.dir.file("s.vns"), textAt(*f.product, 1, 1, "Contributor"));
    }
}

TEST(CombinePolicy, AttributeOfAnotherTypeIsNotCopied) {
    TempFolder dir;
    ASSERT_EQ(0, storeGridded(dir.file("s.vns"), {entry("Depth", KIVODataType::DOUBLE),
                                                  entry("Uncertainty", KIVODataType::FLOAT)},
                              {{2, 2, {{"Depth", 12.0}, {"Uncertainty", 0.5}}}}));
    Combine::Options o = options(dir.file("p.vns"), {dir.file("s.vns")});
    long status = 0;
    NORVAType<KIVOSurface> product = Combine::createOutputSurfaceFromAttributeSubset(
        o, {entry("Depth", KIVODataType::FLOAT), entry("Uncertainty", KIVODataType::FLOAT),
            entry("Contributor", KIVODataType::STRING)},
        status);
    ASSERT_TRUE(product);
    auto source = openGridded(dir.file("s.vns"));
    RecordingPolicy policy;
    const Step step = combineNode(policy, *product, *source, 2, 2);
    ASSERT_TRUE(step.set);
    EXPECT_TRUE(std::isnan(valueAt(*product, 2, 2, "Depth")));
    EXPECT_DOUBLE_EQ(0.5, valueAt(*product, 2, 2, "Uncertainty"));
}

TEST(CombinePolicy, ConflictRuleOutcomes) {
    struct Case {
        long rule;
        bool emptyProduct;
        double depth;
        int supersedeCalls;
        long status;
        size_t conflicts;
    };
    const std::vector<Case> cases = {
        {2, false, 30.0, 1, 0, 0},   // the source replaces
        {1, false, 99.0, 1, 0, 0},   // the product stays
        {3, false, 99.0, 1, 0, 0},   // like 1
        {0, false, 99.0, 1, 77, 1},  // unresolvable: the callback's answer is the status
        {-4, false, 99.0, 1, 77, 1},
        {0, true, 30.0, 0, 0, 0},    // an empty product node takes the source without asking
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        Fixture f;
        f.make(weightedLayout(), {{1, 2, {{"Depth", 30.0}}}});
        if (!c.emptyProduct) f.preset(1, 2, 99.0);
        f.policy.rule = c.rule;
        testing::internal::CaptureStdout();
        const Step step = combineNode(f.policy, *f.product, *f.source, 1, 2);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(c.supersedeCalls, f.policy.supersedeCalls);
        EXPECT_EQ(c.status, step.status);
        EXPECT_EQ(c.conflicts, f.policy.conflictLines.size());
        if (c.conflicts) {
            EXPECT_EQ(630, f.policy.conflictLines[0]);
            EXPECT_NE(std::string::npos, out.find("Unresolvable conflict: .\\tools\\SurfaceCombinePolicy line 630: "
                                                  "Conflict unresolvable."));
        }
        EXPECT_NEAR(c.depth, valueAt(*f.product, 1, 2, "Depth"), 1e-5);
    }
}

TEST(CombinePolicy, ThrowingRuleIsReportedTwiceAndEndsNormally) {
    Fixture f;
    f.make(weightedLayout(), {{1, 1, {{"Depth", 30.0}}}});
    f.preset(1, 1, 99.0);
    f.policy.throwing = true;
    testing::internal::CaptureStdout();
    Step step;
    EXPECT_NO_THROW(step = combineNode(f.policy, *f.product, *f.source, 1, 1));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(step.set);
    EXPECT_EQ(0, step.status);
    EXPECT_EQ((std::vector<int>{619, 827}), f.policy.exceptionLines);
    EXPECT_NE(std::string::npos, out.find("line 619: Something horrible happened in Supersede."));
    EXPECT_DOUBLE_EQ(99.0, valueAt(*f.product, 1, 1, "Depth"));
}

TEST(CombinePolicy, RecordedDepthOfSourceWithoutDepthIsNotWritten) {
    TempFolder dir;
    ASSERT_EQ(0, storeGridded(dir.file("s.vns"), {entry("Mean", KIVODataType::FLOAT)}, {{1, 1, {{"Mean", 4.0}}}}));
    Combine::Options o = options(dir.file("p.vns"), {dir.file("s.vns")});
    RecordingPolicy policy;
    NORVAType<KIVOSurface> product;
    ASSERT_EQ(0, policy.CreateOutputSurface(o, product));
    auto source = openDesignated(dir.file("s.vns"), {{1, 1, 8.0}});
    testing::internal::CaptureStdout();
    const Step step = combineNode(policy, *product, *source, 1, 1);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(step.set);
    EXPECT_EQ(std::string::npos, out.find(" -1\n"));  // no write to a missing "Depth"
    EXPECT_DOUBLE_EQ(4.0, valueAt(*product, 1, 1, "Mean"));
}

TEST(CombinePolicy, FailedTrueTransformLeavesTheNode) {
    TempFolder dir;
    Entry depth = entry("Depth", KIVODataType::FLOAT);
    depth.trueXName = "Depth_X";
    depth.trueYName = "Depth_Y";
    const std::vector<Entry> layout = {depth, entry("Depth_X", KIVODataType::DOUBLE),
                                       entry("Depth_Y", KIVODataType::DOUBLE)};
    ASSERT_EQ(0, storeGridded(dir.file("s.vns"), layout,
                              {{1, 1, {{"Depth", 5.0}, {"Depth_X", 500000.0}, {"Depth_Y", 6000000.0}}},
                               {2, 1, {{"Depth", 6.0}, {"Depth_X", NAN}, {"Depth_Y", 6000000.0}}}},
                              4, 4, "EPSG:32632"));
    Combine::Options o = options(dir.file("p.vns"), {dir.file("s.vns")});
    RecordingPolicy policy;
    NORVAType<KIVOSurface> product;
    ASSERT_EQ(0, policy.CreateOutputSurface(o, product));
    auto source = openGridded(dir.file("s.vns"));
    // Same layout in the product, so the sets can be written straight in.
    for (double x : {1.0, 2.0}) {
        long status = 0;
        NORVAType<KIVOSurfaceIter> it = product->query(x, 1.0, 0.0, status, true, nullptr, nullptr, DBL_MAX);
        ASSERT_TRUE(it);
        it->getAttributes()->setValue(0, 77.0f);
        KIVOMemDescriptor d(layout);
        KIVOMemAttributeSet set(d);
        set.setValue(0, 5.0f);
        set.setValue(1, x == 1.0 ? 500000.0 : NAN);
        set.setValue(2, 6000000.0);
        const long rc = policy.setNode(*source, set, *product, *it);
        if (x == 1.0) {
            EXPECT_EQ(0, rc);
            EXPECT_DOUBLE_EQ(5.0, valueAt(*product, x, 1.0, "Depth"));
            EXPECT_GT(std::fabs(valueAt(*product, x, 1.0, "Depth_X") - 500000.0), 1000.0);  // moved a zone west
        } else {
            EXPECT_NE(0, rc);
            EXPECT_DOUBLE_EQ(77.0, valueAt(*product, x, 1.0, "Depth"));  // node as it was
        }
    }
}

TEST(CombinePolicy, PositionKeysMatchWithinTolerance) {
    SurfaceCombinePolicy::PositionMap map;
    map.emplace(SurfaceCombinePolicy::Vector2D(10.0, 20.0), SurfaceCombinePolicy::DesignatedInfo());
    struct Case {
        double dx, dy;
        bool same;
    };
    for (const Case& c : {Case{0.0005, 0.0005, true}, Case{-0.0009, 0.0, true}, Case{0.002, 0.002, false},
                          Case{0.0, 0.002, false}, Case{0.002, 0.0, false}}) {
        SCOPED_TRACE(c.dx);
        EXPECT_EQ(c.same, map.count(SurfaceCombinePolicy::Vector2D(10.0 + c.dx, 20.0 + c.dy)) == 1);
    }
}

TEST(CombinePolicy, DesignatedBookkeeping) {
    TempFolder dir;
    ASSERT_EQ(0, storeGridded(dir.file("s.vns"), {entry("Depth", KIVODataType::FLOAT)},
                              {{1, 1, {{"Depth", 4.0}}}, {2, 2, {{"Depth", 5.0}}}}));
    auto plain = openGridded(dir.file("s.vns"));
    RecordingPolicy policy;
    using V = SurfaceCombinePolicy::Vector2D;
    double value = 0.0;
    testing::internal::CaptureStdout();
    policy.RemoveDesignatedNode(*plain, V(1, 1));
    EXPECT_EQ("", testing::internal::GetCapturedStdout());  // no entry: nothing loaded, nothing printed
    EXPECT_EQ(-1, policy.GetDesignatedNodeOriginalValue(*plain, V(1, 1), value));

    // Two soundings in one node: the first read stays.
    auto designated = openDesignated(dir.file("s.vns"), {{1.2, 0.9, 3.5}, {0.8, 1.1, 9.0}});
    ASSERT_TRUE(policy.LoadDesignatedNodes(*designated));
    EXPECT_EQ(0, policy.GetDesignatedNodeOriginalValue(*designated, V(1, 1), value));
    EXPECT_DOUBLE_EQ(3.5, value);
    EXPECT_EQ(-2, policy.GetDesignatedNodeOriginalValue(*designated, V(2, 2), value));
    testing::internal::CaptureStdout();
    policy.RemoveDesignatedNode(*designated, V(2, 2));
    EXPECT_NE(std::string::npos,
              testing::internal::GetCapturedStdout().find("*** WARNING ***: Unable to remove designated sounding"));
    SurfaceCombinePolicy::DesignatedType type = KIVODesignatedIter::DESIGNATED;
    testing::internal::CaptureStdout();
    policy.AddDesignatedNode(*designated, V(1, 1), V(1.0, 1.0), 4.5, type);
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStdout().find("Replacing designated sounding"));
    EXPECT_EQ(0, policy.GetDesignatedNodeOriginalValue(*designated, V(1, 1), value));
    EXPECT_DOUBLE_EQ(4.5, value);
    EXPECT_FALSE(policy.LoadDesignatedNodes(*plain));
}

TEST(CombinePolicy, DerivedPoliciesDeleteThroughTheBase) {
    EXPECT_TRUE(std::has_virtual_destructor<SurfaceCombinePolicy>::value);
    std::unique_ptr<SurfaceCombinePolicy> owned(new RecordingPolicy());
    EXPECT_TRUE(owned);
}

// Two overlapping 4 x 4 sources, the second two columns east, merged
// with the later source winning, then the designated pass.
class WholeCombine : public testing::TestWithParam<const char*> {};

TEST_P(WholeCombine, OverlappingSourcesWithDesignatedSoundings) {
    TempFolder dir;
    std::vector<Node> a, b;
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 4; ++y) {
            a.push_back({double(x), double(y), {{"Depth", 10.0 + x + 10 * y}, {"Uncertainty", 0.5}}});
            b.push_back({double(x + 2), double(y), {{"Depth", 50.0 + x + 2 + 10 * y}, {"Uncertainty", 0.25}}});
        }
    const std::vector<Entry> layout = {entry("Depth", KIVODataType::FLOAT), entry("Uncertainty", KIVODataType::FLOAT)};
    ASSERT_EQ(0, storeGridded(dir.file("a.vns"), layout, a));
    ASSERT_EQ(0, storeGridded(dir.file("b.vns"), layout, b, 6, 4));
    // Node (3, 1) of "b" holds a designated sounding; its depth before that was 40.
    auto sourceA = openGridded(dir.file("a.vns"));
    auto sourceB = openDesignated(dir.file("b.vns"), {{3.0, 1.0, 40.0}});
    const NORVAUString output = dir.file(GetParam());
    Combine::Options o = options(output, {dir.file("a.vns"), dir.file("b.vns")});
    RecordingPolicy policy;
    NORVAType<KIVOSurface> product;
    ASSERT_EQ(0, policy.CreateOutputSurface(o, product));
    EXPECT_EQ(NORVAUString("Combine"), product->getMetaData()->getProcessRecord().name);
    testing::internal::CaptureStdout();
    ASSERT_EQ(0, mergeInto(policy, *product, *sourceA));
    ASSERT_EQ(0, mergeInto(policy, *product, *sourceB));
    // The merge pass used the recorded depth of the designated node.
    EXPECT_DOUBLE_EQ(40.0, valueAt(*product, 3, 1, "Depth"));
    policy.BeforeStoreProductSurface(*product, o);
    ASSERT_EQ(0, product->store(nullptr));
    policy.AfterStoreProductSurface(*product, o);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(policy.errorLines.empty());

    long status = 0;
    NORVAType<KIVOSurface> reopened = KIVOSurfaceUtils::open(output, status);
    ASSERT_EQ(0, status);
    ASSERT_TRUE(reopened);
    for (int x = 0; x < 6; ++x)
        for (int y = 0; y < 4; ++y) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            const bool fromB = x >= 2;  // the later source wins where both have data
            // The designated node (3, 1) gets its designated depth back.
            EXPECT_DOUBLE_EQ((fromB ? 50.0 : 10.0) + x + 10 * y, valueAt(*reopened, x, y, "Depth"));
            EXPECT_DOUBLE_EQ(fromB ? 0.25 : 0.5, valueAt(*reopened, x, y, "Uncertainty"));
            EXPECT_EQ(dir.file(fromB ? "b.vns" : "a.vns"), textAt(*reopened, x, y, "Contributor"));
        }
    EXPECT_EQ(NORVAUString(GetParam()).endsWith(".kps"), innerAs<KIVOKestrinDataIO>(*reopened) != nullptr);
    if (innerAs<KIVOKestrinDataIO>(*reopened)) {
        // The tile store keeps the mark in the node's "Status"; every other
        // node gets a status without it (an unset one would read as the
        // invalid value, whose bit 30 is set).
        for (int x = 0; x < 6; ++x)
            for (int y = 0; y < 4; ++y) {
                SCOPED_TRACE(testing::Message() << x << "," << y);
                const double status = valueAt(*reopened, x, y, "Status");
                EXPECT_EQ(x == 3 && y == 1 ? SurfaceCombinePolicy::kDesignatedBit : 0, static_cast<long>(status));
            }
    }
}

INSTANTIATE_TEST_SUITE_P(Products, WholeCombine, testing::Values("product.vns", "product.kps"));

// Both kinds of product keep their metadata in "<name>.xml": a product of the
// other kind under an earlier product's name is refused before anything is
// written, and the earlier one opens as it was. One of its own kind is made
// again as before.
TEST(CombinePolicy, AProductOfAnotherKindUnderAnEarlierProductsNameIsRefused) {
    TempFolder dir;
    const NORVAUString source = dir.file("a.vns");
    ASSERT_EQ(0, storeGridded(source, {entry("Depth", KIVODataType::FLOAT)}, {{1.0, 2.0, {{"Depth", 7.5}}}}));
    auto quietly = [&](const char* product) {
        testing::internal::CaptureStdout();
        const long status = combine(dir.file(product), {source});
        testing::internal::GetCapturedStdout();
        return status;
    };
    ASSERT_EQ(0, quietly("product.vns"));
    const foldersnapshot::Snapshot before = foldersnapshot::take(dir.path().toUTF8());
    EXPECT_EQ(KIVOSurfaceUtils::kNameTaken, quietly("product.kps"));
    EXPECT_TRUE(before == foldersnapshot::take(dir.path().toUTF8()));
    long status = -1;
    NORVAType<KIVOSurface> earlier = KIVOSurfaceUtils::open(dir.file("product.vns"), status);
    EXPECT_EQ(0, status);
    EXPECT_EQ(7.5, earlier ? valueAt(*earlier, 1.0, 2.0, "Depth") : 0.0);
    earlier.reset();
    EXPECT_EQ(0, quietly("product.vns"));
}

// Every node of a combine written out: attribute values (or "-" when
// unset), the designated soundings the policy holds for the product, and
// what the policy printed. The sources mix types, weights, holes, a type
// clash and designated soundings; the rule keeps the shallower depth.
namespace {

class ShallowerWins : public RecordingPolicy {
public:
    long Supersede(KIVOSurface& product, const KIVOAttributeSet& productNode, const Vector2D&, const NORVAUString&,
                   KIVOSurface& source, const KIVOAttributeSet& sourceNode, const Vector2D&,
                   const NORVAUString&) override {
        double mine = 0.0, theirs = 0.0;
        productNode.getDoubleValue(product.getAttributeInfo()->getDescriptor().getAttributeIndex("Depth"), mine, true);
        sourceNode.getDoubleValue(source.getAttributeInfo()->getDescriptor().getAttributeIndex("Depth"), theirs, true);
        return theirs < mine ? 2 : 3;
    }
};

std::string withoutFolder(std::string text, const NORVAUString& folder) {
    const std::string prefix = (folder + "/").toUTF8();
    for (size_t at; (at = text.find(prefix)) != std::string::npos;) text.erase(at, prefix.size());
    return text;
}

std::string valueText(const KIVOAttributeSet& node, const KIVODescriptor& d, long i) {
    if (!node.isSet(i)) return "-";
    NORVAUString v;
    double number = 0.0;
    const KIVODataType::DATA_TYPE type = d.getAttributeType(i);
    if (type == KIVODataType::STRING || type == KIVODataType::TEXT) node.getStringValue(i, v, false);
    else if (node.getDoubleValue(i, number, false) == 0) v = NORVAUString::formatDouble(number);
    return v.toUTF8();
}

std::string dumpProduct(KIVOSurface& product, ShallowerWins& policy) {
    long status = 0;
    NORVAType<KIVOSurfaceIter> it = product.query(-1, -1, 99, 99, status, true, nullptr, nullptr, DBL_MAX);
    std::string out;
    const KIVODescriptor& d = it->getAttributeDescriptor();
    for (; it && !it->done(status); it->next(status)) {
        double x = 0.0, y = 0.0, original = 0.0;
        it->getPosition(x, y, -1);
        out += NORVAUString::formatDouble(x).toUTF8() + "," + NORVAUString::formatDouble(y).toUTF8();
        for (long i = 0; i < d.getNumberOfAttributes(); ++i) {
            out += " " + d.getAttributeName(i).toUTF8() + "=" + valueText(*it->getAttributes(), d, i);
        }
        if (policy.GetDesignatedNodeOriginalValue(product, SurfaceCombinePolicy::Vector2D(x, y), original) == 0)
            out += " designated=" + NORVAUString::formatDouble(original).toUTF8();
        out += "\n";
    }
    return out;
}

struct Pinned {
    const char* output;
    const char* expected;
};

// What the combine gave before its speed work. The tile store reads unset
// attributes as their invalid values and serves only nodes it was given.
const char* const kPinnedGridded = R"(2.000000 1.000000 30.000000 0
1.000000 2.000000 3.000000 0
3.000000 1.000000 40.000000 0
5.000000 2.000000 1.500000 0
0,0 Depth=5 Count=3 Name=100 Mean=0 Uncertainty=- Count=- Flag=- Note=- Mean=- Contributor=a.vns
1,0 Depth=- Count=- Name=- Mean=- Uncertainty=- Count=- Flag=- Note=- Mean=- Contributor=-
2,0 Depth=9 Count=- Name=- Mean=- Uncertainty=0 Count=0 Flag=0 Note=0 Mean=- Contributor=b.vns
3,0 Depth=6.5 Count=5 Name=103 Mean=1.5 Uncertainty=- Count=- Flag=- Note=- Mean=- Contributor=a.vns
4,0 Depth=13 Count=- Name=- Mean=- Uncertainty=0 Count=0 Flag=2 Note=2000 Mean=- Contributor=b.vns
5,0 Depth=15 Count=- Name=- Mean=- Uncertainty=0 Count=0 Flag=3 Note=3000 Mean=- Contributor=b.vns
0,1 Depth=13 Count=7 Name=100 Mean=0 Uncertainty=- Count=- Flag=- Note=- Mean=- Contributor=a.vns
1,1 Depth=14 Count=8 Name=101 Mean=0.5 Uncertainty=- Count=- Flag=- Note=- Mean=- Contributor=a.vns
2,1 Depth=10 Count=- Name=- Mean=- Uncertainty=0.25 Count=-3 Flag=1 Note=1 Mean=2.5 Contributor=b.vns
3,1 Depth=12 Count=- Name=- Mean=- Uncertainty=0.25 Count=- Flag=2 Note=1001 Mean=2.5 Contributor=b.vns
4,1 Depth=14 Count=- Name=- Mean=- Uncertainty=0.25 Count=-3 Flag=3 Note=2001 Mean=2.5 Contributor=b.vns
5,1 Depth=16 Count=- Name=- Mean=- Uncertainty=0.25 Count=-3 Flag=4 Note=3001 Mean=2.5 Contributor=b.vns
0,2 Depth=16 Count=- Name=100 Mean=0 Uncertainty=- Count=- Flag=- Note=- Mean=- Contributor=a.vns
1,2 Depth=1.5 Count=- Name=101 Mean=0.5 Uncertainty=- Count=- Flag=- Note=- Mean=- Contributor=a.vns
2,2 Depth=11 Count=- Name=- Mean=- Uncertainty=0.5 Count=-6 Flag=2 Note=2 Mean=- Contributor=b.vns
3,2 Depth=13 Count=- Name=- Mean=- Uncertainty=0.5 Count=- Flag=3 Note=1002 Mean=- Contributor=b.vns
4,2 Depth=15 Count=- Name=- Mean=- Uncertainty=0.5 Count=-6 Flag=4 Note=2002 Mean=- Contributor=b.vns
5,2 Depth=1.5 Count=- Name=- Mean=- Uncertainty=0.5 Count=-6 Flag=5 Note=3002 Mean=- Contributor=b.vns
)";
const char* const kPinnedTileStore = R"(2.000000 1.000000 30.000000 0
1.000000 2.000000 3.000000 0
3.000000 1.000000 40.000000 0
5.000000 2.000000 1.500000 0
Adding designated sounding: 3.000000, 1.000000, 40.000000
0,0 Depth=5 Count=3 Name=100 Mean=0 Uncertainty=3.4028234663852886e+38 Count=32767 Flag=255 Note= Mean=3.4028234663852886e+38 Contributor=a.vns Status=0
2,0 Depth=9 Count=2147483647 Name= Mean=1.7976931348623157e+308 Uncertainty=0 Count=32767 Flag=0 Note=0 Mean=3.4028234663852886e+38 Contributor=b.vns Status=0
3,0 Depth=6.5 Count=5 Name=103 Mean=1.5 Uncertainty=3.4028234663852886e+38 Count=32767 Flag=255 Note= Mean=3.4028234663852886e+38 Contributor=a.vns Status=0
0,1 Depth=13 Count=7 Name=100 Mean=0 Uncertainty=3.4028234663852886e+38 Count=32767 Flag=255 Note= Mean=3.4028234663852886e+38 Contributor=a.vns Status=0
1,1 Depth=14 Count=8 Name=101 Mean=0.5 Uncertainty=3.4028234663852886e+38 Count=32767 Flag=255 Note= Mean=3.4028234663852886e+38 Contributor=a.vns Status=0
2,1 Depth=10 Count=2147483647 Name= Mean=1.7976931348623157e+308 Uncertainty=0.25 Count=32767 Flag=1 Note=1 Mean=3.4028234663852886e+38 Contributor=b.vns Status=0
3,1 Depth=12 Count=2147483647 Name= Mean=1.7976931348623157e+308 Uncertainty=0.25 Count=32767 Flag=2 Note=1001 Mean=3.4028234663852886e+38 Contributor=b.vns Status=1073741824 designated=40
0,2 Depth=16 Count=2147483647 Name=100 Mean=0 Uncertainty=3.4028234663852886e+38 Count=32767 Flag=255 Note= Mean=3.4028234663852886e+38 Contributor=a.vns Status=0
1,2 Depth=1.5 Count=2147483647 Name=101 Mean=0.5 Uncertainty=3.4028234663852886e+38 Count=32767 Flag=255 Note= Mean=3.4028234663852886e+38 Contributor=a.vns Status=0
2,2 Depth=11 Count=2147483647 Name= Mean=1.7976931348623157e+308 Uncertainty=0.5 Count=32767 Flag=2 Note=2 Mean=3.4028234663852886e+38 Contributor=b.vns Status=0
3,2 Depth=13 Count=2147483647 Name= Mean=1.7976931348623157e+308 Uncertainty=0.5 Count=32767 Flag=3 Note=1002 Mean=3.4028234663852886e+38 Contributor=b.vns Status=0
4,0 Depth=13 Count=2147483647 Name= Mean=1.7976931348623157e+308 Uncertainty=0 Count=32767 Flag=2 Note=2000 Mean=3.4028234663852886e+38 Contributor=b.vns Status=0
5,0 Depth=15 Count=2147483647 Name= Mean=1.7976931348623157e+308 Uncertainty=0 Count=32767 Flag=3 Note=3000 Mean=3.4028234663852886e+38 Contributor=b.vns Status=0
4,1 Depth=14 Count=2147483647 Name= Mean=1.7976931348623157e+308 Uncertainty=0.25 Count=32767 Flag=3 Note=2001 Mean=3.4028234663852886e+38 Contributor=b.vns Status=0
5,1 Depth=16 Count=2147483647 Name= Mean=1.7976931348623157e+308 Uncertainty=0.25 Count=32767 Flag=4 Note=3001 Mean=3.4028234663852886e+38 Contributor=b.vns Status=0
4,2 Depth=15 Count=2147483647 Name= Mean=1.7976931348623157e+308 Uncertainty=0.5 Count=32767 Flag=4 Note=2002 Mean=3.4028234663852886e+38 Contributor=b.vns Status=0
5,2 Depth=1.5 Count=2147483647 Name= Mean=1.7976931348623157e+308 Uncertainty=0.5 Count=32767 Flag=5 Note=3002 Mean=3.4028234663852886e+38 Contributor=b.vns Status=0
)";

class PinnedCombine : public testing::TestWithParam<Pinned> {};

}  // namespace

TEST_P(PinnedCombine, ResultStaysTheSame) {
    TempFolder dir;
    const std::vector<Entry> layoutA = {entry("Depth", KIVODataType::FLOAT, "Weight"),
                                        entry("Weight", KIVODataType::DOUBLE),
                                        entry("Count", KIVODataType::LONG, "Weight"),
                                        entry("Name", KIVODataType::STRING),
                                        entry("Mean", KIVODataType::DOUBLE)};
    const std::vector<Entry> layoutB = {entry("Depth", KIVODataType::FLOAT), entry("Uncertainty", KIVODataType::FLOAT),
                                        entry("Count", KIVODataType::SHORT), entry("Flag", KIVODataType::UCHAR),
                                        entry("Note", KIVODataType::TEXT, "", 8), entry("Mean", KIVODataType::FLOAT)};
    std::vector<Node> a, b;
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 3; ++y) {
            if (x == 1 && y == 0) continue;  // a hole
            Values va = {{"Depth", 10.0 + x + 3 * y}, {"Weight", (x + y) % 3 == 0 ? 2.0 : (x == 3 ? 0.0 : 1.0)},
                         {"Name", 100.0 + x}, {"Mean", 0.5 * x}};
            if (y != 2) va["Count"] = 7.0 + x;
            a.push_back({double(x), double(y), va});
            Values vb = {{"Depth", 9.0 + 2 * x + y}, {"Uncertainty", 0.25 * y}, {"Flag", double(x + y)},
                         {"Note", 1000.0 * x + y}};
            if (x != 1) vb["Count"] = -3.0 * y;
            if (y == 1) vb["Mean"] = 2.5;
            b.push_back({double(x + 2), double(y), vb});
        }
    ASSERT_EQ(0, storeGridded(dir.file("a.vns"), layoutA, a, 4, 3));
    ASSERT_EQ(0, storeGridded(dir.file("b.vns"), layoutB, b, 6, 3));
    auto sourceA = openDesignated(dir.file("a.vns"), {{1.1, 2.0, 3.0}, {2.0, 0.9, 30.0}});
    auto sourceB = openDesignated(dir.file("b.vns"), {{3.0, 1.0, 40.0}, {5.0, 2.0, 1.5}});
    Combine::Options o = options(dir.file(GetParam().output), {dir.file("a.vns"), dir.file("b.vns")}, 5.0, 2.0);
    ShallowerWins policy;
    NORVAType<KIVOSurface> product;
    ASSERT_EQ(0, policy.CreateOutputSurface(o, product));
    testing::internal::CaptureStdout();
    ASSERT_EQ(0, mergeInto(policy, *product, *sourceA));
    ASSERT_EQ(0, mergeInto(policy, *product, *sourceB));
    policy.BeforeStoreProductSurface(*product, o);
    ASSERT_EQ(0, product->store(nullptr));
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(policy.errorLines.empty());
    EXPECT_TRUE(policy.exceptionLines.empty());
    EXPECT_EQ(GetParam().expected, withoutFolder(printed + dumpProduct(*product, policy), dir.path()));
}

INSTANTIATE_TEST_SUITE_P(Products, PinnedCombine,
                         testing::Values(Pinned{"product.vns", kPinnedGridded}, Pinned{"product.kps", kPinnedTileStore}));

// A source of 20 x 20 nodes 0.7 apart into a product of spacing 1 under the
// shallower-wins rule: every source node reaches a product node, the rule is
// asked wherever one already holds data, and the shoalest depth survives,
// into a tile store as into a grid.
class DenserSource : public testing::TestWithParam<const char*> {};

TEST_P(DenserSource, EverySourceNodeReachesAProductNode) {
    struct Counting : ShallowerWins {
        int calls = 0;
        long Supersede(KIVOSurface& p, const KIVOAttributeSet& pn, const Vector2D& pp, const NORVAUString& pc,
                       KIVOSurface& s, const KIVOAttributeSet& sn, const Vector2D& sp,
                       const NORVAUString& name) override {
            ++calls;
            return ShallowerWins::Supersede(p, pn, pp, pc, s, sn, sp, name);
        }
    };
    TempFolder dir;
    const NORVAUString sourcePath = dir.file("s.kps");
    {
        auto io = kestrinsurface::created(sourcePath, {entry("Depth", KIVODataType::FLOAT)}, 0.7);
        for (int i = 0; i < 20; ++i)
            for (int j = 0; j < 20; ++j)
                kestrinsurface::addNode(*io, 0.7 * i, 0.7 * j, i == 7 && j == 12 ? 1.0 : 10.0 + (i * 7 + j * 13) % 17);
        ASSERT_EQ(0, io->store(nullptr));
    }
    long status = 0;
    NORVAType<KIVOSurface> source = KIVOSurfaceUtils::open(sourcePath, status);
    ASSERT_EQ(0, status);
    Combine::Options o = options(dir.file(GetParam()), {sourcePath}, 13.3, 13.3);
    Counting policy;
    NORVAType<KIVOSurface> product;
    ASSERT_EQ(0, policy.CreateOutputSurface(o, product));
    EXPECT_EQ(0, mergeInto(policy, *product, *source));
    EXPECT_EQ(0, policy.getNodesLost());
    double shoalest = HUGE_VAL;
    size_t nodes = 0;
    NORVAType<KIVOSurfaceIter> it = product->query(-1, -1, 15, 15, status, false, nullptr, nullptr, DBL_MAX);
    for (; it && !it->done(status); it->next(status)) {
        double depth = 0.0;
        if (it->getAttributes()->isEmpty()) continue;
        it->getAttributes()->getDoubleValue(0, depth, false);
        shoalest = std::min(shoalest, depth);
        ++nodes;
    }
    // Each source node made its product node or was put to the rule.
    EXPECT_EQ(400u, nodes + static_cast<size_t>(policy.calls));
    EXPECT_EQ(1.0, shoalest);
}

INSTANTIATE_TEST_SUITE_P(Products, DenserSource, testing::Values("product.vns", "product.kps"));

// A source node under no product node (beyond a gridded product's cover) is
// left out with a status, counted, and reported before the product is stored.
TEST(CombinePolicy, ASourceNodeUnderNoProductNodeIsCountedAndReported) {
    TempFolder dir;
    std::vector<Node> nodes;
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 4; ++y) nodes.push_back({double(x), double(y), {{"Depth", 5.0 + x}}});
    ASSERT_EQ(0, storeGridded(dir.file("s.vns"), {entry("Depth", KIVODataType::FLOAT)}, nodes));
    Combine::Options o = options(dir.file("p.vns"), {dir.file("s.vns")}, 1.0, 1.0);
    RecordingPolicy policy;
    NORVAType<KIVOSurface> product;
    ASSERT_EQ(0, policy.CreateOutputSurface(o, product));
    auto source = openGridded(dir.file("s.vns"));
    for (const Node& n : nodes) {
        long status = 0;
        NORVAType<KIVOSurfaceIter> node = source->query(n.x, n.y, 0.0, status, false, nullptr, nullptr, DBL_MAX);
        NORVAType<KIVOSurfaceIter> target = policy.getProductIter(*product, *source, *node, status);
        ASSERT_TRUE(target);
        std::unique_ptr<KIVOAttributeSet> set = policy.getSurfaceAtts(*product, *target, *source, *node, status);
        ASSERT_TRUE(set);
        EXPECT_EQ(n.x <= 1 && n.y <= 1 ? 0 : SurfaceCombinePolicy::kSourceNodeLost,
                  policy.setNode(*source, *set, *product, *target))
            << n.x << "," << n.y;
    }
    EXPECT_EQ(12, policy.getNodesLost());
    testing::internal::CaptureStdout();
    policy.BeforeStoreProductSurface(*product, o);
    EXPECT_EQ("12 source nodes reached no product node and were left out.\n", testing::internal::GetCapturedStdout());
}

// A tile-store source with a designated sounding at (10.3, 10.3), depth 3,
// and a plain point at (10, 10), depth 5, in one product node: whatever
// their order in the store, the node takes the designated depth, and the
// source keeps both depths as they were.
TEST(CombinePolicy, TheDesignatedSoundingNearestItsPositionWinsFromATileStore) {
    struct Sounding {
        double x, y, depth;
        long status;
    };
    const Sounding plain{10.0, 10.0, 5.0, 0}, marked{10.3, 10.3, 3.0, SurfaceCombinePolicy::kDesignatedBit};
    for (bool markedFirst : {false, true}) {
        SCOPED_TRACE(markedFirst);
        TempFolder dir;
        const NORVAUString sourcePath = dir.file("s.kps");
        {
            auto meta = kestrinsurface::metadata(
                {entry("Depth", KIVODataType::FLOAT), entry("Status", KIVODataType::LONG)}, 1.0);
            KIVOKestrinDataIO io(sourcePath, *meta);
            // Straight into the store: two soundings in one node's square.
            NORVAKestrinTileStore& store = *io.getTileStore();
            NORVAKestrinPointCollection batch;
            batch.setSize(2);
            size_t i = 0;
            for (const Sounding& s : markedFirst ? std::vector<Sounding>{marked, plain}
                                                 : std::vector<Sounding>{plain, marked}) {
                NORVAKestrinGenericDataObject r(store.getDataIO(0)->getLayout());
                r.setAttribute(0, s.depth, true);
                r.setAttribute(1, static_cast<double>(s.status), true);
                batch.setPoint(i++, NORVAArray<double>{s.x, s.y}, r, 0);
            }
            ASSERT_EQ(0, store.addPoints(batch, true, 0, 0));
            ASSERT_EQ(0, io.store(nullptr));
        }
        long status = 0;
        NORVAType<KIVOSurface> source = KIVOSurfaceUtils::open(sourcePath, status);
        ASSERT_EQ(0, status);
        Combine::Options o = options(dir.file("p.vns"), {sourcePath}, 20.0, 20.0);
        RecordingPolicy policy;
        NORVAType<KIVOSurface> product;
        ASSERT_EQ(0, policy.CreateOutputSurface(o, product));
        testing::internal::CaptureStdout();
        ASSERT_EQ(0, mergeInto(policy, *product, *source));
        policy.BeforeStoreProductSurface(*product, o);
        testing::internal::GetCapturedStdout();
        EXPECT_DOUBLE_EQ(3.0, valueAt(*product, 10, 10, "Depth"));
        EXPECT_DOUBLE_EQ(5.0, valueAt(*source, 10, 10, "Depth"));
        EXPECT_DOUBLE_EQ(3.0, valueAt(*source, 10.3, 10.3, "Depth"));
    }
}

// A stored product node the tile store cannot write (another process holds
// the points file's write lock) fails `setNode` rather than counting as
// written; once the lock is gone the same node is written and stored.
TEST(CombinePolicy, AProductNodeTheTileStoreCannotWriteIsReported) {
    const int timeout = NORVAKestrinDatabase::getBusyTimeout();
    NORVAKestrinDatabase::setBusyTimeout(50);
    TempFolder dir;
    const std::vector<Entry> layout = {entry("Depth", KIVODataType::FLOAT)};
    ASSERT_EQ(0, storeGridded(dir.file("a.vns"), layout, {{1, 1, {{"Depth", 7.0}}}}));
    ASSERT_EQ(0, storeGridded(dir.file("b.vns"), layout, {{1, 1, {{"Depth", 9.0}}}}));
    const NORVAUString output = dir.file("p.kps");
    {
        RecordingPolicy policy;
        NORVAType<KIVOSurface> product;
        Combine::Options o = options(output, {dir.file("a.vns")});
        ASSERT_EQ(0, policy.CreateOutputSurface(o, product));
        ASSERT_EQ(0, mergeInto(policy, *product, *openGridded(dir.file("a.vns"))));
        ASSERT_EQ(0, product->store(nullptr));
    }
    long status = 0;
    NORVAType<KIVOSurface> product = KIVOSurfaceUtils::open(output, status);
    ASSERT_EQ(0, status);
    auto source = openGridded(dir.file("b.vns"));
    RecordingPolicy policy;
    {
        kestrintest::LockHolder holder(dir.file("p.ktf").toUTF8(), "BEGIN IMMEDIATE");
        ASSERT_TRUE(holder.locked());
        EXPECT_EQ(KestrinStatus::WRITE_FAILED, mergeInto(policy, *product, *source));
    }
    EXPECT_DOUBLE_EQ(7.0, valueAt(*product, 1, 1, "Depth"));
    EXPECT_EQ(0, mergeInto(policy, *product, *source));
    EXPECT_EQ(0, product->store(nullptr));
    NORVAKestrinDatabase::setBusyTimeout(timeout);
    NORVAType<KIVOSurface> reopened = KIVOSurfaceUtils::open(output, status);
    ASSERT_EQ(0, status);
    EXPECT_DOUBLE_EQ(9.0, valueAt(*reopened, 1, 1, "Depth"));
}

// A product node that refuses its values (a read-only node, as a CUBE member
// of a compound product serves) fails `setNode` instead of counting as written.
TEST(CombinePolicy, AProductNodeThatRefusesItsValuesIsReported) {
    struct ReadOnlyNode : KIVOAttributeSet {
        std::unique_ptr<KIVOAttributeSet> newCopy() const override { return std::make_unique<ReadOnlyNode>(); }
        bool isSet(long) const override { return false; }
        bool isEmpty() const override { return true; }
        bool reset() override { return false; }
    };
    struct OneNode : KIVOSurfaceIter {
        ReadOnlyNode node;
        const KIVODescriptor* layout = nullptr;
        bool next(long& status) override { return (status = 0) != 0; }
        KIVOAttributeSet* getAttributes() override { return &node; }
        long getPosition(double& x, double& y, const long&) const override { return x = y = 1.0, 0; }
        long count() const override { return 1; }
        const KIVODescriptor& getAttributeDescriptor() const override { return *layout; }
    };
    Fixture f;
    f.make({entry("Depth", KIVODataType::FLOAT)}, {{1, 1, {{"Depth", 7.0}}}});
    OneNode target;
    target.layout = &f.product->getAttributeInfo()->getDescriptor();
    KIVOMemAttributeSet set(*target.layout);
    ASSERT_EQ(0, set.setValue(0, 7.0f));
    EXPECT_NE(0, f.policy.setNode(*f.source, set, *f.product, target));
}
