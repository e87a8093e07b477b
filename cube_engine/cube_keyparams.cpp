#include "cube_engine/cube_keyparams.h"

#include <cfloat>
#include <cstring>

#include "cube_engine/cube.h"

namespace {

enum CubeKey {
    KEY_NULL_DEPTH = 1,
    KEY_NULL_SDEV,
    KEY_CONFIDENCE,
    KEY_DIST_EXP,
    KEY_MEDIAN_LENGTH,
    KEY_QUOTIENT,
    KEY_DISCOUNT,
    KEY_MONITOR_OFFSET,
    KEY_MONITOR_TAU,
    KEY_RUNLENGTH,
    KEY_EXTRACTOR,
    KEY_MIN_CONTEXT,
    KEY_MAX_CONTEXT,
    KEY_BLUNDER_MIN,
    KEY_BLUNDER_PCENT,
    KEY_BLUNDER_SCALAR,
    KEY_CAPTURE_DIST
};

const ParTable k_cube_keys[] = {
    {"null_depth", KEY_NULL_DEPTH},
    {"null_sdev", KEY_NULL_SDEV},
    {"confidence_int", KEY_CONFIDENCE},
    {"distance_exp", KEY_DIST_EXP},
    {"median_length", KEY_MEDIAN_LENGTH},
    {"eeg_q_limit", KEY_QUOTIENT},
    {"evolution_discount", KEY_DISCOUNT},
    {"monitor_offset", KEY_MONITOR_OFFSET},
    {"monitor_tau", KEY_MONITOR_TAU},
    {"monitor_runlength", KEY_RUNLENGTH},
    {"extractor", KEY_EXTRACTOR},
    {"min_context", KEY_MIN_CONTEXT},
    {"max_context", KEY_MAX_CONTEXT},
    {"blunder_min", KEY_BLUNDER_MIN},
    {"blunder_pcent", KEY_BLUNDER_PCENT},
    {"blunder_scalar", KEY_BLUNDER_SCALAR},
    {"capture_dist", KEY_CAPTURE_DIST},
    {nullptr, 0},
};
// The nodal estimator knows the keys up to "max_context".
const size_t k_nodal_key_count = 13;

struct Target {
    const char *module;
    _cube_param *param;
};

bool in_range(double v, double lo, double hi) { return v >= lo && v <= hi; }

// A number in [lo, hi]; `message` takes the text and the two ends.
int take_number(const Target &t, const char *text, double lo, double hi, const char *message,
                double *out)
{
    double v = 0.0;
    if (params_get_number(text, &v) && in_range(v, lo, hi)) {
        *out = v;
        return 1;
    }
    cube_reportf(t.module, message, text, lo, hi);
    return 0;
}

int take_float(const Target &t, const char *text, double lo, double hi, const char *message,
               float *out)
{
    double v = 0.0;
    if (!take_number(t, text, lo, hi, message, &v)) return 0;
    *out = (float)v;
    return 1;
}

// A length in [lo, hi] m; `message` takes the two ends and the value.
int take_length(const Target &t, const char *text, double lo, double hi, const char *message,
                float *out)
{
    const double v = params_get_length(text);
    if (v == DBL_MAX || !in_range(v, lo, hi)) {
        cube_reportf(t.module, message, lo, hi, v);
        return 0;
    }
    *out = (float)v;
    return 1;
}

int take_integer(const Target &t, const char *text, int lo, int hi, const char *message,
                 uint32_t *out)
{
    int v = 0;
    if (!params_get_integer(text, lo, hi, &v)) {
        cube_reportf(t.module, message, lo, hi, v);
        return 0;
    }
    *out = (uint32_t)v;
    return 1;
}

int take_confidence(const Target &t, const char *text)
{
    static const struct {
        const char *name;
        float scale;
    } choices[] = {{"C68", 1.0f}, {"C90", 1.69f}, {"C95", 1.96f}, {"C99", 2.56f}};
    for (const auto &c : choices) {
        if (strcmp(text, c.name) == 0) {
            t.param->sd2conf_scale = c.scale;
            return 1;
        }
    }
    cube_report(t.module, "error: confidence interval selector not in set { C68, C90, C95, C99 }.\n");
    return 0;
}

int take_extractor(const Target &t, const char *text)
{
    static const char *const names[] = {"prior", "likelihood", "posterior", "predsurf"};
    for (uint32_t i = 0; i < 4; ++i) {
        if (strcmp(text, names[i]) == 0) {
            t.param->mthd = i;
            return 1;
        }
    }
    cube_reportf(t.module,
                 "error: unrecognised hypothesis disambiguation method \"%s\" (known are: prior,  "
                 "likelihood, posterior).\n",
                 text);
    return 0;
}

int take_null_depth(const Target &t, const char *text)
{
    const double v = params_get_length(text);
    if (v == DBL_MAX) {
        cube_reportf(t.module, "failed converting \"%s\" to a valid length measurement.\n", text);
        return 0;
    }
    t.param->null_depth = v;
    return 1;
}

int take_null_sdev(const Target &t, const char *text)
{
    const double v = params_get_length(text);
    if (v == DBL_MAX || v < 0.0) {
        cube_reportf(t.module, "failed converting \"%s\" to a valid length sdev measurement.\n",
                     text);
        return 0;
    }
    t.param->null_variance = v;
    return 1;
}

int take_distance_exponent(const Target &t, const char *text)
{
    double v = 0.0;
    if (!take_number(t, text, 1.0, 10.0,
                     "failed converting \"%s\" to a valid distance exponent (range (%.1f, %.1f)).\n",
                     &v))
        return 0;
    t.param->dist_exp = v;
    t.param->inv_dist_exp = 1.0 / v;
    return 1;
}

// Percentages are stored as fractions.
int take_percent(const Target &t, const char *text, double lo, double hi, const char *message,
                 float *out)
{
    double v = 0.0;
    if (!params_get_number(text, &v) || !in_range(v, lo, hi)) {
        cube_reportf(t.module, message, lo, hi, v);
        return 0;
    }
    *out = (float)(v * 0.01);
    return 1;
}

int apply_cube_key(int key, const ParList *entry, void *context)
{
    const Target &t = *static_cast<const Target *>(context);
    _cube_param *p = t.param;
    const char *text = entry->data != nullptr ? entry->data : "";
    switch (key) {
    case KEY_NULL_DEPTH:
        return take_null_depth(t, text);
    case KEY_NULL_SDEV:
        return take_null_sdev(t, text);
    case KEY_CONFIDENCE:
        return take_confidence(t, text);
    case KEY_DIST_EXP:
        return take_distance_exponent(t, text);
    case KEY_MEDIAN_LENGTH:
        return take_integer(t, text, 3, 101,
                            "error: median pre-queue filter length must be in range [%d, %d] (not %d).\n",
                            &p->median_length);
    case KEY_QUOTIENT:
        return take_float(t, text, 0.1, 255.0,
                          "failed converting \"%s\" to a valid quotient threshold (range (%.1f, %.1f)).\n",
                          &p->quotient_limit);
    case KEY_DISCOUNT:
        return take_float(t, text, 0.8, 1.0,
                          "failed converting \"%s\" to a valid discount factor (range (%.1f, %.1f)).\n",
                          &p->discount);
    case KEY_MONITOR_OFFSET:
        return take_float(t, text, 0.1, 10.0,
                          "failed converting \"%s\" to a valid monitoring step offset (range (%.1f, %.1f)).\n",
                          &p->est_offset);
    case KEY_MONITOR_TAU:
        return take_float(t, text, 0.001, 10.0,
                          "failed converting \"%s\" to a valid monitoring Bayes factor (range (%.1f, %.1f)).\n",
                          &p->bayes_fac_t);
    case KEY_RUNLENGTH:
        return take_integer(t, text, 1, 10,
                            "error: monitor runlength limit must be in range [%d, %d] (not %d).\n",
                            &p->runlength_t);
    case KEY_EXTRACTOR:
        return take_extractor(t, text);
    case KEY_MIN_CONTEXT:
        return take_length(t, text, 0.0, 1000.0,
                           "error: minimum context search distance for hypothesis disambiguation must "
                           "be in the range [%f, %f] m (not %f).\n",
                           &p->min_context);
    case KEY_MAX_CONTEXT:
        return take_length(t, text, 1.0, 3000.0,
                           "error: maximum context search distance for hypothesis disambiguation must "
                           "be in the range [%f, %f] m (not %f).\n",
                           &p->max_context);
    case KEY_BLUNDER_MIN:
        return take_length(t, text, 1.0, 1000.0,
                           "error: minimum blunder filter depth must be in the range [%f, %f] m (not %f).\n",
                           &p->blunder_min);
    case KEY_BLUNDER_PCENT:
        return take_percent(t, text, 0.0, 100.0,
                            "error: blunder filter percentage must be in the range [%f, %f] m (not %f).\n",
                            &p->blunder_pcent);
    case KEY_BLUNDER_SCALAR: {
        double v = 0.0;
        if (!params_get_number(text, &v) || !in_range(v, 0.0, 10.0)) {
            cube_reportf(t.module,
                         "error: blunder filter scalar must be in the range [%f, %f] m (not %f).\n", 0.0,
                         10.0, v);
            return 0;
        }
        p->blunder_scalar = (float)v;
        return 1;
    }
    case KEY_CAPTURE_DIST:
        return take_percent(t, text, 1.0, 100.0,
                            "error: capture distance percetange must be in range (%.2f, %.2f) %% (not "
                            "%.2f %%).\n",
                            &p->capture_dist_scale);
    default:
        return params_unknown_key(t.module, key);
    }
}

_cube_param g_nodal_defaults;
bool g_nodal_set = false;

_cube_param *nodal_defaults(void)
{
    if (!g_nodal_set) {
        g_nodal_defaults = *cube_compiled_param();
        g_nodal_set = true;
    }
    return &g_nodal_defaults;
}

}  // namespace

int cube_execute_params(const ParList *list)
{
    _cube_param updated = *cube_default_param();
    Target target = {"cube", &updated};
    const int ok = params_run(list, "cube", k_cube_keys, apply_cube_key, &target);
    // Values that converted are kept even when others failed.
    cube_set_default_param(&updated);
    return ok;
}

int mapsheet_nodal_execute_params(const ParList *list)
{
    ParTable keys[k_nodal_key_count + 1];
    memcpy(keys, k_cube_keys, sizeof(ParTable) * k_nodal_key_count);
    keys[k_nodal_key_count] = ParTable{nullptr, 0};
    Target target = {"mapsheet.nodal", nodal_defaults()};
    return params_run(list, "mapsheet.nodal", keys, apply_cube_key, &target);
}

const _cube_param *mapsheet_nodal_default_param(void) { return nodal_defaults(); }

void mapsheet_nodal_reset_params(void)
{
    g_nodal_defaults = *cube_compiled_param();
    g_nodal_set = true;
}
