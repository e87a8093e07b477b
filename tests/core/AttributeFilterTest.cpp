#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "core/KIVOAcceptedStatusFilter.h"
#include "core/KIVOAttributeInterface.h"
#include "core/KIVOComplexAttributeFilter.h"
#include "core/KIVORangeAttributeFilter.h"
#include "core/CoreTestSupport.h"
#include "platform/exprkit/ExpressionEvaluator.h"

using coretest::descriptorOf;
using NORVAExpression::ExpressionEvaluator;

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Depth at index 0, Status at index 1.
struct Node {
    KIVOMemDescriptor descriptor = descriptorOf({"Depth", "Status"});
    KIVOMemAttributeSet set{descriptor};
    explicit Node(double depth = kNaN, double status = kNaN) {
        if (!std::isnan(depth)) set.setValue(0, depth);
        if (!std::isnan(status)) set.setValue(1, status);
    }
};

bool passes(const KIVOAttributeFilter& f, double depth, double status = kNaN) {
    Node n(depth, status);
    return f.passes(&n.set);
}
}  // namespace

TEST(RangeAttributeFilter, BoundsOfEachType) {
    using F = KIVORangeAttributeFilter;
    struct Case {
        F::FilterType type;
        bool at2, at5, inside, below, nan;
    };
    const Case cases[] = {{F::INSIDE_INCLUSIVE, true, true, true, false, false},
                          {F::INSIDE_EXCLUSIVE, false, false, true, false, false},
                          {F::OUTSIDE_INCLUSIVE, true, true, false, true, false},
                          {F::OUTSIDE_EXCLUSIVE, false, false, false, true, false}};
    for (const Case& c : cases) {
        F filter(0, 2.0, 5.0, c.type);
        SCOPED_TRACE(c.type);
        EXPECT_EQ(passes(filter, 2.0), c.at2);
        EXPECT_EQ(passes(filter, 5.0), c.at5);
        EXPECT_EQ(passes(filter, 3.5), c.inside);
        EXPECT_EQ(passes(filter, 1.0), c.below);
        EXPECT_EQ(passes(filter, 6.0), c.below);
        Node nan;
        nan.set.setValue(0, kNaN);
        ASSERT_TRUE(nan.set.isSet(0));
        EXPECT_EQ(filter.passes(&nan.set), c.nan);
        EXPECT_FALSE(passes(filter, kNaN)) << "unset";
        EXPECT_FALSE(filter.passes(nullptr));
        // A copy filters alike.
        NORVAType<KIVOAttributeFilter> copy = filter.newCopy();
        EXPECT_EQ(passes(*copy, 2.0), c.at2);
    }
}

TEST(RangeAttributeFilter, MissingAttributeAndUnknownTypeFail) {
    KIVORangeAttributeFilter filter(-1, 2.0, 5.0, KIVORangeAttributeFilter::OUTSIDE_INCLUSIVE);
    EXPECT_FALSE(passes(filter, 1.0));
    filter.setAttributeIndex(7);
    EXPECT_FALSE(passes(filter, 1.0));
    filter.setAttributeIndex(0);
    filter.setFilterType(static_cast<KIVORangeAttributeFilter::FilterType>(4));
    EXPECT_FALSE(passes(filter, 1.0));
}

TEST(AcceptedStatusFilter, RejectsOnlyReadableNegativeStatus) {
    KIVOMemDescriptor layout = descriptorOf({"Depth", "Status"});
    KIVOAcceptedStatusFilter filter(layout);
    EXPECT_EQ(filter.getStatusIndex(), 1);
    EXPECT_TRUE(passes(filter, 1.0, -0.5)) << "-0.5 truncates to 0";
    EXPECT_TRUE(passes(filter, 1.0, 0.0));
    EXPECT_FALSE(passes(filter, 1.0, -1.0));
    EXPECT_FALSE(passes(filter, 1.0, 3e9)) << "beyond any 32-bit status";
    EXPECT_FALSE(passes(filter, 1.0, -3e9));
    Node nan(1.0);
    nan.set.setValue(1, kNaN);
    EXPECT_FALSE(filter.passes(&nan.set));
    EXPECT_TRUE(passes(filter, 1.0)) << "unset status";
    EXPECT_TRUE(filter.passes(nullptr));
    EXPECT_FALSE(passes(*filter.newCopy(), 1.0, -1.0));

    KIVOAcceptedStatusFilter noStatus(descriptorOf({"Depth"}));
    EXPECT_EQ(noStatus.getStatusIndex(), -1);
    EXPECT_TRUE(passes(noStatus, 1.0, -1.0));
}

TEST(ExpressionEvaluator, NamesPlainAndBracketedAndMissingValues) {
    KIVOMemDescriptor layout = descriptorOf({"Depth", "Std Dev", "min"});
    NORVAExpression::KIVOAttributeInterface source(layout);
    ExpressionEvaluator eval;
    ASSERT_EQ(eval.set("Depth > 10 && [Std Dev] < 0.5 && !([min] == 3)", source), 0) << eval.getMessage();

    KIVOMemAttributeSet set(layout);
    set.setValue(0, 12.0);
    set.setValue(1, 0.2);
    set.setValue(2, 1.0);
    source.setAttributes(&set);
    bool result = false;
    EXPECT_EQ(eval.evaluate(source, result), 0);
    EXPECT_TRUE(result);
    set.setValue(2, 3.0);
    eval.evaluate(source, result);
    EXPECT_FALSE(result);
    set.unset(1);  // a missing value is NaN: the comparison fails
    set.setValue(2, 1.0);
    eval.evaluate(source, result);
    EXPECT_FALSE(result);
}

TEST(ExpressionEvaluator, BadExpressionsGiveStatusNotThrow) {
    KIVOMemDescriptor layout = descriptorOf({"Depth"});
    NORVAExpression::KIVOAttributeInterface source(layout);
    ExpressionEvaluator eval;
    EXPECT_EQ(eval.set("Depth >", source), ExpressionEvaluator::EXPR_SYNTAX_ERROR);
    EXPECT_EQ(eval.set("[Depth", source), ExpressionEvaluator::EXPR_SYNTAX_ERROR);
    EXPECT_EQ(eval.set("", source), ExpressionEvaluator::EXPR_SYNTAX_ERROR);
    EXPECT_EQ(eval.set("Depth, 1", source), ExpressionEvaluator::EXPR_SYNTAX_ERROR);
    EXPECT_EQ(eval.set("Density > 1", source), ExpressionEvaluator::EXPR_UNKNOWN_ATTRIBUTE);
    EXPECT_EQ(eval.set("depth > 1", source), ExpressionEvaluator::EXPR_UNKNOWN_ATTRIBUTE) << "names are exact";
    EXPECT_FALSE(eval.getMessage().isEmpty());
    bool result = true;
    EXPECT_EQ(eval.evaluate(source, result), ExpressionEvaluator::EXPR_NOT_COMPILED);
    EXPECT_FALSE(result);
}

TEST(ComplexAttributeFilter, TwoAttributesAndABadExpression) {
    coretest::TempDir dir;
    KIVOSurface surface = coretest::makeGridded(dir.file("s.vns"), descriptorOf({"Depth", "Uncertainty"}), 2, 2);
    ASSERT_EQ(surface.getStatus(), 0);

    KIVOComplexAttributeFilter filter(surface, "Depth >= 10 && Uncertainty < 1");
    ASSERT_EQ(filter.getStatus(), 0);
    KIVOMemDescriptor layout = descriptorOf({"Depth", "Uncertainty"});
    KIVOMemAttributeSet set(layout);
    set.setValue(0, 10.0);
    set.setValue(1, 0.5);
    EXPECT_TRUE(filter.passes(&set));
    set.setValue(1, 1.0);
    EXPECT_FALSE(filter.passes(&set));
    EXPECT_FALSE(filter.passes(nullptr));

    NORVAType<KIVOAttributeFilter> copy = filter.newCopy();
    EXPECT_EQ(copy->getStatus(), 0);
    set.setValue(1, 0.1);
    EXPECT_TRUE(copy->passes(&set));

    KIVOComplexAttributeFilter bad(surface, "Depth >= ");
    EXPECT_NE(bad.getStatus(), 0);
    EXPECT_FALSE(bad.passes(&set));
    EXPECT_NE(bad.newCopy()->getStatus(), 0);

    // Over the surface's own nodes, through a filtered query (which copies
    // the filter); the unusable filter is ignored there.
    coretest::setNode(surface, 0, 0, {{"Depth", 12.0}, {"Uncertainty", 0.5}});
    coretest::setNode(surface, 1, 0, {{"Depth", 12.0}, {"Uncertainty", 2.0}});
    coretest::setNode(surface, 0, 1, {{"Depth", 12.0}});
    auto served = [&](const KIVOAttributeFilter& f) {
        long status = 0, n = 0;
        NORVAType<KIVOSurfaceIter> it = surface.query(-1, -1, 2, 2, status, false, &f, nullptr, DBL_MAX);
        for (; it && !it->done(status); it->next(status)) ++n;
        return n;
    };
    EXPECT_EQ(served(filter), 1);
    EXPECT_EQ(served(bad), 3);
}
