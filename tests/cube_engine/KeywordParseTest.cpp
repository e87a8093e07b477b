#include <gtest/gtest.h>

#include <cfloat>
#include <string>

#include "cube_engine/cube_keyparams.h"
#include "cube_engine/cube_keyparse.h"
#include "cube_engine/cube_mapsheet.h"
#include "cube_engine/cube_param.h"
#include "cube_engine/cube_series.h"

#include "EngineTestSupport.h"
#include "KeywordTestSupport.h"

namespace {

using enginetest::CapturedReports;
using enginetest::KeywordList;
using enginetest::Quiet;

// Every test starts and ends on the compiled-in defaults.
class Keywords : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset()
    {
        cube_set_default_param(cube_compiled_param());
        mapsheet_nodal_reset_params();
        mapsheet_reset_params();
        series_reset_params();
    }
};

struct Conversion {
    const char *text;
    double value;  // DBL_MAX: refused
    const char *report;
};

TEST(KeywordUnits, Lengths)
{
    const Conversion cases[] = {
        {"2km", 2000.0, ""},
        {"6ft", 1.8288, ""},
        {"1nm", 1852.0, ""},
        {"5", 5.0, ""},
        {"5 m", 5.0, ""},
        {"12in", 0.3048, ""},
        {"25cm", 0.25, ""},
        {"3dm", 0.3, ""},
        {"2hm", 200.0, ""},
        {"7mm", 0.007, ""},
        {"9um", 9e-6, ""},
        {"5xm", DBL_MAX, "params: error: unrecognised scale for length conversion (x).\n"},
        {"5 furlongs", DBL_MAX, "params: unknown units for length conversion.\n"},
        {"km", DBL_MAX, "params: cannot extract a number from \"km\".\n"},
        {"inf m", DBL_MAX, "params: cannot extract a number from \"inf m\".\n"},
        {"nan", DBL_MAX, "params: cannot extract a number from \"nan\".\n"},
        {"1e308nm", DBL_MAX, "params: cannot extract a number from \"1e308nm\".\n"},
    };
    for (const Conversion &c : cases) {
        CapturedReports reports;
        const double v = params_get_length(c.text);
        if (c.value == DBL_MAX)
            EXPECT_EQ(v, DBL_MAX) << c.text;
        else
            EXPECT_NEAR(v, c.value, 1e-12 * (1.0 + c.value)) << c.text;
        EXPECT_EQ(reports.str(), c.report) << c.text;
    }
}

TEST(KeywordUnits, DurationsAndSizes)
{
    const Conversion durations[] = {
        {"2hr", 7200.0, ""},
        {"3mn", 180.0, ""},
        {"150ms", 0.15, ""},
        {"4 s", 4.0, ""},
        {"20us", 2e-5, ""},
        {"5cs", 0.05, ""},
        {"5qs", DBL_MAX, "params: error: unrecognised scale for durations (q).\n"},
        {"5 days", DBL_MAX, "params: error: unrecognised scale for durations (y).\n"},
        {"5 m", DBL_MAX, "params: unknown units for duration conversion.\n"},
    };
    for (const Conversion &c : durations) {
        CapturedReports reports;
        const double v = params_get_duration(c.text);
        if (c.value == DBL_MAX)
            EXPECT_EQ(v, DBL_MAX) << c.text;
        else
            EXPECT_NEAR(v, c.value, 1e-12 * (1.0 + c.value)) << c.text;
        EXPECT_EQ(reports.str(), c.report) << c.text;
    }

    const struct {
        const char *text;
        int64_t bytes;
        const char *report;
    } sizes[] = {
        {"100", 100, ""},
        {"2kb", 2048, ""},
        {"64Mb", 67108864, ""},
        {"1Gb", 1073741824, ""},
        {"2Gb", -1, "params: error: size is out of representable range[0, 2147483647).\n"},
        {"1Tb", -1, "params: error: size is out of representable range[0, 2147483647).\n"},
        {"-1kb", -1, "params: error: size is out of representable range[0, 2147483647).\n"},
        {"5xb", -1, "params: error: unrecognised scale for rate conversion (x).\n"},
        {"5 kilo", -1, "params: unknown units for duration conversion.\n"},
        {"b", -1, "params: cannot extract a number from \"b\".\n"},
    };
    for (const auto &c : sizes) {
        CapturedReports reports;
        EXPECT_EQ(params_get_size(c.text), c.bytes) << c.text;
        EXPECT_EQ(reports.str(), c.report) << c.text;
    }
}

TEST(KeywordMatching, AddressingAndUnknownKeys)
{
    KeywordList list({{"cube.extra.median_length", "2"},
                      {"cubes.median_length", "2"},
                      {"mapsheet.max_width", "5"},
                      {"cube.no_such_key", "1"},
                      {"cube", "1"},
                      {"cube.median_length", "7"}});
    static const ParTable keys[] = {{"median_length", 4}, {nullptr, 0}};
    CapturedReports reports;
    int key = 0;
    const ParList *entry = nullptr;
    const ParList *next = params_match(list.get(), "cube", keys, &key, &entry);
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(entry->data, "7");
    EXPECT_EQ(key, 4);
    EXPECT_EQ(next, nullptr);
    EXPECT_EQ(reports.str(),
              "params: warning: \"cube.no_such_key\" was not matched in the \"cube\" module parameter list.\n");
    // Nothing further: the end of the list leaves no entry.
    EXPECT_EQ(params_match(next, "cube", keys, &key, &entry), nullptr);
    EXPECT_EQ(entry, nullptr);
}

TEST_F(Keywords, CubeValuesBecomeTheDefaultsOfLaterBlocks)
{
    KeywordList list({{"cube.null_depth", "-3 m"},
                      {"cube.null_sdev", "2km"},
                      {"cube.confidence_int", "C99"},
                      {"cube.distance_exp", "4"},
                      {"cube.median_length", "101"},
                      {"cube.eeg_q_limit", "12.5"},
                      {"cube.evolution_discount", "0.8"},
                      {"cube.monitor_offset", "10"},
                      {"cube.monitor_tau", "0.001"},
                      {"cube.monitor_runlength", "10"},
                      {"cube.extractor", "posterior"},
                      {"cube.min_context", "1km"},
                      {"cube.max_context", "30m"},
                      {"cube.blunder_min", "1"},
                      {"cube.blunder_pcent", "100"},
                      {"cube.blunder_scalar", "0"},
                      {"cube.capture_dist", "1"}});
    CapturedReports reports;
    ASSERT_EQ(cube_execute_params(list.get()), 1);
    EXPECT_EQ(reports.str(), "");
    const _cube_param *d = cube_default_param();
    EXPECT_EQ(d->null_depth, -3.0);
    EXPECT_EQ(d->null_variance, 2000.0);
    EXPECT_EQ(d->sd2conf_scale, 2.56f);
    EXPECT_EQ(d->dist_exp, 4.0);
    EXPECT_EQ(d->inv_dist_exp, 0.25);
    EXPECT_EQ(d->median_length, 101u);
    EXPECT_EQ(d->quotient_limit, 12.5f);
    EXPECT_EQ(d->discount, 0.8f);
    EXPECT_EQ(d->est_offset, 10.0f);
    EXPECT_EQ(d->bayes_fac_t, 0.001f);
    EXPECT_EQ(d->runlength_t, 10u);
    EXPECT_EQ(d->mthd, 2u);
    EXPECT_EQ(d->min_context, 1000.0f);
    EXPECT_EQ(d->max_context, 30.0f);
    EXPECT_EQ(d->blunder_min, 1.0f);
    EXPECT_EQ(d->blunder_pcent, 1.0f);
    EXPECT_EQ(d->blunder_scalar, 0.0f);
    EXPECT_EQ(d->capture_dist_scale, 0.01f);

    // A block made now starts from them.
    _cube_param *block = cube_init_param(0, 2.0, 2.0);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->median_length, 101u);
    EXPECT_EQ(block->max_context, 15.0f);
    EXPECT_EQ(block->var_scale, 1.0 / 16.0);
    free(block);
}

TEST_F(Keywords, CubeRefusalsKeepTheirDefaultAndTheRestIsTaken)
{
    const struct {
        const char *key;
        const char *value;
        const char *report;
    } refused[] = {
        {"median_length", "2", "cube: error: median pre-queue filter length must be in range [3, 101] (not 2).\n"},
        {"median_length", "102", "cube: error: median pre-queue filter length must be in range [3, 101] (not 102).\n"},
        {"median_length", "99999999999999999999",
         "cube: error: median pre-queue filter length must be in range [3, 101] (not 2147483647).\n"},
        {"median_length", "-4294967293",
         "cube: error: median pre-queue filter length must be in range [3, 101] (not -2147483648).\n"},
        {"null_sdev", "-1", "cube: failed converting \"-1\" to a valid length sdev measurement.\n"},
        {"null_depth", "deep", "params: cannot extract a number from \"deep\".\n"
                               "cube: failed converting \"deep\" to a valid length measurement.\n"},
        {"confidence_int", "c95", "cube: error: confidence interval selector not in set { C68, C90, C95, C99 }.\n"},
        {"distance_exp", "nan",
         "cube: failed converting \"nan\" to a valid distance exponent (range (1.0, 10.0)).\n"},
        {"distance_exp", "0.5",
         "cube: failed converting \"0.5\" to a valid distance exponent (range (1.0, 10.0)).\n"},
        {"monitor_runlength", "0", "cube: error: monitor runlength limit must be in range [1, 10] (not 0).\n"},
        {"extractor", "median",
         "cube: error: unrecognised hypothesis disambiguation method \"median\" (known are: prior,  likelihood, "
         "posterior).\n"},
        {"capture_dist", "0.5",
         "cube: error: capture distance percetange must be in range (1.00, 100.00) % (not 0.50 %).\n"},
        {"max_context", "0.5",
         "cube: error: maximum context search distance for hypothesis disambiguation must be in the range "
         "[1.000000, 3000.000000] m (not 0.500000).\n"},
    };
    for (const auto &r : refused) {
        KeywordList list({{std::string("cube.") + r.key, r.value}, {"cube.monitor_runlength", "7"}});
        CapturedReports reports;
        EXPECT_EQ(cube_execute_params(list.get()), 0) << r.key << "=" << r.value;
        EXPECT_EQ(reports.str(), r.report) << r.key << "=" << r.value;
        const _cube_param *d = cube_default_param();
        const _cube_param *c = cube_compiled_param();
        EXPECT_EQ(d->median_length, c->median_length);
        EXPECT_EQ(d->null_variance, c->null_variance);
        EXPECT_EQ(d->dist_exp, c->dist_exp);
        EXPECT_EQ(d->mthd, c->mthd);
        if (std::string(r.key) != "monitor_runlength") {
            EXPECT_EQ(d->runlength_t, 7u) << r.key;
        }
        cube_set_default_param(cube_compiled_param());
    }
    KeywordList edges({{"cube.median_length", "3"}});
    EXPECT_EQ(cube_execute_params(edges.get()), 1);
    EXPECT_EQ(cube_default_param()->median_length, 3u);
}

TEST_F(Keywords, NodalTakesTheFirstThirteenKeysIntoItsOwnDefaults)
{
    KeywordList list({{"mapsheet.nodal.median_length", "21"},
                      {"mapsheet.nodal.max_context", "20m"},
                      {"mapsheet.nodal.blunder_min", "5"}});
    CapturedReports reports;
    EXPECT_EQ(mapsheet_nodal_execute_params(list.get()), 1);
    EXPECT_EQ(reports.str(),
              "params: warning: \"mapsheet.nodal.blunder_min\" was not matched in the \"mapsheet.nodal\" module "
              "parameter list.\n");
    EXPECT_EQ(mapsheet_nodal_default_param()->median_length, 21u);
    EXPECT_EQ(mapsheet_nodal_default_param()->max_context, 20.0f);
    EXPECT_EQ(cube_default_param()->median_length, 11u);
}

TEST_F(Keywords, MapSheetModules)
{
    KeywordList list({{"mapsheet.max_width", "20000"},
                      {"mapsheet.max_height", "0"},
                      {"mapsheet.hcube.max_memory", "64Mb"},
                      {"mapsheet.hcube.max_tile_dim", "5002"},
                      {"mapsheet.hcube.tile_expiry_delta", "2mn"},
                      {"mapsheet.hcube.prob_use", "0.5"},
                      {"mapsheet.median.max_buffer_pt", "100"},
                      {"mapsheet.median.subsample_at", "500"},
                      {"mapsheet.median.buffer_quantum", "1000"},
                      {"mapsheet.mean.mean_ratio_eps", "1.0"},
                      {"mapsheet.mean.reject_sdev_limit", "0"}});
    Quiet quiet;
    EXPECT_EQ(mapsheet_execute_params(list.get()), 0);
    EXPECT_EQ(mapsheet_defaults()->max_width, 20000u);
    EXPECT_EQ(mapsheet_defaults()->max_height, 10000u);
    EXPECT_EQ(mapsheet_hcube_execute_params(list.get()), 0);
    EXPECT_EQ(mapsheet_hcube_defaults()->max_memory, 67108864u);
    EXPECT_EQ(mapsheet_hcube_defaults()->max_tile_dim, 511u);
    EXPECT_EQ(mapsheet_hcube_defaults()->tile_expiry_delta, 120.0);
    EXPECT_EQ(mapsheet_hcube_defaults()->prob_use, 0.5);
    EXPECT_EQ(mapsheet_median_execute_params(list.get()), 1);
    EXPECT_EQ(mapsheet_median_defaults()->subsample_at, 100u);
    EXPECT_EQ(mapsheet_median_defaults()->buffer_quantum, 100u);
    EXPECT_EQ(mapsheet_mean_execute_params(list.get()), 0);
    EXPECT_EQ(mapsheet_mean_defaults()->mean_ratio_eps, 0.01);
    EXPECT_EQ(mapsheet_mean_defaults()->reject_sdev_limit, 2.0);
}

TEST_F(Keywords, BufferLimitWarningsAndMemoryRange)
{
    KeywordList median({{"mapsheet.median.max_buffer_pt", "10"}});
    CapturedReports reports;
    EXPECT_EQ(mapsheet_median_execute_params(median.get()), 1);
    EXPECT_EQ(reports.str(),
              "mapsheet.median: warning: sub-sample level set above buffer limit; reducing sub-sample level to "
              "match buffer.\n"
              "mapsheet.median: warning: buffer quantum set above buffer limit; reducing quantum to match buffer.\n");

    KeywordList memory({{"mapsheet.hcube.max_memory", "1Mb"}});
    CapturedReports memory_reports;
    EXPECT_EQ(mapsheet_hcube_execute_params(memory.get()), 0);
    EXPECT_EQ(memory_reports.str(),
              "mapsheet.hcube: error: need memory request in range(20971520, 2147483647), not 1048576.\n");
    EXPECT_EQ(mapsheet_hcube_defaults()->max_memory, 134217728u);
}

TEST_F(Keywords, SeriesModulesBoundTheirBuffers)
{
    KeywordList list({{"sounding.default_surf_sspeed", "999"},
                      {"tides.buffer_quantum", "2561"},
                      {"tides.time_offset", "1hr"},
                      {"tides.scale_factor", "0"},
                      {"stime.buffer_quantum", "0"},
                      {"nav.buffer_quantum", "-5"},
                      {"nav.latency", "20ms"},
                      {"att.buffer_quantum", "10240"},
                      {"interp.buffer_quantum", "16"}});
    CapturedReports reports;
    EXPECT_EQ(sounding_execute_params(list.get()), 0);
    EXPECT_EQ(tides_execute_params(list.get()), 0);
    EXPECT_EQ(stime_execute_params(list.get()), 0);
    EXPECT_EQ(nav_execute_params(list.get()), 0);
    EXPECT_EQ(att_execute_params(list.get()), 1);
    EXPECT_EQ(interp_execute_params(list.get()), 1);
    EXPECT_EQ(reports.str(),
              "sounding: error: surface sound speed must be in the range [1000.0, 2000.0] m/s (not 999.0).\n"
              "tides: buffer quantum (2561) out of range. Switching back to default.\n"
              "tides: error: scale factor out of range(0.0,1.0].\n"
              "stime: buffer quantum (0) out of range. Switching back to default.\n"
              "nav: buffer quantum (-5) out of range. Switching back to default.\n");
    const SeriesDefaults *d = series_defaults();
    EXPECT_EQ(d->default_surf_sspeed, 1500.0);
    EXPECT_EQ(d->tides_quantum, 256u);
    EXPECT_EQ(d->tides_time_offset, 3600.0);
    EXPECT_EQ(d->tides_scale_factor, 1.0);
    EXPECT_EQ(d->stime_quantum, 1024u);
    EXPECT_EQ(d->nav_quantum, 1024u);
    EXPECT_DOUBLE_EQ(d->nav_latency, 0.02);
    EXPECT_EQ(d->att_quantum, 10240u);
    EXPECT_EQ(d->interp_quantum, 16u);
}

}  // namespace
