// One tile of a CUBE surface: nx by ny estimator nodes at a fixed spacing,
// with an optional cached surface of one extracted output.
#ifndef KIVO_CUBE_ENGINE_CUBE_GRID_H
#define KIVO_CUBE_ENGINE_CUBE_GRID_H

#include <cstdint>

#include "cube_engine/cube_node.h"
#include "cube_engine/cube_param.h"
#include "cube_engine/cube_pool.h"

// What the cached surface holds.
enum {
    CUBE_GRID_DEPTH = 0,
    CUBE_GRID_UNCT = 1,
    CUBE_GRID_KEEP = 2,     // kept but never filled
    CUBE_GRID_STRENGTH = 3,
    CUBE_GRID_NONE = 4      // no cached surface
};

typedef struct _cube_grid {
    uint32_t nx;           // columns
    uint32_t ny;           // rows
    float dx;
    float dy;
    float *cache;          // nx * ny values, rows contiguous; null in mode 4
    _cube_node *nodes;     // nx * ny nodes, rows contiguous
    uint32_t mode;
    cube_pool pool;        // every hypothesis of the grid's nodes
} _cube_grid;

_cube_grid *cube_grid_new(uint32_t nx, uint32_t ny, float dx, float dy, uint32_t mode);
void cube_grid_release(_cube_grid *grid);
void cube_grid_get_dimensions(const _cube_grid *grid, uint32_t *nx, uint32_t *ny);
void cube_grid_get_resolution(const _cube_grid *grid, float *dx, float *dy);
_cube_node *cube_grid_get_node(_cube_grid *grid, uint32_t row, uint32_t col);
_cube_node *cube_grid_get_node_at(_cube_grid *grid, double x, double y);

int cube_grid_init_from_surface(_cube_grid *grid, const _cube_param *param, const float *depths,
                                const float *variances, const uint8_t *mask, uint32_t stride);
int cube_grid_init_from_depth(_cube_grid *grid, const _cube_param *param, const float *depths,
                              float uncertainty, int relative, const uint8_t *mask,
                              uint32_t stride);
void cube_grid_flush(_cube_grid *grid, const _cube_param *param);
int cube_grid_copy_nodes(_cube_grid *source, _cube_grid *target, uint32_t source_row,
                         uint32_t source_col, uint32_t rows, uint32_t cols, uint32_t target_row,
                         uint32_t target_col, const _cube_param *param);
uint32_t cube_grid_max_tile_dim(uint64_t budget, float hypotheses, float use_fraction,
                                const _cube_param *param);

#endif
