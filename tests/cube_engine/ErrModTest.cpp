#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "cube_engine/cube.h"
#include "cube_engine/cube_errmod_c3d.h"
#include "cube_engine/cube_errmod_full.h"
#include "cube_engine/cube_errmod_iho.h"

#include "EngineTestSupport.h"
#include "KeywordTestSupport.h"

namespace {

using enginetest::CapturedReports;
using enginetest::KeywordList;
using enginetest::Quiet;

const float k_untouched = -7.0f;

struct DeviceHandle {
    Device d;
    explicit DeviceHandle(const char *name) : d(findDevice(name)) {}
    ~DeviceHandle() { device_release(d); }
};

// One model behind a common face, so every check runs over the three.
struct Model {
    const char *name;
    std::function<void *(Device, const _vessel *)> create;
    std::function<int(Device, const _vessel *, const _ping *, _sounding *, uint32_t, void *)> apply;
    std::function<void(void *)> release;
    std::function<int(uint32_t, const double *, void *)> set_angles;
    std::function<double(uint32_t, void *)> angle;
    std::function<void(const _vessel *, void *)> refresh;
};

std::vector<Model> models()
{
    auto full = [](void *w) { return static_cast<ErrModFull *>(w); };
    auto c3d = [](void *w) { return static_cast<ErrModC3D *>(w); };
    return {
        {"errmod_full", [](Device d, const _vessel *v) -> void * { return errmod_full_new(d, v); },
         [=](Device d, const _vessel *v, const _ping *p, _sounding *s, uint32_t n, void *w) {
             return errmod_full_apply(d, v, p, s, n, full(w));
         },
         [=](void *w) { errmod_full_release(full(w)); },
         [=](uint32_t n, const double *a, void *w) { return errmod_full_set_beam_angles(n, a, full(w)); },
         [=](uint32_t b, void *w) { return errmod_full_get_beam_angle(b, full(w)); },
         [=](const _vessel *v, void *w) { errmod_full_update_vessel(v, full(w)); }},
        {"errmod_atlas", [](Device d, const _vessel *v) -> void * { return errmod_atlas_new(d, v); },
         [=](Device d, const _vessel *v, const _ping *p, _sounding *s, uint32_t n, void *w) {
             return errmod_atlas_apply(d, v, p, s, n, full(w));
         },
         [=](void *w) { errmod_atlas_release(full(w)); },
         [=](uint32_t n, const double *a, void *w) { return errmod_atlas_set_beam_angles(n, a, full(w)); },
         [=](uint32_t b, void *w) { return errmod_atlas_get_beam_angle(b, full(w)); },
         [=](const _vessel *v, void *w) { errmod_atlas_update_vessel(v, full(w)); }},
        {"errmod_c3d", [](Device d, const _vessel *v) -> void * { return errmod_c3d_new(d, v); },
         [=](Device d, const _vessel *v, const _ping *p, _sounding *s, uint32_t n, void *w) {
             return errmod_c3d_apply(d, v, p, s, n, c3d(w));
         },
         [=](void *w) { errmod_c3d_release(c3d(w)); },
         [=](uint32_t n, const double *a, void *w) { return errmod_c3d_set_beam_angles(n, a, c3d(w)); },
         [=](uint32_t b, void *w) { return errmod_c3d_get_beam_angle(b, c3d(w)); },
         [=](const _vessel *v, void *w) { errmod_c3d_update_vessel(v, c3d(w)); }},
    };
}

// A full ping: one record per beam, all at the same depth and range.
std::vector<_sounding> ping_records(uint32_t beams, float depth, float range)
{
    std::vector<_sounding> s(beams);
    for (uint32_t i = 0; i < beams; ++i) {
        memset(&s[i], 0, sizeof s[i]);
        s[i].beam_number = (uint16_t)i;
        s[i].depth = depth;
        s[i].range = range;
        s[i].dz = s[i].dr = k_untouched;
        s[i].across_footprint = s[i].along_footprint = k_untouched;
    }
    return s;
}

_ping level_ping()
{
    _ping p = {};
    p.surf_sspeed = 1500.0f;
    p.sspeed = 1500.0f;
    return p;
}

// Runs one ping through a fresh workspace of the model.
int run(const Model &m, Device d, const _vessel &v, const _ping &p, std::vector<_sounding> &s)
{
    void *w = m.create(d, &v);
    if (w == nullptr) return -1;
    const int ok = m.apply(d, &v, &p, s.data(), (uint32_t)s.size(), w);
    m.release(w);
    return ok;
}

TEST(IhoModel, VariancesFollowTheOrderRow)
{
    const double a[] = {0.2, 0.5, 1.0, 1.0}, b[] = {0.0075, 0.013, 0.023, 0.023};
    const double h[] = {2.0, 5.0, 20.0, 150.0};
    for (int order = 1; order <= 4; ++order) {
        KeywordList list({{"errmod.iho.order", std::to_string(order)}});
        ASSERT_EQ(errmod_execute_params(list.get()), 1);
        std::unique_ptr<ErrModIHO, void (*)(ErrModIHO *)> ws(errmod_iho_new(), errmod_iho_release);
        ASSERT_NE(ws, nullptr);
        EXPECT_EQ(ws->order, (uint32_t)order - 1);
        std::vector<_sounding> s = ping_records(3, 0.0f, 0.0f);
        s[1].depth = 10.0f;
        s[2].depth = 100.0f;
        EXPECT_EQ(errmod_iho_apply(nullptr, nullptr, nullptr, s.data(), 3, ws.get()), 1);
        for (const _sounding &r : s) {
            const double sigma = std::sqrt(std::pow(a[order - 1], 2) + std::pow(b[order - 1] * r.depth, 2)) / 1.96;
            EXPECT_NEAR(r.dz, sigma * sigma, 1e-6 * sigma * sigma) << order << " " << r.depth;
            EXPECT_NEAR(r.dr, std::pow(h[order - 1] / 1.96, 2), 1e-4) << order;
        }
    }
    errmod_iho_reset_params();
}

TEST(IhoModel, KeywordsReplaceTheRowAndBadOnesAreRefused)
{
    KeywordList list({{"errmod.iho.horizontal", "1.96m"},
                      {"errmod.iho.vert_fixed", "0"},
                      {"errmod.iho.order", "2"},
                      {"errmod.iho.vert_var", "0.01"}});
    ASSERT_EQ(errmod_iho_execute_params(list.get()), 1);
    std::unique_ptr<ErrModIHO, void (*)(ErrModIHO *)> ws(errmod_iho_new(), errmod_iho_release);
    EXPECT_EQ(ws->order, 1u);
    EXPECT_FLOAT_EQ(ws->a2, 0.0f);
    EXPECT_FLOAT_EQ(ws->b2, 1e-4f);
    EXPECT_FLOAT_EQ(ws->h2, 1.0f);

    KeywordList bad({{"errmod.iho.order", "5"}, {"errmod.iho.vert_var", "-1"}});
    CapturedReports reports;
    EXPECT_EQ(errmod_execute_params(bad.get()), 0);
    EXPECT_EQ(reports.str(),
              "errmod.iho: error: IHO survey order should be in range [1,4] (not 5).\n"
              "errmod.iho: failed converting \"-1\" to a depth-dependent vertical error (must be positive).\n");
    errmod_iho_reset_params();
}

TEST(IhoModel, AVarianceBeyondTheFloatRangeIsStoredInvalid)
{
    std::unique_ptr<ErrModIHO, void (*)(ErrModIHO *)> ws(errmod_iho_new(), errmod_iho_release);
    std::vector<_sounding> s = ping_records(1, CUBE_INVALID_FLOAT, 0.0f);
    EXPECT_EQ(errmod_iho_apply(nullptr, nullptr, nullptr, s.data(), 1, ws.get()), 1);
    EXPECT_EQ(s[0].dz, CUBE_INVALID_FLOAT);
    EXPECT_EQ(errmod_store_variance(1e39), CUBE_INVALID_FLOAT);
    EXPECT_EQ(errmod_store_variance(NAN), CUBE_INVALID_FLOAT);
    EXPECT_EQ(errmod_store_variance(2.5), 2.5f);
}

TEST(FullModels, LevelNadirBeamHasOnlyRangePointingAndBeamWidth)
{
    DeviceHandle em300("em300");
    const _vessel v = {};
    const _ping p = level_ping();
    const double k = CUBE_DEG2RAD;
    const double alpha = std::pow(std::tan(k), 2) * 0.25;
    const double rv = 0.09, w = std::pow(1.0 - std::cos(k * 0.5), 2);
    for (const Model &m : {models()[0], models()[1]}) {
        std::vector<_sounding> s = ping_records(135, 100.0f, 100.0f);
        ASSERT_EQ(run(m, em300.d, v, p, s), 1) << m.name;
        EXPECT_NEAR(s[67].dz, rv + w * 1e4, 1e-7) << m.name;
        // atlas adds the timing of half the pulse length along the beam
        const double timing = std::string(m.name) == "errmod_atlas" ? std::pow(1500.0 * 0.0025, 2) : 0.0;
        EXPECT_NEAR(s[67].dr, alpha * 1e4 + timing, 1e-5) << m.name;
    }
    // The atlas footprints are 0 in every row (no footprint factor).
    for (uint32_t row = 1; row < 18; ++row) {
        DeviceHandle dev(device_table()[row].short_name);
        std::vector<_sounding> s = ping_records(device_get_beam_count(dev.d), 50.0f, 60.0f);
        ASSERT_EQ(run(models()[1], dev.d, v, p, s), 1) << row;
        for (const _sounding &r : s) {
            ASSERT_EQ(r.across_footprint, 0.0f) << row;
            ASSERT_EQ(r.along_footprint, 0.0f) << row;
        }
    }
}

TEST(FullModels, VariancesRiseWithEachDeviation)
{
    DeviceHandle em300("em300");
    _vessel base = {};
    base.gps_x = 1, base.gps_y = 2, base.gps_z = 3;
    base.gps2_x = 1, base.gps2_y = -2, base.gps2_z = 3;
    base.imu_x = 0.5, base.imu_y = -1, base.imu_z = 2;
    base.gps_latency = 0.05;
    _ping p = level_ping();
    p.roll = 2.0f, p.pitch = 1.0f, p.heave = 0.5f, p.sog = 5.0f;
    const struct {
        double _vessel::*member;
        double value;
    } deviations[] = {
        {&_vessel::sd_gps_offset, 0.5},  {&_vessel::sd_gps_latency, 0.01}, {&_vessel::sd_gps_drms, 1.0},
        {&_vessel::sd_imu_offset, 0.05}, {&_vessel::sd_imu_rp_align, 0.1}, {&_vessel::sd_imu_g_align, 0.1},
        {&_vessel::sd_imu_latency, 0.01}, {&_vessel::sd_tx_latency, 0.01}, {&_vessel::sd_roll, 0.05},
        {&_vessel::sd_pitch, 0.05},      {&_vessel::sd_pitch_stab, 0.05},  {&_vessel::sd_gyro, 0.05},
        {&_vessel::sd_svp, 0.5},         {&_vessel::sd_surf_sspeed, 2.0},  {&_vessel::sd_heave_fixed, 0.05},
        {&_vessel::heave_var, 0.05},     {&_vessel::sd_draft, 0.05},       {&_vessel::sd_ddraft, 0.05},
        {&_vessel::sd_loading, 0.05},    {&_vessel::sd_tide_meas, 0.05},   {&_vessel::sd_tide_pred, 0.05},
        {&_vessel::sd_sog, 0.1},
    };
    for (const Model &m : models()) {
        std::vector<_sounding> before = ping_records(135, 80.0f, 100.0f);
        ASSERT_EQ(run(m, em300.d, base, p, before), 1) << m.name;
        for (const auto &dev : deviations) {
            _vessel v = base;
            v.*dev.member = dev.value;
            std::vector<_sounding> after = ping_records(135, 80.0f, 100.0f);
            ASSERT_EQ(run(m, em300.d, v, p, after), 1) << m.name;
            const uint32_t beam = 20;  // off nadir, so every angle term counts
            const _sounding &a = after[beam], &b = before[beam];
            EXPECT_GE(a.dz, b.dz) << m.name << " " << dev.value;
            EXPECT_GE(a.dr, b.dr) << m.name << " " << dev.value;
            const size_t index = &dev - deviations;
            // atlas leaves the transmit latency out of L and takes it into tau
            EXPECT_TRUE(a.dz > b.dz || a.dr > b.dr) << m.name << " deviation " << index;
        }
    }
}

TEST(FullModels, APingWithMoreSoundingsThanBeamsIsRefusedUntouched)
{
    DeviceHandle sb9003("sb9003");
    const _vessel v = {};
    const _ping p = level_ping();
    for (const Model &m : models()) {
        std::vector<_sounding> s = ping_records(41, 20.0f, 25.0f);
        CapturedReports reports;
        EXPECT_EQ(run(m, sb9003.d, v, p, s), 0) << m.name;
        EXPECT_EQ(reports.str(), std::string(m.name) +
                                     ": error: number of beams reported (41) greater than maximum available to "
                                     "device ... something's wrong.\n");
        for (const _sounding &r : s) {
            ASSERT_EQ(r.dz, k_untouched);
            ASSERT_EQ(r.dr, k_untouched);
            ASSERT_EQ(r.across_footprint, k_untouched);
        }
        s.pop_back();
        EXPECT_EQ(run(m, sb9003.d, v, p, s), 1) << m.name;
        EXPECT_NE(s[39].dz, k_untouched);
    }
}

TEST(FullModels, BeamsOutsideTheTableGetTheInvalidFloatAndFailThePing)
{
    DeviceHandle em1000("em1000");
    const _vessel v = {};
    const _ping p = level_ping();
    for (const Model &m : models()) {
        Quiet quiet;
        // A short ping: the table builder must read only the records given.
        std::unique_ptr<_sounding[]> s(new _sounding[3]);
        std::vector<_sounding> proto = ping_records(3, 30.0f, 40.0f);
        std::copy(proto.begin(), proto.end(), s.get());
        s[1].beam_number = 60;  // one past the last beam
        void *w = m.create(em1000.d, &v);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(m.apply(em1000.d, &v, &p, s.get(), 3, w), 0) << m.name;
        EXPECT_EQ(s[1].dz, CUBE_INVALID_FLOAT) << m.name;
        EXPECT_EQ(s[1].dr, CUBE_INVALID_FLOAT) << m.name;
        EXPECT_NE(s[0].dz, CUBE_INVALID_FLOAT) << m.name;
        EXPECT_NE(s[2].dr, CUBE_INVALID_FLOAT) << m.name;
        EXPECT_EQ(m.angle(60, w), DBL_MAX);

        // Fewer given angles than beams: beams past them have no angle.
        const double given[4] = {-40.0, -20.0, 20.0, 40.0};
        ASSERT_EQ(m.set_angles(4, given, w), 1);
        std::vector<_sounding> all = ping_records(60, 30.0f, 40.0f);
        EXPECT_EQ(m.apply(em1000.d, &v, &p, all.data(), 60, w), 0) << m.name;
        EXPECT_NEAR(m.angle(3, w), 40.0 * CUBE_DEG2RAD, 1e-12);
        EXPECT_EQ(m.angle(4, w), DBL_MAX);
        EXPECT_NE(all[3].dz, CUBE_INVALID_FLOAT) << m.name;
        EXPECT_EQ(all[4].dz, CUBE_INVALID_FLOAT) << m.name;
        m.release(w);
    }
}

TEST(FullModels, FiniteSumsBeyondTheFloatRangeAreStoredInvalid)
{
    DeviceHandle em300("em300");
    const _vessel v = {};
    const _ping p = level_ping();
    for (const Model &m : models()) {
        std::vector<_sounding> s = ping_records(135, 10.0f, 1e30f);
        EXPECT_EQ(run(m, em300.d, v, p, s), 1) << m.name;
        EXPECT_EQ(s[20].dr, CUBE_INVALID_FLOAT) << m.name;
    }
}

TEST(FullModels, AngleVarianceTermsAndCap)
{
    const double k = CUBE_DEG2RAD;
    _vessel v = {};
    v.sd_svp = 2.0;
    const _ping p = level_ping();
    DeviceHandle em300("em300");
    ErrModFull *w = errmod_full_new(em300.d, &v);
    ASSERT_NE(w, nullptr);
    std::vector<double> angles(135, 0.0);
    angles[0] = 85.0;
    angles[1] = 80.0;
    ASSERT_EQ(errmod_full_set_beam_angles(135, angles.data(), w), 1);
    std::vector<_sounding> s = ping_records(2, 10.0f, 10.0f);
    s[1].beam_number = 1;
    ASSERT_EQ(errmod_full_apply(em300.d, &v, &p, s.data(), 1, w), 1);
    const double at85 = w->terms.alpha;
    ASSERT_EQ(errmod_full_apply(em300.d, &v, &p, s.data() + 1, 1, w), 1);
    EXPECT_EQ(w->terms.alpha, at85);
    EXPECT_NEAR(at85, std::pow(std::tan(k), 2) * 0.25 + std::pow(std::tan(80 * k), 2) * 4.0 / (4.0 * 1500 * 1500),
                1e-15);
    v.sd_roll = 1000.0;
    errmod_full_update_vessel(&v, w);
    ASSERT_EQ(errmod_full_apply(em300.d, &v, &p, s.data(), 1, w), 1);
    EXPECT_EQ(w->terms.alpha, 2.467401100916691);
    errmod_full_release(w);
}

TEST(FullModels, SurfaceRefractionOnlyForCapableDevicesBeyondTheirAngle)
{
    _vessel quiet_surface = {};
    _vessel noisy_surface = {};
    noisy_surface.sd_surf_sspeed = 5.0;
    const _ping p = level_ping();
    const struct {
        const char *device;
        uint32_t beam;
        bool changes;
    } cases[] = {
        {"sb9001", 0, false},  // no refraction capability
        {"em1000", 30, false}, // nadir, inside 60 degrees
        {"em1000", 10, true},  // about 50.8 degrees: inside
        {"em1000", 0, true},   // about 76 degrees
    };
    for (const auto &c : cases) {
        DeviceHandle dev(c.device);
        const uint32_t n = device_get_beam_count(dev.d);
        std::vector<_sounding> a = ping_records(n, 50.0f, 70.0f), b = ping_records(n, 50.0f, 70.0f);
        ASSERT_EQ(run(models()[0], dev.d, quiet_surface, p, a), 1);
        ASSERT_EQ(run(models()[0], dev.d, noisy_surface, p, b), 1);
        const double angle = std::fabs(device_beam_angle(dev.d, 1500.0, c.beam));
        const bool expected = c.changes && angle > 60.0;
        EXPECT_EQ(a[c.beam].dr != b[c.beam].dr, expected) << c.device << " " << c.beam;
    }
}

TEST(FullModels, PerBeamPathBoundsBeamsByTheGeometryGiven)
{
    DeviceHandle em300("em300");
    const uint32_t count = 4;
    const uint32_t flags[count] = {0, 1, 0, 1};
    const double ones[count] = {1, 1, 1, 1}, small[count] = {0.1, 0.1, 0.1, 0.1};
    _vessel v = {};
    v.per_beam_mode = 1;
    v.per_beam_count = count;
    v.arm_flag = flags;
    v.draft_factor = ones;
    v.heave_fraction = small;
    v.arm_x = v.arm_y = v.arm_z = ones;
    v.heading = v.roll_sdev = small;
    v.sd_draft = 0.1;
    const _ping p = level_ping();
    for (const Model &m : {models()[0], models()[1]}) {
        std::vector<_sounding> s = ping_records(6, 30.0f, 40.0f);
        EXPECT_EQ(run(m, em300.d, v, p, s), 1) << m.name;
        for (uint32_t i = 0; i < count; ++i) EXPECT_NE(s[i].dz, CUBE_INVALID_FLOAT) << m.name << i;
        EXPECT_EQ(s[4].dz, CUBE_INVALID_FLOAT);
        EXPECT_EQ(s[5].dr, CUBE_INVALID_FLOAT);
        EXPECT_NEAR(s[0].dz, 0.0225 + std::pow(1.0 - std::cos(CUBE_DEG2RAD * 0.5), 2) * 900 + 0.01, 1e-6);

        std::vector<_sounding> far = ping_records(2, 30.0f, 40.0f);
        far[1].beam_number = 50;  // a position inside the geometry, a beam outside it
        Quiet quiet;
        EXPECT_EQ(run(m, em300.d, v, p, far), 0) << m.name;
        EXPECT_NE(far[0].dz, CUBE_INVALID_FLOAT);
        EXPECT_EQ(far[1].dz, CUBE_INVALID_FLOAT);
        EXPECT_EQ(far[1].dr, CUBE_INVALID_FLOAT);
    }
}

TEST(FullModels, HeadGeometryShiftsTheTable)
{
    DeviceHandle em300("em300");
    _vessel v = {};
    v.static_roll = 1.0;
    ErrModC3D *w = errmod_c3d_new(em300.d, &v);
    ASSERT_NE(w, nullptr);
    const double k = CUBE_DEG2RAD;
    EXPECT_NEAR(errmod_c3d_get_beam_angle(67, w), -1.0 * k, 1e-15);
    errmod_c3d_set_head_offsets(70, 0.5, 2.0, w);
    std::vector<_sounding> s = ping_records(135, 20.0f, 25.0f);
    s[10].head = 1;
    const _ping p = level_ping();
    ASSERT_EQ(errmod_c3d_apply(em300.d, &v, &p, s.data(), 135, w), 1);
    EXPECT_NEAR(errmod_c3d_get_beam_angle(67, w), -1.5 * k, 1e-15);
    EXPECT_NEAR(errmod_c3d_get_beam_angle(10, w), ((10 - 67) * 150.0 / 134.0 - 3.0) * k, 1e-12);
    // A nadir beam has no detection term: its vertical variance is invalid.
    errmod_c3d_set_head_offsets(70, 0.0, 0.0, w);
    v.static_roll = 0.0;
    ErrModC3D *level = errmod_c3d_new(em300.d, &v);
    ASSERT_EQ(errmod_c3d_apply(em300.d, &v, &p, s.data(), 135, level), 1);
    EXPECT_EQ(s[67].dz, CUBE_INVALID_FLOAT);
    EXPECT_NE(s[67].dr, CUBE_INVALID_FLOAT);
    errmod_c3d_release(level);
    errmod_c3d_release(w);
}

}  // namespace
