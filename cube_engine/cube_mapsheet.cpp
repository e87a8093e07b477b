#include "cube_engine/cube_mapsheet.h"

#include <cfloat>
#include <climits>

#include "cube_engine/cube.h"

namespace {

constexpr MapSheetDefaults k_sheet = {10000, 10000};
constexpr MapSheetHCubeDefaults k_hcube = {134217728u, 1.25, 0.8, 511, 600.0};
constexpr MapSheetMedianDefaults k_median = {0.0, 256, 65536, 500};
constexpr MapSheetMeanDefaults k_mean = {0.0, 2.0, 0.01, 0.01, 100, 256, 65536};

MapSheetDefaults g_sheet = k_sheet;
MapSheetHCubeDefaults g_hcube = k_hcube;
MapSheetMedianDefaults g_median = k_median;
MapSheetMeanDefaults g_mean = k_mean;

const char *k_sheet_module = "mapsheet";
const char *k_hcube_module = "mapsheet.hcube";
const char *k_median_module = "mapsheet.median";
const char *k_mean_module = "mapsheet.mean";

const char *text_of(const ParList *entry) { return entry->data != nullptr ? entry->data : ""; }

int apply_sheet(int key, const ParList *entry, void *)
{
    const char *text = text_of(entry);
    switch (key) {
    case 1:
        return params_take_integer(k_sheet_module, text, 1, 20000,
                                   "error: mapsheet max width must be in range [%d, %d] (not %d).\n",
                                   &g_sheet.max_width);
    case 2:
        return params_take_integer(k_sheet_module, text, 1, 20000,
                                   "error: mapsheet max height must be in range [%d, %d] (not %d).\n",
                                   &g_sheet.max_height);
    default:
        return params_unknown_key(k_sheet_module, key);
    }
}

// Sizes are held below 2^31 by the size conversion, so the upper end of the
// memory range is the largest size it can give.
int take_max_memory(const char *text)
{
    const int64_t lo = 20971520, hi = 4294967264LL;
    const int64_t v = params_get_size(text);
    if (v < lo || v > hi) {
        cube_reportf(k_hcube_module, "error: need memory request in range(%d, %d), not %d.\n", (int)lo,
                     INT_MAX, v < 0 ? -1 : (int)v);
        return 0;
    }
    g_hcube.max_memory = (uint32_t)v;
    return 1;
}

int apply_hcube(int key, const ParList *entry, void *)
{
    const char *text = text_of(entry);
    double v = 0.0;
    switch (key) {
    case 1:
        return take_max_memory(text);
    case 2:
        params_get_number(text, &v);
        return params_take_bounded(k_hcube_module, v, 1.0, 5.0,
                                   "error: need hypothesis hint factor in range (%.1f, %.1f).\n",
                                   &g_hcube.hypothesis_hint);
    case 3:
        params_get_number(text, &v);
        return params_take_bounded(
            k_hcube_module, v, 0.1, 1.0,
            "error: probability of node usage must be in range [%.1f,%.1f] (not %.1f).\n",
            &g_hcube.prob_use);
    case 4:
        return params_take_integer(k_hcube_module, text, 255, 5001,
                                   "error: need maximum tile side length in range (%d, %d).\n",
                                   &g_hcube.max_tile_dim);
    case 5:
        return params_take_bounded(k_hcube_module, params_get_duration(text), 10.0, 3600.0,
                                   "error: need tile expiration time in the range (%.1f, %.1f).\n",
                                   &g_hcube.tile_expiry_delta);
    default:
        return params_unknown_key(k_hcube_module, key);
    }
}

int take_null_depth(const char *module, const char *text, double *out)
{
    const double v = params_get_length(text);
    if (v == DBL_MAX) {
        cube_reportf(module, "failed converting \"%s\" to a valid length measurement.\n", text);
        return 0;
    }
    *out = v;
    return 1;
}

int take_buffer_quantum(const char *module, const char *text, uint32_t *out)
{
    return params_take_integer(module, text, 10, 1024,
                               "error: buffer quantum must be in range [%d, %d] (not %d).\n", out);
}

int take_max_buffer(const char *module, const char *text, uint32_t *out)
{
    return params_take_integer(module, text, 10, 65536,
                               "error: maximum buffer size must be in range [%d, %d] (not %d).\n", out);
}

// The buffer limit bounds what the other two sizes may ask for.
void hold_to_buffer(const char *module, uint32_t limit, uint32_t *quantum, uint32_t *subsample)
{
    if (subsample != nullptr && *subsample > limit) {
        cube_report(module,
                    "warning: sub-sample level set above buffer limit; reducing sub-sample level to match buffer.\n");
        *subsample = limit;
    }
    if (*quantum > limit) {
        cube_report(module,
                    "warning: buffer quantum set above buffer limit; reducing quantum to match buffer.\n");
        *quantum = limit;
    }
}

int apply_median(int key, const ParList *entry, void *)
{
    const char *text = text_of(entry);
    switch (key) {
    case 1:
        return take_null_depth(k_median_module, text, &g_median.null_depth);
    case 2:
        return take_buffer_quantum(k_median_module, text, &g_median.buffer_quantum);
    case 3:
        return take_max_buffer(k_median_module, text, &g_median.max_buffer_pt);
    case 4:
        return params_take_integer(k_median_module, text, 10, 65536,
                                   "error: sub-sample level must be in range [%d, %d] (not %d).\n",
                                   &g_median.subsample_at);
    default:
        return params_unknown_key(k_median_module, key);
    }
}

int apply_mean(int key, const ParList *entry, void *)
{
    const char *text = text_of(entry);
    double v = 0.0;
    switch (key) {
    case 1:
        return take_null_depth(k_mean_module, text, &g_mean.null_depth);
    case 2:
        if (!params_get_number(text, &v) || !(v > 0.0)) {
            cube_reportf(k_mean_module,
                         "failed converting \"%s\" to a valid rejection limit (must be positive).\n", text);
            return 0;
        }
        g_mean.reject_sdev_limit = v;
        return 1;
    case 3:
    case 4:
        if (!params_get_number(text, &v) || !(v > 0.0 && v < 1.0)) {
            cube_reportf(k_mean_module,
                         "failed converting \"%s\" to a valid ratio threshold (range (%.1f, %.1f)).\n", text,
                         0.0, 1.0);
            return 0;
        }
        (key == 3 ? g_mean.mean_ratio_eps : g_mean.sdev_ratio_eps) = v;
        return 1;
    case 5:
        return params_take_integer(k_mean_module, text, 10, 500,
                                   "error: maximum iterations must be in range [%d, %d] (not %d).\n",
                                   &g_mean.max_iterations);
    case 6:
        return take_buffer_quantum(k_mean_module, text, &g_mean.buffer_quantum);
    case 7:
        return take_max_buffer(k_mean_module, text, &g_mean.max_buffer_pt);
    default:
        return params_unknown_key(k_mean_module, key);
    }
}

}  // namespace

int mapsheet_execute_params(const ParList *list)
{
    static const ParTable keys[] = {{"max_width", 1}, {"max_height", 2}, {nullptr, 0}};
    return params_run(list, k_sheet_module, keys, apply_sheet, nullptr);
}

int mapsheet_hcube_execute_params(const ParList *list)
{
    static const ParTable keys[] = {{"max_memory", 1},   {"hypothesis_hint", 2},
                                    {"prob_use", 3},     {"max_tile_dim", 4},
                                    {"tile_expiry_delta", 5}, {nullptr, 0}};
    return params_run(list, k_hcube_module, keys, apply_hcube, nullptr);
}

int mapsheet_median_execute_params(const ParList *list)
{
    static const ParTable keys[] = {{"null_depth", 1},    {"buffer_quantum", 2},
                                    {"max_buffer_pt", 3}, {"subsample_at", 4},
                                    {nullptr, 0}};
    const int ok = params_run(list, k_median_module, keys, apply_median, nullptr);
    hold_to_buffer(k_median_module, g_median.max_buffer_pt, &g_median.buffer_quantum,
                   &g_median.subsample_at);
    return ok;
}

int mapsheet_mean_execute_params(const ParList *list)
{
    static const ParTable keys[] = {{"null_depth", 1},     {"reject_sdev_limit", 2},
                                    {"mean_ratio_eps", 3}, {"sdev_ratio_eps", 4},
                                    {"max_iterations", 5}, {"buffer_quantum", 6},
                                    {"max_buffer_pt", 7},  {nullptr, 0}};
    const int ok = params_run(list, k_mean_module, keys, apply_mean, nullptr);
    hold_to_buffer(k_mean_module, g_mean.max_buffer_pt, &g_mean.buffer_quantum, nullptr);
    return ok;
}

const MapSheetDefaults *mapsheet_defaults(void) { return &g_sheet; }
const MapSheetHCubeDefaults *mapsheet_hcube_defaults(void) { return &g_hcube; }
const MapSheetMedianDefaults *mapsheet_median_defaults(void) { return &g_median; }
const MapSheetMeanDefaults *mapsheet_mean_defaults(void) { return &g_mean; }

void mapsheet_reset_params(void)
{
    g_sheet = k_sheet;
    g_hcube = k_hcube;
    g_median = k_median;
    g_mean = k_mean;
}
