#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>

#include "KestrinTestSupport.h"
#include "platform/kestrin/KestrinStoreType.h"
#include "platform/kestrin/NORVAKestrinGenericDataObject.h"

namespace {

using namespace KestrinStoreType;

TEST(KestrinStoreType, SizesAndEmptyValuesByType) {
    struct Row {
        int32_t type;
        uint32_t size;
        bool hasEmpty;
        double empty;
    };
    const Row rows[] = {
        {DOUBLE, 8, true, DBL_MAX},      {LONG, 4, true, 2147483647.0}, {FIXED_TEXT, 0, false, 0},
        {UCHAR, 1, true, 255.0},         {TEXT, 4, false, 0},           {STRING, 4, false, 0},
        {FLOAT, 4, true, FLT_MAX},       {USHORT, 2, true, 65535.0},    {SHORT, 2, true, 32767.0},
        {ULONG, 4, true, 4294967295.0},  {DATETIME, 8, true, DBL_MAX},  {DATE, 8, true, DBL_MAX},
        {TIME, 8, true, DBL_MAX},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.type);
        EXPECT_EQ(r.size, fixedSize(r.type));
        EXPECT_EQ(r.hasEmpty, hasEmptyValue(r.type));
        if (r.hasEmpty) {
            EXPECT_EQ(r.empty, emptyValue(r.type));
        }
    }
    EXPECT_FALSE(isValid(13));
    EXPECT_FALSE(isValid(-1));
}

TEST(KestrinStoreType, ValuesMustFitTheirThirtyTwoBitAndSmallerFields) {
    struct Row {
        int32_t type;
        double value;
        bool fits;
        double held;
    };
    const Row rows[] = {
        {LONG, -2147483648.0, true, -2147483648.0},
        {LONG, 2147483648.0, false, 0},
        {LONG, -2.7, true, -2},
        {ULONG, 3221225472.0, true, 3221225472.0},  // bits 31 and 30
        {ULONG, 4294967296.0, false, 0},
        {ULONG, -1.0, false, 0},
        {UCHAR, 256.0, false, 0},
        {SHORT, -32768.9, true, -32768},
        {FLOAT, 1e39, false, 0},
        {DOUBLE, 1e300, true, 1e300},
        {DOUBLE, std::nan(""), false, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.type);
        SCOPED_TRACE(r.value);
        double held = 0.0;
        EXPECT_EQ(r.fits, fitsType(r.type, r.value, held));
        if (r.fits) {
            EXPECT_EQ(r.held, held);
        }
    }
    EXPECT_EQ(2147483647.0, saturate(LONG, 1e300));
    EXPECT_EQ(0.0, saturate(ULONG, -5.0));
    EXPECT_EQ(0.0, saturate(SHORT, std::nan("")));
}

TEST(KestrinRecord, NewRecordStartsAtEmptyValuesAndRefusesWhatItsFieldsCannotHold) {
    auto layout = std::make_shared<const NORVAKestrinGenericDataDescriptor>(kestrintest::layout());
    NORVAKestrinGenericDataObject r(layout);
    EXPECT_EQ(nullptr, r.getAttribute(0, false));
    r.setEmptyValues();
    EXPECT_EQ(DBL_MAX, r.getAttributeAsDouble(0));
    EXPECT_EQ(2147483647.0, r.getAttributeAsDouble(1));
    EXPECT_EQ(65535.0, r.getAttributeAsDouble(2));
    EXPECT_EQ(nullptr, r.getAttribute(3, false));  // text keeps what it held
    EXPECT_EQ(-1, r.setAttribute(1, 2147483648.0, true));
    EXPECT_EQ(2147483647.0, r.getAttributeAsDouble(1));
    EXPECT_EQ(-1, r.setAttribute(0, NORVAUString("text"), true));
    EXPECT_EQ(-1, r.setAttribute(3, 1.0, true));
    EXPECT_EQ(-1, r.setAttribute(9, 1.0, true));
    // Fixed text of size 8 keeps 7 characters and its terminator.
    EXPECT_EQ(0, r.setAttribute(3, NORVAUString("abcdefghij"), true));
    EXPECT_EQ("abcdefg", r.getAttributeText(3, 3));
}

TEST(KestrinRecord, TextGoesIntoTheBufferItIsGivenAndNoFurther) {
    auto layout = std::make_shared<const NORVAKestrinGenericDataDescriptor>(kestrintest::layout());
    NORVAKestrinGenericDataObject r(layout);
    r.setAttribute(0, 12.5, true);
    r.setAttribute(1, -7, true);
    char big[64];
    ASSERT_EQ(0, r.getAttributeAsText(0, big, sizeof big, 3));
    EXPECT_STREQ("12.500", big);
    ASSERT_EQ(0, r.getAttributeAsText(1, big, sizeof big, 3));
    EXPECT_STREQ("-7", big);
    char small[5];
    std::memset(small, 'x', sizeof small);
    ASSERT_EQ(0, r.getAttributeAsText(0, small, 4, 3));
    EXPECT_STREQ("12.", small);
    EXPECT_EQ('x', small[4]);
    EXPECT_EQ(-1, r.getAttributeAsText(0, small, 0, 3));
    EXPECT_EQ(-1, r.getAttributeAsText(0, nullptr, 4, 3));
}

TEST(KestrinRecord, HeldTextIsCutIntoTheBufferOnACharacterBoundary) {
    auto layout = std::make_shared<const NORVAKestrinGenericDataDescriptor>(kestrintest::layout());
    NORVAKestrinGenericDataObject r(layout);
    char out[16];
    ASSERT_EQ(0, r.getAttributeAsText(3, out, sizeof out, 3));
    EXPECT_STREQ("", out);  // no value yet
    ASSERT_EQ(0, r.setAttribute(3, NORVAUString("abcd\u00e9"), true));  // 6 bytes in UTF-8
    const struct {
        size_t size;
        const char* expected;
    } rows[] = {{16, "abcd\xc3\xa9"}, {7, "abcd\xc3\xa9"}, {6, "abcd"}, {5, "abcd"}, {2, "a"}, {1, ""}};
    for (const auto& row : rows) {
        std::memset(out, 'x', sizeof out);
        ASSERT_EQ(0, r.getAttributeAsText(3, out, row.size, 3));
        EXPECT_STREQ(row.expected, out) << row.size;
    }
}

}  // namespace
