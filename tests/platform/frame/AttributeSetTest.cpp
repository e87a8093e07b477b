#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOMetaAttribute.h"

using Entry = KIVODescriptor::AttribEntry;

namespace {
enum { F, D, US, S, L, UL, STR, UC, TXT };
KIVOMemDescriptor allTypes() {
    Entry text("Text", KIVODataType::TEXT);
    text.length = 4;
    return KIVOMemDescriptor({Entry("Float", KIVODataType::FLOAT), Entry("Double", KIVODataType::DOUBLE),
                              Entry("UShort", KIVODataType::USHORT), Entry("Short", KIVODataType::SHORT),
                              Entry("Long", KIVODataType::LONG), Entry("ULong", KIVODataType::ULONG),
                              Entry("String", KIVODataType::STRING), Entry("UChar", KIVODataType::UCHAR), text});
}
}  // namespace

TEST(FrameMemAttributeSet, StartsEmptyAndUnsetReadsFail) {
    KIVOMemAttributeSet a(allTypes());
    EXPECT_TRUE(a.isEmpty());
    EXPECT_FALSE(a.isSet(D));
    double d = 5;
    EXPECT_EQ(a.getValue(D, d), -1);
    EXPECT_EQ(d, 5);
    EXPECT_EQ(a.setValue(D, 1.5), 0);
    EXPECT_TRUE(a.isSet(D));
    EXPECT_FALSE(a.isEmpty());
    a.unset(D);
    EXPECT_FALSE(a.isSet(D));
    a.setValue(D, 1.5);
    EXPECT_TRUE(a.reset());
    EXPECT_TRUE(a.isEmpty());
    EXPECT_EQ(a.setValue(99, 1.0), -1);
    EXPECT_EQ(a.setValue(-1, 1.0), -1);
    EXPECT_EQ(a.getValue(99, d), -1);
}

TEST(FrameMemAttributeSet, IntegersCutTowardZero) {
    KIVOMemAttributeSet a(allTypes());
    EXPECT_EQ(a.setValue(D, -2.7), 0);
    long l = 0;
    EXPECT_EQ(a.getValue(D, l), 0);
    EXPECT_EQ(l, -2);
    short s = 0;
    EXPECT_EQ(a.getValue(D, s), 0);
    EXPECT_EQ(s, -2);
    EXPECT_EQ(a.setValue(L, 2.9), 0);
    EXPECT_EQ(a.getValue(L, l), 0);
    EXPECT_EQ(l, 2);
    double d = 0;
    EXPECT_EQ(a.getValue(L, d), 0);
    EXPECT_EQ(d, 2.0);  // the slot holds the integer
    EXPECT_EQ(a.setValue(S, -2.7), 0);
    EXPECT_EQ(a.getValue(S, d), 0);
    EXPECT_EQ(d, -2.0);
    // -0.5 cuts to 0, which an unsigned slot takes.
    EXPECT_EQ(a.setValue(US, -0.5), 0);
    unsigned short us = 9;
    EXPECT_EQ(a.getValue(US, us), 0);
    EXPECT_EQ(us, 0);
}

TEST(FrameMemAttributeSet, NaNAndOutOfRangeRefused) {
    KIVOMemAttributeSet a(allTypes());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    ASSERT_EQ(a.setValue(UC, 7.0), 0);
    EXPECT_EQ(a.setValue(UC, nan), -1);
    EXPECT_EQ(a.setValue(UC, 256.0), -1);
    EXPECT_EQ(a.setValue(UC, -1.0), -1);
    EXPECT_EQ(a.setValue(UC, DBL_MAX), -1);
    EXPECT_EQ(a.setValue(UC, std::numeric_limits<double>::infinity()), -1);
    unsigned char c = 0;
    EXPECT_EQ(a.getValue(UC, c), 0);
    EXPECT_EQ(c, 7);  // refused writes change nothing
    EXPECT_EQ(a.setValue(US, 65535.9), 0);
    EXPECT_EQ(a.setValue(US, 65536.0), -1);
    EXPECT_EQ(a.setValue(S, -32768.0), 0);
    EXPECT_EQ(a.setValue(S, -32769.0), -1);
    EXPECT_EQ(a.setValue(L, 2147483647.0), 0);
    EXPECT_EQ(a.setValue(L, 2147483648.0), -1);
    EXPECT_EQ(a.setValue(L, -2147483649.0), -1);
    EXPECT_EQ(a.setValue(UL, 4294967295.0), 0);
    EXPECT_EQ(a.setValue(UL, 4294967296.0), -1);
    EXPECT_EQ(a.setValue(UL, -1L), -1);
    EXPECT_EQ(a.setValue(L, 1L << 40), -1);
    EXPECT_EQ(a.setValue(F, DBL_MAX), -1);
    EXPECT_EQ(a.setValue(F, nan), 0);  // a float holds NaN

    // Reading a double slot into a narrower integer.
    ASSERT_EQ(a.setValue(D, nan), 0);
    long l = 3;
    EXPECT_EQ(a.getValue(D, l), -1);
    EXPECT_EQ(l, 3);
    ASSERT_EQ(a.setValue(D, 1e300), 0);
    EXPECT_EQ(a.getValue(D, l), -1);
    float f = 0;
    EXPECT_EQ(a.getValue(D, f), -1);
    unsigned long ul = 0;
    ASSERT_EQ(a.setValue(D, -1.0), 0);
    EXPECT_EQ(a.getValue(D, ul), -1);
    ASSERT_EQ(a.setValue(D, 300.0), 0);
    unsigned char uc = 0;
    EXPECT_EQ(a.getValue(D, uc), -1);
    ASSERT_EQ(a.setValue(D, 9.2233720368547758e18), 0);  // 2^63: beyond long
    EXPECT_EQ(a.getValue(D, l), -1);
    ASSERT_EQ(a.setValue(D, -9.2233720368547758e18), 0);  // -2^63 fits
    EXPECT_EQ(a.getValue(D, l), 0);
    EXPECT_EQ(l, std::numeric_limits<long>::min());
}

TEST(FrameMemAttributeSet, FloatSlotRoundsToFloat) {
    KIVOMemAttributeSet a(allTypes());
    ASSERT_EQ(a.setValue(F, 0.1), 0);
    double d = 0;
    ASSERT_EQ(a.getValue(F, d), 0);
    EXPECT_EQ(d, static_cast<double>(0.1f));
    float f = 0;
    ASSERT_EQ(a.getValue(F, f), 0);
    EXPECT_EQ(f, 0.1f);
}

TEST(FrameMemAttributeSet, TextAndStrings) {
    KIVOMemAttributeSet a(allTypes());
    ASSERT_EQ(a.setValue(STR, NORVAUString("Survey")), 0);
    NORVAUString s;
    EXPECT_EQ(a.getValue(STR, s), 0);
    EXPECT_EQ(s, NORVAUString("Survey"));
    double d = 0;
    EXPECT_EQ(a.getValue(STR, d), -1);  // not a number
    ASSERT_EQ(a.setValue(TXT, NORVAUString("abcdefgh")), 0);
    EXPECT_EQ(a.getValue(TXT, s), 0);
    EXPECT_EQ(s, NORVAUString("abcd"));  // cut to the text's length
    ASSERT_EQ(a.setValue(TXT, 12.5), 0);
    EXPECT_EQ(a.getValue(TXT, d), 0);
    EXPECT_EQ(d, 12.5);
    // Numbers as text and text as numbers.
    ASSERT_EQ(a.setValue(D, NORVAUString(" 4.25 ")), 0);
    EXPECT_EQ(a.getValue(D, d), 0);
    EXPECT_EQ(d, 4.25);
    EXPECT_EQ(a.setValue(D, NORVAUString("deep")), -1);
    EXPECT_EQ(a.getStringValue(D, s, false), 0);
    EXPECT_EQ(s, NORVAUString("4.25"));
    ASSERT_EQ(a.setValue(L, 42L), 0);
    EXPECT_EQ(a.getStringValue(L, s, true), 0);
    EXPECT_EQ(s, NORVAUString("42"));
    EXPECT_EQ(a.getDoubleValue(L, d, false), 0);
    EXPECT_EQ(d, 42.0);
}

TEST(FrameMemAttributeSet, TypedSettersOfEveryKind) {
    KIVOMemAttributeSet a(allTypes());
    EXPECT_EQ(a.setValue(UC, static_cast<unsigned char>(200)), 0);
    EXPECT_EQ(a.setValue(S, static_cast<short>(-5)), 0);
    EXPECT_EQ(a.setValue(US, static_cast<unsigned short>(60000)), 0);
    EXPECT_EQ(a.setValue(UL, 4000000000UL), 0);
    EXPECT_EQ(a.setValue(F, 1.5f), 0);
    EXPECT_EQ(a.setValue(S, static_cast<unsigned short>(60000)), -1);
    unsigned long ul = 0;
    EXPECT_EQ(a.getValue(UL, ul), 0);
    EXPECT_EQ(ul, 4000000000UL);
    long l = 0;
    EXPECT_EQ(a.getValue(UC, l), 0);
    EXPECT_EQ(l, 200);
    EXPECT_EQ(a.getValue(S, l), 0);
    EXPECT_EQ(l, -5);
    unsigned short us = 0;
    EXPECT_EQ(a.getValue(S, us), -1);
}

TEST(FrameMemAttributeSet, CopiesAreIndependentOfCallerDescriptor) {
    auto d = std::make_unique<KIVOMemDescriptor>(allTypes());
    KIVOMemAttributeSet a(*d);
    d.reset();  // the set keeps its own copy
    ASSERT_EQ(a.setValue(D, 3.0), 0);
    auto copy = a.newCopy();
    KIVOMemAttributeSet assigned(allTypes());
    assigned = a;
    a.setValue(D, 4.0);
    double v = 0;
    EXPECT_EQ(copy->getValue(D, v), 0);
    EXPECT_EQ(v, 3.0);
    EXPECT_EQ(assigned.getValue(D, v), 0);
    EXPECT_EQ(v, 3.0);
    EXPECT_EQ(assigned.getDescriptor().getNumberOfAttributes(), 9);
}

namespace {
// Serves only doubles: the base class's text and double defaults build on it.
class DoubleOnly : public KIVOAttributeSet {
public:
    long getValue(long index, double& v) const override {
        if (index != 0) return -1;
        v = 2.5;
        return 0;
    }
    using KIVOAttributeSet::getValue;
    std::unique_ptr<KIVOAttributeSet> newCopy() const override { return std::make_unique<DoubleOnly>(); }
    bool isSet(long) const override { return true; }
    bool isEmpty() const override { return false; }
    bool reset() override { return true; }
};
}  // namespace

TEST(FrameAttributeSet, BaseDefaults) {
    DoubleOnly a;
    NORVAUString s;
    double d = 0;
    long l = 0;
    EXPECT_EQ(a.getStringValue(0, s, false), 0);
    EXPECT_EQ(s, NORVAUString("2.5"));
    EXPECT_EQ(a.getDoubleValue(0, d, false), 0);
    EXPECT_EQ(d, 2.5);
    EXPECT_EQ(a.getStringValue(1, s, false), -1);
    EXPECT_EQ(a.getValue(0, l), -1);
    EXPECT_EQ(a.setValue(0, 1.0), -1);
}

TEST(FrameMetaAttribute, MinimumAndMaximumAreCopies) {
    KIVOMemDescriptor d = allTypes();
    KIVOMetaAttribute m(d);
    EXPECT_TRUE(m.getMinimum().isEmpty());
    EXPECT_EQ(m.getDescriptor().getNumberOfAttributes(), 9);
    KIVOMemAttributeSet lo(d), hi(d);
    lo.setValue(D, -5.0);
    hi.setValue(D, 7.0);
    m.setMinimum(lo);
    m.setMaximum(hi);
    lo.setValue(D, -6.0);
    KIVOMetaAttribute copy(m);
    KIVOMetaAttribute assigned(KIVOMemDescriptor{});
    assigned = m;
    m.getMaximum().setValue(D, 8.0);
    double v = 0;
    EXPECT_EQ(copy.getMinimum().getValue(D, v), 0);
    EXPECT_EQ(v, -5.0);
    EXPECT_EQ(copy.getMaximum().getValue(D, v), 0);
    EXPECT_EQ(v, 7.0);
    EXPECT_EQ(assigned.getMaximum().getValue(D, v), 0);
    EXPECT_EQ(v, 7.0);
    EXPECT_EQ(m.getMaximum().getValue(D, v), 0);
    EXPECT_EQ(v, 8.0);
}
