#include <gtest/gtest.h>

#include "cube_engine/cube_vessel.h"

#include "EngineTestSupport.h"
#include "KeywordTestSupport.h"

namespace {

using enginetest::CapturedReports;
using enginetest::KeywordList;

class VesselKeywords : public ::testing::Test {
protected:
    void SetUp() override { vessel_reset_params(); }
    void TearDown() override { vessel_reset_params(); }
    static const _vessel &main_() { return *vessel_description(VESSEL_MAIN); }
    static const _vessel &port() { return *vessel_description(VESSEL_PORT); }
    static const _vessel &stbd() { return *vessel_description(VESSEL_STBD); }
};

TEST_F(VesselKeywords, AllZeroUntilSet)
{
    EXPECT_EQ(main_().device, 0u);
    EXPECT_EQ(port().sd_roll, 0.0);
    EXPECT_EQ(vessel_description(3), nullptr);
}

TEST_F(VesselKeywords, SonarAndTimestamp)
{
    const struct {
        const char *stamp;
        double seconds;  // -1: refused
        const char *report;
    } stamps[] = {
        {"1970/01/02", 86400.0, ""},
        {"2001/02/03", 981158400.0, ""},
        {"2000/02/29:23:59:59", 951868799.0, ""},
        {"1969/12/31", -1, "vessel: failed converting \"1969/12/31\" to a valid post epoch timestamp.\n"},
        {"2001/02/29", -1, "vessel: elements are outwith representable range in  \"2001/02/29\".\n"},
        {"2001/01/01:24:00:00", -1, "vessel: elements are outwith representable range in  \"2001/01/01:24:00:00\".\n"},
        {"2001-02-03", -1, "vessel: failed converting \"2001-02-03\" to date.\n"},
        {"2001/02/03:04", -1, "vessel: failed converting \"2001/02/03:04\" to date/time.\n"},
    };
    for (const auto &s : stamps) {
        vessel_reset_params();
        KeywordList list({{"vessel.timestamp", s.stamp}, {"vessel.sonar_type", "em3000"}});
        CapturedReports reports;
        EXPECT_EQ(vessel_execute_params(list.get()), s.seconds < 0 ? 0 : 1) << s.stamp;
        EXPECT_EQ(reports.str(), s.report) << s.stamp;
        EXPECT_EQ(main_().timestamp, s.seconds < 0 ? 0.0 : s.seconds) << s.stamp;
        EXPECT_EQ(stbd().device, 4u);
    }
    KeywordList bad({{"vessel.sonar_type", "EM3000"}});
    CapturedReports reports;
    EXPECT_EQ(vessel_execute_params(bad.get()), 0);
    EXPECT_EQ(reports.str(), "device: device \"EM3000\" not recognised.\n"
                             "vessel: error: failed to convert \"EM3000\" to known sonar device.\n");
    EXPECT_EQ(main_().device, 4u);
}

TEST_F(VesselKeywords, DeviationsGoToEveryDescriptionAndHeadValuesToTheirOwn)
{
    KeywordList list({{"vessel.sdev.roll", "0.05"},
                      {"vessel.sdev.gps_latency", "10ms"},
                      {"vessel.sdev.heave_fixed", "5cm"},
                      {"vessel.sdev.heave_var", "0.05"},
                      {"vessel.sdev.tide_pred", "1ft"},
                      {"vessel.port.draft", "1.5m"},
                      {"vessel.port.static_roll", "-0.25"},
                      {"vessel.port.tx_latency", "1ms"},
                      {"vessel.port.gps.x", "3ft"},
                      {"vessel.port.gps.latency", "0.1s"},
                      {"vessel.port.imu.z", "-0.5"},
                      {"vessel.port.imu.roll", "0.1"},
                      {"vessel.stbd.gps.y", "2"}});
    CapturedReports reports;
    ASSERT_EQ(vessel_execute_params(list.get()), 1);
    EXPECT_EQ(reports.str(), "");
    for (const _vessel *v : {&main_(), &port(), &stbd()}) {
        EXPECT_EQ(v->sd_roll, 0.05);
        EXPECT_DOUBLE_EQ(v->sd_gps_latency, 0.01);
        EXPECT_DOUBLE_EQ(v->sd_heave_fixed, 0.05);
        EXPECT_EQ(v->heave_var, 0.05);
        EXPECT_DOUBLE_EQ(v->sd_tide_pred, 0.3048);
    }
    EXPECT_EQ(port().draft, 1.5);
    EXPECT_EQ(port().static_roll, -0.25);
    EXPECT_DOUBLE_EQ(port().sd_tx_latency, 0.001);
    EXPECT_DOUBLE_EQ(port().gps_x, 0.9144);
    EXPECT_EQ(port().gps_latency, 0.1);
    EXPECT_EQ(port().imu_z, -0.5);
    EXPECT_EQ(port().imu_roll, 0.1);
    EXPECT_EQ(stbd().gps_y, 2.0);
    EXPECT_EQ(main_().draft, 0.0);
    EXPECT_EQ(main_().gps_y, 0.0);
    EXPECT_EQ(stbd().gps_x, 0.0);
}

TEST_F(VesselKeywords, RefusedValuesAreEachReported)
{
    KeywordList list({{"vessel.sdev.heave_var", "1"},
                      {"vessel.sdev.gps_offset", "-1"},
                      {"vessel.sdev.imu_latency", "5m"},
                      {"vessel.sdev.pitch", "-0.1"},
                      {"vessel.sdev.roll", "0.02"},
                      {"vessel.stbd.static_roll", "port"},
                      {"vessel.stbd.imu.x", "far"},
                      {"vessel.stbd.gps.latency", "3 weeks"}});
    CapturedReports reports;
    EXPECT_EQ(vessel_execute_params(list.get()), 0);
    EXPECT_EQ(reports.str(),
              "vessel: failed to convert \"1\" to range[0,1).\n"
              "vessel: failed converting \"-1\" to a length sdev.\n"
              "params: unknown units for duration conversion.\n"
              "vessel: failed converting \"5m\" to a duration sdev.\n"
              "vessel: failed converting \"-0.1\" to a standard deviation.\n"
              "vessel: failed converting \"port\" to a valid angle measurement for \"vessel.stbd\".\n"
              "params: error: unrecognised scale for durations (k).\n"
              "vessel: failed converting \"3 weeks\" to GPS latency for \"vessel.stbd.gps\".\n"
              "params: cannot extract a number from \"far\".\n"
              "vessel: failed converting \"far\" to IMU x-axis offset for \"vessel.stbd.imu\".\n");
    EXPECT_EQ(main_().sd_roll, 0.02);
    EXPECT_EQ(main_().heave_var, 0.0);
}

}  // namespace
