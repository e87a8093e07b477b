#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>

#include "cube_engine/cube_device.h"

#include "EngineTestSupport.h"

namespace {

using enginetest::CapturedReports;

struct DevicePtr {
    Device d;
    explicit DevicePtr(const char *name) : d(findDevice(name)) {}
    ~DevicePtr() { device_release(d); }
    DevicePtr(const DevicePtr &) = delete;
    DevicePtr &operator=(const DevicePtr &) = delete;
};

TEST(DeviceTable, LookupByShortNameGivesARowCopy)
{
    const struct {
        const char *name;
        uint32_t row;
        const char *long_name;
        uint32_t beams;
    } rows[] = {
        {"unknown", 0, "unknown device", 0}, {"em300", 1, "Simrad EM300", 135},
        {"em3000d", 5, "Simrad EM3000D", 254}, {"sb8125", 9, "Reson SeaBat 8125", 240},
        {"hsweepds", 11, "Atlas Hydrosweep DS", 59}, {"k5000", 17, "Klein 5000", 16},
    };
    for (const auto &r : rows) {
        DevicePtr dev(r.name);
        ASSERT_NE(dev.d, nullptr) << r.name;
        EXPECT_EQ(device_get_type(dev.d), r.row);
        EXPECT_EQ(device_get_beam_count(dev.d), r.beams);
        EXPECT_STREQ(dev.d->record.long_name, r.long_name);
        // The names are copies of the handle's own.
        EXPECT_NE(dev.d->record.short_name, device_table()[r.row].short_name);
    }
    DevicePtr em1000("em1000");
    float across = 0, along = 0, pulse = 0;
    EXPECT_EQ(device_get_beam_widths(em1000.d, &across, &along), 1);
    EXPECT_EQ(across, 3.3f);
    EXPECT_EQ(along, 3.3f);
    EXPECT_EQ(device_get_f17(em1000.d, &pulse), 1);
    EXPECT_EQ(pulse, 0.2f);
    EXPECT_EQ(device_get_f14(em1000.d), 60.0f);
    EXPECT_EQ(device_get_capabilities(em1000.d), 605u);
    EXPECT_EQ(device_get_word(em1000.d), 0u);
    EXPECT_EQ(device_table()[DEVICE_TABLE_ROWS - 1].short_name, nullptr);
    EXPECT_EQ(device_table()[17].constant, 28437.5f);
}

TEST(DeviceTable, UnknownNamesAndRows)
{
    CapturedReports reports;
    EXPECT_EQ(findDevice("EM3000D"), nullptr);
    EXPECT_EQ(findDevice("em9999"), nullptr);
    EXPECT_EQ(reports.str(), "device: device \"EM3000D\" not recognised.\n"
                             "device: device \"em9999\" not recognised.\n");

    DevicePtr dev("em300");
    dev.d->type = 19;
    CapturedReports bad;
    float pulse = -1.0f;
    EXPECT_EQ(device_get_beam_count(dev.d), 0u);
    EXPECT_EQ(device_get_f17(dev.d, &pulse), 0);
    EXPECT_EQ(pulse, -1.0f);
    EXPECT_EQ(device_get_f14(dev.d), 0.0f);
    EXPECT_EQ(bad.str(), "device: internal: device type 19 not known.\n"
                         "device: internal: device tyep 19 not known.\n"
                         "device: internal: device type 19 not known.\n");
}

TEST(DeviceTable, BeamAngles)
{
    const struct {
        const char *name;
        uint32_t beam;
        double angle;
    } cases[] = {
        {"em300", 67, 0.0},
        {"em300", 0, -67 * 150.0 / 134.0},
        {"em300", 135, 68 * 150.0 / 134.0},  // one past the last beam is accepted
        {"em3000d", 127, 0.0 * 0.9524 - 65.0},
        {"em3000d", 10, 10 * 0.9524 - 55.0},
        {"sb2112", 75, -37.25},
        {"sb2112", 0, (0.0 - 75 + 1) * 1.25 + 37.25},
        {"unknown", 0, 0.0},
        {"sb8111", 3, -1.0},
        {"hsweepds", 3, -1.0},
        {"k2000", 1, -1.0},
        {"k595", 1, 0.0},
    };
    for (const auto &c : cases) {
        DevicePtr dev(c.name);
        EXPECT_NEAR(device_beam_angle(dev.d, 1500.0, c.beam), c.angle, 1e-9) << c.name << " " << c.beam;
    }
    DevicePtr em3000("em3000");
    EXPECT_NEAR(device_beam_angle(em3000.d, 1500.0, 74),
                asin(1500.0 / 300000.0 * 10 * 3.0637) * 180.0 / M_PI, 1e-9);

    DevicePtr em300("em300");
    CapturedReports reports;
    EXPECT_EQ(device_beam_angle(em300.d, 1500.0, 136), -1.0);
    EXPECT_EQ(reports.str(), "device: device 1 (Simrad EM300) only has 135 beams (requested angle for 136).\n");
}

TEST(DeviceTable, RangeVarianceByRow)
{
    _sounding s = {};
    s.depth = 100.0f;
    _ping p = {};
    p.sspeed = 1500.0f;
    const struct {
        const char *name;
        double variance;
    } rows[] = {
        {"unknown", 0.0},
        {"em300", 0.09},                                        // max(0.3, 0.15)^2
        {"em1000", std::pow(5e-5 * 1500, 2) + 0.005625},
        {"em1002", std::pow(5e-5 * 1500, 2) + 0.00097969},
        {"em3000d", std::pow(8.33325e-6 * 1500, 2) + 0.000625},
        {"sb8101", std::pow(1e-6 * 1500, 2) + 0.000625},
        {"sb9001", std::pow((double)0.05f * 0.5, 2) + std::pow((double)0.07f * 1500 * 0.00025, 2)},
        {"sb8125", std::pow(2.75e-6 * 1500, 2) + 9e-6},
        {"sb8111", std::pow(2.5e-6 * 1500, 2) + 0.00034225},
        {"hsweepds", 0.36},                                     // max(0.3, 0.6)^2
        {"en1180", 0.36},
        {"sb2112", std::pow(3.75e-5 * 1500, 2) + 0.0009},
        {"k595", 0.25},
        {"k2000", DBL_MAX},
        {"k5000", DBL_MAX},
    };
    for (const auto &r : rows) {
        DevicePtr dev(r.name);
        EXPECT_NEAR(device_range_variance(dev.d, &s, &p), r.variance, 1e-12 * (1 + r.variance)) << r.name;
    }
}

TEST(DeviceTable, PointingVarianceTreatsCountZeroAsOne)
{
    const char *names[] = {"unknown", "em300",  "em1000", "em1002", "em3000", "em3000d", "sb8101", "sb9001",
                           "sb9003",  "sb8125", "sb8111", "hsweepds", "en1180", "sb2112", "k595"};
    _sounding zero = {}, one = {};
    zero.flags = SOUNDING_COUNT_BIT;
    one.flags = SOUNDING_COUNT_BIT | (1u << SOUNDING_COUNT_SHIFT);
    _sounding four = zero;
    four.flags |= 4u << SOUNDING_COUNT_SHIFT;
    for (const char *name : names) {
        DevicePtr dev(name);
        const double v0 = device_pointing_variance(dev.d, &zero, 0.3);
        EXPECT_EQ(v0, device_pointing_variance(dev.d, &one, 0.3)) << name;
        EXPECT_LE(device_pointing_variance(dev.d, &four, 0.3), v0) << name;
    }
    DevicePtr em300("em300");
    _sounding plain = {};
    EXPECT_DOUBLE_EQ(device_pointing_variance(em300.d, &plain, 0.0),
                     std::pow(std::tan(CUBE_DEG2RAD), 2) * 0.25);
    EXPECT_DOUBLE_EQ(device_pointing_variance(em300.d, &four, 0.0),
                     std::pow(std::tan(0.008726646261111111 / 2.0), 2));
    DevicePtr em3000("em3000");  // widened off nadir
    EXPECT_DOUBLE_EQ(device_pointing_variance(em3000.d, &plain, 1.0),
                     std::pow(CUBE_DEG2RAD * 1.5 / std::cos(1.0) * 0.08333333333333333, 2));
    DevicePtr k2000("k2000");
    EXPECT_EQ(device_pointing_variance(k2000.d, &plain, 0.0), DBL_MAX);
}

}  // namespace
