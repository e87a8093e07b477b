// Hypothesis disambiguation: choosing one hypothesis per node of a grid,
// with or without the surrounding nodes as context.
#ifndef KIVO_CUBE_ENGINE_CUBE_DISAM_H
#define KIVO_CUBE_ENGINE_CUBE_DISAM_H

#include <cstdint>

#include "cube_engine/cube_grid.h"
#include "cube_engine/cube_param.h"

enum {
    CUBE_DISAM_DENSITY = 0,
    CUBE_DISAM_LIKELIHOOD = 1,
    CUBE_DISAM_POSTERIOR = 2,
    CUBE_DISAM_PREDSURF = 3,
    CUBE_DISAM_LOCALE = 4,
    CUBE_DISAM_DENSITY_LOCALE = 5
};

typedef struct _cube_extractor {
    _cube_grid *grid;
    const _cube_param *params;
    float *depth;
    float *uncertainty;
    float *strength;
    float *mean;
    float *deviation;
    float *mean_var_unct;
    uint32_t *hypothesis_count;
    uint32_t *node_sample_count;
    float *node_deviation;
    float *node_sample_sum;
    uint32_t first_col, first_row;
    uint32_t end_col, end_row;   // exclusive
    uint32_t invalid_count;
    float invalid_float;
} _cube_extractor;

void cube_grid_init_extractor(_cube_extractor *request, _cube_grid *grid,
                              const _cube_param *params);
// Output arrays are nx wide; output row r holds node row ny - 1 - r.
int cube_grid_disambiguate(_cube_extractor *request);
// Whole grid, node row r to output row r, through the grid's cached surface.
int cube_grid_extract_all(_cube_grid *grid, const _cube_param *params, float *depth,
                          float *uncertainty, float *strength);

#endif
