// The text header: keys, value types, limits, version defaults and the
// checks that refuse headers no record layout can follow.
#include <gtest/gtest.h>

#include <geodesic.h>

#include <cmath>
#include <string>

#include "PFMTestSupport.h"
#include "formats/pfm/pfm_geodesic.h"
#include "formats/pfm/pfm_header.h"
#include "formats/pfm/pfm_open.h"

namespace {

struct Parsed {
    BIN_HEADER head;
    PFM_LAYOUT layout;
};

Parsed parse(const std::string& text) {
    Parsed p;
    pfm_parse_header_text(text.data(), text.size(), p.head, p.layout);
    return p;
}

TEST(PFMHeaderTest, KeyTableHasAHundredRowsInItsOrder) {
    EXPECT_STREQ(pfm_header_key(0), "[VERSION]");
    EXPECT_STREQ(pfm_header_key(1), "[RECORD LENGTH]");
    EXPECT_STREQ(pfm_header_key(47), "[POINT]");
    EXPECT_STREQ(pfm_header_key(98), "[COVERAGE MAP ADDRESS]");
    EXPECT_STREQ(pfm_header_key(99), "[NULL DEPTH]");
    EXPECT_STREQ(pfm_header_key(100), "");
}

TEST(PFMHeaderTest, ValuesOfEveryType) {
    const Parsed p = parse(
        "[VERSION] =   PFM Software - PFM I/O library V4.73   \n"
        "[DATE] = Tue Jun  3 10:00:00 2006\n"
        "[CLASSIFICATION] = A classification text that is longer than forty-one bytes\n"
        "[BIN WIDTH] = 1234\n"
        "[MIN FILTERED COORD] = 3,4\n"
        "[X BIN SIZE] = 0.000123456789012\n"
        "[DEPTH SCALE] = 100.5\n"
        "[PROJECTION] = 300\n"
        "[PROJECTION ZONE] = 65535\n"
        "[DYNAMIC RELOAD] = 1\n"
        "[NUMBER OF ATTRIBUTES] = 2\n"
        "[COVERAGE MAP ADDRESS] = 8589934597\n"
        "[ATTRIBUTE 1] =  Tide \n"
        "[MINIMUM ATTRIBUTE 1] = -2.5\n"
        "[CLASS TYPE] = junk\n");
    EXPECT_STREQ(p.head.version, "PFM Software - PFM I/O library V4.73");
    EXPECT_STREQ(p.head.date, "Tue Jun  3 10:00:00 2006");
    EXPECT_EQ(std::string(p.head.classification).size(), 41U);  // cut to the field
    EXPECT_EQ(p.head.bin_width, 1234);
    EXPECT_EQ(p.head.min_filtered_coord[0], 3);
    EXPECT_EQ(p.head.min_filtered_coord[1], 4);
    EXPECT_DOUBLE_EQ(p.head.x_bin_size_degrees, 0.000123456789012);
    EXPECT_FLOAT_EQ(p.layout.depth_scale, 100.5f);
    EXPECT_EQ(p.head.projection, 300 & 0xFF);  // scanned wide, stored as a byte
    EXPECT_EQ(p.head.projection_zone, 65535);
    EXPECT_EQ(p.head.dynamic_reload, 1);
    EXPECT_EQ(p.layout.num_ndx_attr, 2);
    EXPECT_EQ(p.layout.coverage_map_address, 8589934597LL);  // beyond 32 bits
    EXPECT_STREQ(p.head.ndx_attr_name[1], "Tide");
    EXPECT_FLOAT_EQ(p.head.min_ndx_attr[1], -2.5f);
    EXPECT_EQ(p.head.class_type, 0);  // unreadable values leave the field alone
}

TEST(PFMHeaderTest, OldAndNewNamesFillOneFieldAndTheLaterLineWins) {
    EXPECT_DOUBLE_EQ(parse("[MIN Y] = 1.5\n[SOUTH LAT] = 2.5\n").head.mbr_min_y, 2.5);
    EXPECT_DOUBLE_EQ(parse("[SOUTH LAT] = 2.5\n[MIN Y] = 1.5\n").head.mbr_min_y, 1.5);
    EXPECT_DOUBLE_EQ(parse("[WEST LON] = -70\n").head.mbr_min_x, -70.0);
    // A key inside a value is not a key.
    EXPECT_DOUBLE_EQ(parse("[CLASSIFICATION] = see [MIN Y] = 5\n").head.mbr_min_y, 0.0);
}

TEST(PFMHeaderTest, PolygonStopsAtTwoHundredPoints) {
    std::string text;
    for (int i = 0; i < 250; ++i) text += "[POINT] = " + std::to_string(i) + ".5," + std::to_string(-i) + "\n";
    const Parsed p = parse(text);
    EXPECT_EQ(p.head.polygon_count, PFM_POLYGON_POINTS);
    EXPECT_DOUBLE_EQ(p.head.polygon[199].x, 199.5);
    EXPECT_DOUBLE_EQ(p.head.polygon[199].y, -199.0);
}

TEST(PFMHeaderTest, TextEndsAtTheHeaderSizeWithoutAZeroByte) {
    // 16,384 bytes of text without a terminator, followed by a line that must not be read.
    std::string text(PFM_HEADER_SIZE, ' ');
    const std::string inside = "[BIN WIDTH] = 7\n";
    text.replace(0, inside.size(), inside);
    text += "[BIN HEIGHT] = 9\n";
    Parsed p;
    pfm_parse_header_text(text.data(), text.size(), p.head, p.layout);
    EXPECT_EQ(p.head.bin_width, 7);
    EXPECT_EQ(p.head.bin_height, 0);
    // Lines longer than 1,024 bytes are cut and their rest read as a line of its own.
    const std::string longLine = "[DATE] = " + std::string(2000, 'x') + "[BIN HEIGHT] = 3\n";
    EXPECT_EQ(parse(longLine).head.bin_height, 3);
}

TEST(PFMHeaderTest, VersionDefaults) {
    struct Case {
        int32_t code;
        const char* attribute;
        uint8_t projection;
        const char* flag1;
    };
    const Case cases[] = {{35, "UNAVAILABLE", 0, "CLASS1"}, {40, "Tide", 1, "CLASS1"}, {47, "Tide", 1, "PFM_USER_01"}};
    for (const Case& c : cases) {
        Parsed p = parse(
            "[PROJECTION] = 1\n[BIN SIZE XY] = 5\n[BIN WIDTH] = 1\n[BIN HEIGHT] = 1\n[DEPTH SCALE] = 1\n"
            "[ATTRIBUTE 0] = Tide\n[X BIN SIZE] = 1\n[Y BIN SIZE] = 1\n");
        ASSERT_EQ(pfm_complete_header(c.code, p.head, p.layout), 0) << c.code;
        EXPECT_STREQ(p.head.ndx_attr_name[0], c.attribute) << c.code;
        EXPECT_EQ(p.head.projection, c.projection) << c.code;
        EXPECT_STREQ(p.head.user_flag_name[0], c.flag1) << c.code;
        EXPECT_STREQ(p.head.average_filt_name, "Average Filtered Depth");
        EXPECT_STREQ(p.head.average_name, "Average Depth");
    }
}

TEST(PFMHeaderTest, HeadersNoLayoutCanFollowAreCorrupt) {
    const std::string base =
        "[PROJECTION] = 1\n[BIN SIZE XY] = 5\n[BIN WIDTH] = 4\n[BIN HEIGHT] = 3\n[DEPTH SCALE] = 100\n";
    struct Case {
        const char* extra;
        int32_t expected;
    };
    const Case cases[] = {
        {"", 0},
        {"[COUNT BITS] = 33\n", PFM_BIN_HEADER_CORRUPT},
        {"[COUNT BITS] = -1\n", PFM_BIN_HEADER_CORRUPT},
        {"[COUNT BITS] = 32\n", 0},
        {"[DEPTH BITS] = 40\n", PFM_BIN_HEADER_CORRUPT},
        {"[STD BITS] = 99\n", PFM_BIN_HEADER_CORRUPT},
        {"[VALIDITY BITS] = 33\n", PFM_BIN_HEADER_CORRUPT},
        {"[ATTRIBUTE BITS 2] = 33\n", PFM_BIN_HEADER_CORRUPT},
        {"[ATTRIBUTE BITS 1] = 8\n[ATTRIBUTE SCALE 1] = 0\n", PFM_BIN_HEADER_CORRUPT},
        {"[ATTRIBUTE BITS 1] = 8\n[ATTRIBUTE SCALE 1] = 10\n", 0},
        {"[RECORD POINTER BITS] = 31\n", PFM_BIN_HEADER_CORRUPT},
        {"[RECORD POINTER BITS] = 64\n", 0},
        {"[RECORD POINTER BITS] = 65\n", PFM_BIN_HEADER_CORRUPT},
        {"[RECORD LENGTH] = 0\n", PFM_BIN_HEADER_CORRUPT},
        {"[OFFSET BITS] = 33\n", PFM_BIN_HEADER_CORRUPT},
        {"[EDITED FLAG BITS] = 40\n", PFM_BIN_HEADER_CORRUPT},
        {"[DEPTH SCALE] = 0\n", PFM_BIN_HEADER_CORRUPT},
        {"[DEPTH SCALE] = nan\n", PFM_BIN_HEADER_CORRUPT},
        {"[STD SCALE] = 0\n", PFM_BIN_HEADER_CORRUPT},
        {"[STD SCALE] = 0\n[STD BITS] = 0\n", 0},
        {"[BIN WIDTH] = 0\n", PFM_BIN_HEADER_CORRUPT},
        {"[BIN HEIGHT] = -3\n", PFM_BIN_HEADER_CORRUPT},
        {"[BIN SIZE XY] = 0\n", PFM_BIN_HEADER_CORRUPT},
        {"[BIN SIZE XY] = inf\n", PFM_BIN_HEADER_CORRUPT},
        {"[MIN X] = nan\n", PFM_BIN_HEADER_CORRUPT},
        {"[NUMBER OF ATTRIBUTES] = 4\n", PFM_BIN_HEADER_CORRUPT},
        {"[PROJECTION] = 0\n", PFM_BIN_HEADER_CORRUPT},  // geographic needs degree sizes
        {"[PROJECTION] = 0\n[X BIN SIZE] = 0.01\n[Y BIN SIZE] = 0.01\n", 0},
    };
    for (const Case& c : cases) {
        Parsed p = parse(base + c.extra);
        EXPECT_EQ(pfm_complete_header(47, p.head, p.layout), c.expected) << c.extra;
    }
}

TEST(PFMHeaderTest, GeographicBinSizeIsTheGeodesicOfOneYBin) {
    struct Case {
        double minX, minY, maxX, maxY, ySize;
    };
    const Case cases[] = {{-70.5, 42.25, -70.492, 42.254, 0.001},
                          {10.0, -60.0, 11.0, -59.0, 1.0 / 60.0},
                          {179.0, 0.0, 179.5, 0.25, 0.0001}};
    geod_geodesic g;
    geod_init(&g, PFM_WGS84_A, (PFM_WGS84_A - PFM_WGS84_B) / PFM_WGS84_A);
    for (const Case& c : cases) {
        Parsed p;
        p.head.projection = 0;
        p.head.mbr_min_x = c.minX;
        p.head.mbr_min_y = c.minY;
        p.head.mbr_max_x = c.maxX;
        p.head.mbr_max_y = c.maxY;
        p.head.x_bin_size_degrees = c.ySize;
        p.head.y_bin_size_degrees = c.ySize;
        p.head.bin_width = p.head.bin_height = 1;
        p.layout.depth_scale = 1.0f;
        ASSERT_EQ(pfm_complete_header(47, p.head, p.layout), 0);
        const double lat = (c.minY + c.maxY) / 2.0, lon = (c.minX + c.maxX) / 2.0;
        double expected = 0.0, az1 = 0.0, az2 = 0.0;
        geod_inverse(&g, lat, lon, lat + c.ySize, lon, &expected, &az1, &az2);
        EXPECT_NEAR(p.head.bin_size_xy, expected, 1e-6) << c.minY;
    }
}

TEST(PFMHeaderTest, VincentyAgreesWithProjGeodesics) {
    geod_geodesic g;
    geod_init(&g, PFM_WGS84_A, (PFM_WGS84_A - PFM_WGS84_B) / PFM_WGS84_A);
    const double points[][4] = {{42.0, -70.0, 42.01, -69.99}, {-33.9, 18.4, -34.0, 151.2}, {0.0, 0.0, 0.0, 1.0},
                                {89.0, 0.0, 89.0, 180.0 - 1e-3}, {10.0, 10.0, 10.0, 10.0}};
    for (const auto& pt : points) {
        double s = 0.0, az = 0.0, expectedS = 0.0, az1 = 0.0, az2 = 0.0;
        ASSERT_EQ(pfm_geodesic_inverse(PFM_WGS84_A, PFM_WGS84_B, pt[0], pt[1], pt[2], pt[3], &s, &az), 0);
        geod_inverse(&g, pt[0], pt[1], pt[2], pt[3], &expectedS, &az1, &az2);
        // Vincenty's series hold to a micrometre over bin-sized lines, a fraction of a millimetre over oceans.
        EXPECT_NEAR(s, expectedS, expectedS < 1e5 ? 1e-6 : 5e-4) << pt[0] << "," << pt[1];
        if (expectedS > 0.0) {
            EXPECT_NEAR(std::remainder(az - az1, 360.0), 0.0, 1e-8);
            double lat2 = 0.0, lon2 = 0.0;
            ASSERT_EQ(pfm_geodesic_direct(PFM_WGS84_A, PFM_WGS84_B, pt[0], pt[1], s, az, &lat2, &lon2), 0);
            EXPECT_NEAR(lat2, pt[2], 1e-9);
            EXPECT_NEAR(std::remainder(lon2 - pt[3], 360.0), 0.0, 1e-9);
        }
    }
    double s = 0.0, az = 0.0;
    EXPECT_EQ(pfm_geodesic_inverse(PFM_WGS84_A, PFM_WGS84_B, NAN, 0, 0, 0, &s, &az), -1);
}

TEST(PFMHeaderTest, WrittenHeaderReadsBack) {
    Parsed p = parse(pfmfixture::headerText(pfmtest::projectedPlan()));
    p.head.polygon_count = 2;
    p.head.polygon[1] = {3.5, -4.25};
    p.layout.coverage_map_address = 1LL << 40;
    const std::string text = pfm_header_text(47, p.head, p.layout);
    ASSERT_EQ(text.size(), static_cast<size_t>(PFM_HEADER_SIZE));
    EXPECT_EQ(text.find("[SOUTH LAT]"), std::string::npos);  // old keys are not written by new versions
    const Parsed back = parse(text);
    EXPECT_EQ(back.head.bin_width, p.head.bin_width);
    EXPECT_DOUBLE_EQ(back.head.mbr_max_y, p.head.mbr_max_y);
    EXPECT_EQ(back.head.polygon_count, 2);
    EXPECT_DOUBLE_EQ(back.head.polygon[1].y, -4.25);
    EXPECT_EQ(back.layout.coverage_map_address, 1LL << 40);
    EXPECT_EQ(back.layout.depth_bits, p.layout.depth_bits);
    EXPECT_FLOAT_EQ(back.layout.depth_offset, p.layout.depth_offset);
}

}  // namespace
