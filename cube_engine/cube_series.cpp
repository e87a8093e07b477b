#include "cube_engine/cube_series.h"

#include <cfloat>

#include "cube_engine/cube.h"

namespace {

constexpr uint32_t k_tides_quantum = 256, k_buffer_quantum = 1024;
constexpr SeriesDefaults k_defaults = {1500.0, k_tides_quantum, 0.0, 1.0, k_buffer_quantum,
                                       k_buffer_quantum, 0.0, k_buffer_quantum, k_buffer_quantum};
SeriesDefaults g_defaults = k_defaults;

struct Quantum {
    const char *module;
    int limit;
    uint32_t fallback;
    uint32_t *out;
};

const char *text_of(const ParList *entry) { return entry->data != nullptr ? entry->data : ""; }

// A quantum sizes a buffer: zero or negative ones are refused with the rest.
int take_quantum(const Quantum &q, const char *text)
{
    int v = 0;
    if (!params_get_integer(text, 1, q.limit, &v)) {
        cube_reportf(q.module, "buffer quantum (%d) out of range. Switching back to default.\n", v);
        *q.out = q.fallback;
        return 0;
    }
    *q.out = (uint32_t)v;
    return 1;
}

int take_duration(const char *module, const char *text, const char *message, double *out)
{
    const double v = params_get_duration(text);
    if (v == DBL_MAX) {
        cube_reportf(module, message, text);
        return 0;
    }
    *out = v;
    return 1;
}

int apply_sounding(int key, const ParList *entry, void *)
{
    if (key != 1) return params_unknown_key("sounding", key);
    double v = 0.0;
    params_get_number(text_of(entry), &v);
    return params_take_bounded(
        "sounding", v, 1000.0, 2000.0,
        "error: surface sound speed must be in the range [%.1f, %.1f] m/s (not %.1f).\n",
        &g_defaults.default_surf_sspeed);
}

int apply_tides(int key, const ParList *entry, void *)
{
    const char *text = text_of(entry);
    double v = 0.0;
    switch (key) {
    case 1:
        return take_quantum({"tides", 2560, k_tides_quantum, &g_defaults.tides_quantum}, text);
    case 2:
        return take_duration("tides", text, "error: cannot translate \"%s\" as a time duration.\n",
                             &g_defaults.tides_time_offset);
    case 3:
        if (!params_get_number(text, &v) || !(v > 0.0 && v <= 1.0)) {
            cube_report("tides", "error: scale factor out of range(0.0,1.0].\n");
            return 0;
        }
        g_defaults.tides_scale_factor = v;
        return 1;
    default:
        return params_unknown_key("tides", key);
    }
}

// The modules that only know a buffer quantum.
int apply_quantum_only(int key, const ParList *entry, void *context)
{
    const Quantum &q = *static_cast<const Quantum *>(context);
    if (key != 1) return params_unknown_key(q.module, key);
    return take_quantum(q, text_of(entry));
}

int apply_nav(int key, const ParList *entry, void *)
{
    const char *text = text_of(entry);
    switch (key) {
    case 1:
        return take_quantum({"nav", 10240, k_buffer_quantum, &g_defaults.nav_quantum}, text);
    case 2:
        return take_duration("nav", text, "error: could not convert \"%s\" as a time duration.\n",
                             &g_defaults.nav_latency);
    default:
        return params_unknown_key("nav", key);
    }
}

const ParTable k_quantum_keys[] = {{"buffer_quantum", 1}, {nullptr, 0}};

int run_quantum_only(const ParList *list, const char *module, uint32_t *out)
{
    Quantum q = {module, 10240, k_buffer_quantum, out};
    return params_run(list, module, k_quantum_keys, apply_quantum_only, &q);
}

}  // namespace

int sounding_execute_params(const ParList *list)
{
    static const ParTable keys[] = {{"default_surf_sspeed", 1}, {nullptr, 0}};
    return params_run(list, "sounding", keys, apply_sounding, nullptr);
}

int tides_execute_params(const ParList *list)
{
    static const ParTable keys[] = {
        {"buffer_quantum", 1}, {"time_offset", 2}, {"scale_factor", 3}, {nullptr, 0}};
    return params_run(list, "tides", keys, apply_tides, nullptr);
}

int stime_execute_params(const ParList *list)
{
    return run_quantum_only(list, "stime", &g_defaults.stime_quantum);
}

int nav_execute_params(const ParList *list)
{
    static const ParTable keys[] = {{"buffer_quantum", 1}, {"latency", 2}, {nullptr, 0}};
    return params_run(list, "nav", keys, apply_nav, nullptr);
}

int att_execute_params(const ParList *list)
{
    return run_quantum_only(list, "att", &g_defaults.att_quantum);
}

int interp_execute_params(const ParList *list)
{
    return run_quantum_only(list, "interp", &g_defaults.interp_quantum);
}

const SeriesDefaults *series_defaults(void) { return &g_defaults; }

void series_reset_params(void) { g_defaults = k_defaults; }
