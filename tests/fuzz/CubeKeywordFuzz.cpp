// The engine's keyword parsers: lines "module.key=value" run through every
// module parser. Whatever the text, the stored settings stay inside their
// ranges (nothing that sizes a buffer escapes its bounds), the conversions
// give a finite value or their failure mark, and error models built from the
// resulting vessel settings write finite, non-negative variances or the
// invalid float.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "cube_engine/cube.h"
#include "cube_engine/cube_errmod_c3d.h"
#include "cube_engine/cube_errmod_full.h"
#include "cube_engine/cube_errmod_iho.h"
#include "cube_engine/cube_keyparams.h"
#include "cube_engine/cube_mapsheet.h"
#include "cube_engine/cube_param.h"
#include "cube_engine/cube_series.h"
#include "cube_engine/cube_vessel.h"
#include "fuzz/FuzzSupport.h"

namespace {

const size_t k_max_entries = 256;

struct Entries {
    std::vector<std::string> names, values;
    std::vector<ParList> nodes;
};

void split(const std::string &text, Entries &out)
{
    size_t start = 0;
    while (start <= text.size() && out.names.size() < k_max_entries) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t eq = line.find('=');
        out.names.push_back(line.substr(0, eq));
        out.values.push_back(eq == std::string::npos ? std::string() : line.substr(eq + 1));
        start = end + 1;
    }
    out.nodes.resize(out.names.size());
    for (size_t i = 0; i < out.nodes.size(); ++i) {
        out.nodes[i].name = out.names[i].c_str();
        out.nodes[i].data = out.values[i].c_str();
        out.nodes[i].next = i + 1 < out.nodes.size() ? &out.nodes[i + 1] : nullptr;
    }
}

void reset_all()
{
    cube_set_default_param(cube_compiled_param());
    mapsheet_nodal_reset_params();
    mapsheet_reset_params();
    series_reset_params();
    vessel_reset_params();
    errmod_iho_reset_params();
}

void check_block(const _cube_param *p)
{
    FUZZ_CHECK(p->median_length >= 3 && p->median_length <= 101);
    FUZZ_CHECK(p->runlength_t >= 1 && p->runlength_t <= 10);
    FUZZ_CHECK(p->dist_exp >= 1.0 && p->dist_exp <= 10.0);
    FUZZ_CHECK(p->inv_dist_exp == 1.0 / p->dist_exp);
    FUZZ_CHECK(p->mthd <= 3);
    FUZZ_CHECK(std::isfinite(p->null_depth) && p->null_variance >= 0.0 && std::isfinite(p->null_variance));
    FUZZ_CHECK(p->min_context >= 0.0f && p->min_context <= 1000.0f);
    FUZZ_CHECK(p->max_context >= 1.0f && p->max_context <= 3000.0f);
    FUZZ_CHECK(p->capture_dist_scale >= 0.01f && p->capture_dist_scale <= 1.0f);
}

void check_settings()
{
    check_block(cube_default_param());
    check_block(mapsheet_nodal_default_param());
    const MapSheetDefaults *sheet = mapsheet_defaults();
    FUZZ_CHECK(sheet->max_width >= 1 && sheet->max_width <= 20000);
    FUZZ_CHECK(sheet->max_height >= 1 && sheet->max_height <= 20000);
    const MapSheetHCubeDefaults *hcube = mapsheet_hcube_defaults();
    FUZZ_CHECK(hcube->max_memory >= 20971520u && hcube->max_memory < 2147483647u);
    FUZZ_CHECK(hcube->max_tile_dim >= 255 && hcube->max_tile_dim <= 5001);
    FUZZ_CHECK(hcube->tile_expiry_delta >= 10.0 && hcube->tile_expiry_delta <= 3600.0);
    const MapSheetMedianDefaults *median = mapsheet_median_defaults();
    FUZZ_CHECK(median->max_buffer_pt >= 10 && median->max_buffer_pt <= 65536);
    FUZZ_CHECK(median->buffer_quantum >= 10 && median->buffer_quantum <= median->max_buffer_pt);
    FUZZ_CHECK(median->subsample_at >= 10 && median->subsample_at <= median->max_buffer_pt);
    const MapSheetMeanDefaults *mean = mapsheet_mean_defaults();
    FUZZ_CHECK(mean->buffer_quantum >= 10 && mean->buffer_quantum <= mean->max_buffer_pt);
    FUZZ_CHECK(mean->max_iterations >= 10 && mean->max_iterations <= 500);
    FUZZ_CHECK(mean->reject_sdev_limit > 0.0 && std::isfinite(mean->reject_sdev_limit));
    const SeriesDefaults *series = series_defaults();
    FUZZ_CHECK(series->tides_quantum >= 1 && series->tides_quantum <= 2560);
    for (uint32_t q : {series->stime_quantum, series->nav_quantum, series->att_quantum, series->interp_quantum})
        FUZZ_CHECK(q >= 1 && q <= 10240);
    FUZZ_CHECK(series->tides_scale_factor > 0.0 && series->tides_scale_factor <= 1.0);
    for (int which = VESSEL_MAIN; which <= VESSEL_STBD; ++which) {
        const _vessel *v = vessel_description(which);
        FUZZ_CHECK(v->heave_var >= 0.0 && v->heave_var < 1.0);
        FUZZ_CHECK(v->device < DEVICE_TABLE_ROWS);
        for (double sd : {v->sd_gps_offset, v->sd_roll, v->sd_svp, v->sd_tx_latency, v->sd_tide_pred})
            FUZZ_CHECK(sd >= 0.0 && std::isfinite(sd));
    }
}

void check_conversions(const Entries &entries)
{
    for (const std::string &value : entries.values) {
        const double length = params_get_length(value.c_str());
        FUZZ_CHECK(length == DBL_MAX || std::isfinite(length));
        const double duration = params_get_duration(value.c_str());
        FUZZ_CHECK(duration == DBL_MAX || std::isfinite(duration));
        const int64_t size = params_get_size(value.c_str());
        FUZZ_CHECK(size == -1 || (size >= 0 && size < 2147483647));
    }
}

void check_variances(const _sounding *s, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        FUZZ_CHECK(std::isfinite(s[i].dz) && s[i].dz >= 0.0f);
        FUZZ_CHECK(std::isfinite(s[i].dr) && s[i].dr >= 0.0f);
    }
}

// Runs the IHO model and one full model over a small ping with the settings
// the keywords left behind.
void run_models()
{
    const _vessel *v = vessel_description(VESSEL_MAIN);
    Device device = findDevice(device_table()[v->device].short_name ? device_table()[v->device].short_name
                                                                       : "unknown");
    if (device == nullptr) return;
    const uint32_t beams = device_get_beam_count(device);
    std::vector<_sounding> s(beams > 0 ? beams : 1);
    for (uint32_t i = 0; i < s.size(); ++i) {
        memset(&s[i], 0, sizeof s[i]);
        s[i].beam_number = (uint16_t)i;
        s[i].depth = 40.0f;
        s[i].range = 50.0f;
    }
    _ping ping = {};
    ping.roll = 1.5f, ping.pitch = -0.5f, ping.heave = 0.3f;
    ping.surf_sspeed = (float)series_defaults()->default_surf_sspeed;
    ping.sspeed = 1490.0f, ping.sog = 4.0f;
    if (ErrModIHO *iho = errmod_iho_new()) {
        FUZZ_CHECK(errmod_iho_apply(device, v, &ping, s.data(), (uint32_t)s.size(), iho) == 1);
        check_variances(s.data(), (uint32_t)s.size());
        errmod_iho_release(iho);
    }
    if (ErrModFull *full = errmod_full_new(device, v)) {
        if (errmod_full_apply(device, v, &ping, s.data(), beams, full)) check_variances(s.data(), beams);
        errmod_full_release(full);
    }
    device_release(device);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 16384) return 0;  // longer lists only repeat what shorter ones reach
    fuzzsupport::silenceEngine();
    reset_all();
    Entries entries;
    split(std::string(reinterpret_cast<const char *>(data), size), entries);
    const ParList *list = entries.nodes.empty() ? nullptr : entries.nodes.data();
    int all = cube_execute_params(list);
    all &= mapsheet_nodal_execute_params(list);
    all &= mapsheet_execute_params(list);
    all &= mapsheet_hcube_execute_params(list);
    all &= mapsheet_median_execute_params(list);
    all &= mapsheet_mean_execute_params(list);
    all &= sounding_execute_params(list);
    all &= tides_execute_params(list);
    all &= stime_execute_params(list);
    all &= nav_execute_params(list);
    all &= att_execute_params(list);
    all &= interp_execute_params(list);
    all &= vessel_execute_params(list);
    all &= errmod_execute_params(list);
    if (all) fuzzsupport::noteAccepted();
    check_settings();
    check_conversions(entries);
    run_models();
    reset_all();
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter &seeds)
{
    seeds.add("cube", std::string("cube.null_depth=-3 m\ncube.null_sdev=2km\ncube.confidence_int=C90\n"
                                  "cube.distance_exp=2.5\ncube.median_length=21\ncube.eeg_q_limit=12\n"
                                  "cube.evolution_discount=0.9\ncube.monitor_offset=3\ncube.monitor_tau=0.1\n"
                                  "cube.monitor_runlength=4\ncube.extractor=posterior\ncube.min_context=2m\n"
                                  "cube.max_context=20m\ncube.blunder_min=5ft\ncube.blunder_pcent=30\n"
                                  "cube.blunder_scalar=2\ncube.capture_dist=10"));
    seeds.add("mapsheet", std::string("mapsheet.max_width=500\nmapsheet.max_height=400\n"
                                      "mapsheet.hcube.max_memory=64Mb\nmapsheet.hcube.hypothesis_hint=2\n"
                                      "mapsheet.hcube.prob_use=0.5\nmapsheet.hcube.max_tile_dim=1023\n"
                                      "mapsheet.hcube.tile_expiry_delta=2mn\nmapsheet.median.null_depth=1nm\n"
                                      "mapsheet.median.buffer_quantum=128\nmapsheet.median.max_buffer_pt=1000\n"
                                      "mapsheet.median.subsample_at=200\nmapsheet.mean.reject_sdev_limit=3\n"
                                      "mapsheet.mean.mean_ratio_eps=0.05\nmapsheet.mean.max_iterations=50\n"
                                      "mapsheet.nodal.median_length=31"));
    seeds.add("series", std::string("sounding.default_surf_sspeed=1480\ntides.buffer_quantum=512\n"
                                    "tides.time_offset=1hr\ntides.scale_factor=0.5\nstime.buffer_quantum=64\n"
                                    "nav.buffer_quantum=2048\nnav.latency=20ms\natt.buffer_quantum=100\n"
                                    "interp.buffer_quantum=10240"));
    seeds.add("vessel", std::string("vessel.timestamp=2004/06/30:12:00:00\nvessel.sonar_type=em1000\n"
                                    "vessel.sdev.gps_offset=5cm\nvessel.sdev.gps_drms=0.5\n"
                                    "vessel.sdev.gps_latency=10ms\nvessel.sdev.roll=0.05\n"
                                    "vessel.sdev.pitch=0.05\nvessel.sdev.gyro=0.1\nvessel.sdev.svp=0.5\n"
                                    "vessel.sdev.surf_sspeed=2\nvessel.sdev.heave_fixed=5cm\n"
                                    "vessel.sdev.heave_var=0.05\nvessel.sdev.sog=0.1\n"
                                    "vessel.port.draft=1.5m\nvessel.port.static_roll=0.5\n"
                                    "vessel.port.tx_latency=1ms\nvessel.port.gps.x=3ft\n"
                                    "vessel.port.gps.latency=0.05s\nvessel.port.imu.z=-0.5\n"
                                    "vessel.stbd.imu.roll=0.1"));
    seeds.add("errmod", std::string("errmod.iho.order=2\nerrmod.iho.vert_fixed=0.3m\n"
                                    "errmod.iho.vert_var=0.01\nerrmod.iho.horizontal=3m"));
}
