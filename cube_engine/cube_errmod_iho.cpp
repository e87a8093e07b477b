#include "cube_engine/cube_errmod_iho.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>

#include "cube_engine/cube.h"
#include "cube_engine/cube_errmod_c3d.h"
#include "cube_engine/cube_errmod_full.h"
#include "cube_engine/errmod.h"

namespace {

const char *k_module = "errmod_iho";
const char *k_keyword_module = "errmod.iho";

// 1 / 1.96: a 95 % limit as a standard deviation.
const double k_horizontal_scale = 0.5102040816326531;
const double k_vertical_scale = 0.5102041;

struct IHOSettings {
    uint32_t order;
    double a, b, horizontal;
};

constexpr IHOSettings k_defaults = {0, 0.2, 0.0075, 2.0};
IHOSettings g_settings = k_defaults;

// What one call of the parser was given; NaN where nothing was.
struct Given {
    int order = 0;
    double a = NAN, b = NAN, horizontal = NAN;
};

int take_non_negative(double value, const char *text, const char *message, double *out)
{
    if (value == DBL_MAX || !(value >= 0.0)) {
        cube_reportf(k_keyword_module, message, text);
        return 0;
    }
    *out = value;
    return 1;
}

int apply_iho(int key, const ParList *entry, void *context)
{
    Given &given = *static_cast<Given *>(context);
    const char *text = entry->data != nullptr ? entry->data : "";
    double v = DBL_MAX;
    switch (key) {
    case 1: {
        int order = 0;
        if (!params_get_integer(text, 1, 4, &order)) {
            cube_reportf(k_keyword_module, "error: IHO survey order should be in range [1,4] (not %d).\n",
                         order);
            return 0;
        }
        given.order = order;
        return 1;
    }
    case 2:
        return take_non_negative(params_get_length(text), text,
                                 "failed converting \"%s\" to a fixed vertical error (must be positive).\n",
                                 &given.a);
    case 3:
        if (!params_get_number(text, &v)) v = DBL_MAX;
        return take_non_negative(
            v, text, "failed converting \"%s\" to a depth-dependent vertical error (must be positive).\n",
            &given.b);
    case 4:
        return take_non_negative(params_get_length(text), text,
                                 "failed converting \"%s\" to a horizontal error (must be positive).\n",
                                 &given.horizontal);
    default:
        return params_unknown_key(k_keyword_module, key);
    }
}

}  // namespace

float errmod_store_variance(double variance)
{
    // Checked after narrowing: a finite double above the largest float
    // would otherwise be stored as an infinity.
    const float stored = (float)variance;
    return std::isfinite(stored) ? stored : CUBE_INVALID_FLOAT;
}

ErrModIHO *errmod_iho_new(void)
{
    ErrModIHO *workspace = (ErrModIHO *)calloc(1, sizeof(ErrModIHO));
    if (workspace == nullptr) {
        cube_report(k_module, "failed to allocate IHO error workspace.\n");
        return nullptr;
    }
    const double h = g_settings.horizontal * k_horizontal_scale;
    workspace->order = g_settings.order;
    workspace->a2 = (float)(g_settings.a * g_settings.a);
    workspace->b2 = (float)(g_settings.b * g_settings.b);
    workspace->h2 = (float)(h * h);
    return workspace;
}

void errmod_iho_release(ErrModIHO *workspace) { free(workspace); }

int errmod_iho_apply(Device, const _vessel *, const _ping *, _sounding *soundings, uint32_t count,
                     const ErrModIHO *workspace)
{
    if (workspace == nullptr || (soundings == nullptr && count > 0)) return 0;
    for (uint32_t i = 0; i < count; ++i) {
        _sounding &s = soundings[i];
        const double d = s.depth;
        const double sdev = sqrt((double)workspace->a2 + (double)workspace->b2 * d * d) * k_vertical_scale;
        s.dz = errmod_store_variance(sdev * sdev);
        s.dr = errmod_store_variance(workspace->h2);
    }
    return 1;
}

int errmod_iho_execute_params(const ParList *list)
{
    static const ParTable keys[] = {
        {"order", 1}, {"vert_fixed", 2}, {"vert_var", 3}, {"horizontal", 4}, {nullptr, 0}};
    Given given;
    const int ok = params_run(list, k_keyword_module, keys, apply_iho, &given);
    if (given.order != 0) {
        double a = 0, b = 0, fifth = 0;
        if (errmod_iho_limits(given.order - 1, &a, &b, nullptr, nullptr, &fifth)) {
            g_settings.order = (uint32_t)(given.order - 1);
            g_settings.a = a;
            g_settings.b = b;
            g_settings.horizontal = fifth;
        }
    }
    if (!std::isnan(given.a)) g_settings.a = given.a;
    if (!std::isnan(given.b)) g_settings.b = given.b;
    if (!std::isnan(given.horizontal)) g_settings.horizontal = given.horizontal;
    return ok;
}

int errmod_execute_params(const ParList *list)
{
    const int models = errmod_full_execute_params(list) & errmod_atlas_execute_params(list) &
                       errmod_c3d_execute_params(list);
    const int iho = errmod_iho_execute_params(list);
    return models && iho;
}

void errmod_iho_reset_params(void) { g_settings = k_defaults; }
