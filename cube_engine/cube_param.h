// The algorithm parameter block: 42 four-byte words (168 bytes) that every
// grid operation receives, stored verbatim inside surface headers.
#ifndef KIVO_CUBE_ENGINE_CUBE_PARAM_H
#define KIVO_CUBE_ENGINE_CUBE_PARAM_H

#include <cstdint>

#include "cube_engine/cube_stream.h"

#define CUBE_PARAM_WORDS 42
#define CUBE_PARAM_BYTES 168
// Queue entries are counted in a byte on disk and in memory.
#define CUBE_MAX_QUEUE 255u

typedef struct _cube_param {
    uint32_t reserved0;                 // word 0
    float no_data_value;                // 1: written wherever no answer exists
    uint32_t mthd;                      // 2: disambiguation method
    uint32_t reserved3;                 // 3
    double null_depth;                  // 4-5
    double null_variance;               // 6-7 (null deviation)
    double dist_exp;                    // 8-9
    double inv_dist_exp;                // 10-11
    double dist_scale;                  // 12-13 grid spacing
    double var_scale;                   // 14-15 spacing ^ -exponent
    double iho_fixed;                   // 16-17 a^2
    double iho_pcent;                   // 18-19 b^2
    uint32_t median_length;             // 20 Queue_Length
    float quotient_limit;               // 21
    float discount;                     // 22
    float est_offset;                   // 23
    float bayes_fac_t;                  // 24
    uint32_t runlength_t;               // 25
    float min_context;                  // 26 nodes once created
    float max_context;                  // 27 nodes once created
    float sd2conf_scale;                // 28
    float blunder_min;                  // 29
    float blunder_pcent;                // 30
    float blunder_scalar;               // 31
    float capture_dist_scale;           // 32
    float density_strength_cutoff;      // 33
    float locale_strength_max;          // 34
    uint32_t nh_min_neighbours;         // 35
    float nh_ratio;                     // 36
    float horiz_error_scalar;           // 37
    float capture_dist_min;             // 38
    uint32_t locale_radius;             // 39
    uint32_t enable_null_hypothesis;    // 40
    float nh_strength_max;              // 41
} _cube_param;

// Workspace for a grid of spacing dx by dy metres under IHO order 0..3; null
// on allocation failure. The caller frees it with free().
_cube_param *cube_init_param(int order, double dx, double dy);
int cube_write_params(const _cube_param *param, cube_stream *stream);
// Reads 168 bytes over the defaults; a short read is reported but the block
// (defaults behind the bytes that were there) is still returned.
_cube_param *cube_read_params(cube_stream *stream);

// Encoding of the block, exposed for containers that embed it.
void cube_param_encode(const _cube_param *param, uint8_t out[CUBE_PARAM_BYTES]);
void cube_param_decode(const uint8_t in[CUBE_PARAM_BYTES], _cube_param *param);
const _cube_param *cube_default_param(void);
// Replaces the defaults later workspaces are made from (keyword parameters).
void cube_set_default_param(const _cube_param *param);
// The built-in defaults, whatever keywords changed since.
const _cube_param *cube_compiled_param(void);

// Saturating readings of words that drive sizes and loops: file contents
// must never turn into unbounded allocations or iterations.
uint32_t cube_param_queue_length(const _cube_param *param);  // min(word 20, 255)
uint32_t cube_float_to_u32(double v);                          // NaN -> 0, clamps

#endif
