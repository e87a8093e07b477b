#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ForkBeside.h"
#include "platform/core/NORVAUString.h"

namespace {
std::string fd(double v, bool grouping = false) { return NORVAUString::formatDouble(v, grouping).toUTF8(); }
std::string fp(double v, const char* pattern) { return NORVAUString::formatPattern(v, pattern).toUTF8(); }
}  // namespace

TEST(UString, Utf8AndCaseFolding) {
    const std::string text = "Z\xc3\xbcrich \xf0\x9f\x8c\x8a";  // includes a surrogate pair
    EXPECT_EQ(NORVAUString(text).toUTF8(), text);
    EXPECT_TRUE(NORVAUString("STRASSE").equalsIgnoreCase("stra\xc3\x9f" "e"));
    EXPECT_TRUE(NORVAUString("Depth").equalsIgnoreCase("DEPTH"));
    EXPECT_FALSE(NORVAUString("Depth").equalsIgnoreCase("Depths"));
}

TEST(UString, FormatDoubleIsShortestRoundTrip) {
    EXPECT_EQ(fd(45), "45");
    EXPECT_EQ(fd(0.1), "0.1");
    EXPECT_EQ(fd(100), "100");
    EXPECT_EQ(fd(-2500), "-2500");
    EXPECT_EQ(fd(1e300), "1e+300");
    EXPECT_EQ(fd(1234567.5, true), "1,234,567.5");
    EXPECT_EQ(fd(-1000, true), "-1,000");
    for (double v : {1.0 / 3, 2.0 / 3 * 1e-7, 123456789.123, std::numeric_limits<double>::max(),
                     std::numeric_limits<double>::denorm_min(), -0.3}) {
        double back = 0;
        ASSERT_TRUE(NORVAUString::formatDouble(v).parseDouble(back)) << v;
        EXPECT_EQ(back, v);
    }
    EXPECT_EQ(fd(std::nan("")), "NaN");
}

TEST(UString, FormatPattern) {
    EXPECT_EQ(fp(5, "00"), "05");
    EXPECT_EQ(fp(123, "00"), "123");
    EXPECT_EQ(fp(2.5, "##############0.0##"), "2.5");
    EXPECT_EQ(fp(2, "##############0.0##"), "2.0");
    EXPECT_EQ(fp(2.123456, "##############0.0##"), "2.123");
    EXPECT_EQ(fp(9.9996, "0.0##"), "10.0");
    EXPECT_EQ(fp(-0.0001, "0.00"), "0.00");  // no "-0.00"
    EXPECT_EQ(fp(-1.5, "0.0"), "-1.5");
    EXPECT_EQ(fp(1234567.891, "#,##0.00"), "1,234,567.89");
    EXPECT_EQ(fp(0.5, "#.##"), ".5");
    EXPECT_EQ(fp(0, "#.##"), "0");
}

TEST(UString, ParseLongAndDouble) {
    long v = 7;
    EXPECT_TRUE(NORVAUString(" 42 ").parseLong(v));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(NORVAUString("-2147483648").parseLong(v));
    EXPECT_EQ(v, -2147483647L - 1);
    v = 7;
    for (const char* bad : {"", "  ", "2147483648", "-2147483649", "4.2", "12abc", "0x10", "99999999999999999999"})
        EXPECT_FALSE(NORVAUString(bad).parseLong(v)) << bad;
    EXPECT_EQ(v, 7);

    double d = 1;
    EXPECT_TRUE(NORVAUString("-1.5e3").parseDouble(d));
    EXPECT_EQ(d, -1500);
    d = 1;
    for (const char* bad : {"", "1e400", "1.2.3", "abc", "1,5"}) EXPECT_FALSE(NORVAUString(bad).parseDouble(d)) << bad;
    EXPECT_EQ(d, 1);
}

// A child forked while another thread changes the case of strings changes
// case too: no lock of the string library is inherited held.
TEST(UString, CaseChangesInAChildForkedBesideAThreadThatChangesCase) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's allocator does not survive a fork beside a thread that allocates";
#endif
    EXPECT_EQ(0, testsupport::childrenFailingBeside(
                     [] { (void)NORVAUString("Survey.KMS").toLower().toUpper(); },
                     [] { return NORVAUString("A.VNS").toLower() == NORVAUString("a.vns"); }));
}
