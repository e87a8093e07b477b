#include "cube_engine/cube_param.h"

#include <cmath>
#include <cstdlib>

#include "cube_engine/cube.h"
#include "cube_engine/errmod.h"

namespace {

constexpr _cube_param k_compiled = {
    0,           // reserved
    0.0f,        // no-data value, set at creation
    1,           // likelihood disambiguation
    0,           // reserved
    0.0,         // null depth
    1000000.0,   // null deviation
    2.0,         // distance exponent
    0.5,         // its reciprocal
    0.0,         // grid spacing
    0.0,         // spacing power
    0.0,         // IHO a^2
    0.0,         // IHO b^2
    11,          // median queue length
    30.0f,       // quotient limit
    1.0f,        // discount
    4.0f,        // estimate offset
    0.135f,      // Bayes factor threshold
    5,           // run length threshold
    5.0f,        // minimum context (m)
    10.0f,       // maximum context (m)
    1.96f,       // confidence-interval scale
    10.0f,       // blunder minimum
    0.25f,       // blunder fraction
    3.0f,        // blunder scalar
    0.05f,       // capture distance scale
    2.0f,        // density strength cutoff
    2.5f,        // locale strength max
    3,           // null hypothesis minimum neighbours
    3.0f,        // null hypothesis ratio
    1.96f,       // horizontal error scalar
    0.5f,        // capture distance minimum
    1,           // locale radius
    0,           // null hypothesis pass off
    2.5f,        // null hypothesis strength max
};

// Constant-initialised, so it holds before any static initialiser runs; the
// "cube" keyword parser may replace it.
_cube_param k_defaults = k_compiled;

// Word layout, in order; one kind letter per field ('u' u32, 'f' f32, 'd' f64).
#define CUBE_PARAM_FIELDS(X)                                                              \
    X(u, reserved0) X(f, no_data_value) X(u, mthd) X(u, reserved3) X(d, null_depth)         \
    X(d, null_variance) X(d, dist_exp) X(d, inv_dist_exp) X(d, dist_scale) X(d, var_scale) \
    X(d, iho_fixed) X(d, iho_pcent) X(u, median_length) X(f, quotient_limit)               \
    X(f, discount) X(f, est_offset) X(f, bayes_fac_t) X(u, runlength_t) X(f, min_context)  \
    X(f, max_context) X(f, sd2conf_scale) X(f, blunder_min) X(f, blunder_pcent)            \
    X(f, blunder_scalar) X(f, capture_dist_scale) X(f, density_strength_cutoff)            \
    X(f, locale_strength_max) X(u, nh_min_neighbours) X(f, nh_ratio)                       \
    X(f, horiz_error_scalar) X(f, capture_dist_min) X(u, locale_radius)                    \
    X(u, enable_null_hypothesis) X(f, nh_strength_max)

inline void put_u(uint8_t *&p, uint32_t v) { cube_put_u32(p, v), p += 4; }
inline void put_f(uint8_t *&p, float v) { cube_put_f32(p, v), p += 4; }
inline void put_d(uint8_t *&p, double v) { cube_put_f64(p, v), p += 8; }
inline void get_u(const uint8_t *&p, uint32_t &v) { v = cube_get_u32(p), p += 4; }
inline void get_f(const uint8_t *&p, float &v) { v = cube_get_f32(p), p += 4; }
inline void get_d(const uint8_t *&p, double &v) { v = cube_get_f64(p), p += 8; }

}  // namespace

void cube_param_encode(const _cube_param *param, uint8_t out[CUBE_PARAM_BYTES])
{
    uint8_t *p = out;
#define X(kind, name) put_##kind(p, param->name);
    CUBE_PARAM_FIELDS(X)
#undef X
}

void cube_param_decode(const uint8_t in[CUBE_PARAM_BYTES], _cube_param *param)
{
    const uint8_t *p = in;
#define X(kind, name) get_##kind(p, param->name);
    CUBE_PARAM_FIELDS(X)
#undef X
}

const _cube_param *cube_default_param(void) { return &k_defaults; }

void cube_set_default_param(const _cube_param *param) { k_defaults = *param; }

const _cube_param *cube_compiled_param(void) { return &k_compiled; }

_cube_param *cube_init_param(int order, double dx, double dy)
{
    _cube_param *param = (_cube_param *)calloc(1, sizeof(_cube_param));
    if (param == nullptr) {
        cube_report("cube", "failed allocating CUBE workspace.\n");
        return nullptr;
    }
    *param = k_defaults;
    const double spacing = dy < dx ? dy : dx;
    param->dist_scale = spacing;
    param->min_context = (float)(param->min_context * (1.0 / spacing));
    param->max_context = (float)(param->max_context * (1.0 / spacing));
    param->var_scale = pow(spacing, -param->dist_exp);
    double a = 0.0, b = 0.0;
    if (errmod_iho_limits(order, &a, &b, nullptr, nullptr, nullptr)) {
        param->iho_fixed = a * a;
        param->iho_pcent = b * b;
    }
    param->no_data_value = CUBE_INVALID_FLOAT;
    return param;
}

int cube_write_params(const _cube_param *param, cube_stream *stream)
{
    uint8_t bytes[CUBE_PARAM_BYTES];
    cube_param_encode(param, bytes);
    if (cube_stream_write(stream, bytes, sizeof bytes) != sizeof bytes) {
        cube_report("cube", "failed writing algorithm parameters.\n");
        return 0;
    }
    return 1;
}

_cube_param *cube_read_params(cube_stream *stream)
{
    _cube_param *param = (_cube_param *)calloc(1, sizeof(_cube_param));
    if (param == nullptr) {
        cube_report("cube", "failed to allocate algorithm parameter space.\n");
        return nullptr;
    }
    // Bytes that were read replace the defaults; the rest keep them.
    uint8_t bytes[CUBE_PARAM_BYTES];
    cube_param_encode(&k_defaults, bytes);
    size_t got = cube_stream_read(stream, bytes, sizeof bytes);
    if (got != sizeof bytes) cube_report("cube", "failed to read algorithm parameters.\n");
    cube_param_decode(bytes, param);
    return param;
}

uint32_t cube_float_to_u32(double v)
{
    if (!(v > 0.0)) return 0;
    if (v >= 4294967295.0) return UINT32_MAX;
    return (uint32_t)v;
}

uint32_t cube_param_queue_length(const _cube_param *param)
{
    uint32_t length = param != nullptr ? param->median_length : k_defaults.median_length;
    return length < CUBE_MAX_QUEUE ? length : CUBE_MAX_QUEUE;
}

namespace {
constexpr size_t size_of_u = 4, size_of_f = 4, size_of_d = 8;
#define X(kind, name) +size_of_##kind
static_assert(0 CUBE_PARAM_FIELDS(X) == CUBE_PARAM_BYTES, "parameter block is 42 words");
#undef X
}  // namespace
