#include "cube_engine/cube_grid.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "cube_engine/cube.h"
#include "cube_engine/cube_disam.h"

namespace {

const char *const k_module = "cube_grid";

inline int as_int(uint32_t v) { return v > INT32_MAX ? INT32_MAX : (int)v; }

inline int saturate_int(double v)
{
    if (std::isnan(v)) return -1;
    if (v >= (double)INT32_MAX) return INT32_MAX;
    if (v <= (double)INT32_MIN) return INT32_MIN;
    return (int)v;
}

inline size_t index_of(const _cube_grid *grid, uint32_t row, uint32_t col)
{
    return (size_t)row * grid->nx + col;
}

void mark_stale(_cube_grid *grid, size_t index)
{
    if (grid->cache != nullptr) grid->cache[index] = cube_grid_nan();
}

// Stores a guide pair and, for a usable depth, seeds the node with it.
int seed_node(_cube_grid *grid, uint32_t row, uint32_t col, float depth, float variance)
{
    const size_t at = index_of(grid, row, col);
    _cube_node *node = &grid->nodes[at];
    cube_node_set_guide(node, depth, variance);
    if (std::isnan(depth) || depth == CUBE_INVALID_FLOAT) return 1;
    if (!cube_node_add_basic_hypothesis(node, depth, variance)) {
        cube_reportf(k_module, "error: failed to initialise node (%d, %d) hypo. at depth=%.1fm, var=%.1fm^2\n",
                     as_int(row), as_int(col), (double)depth, (double)variance);
        return 0;
    }
    mark_stale(grid, at);
    return 1;
}

inline bool masked(const uint8_t *mask, uint32_t stride, uint32_t row, uint32_t col)
{
    return mask != nullptr && mask[(size_t)row * stride + col] == 0xFF;
}

// Depth of a node by the density rule.
float density_depth(_cube_node *node, const _cube_param *param)
{
    float depth = param->no_data_value;
    cube_node_extract_depth(node, param, &depth, nullptr);
    return depth;
}

// A lone one-sample hypothesis among well-sampled neighbours whose depths
// agree far better without it is most likely a blunder.
bool is_outlier(_cube_grid *grid, const _cube_param *param, uint32_t row, uint32_t col,
                float depth)
{
    const uint32_t r0 = row > 0 ? row - 1 : 0, r1 = row + 1 < grid->ny ? row + 1 : row;
    const uint32_t c0 = col > 0 ? col - 1 : 0, c1 = col + 1 < grid->nx ? col + 1 : col;
    const bool spread_test = param->nh_min_neighbours >= 2;
    uint32_t counted = 0;
    float dev = 0.0f, sum = 0.0f;
    for (uint32_t r = r0; r <= r1; ++r) {
        for (uint32_t c = c0; c <= c1; ++c) {
            if (r == row && c == col) continue;
            _cube_node *nb = &grid->nodes[index_of(grid, r, c)];
            if (cube_node_total_samples(nb) <= 1) continue;
            ++counted;
            if (spread_test)
                cube_node_running_dev(&dev, &sum, counted, density_depth(nb, param));
        }
    }
    if (!spread_test) return counted == 0;
    if (counted < param->nh_min_neighbours) return true;
    float dev_with = dev, sum_with = sum;
    cube_node_running_dev(&dev_with, &sum_with, counted + 1, depth);
    return (double)dev_with / (double)dev >= (double)param->nh_ratio;
}

void null_hypothesis_pass(_cube_grid *grid, const _cube_param *param)
{
    const size_t count = (size_t)grid->nx * grid->ny;
    float *depths = (float *)malloc((count ? count : 1) * sizeof(float));
    float *strengths = (float *)malloc((count ? count : 1) * sizeof(float));
    if (depths == nullptr || strengths == nullptr ||
        !cube_grid_extract_all(grid, param, depths, nullptr, strengths)) {
        free(depths);
        free(strengths);
        return;
    }
    for (uint32_t row = 0; row < grid->ny; ++row) {
        for (uint32_t col = 0; col < grid->nx; ++col) {
            _cube_node *node = &grid->nodes[index_of(grid, row, col)];
            if (cube_node_counted_hypotheses(node) != 1 || cube_node_total_samples(node) != 1)
                continue;
            const float depth = density_depth(node, param);
            if (depth == param->no_data_value) continue;
            if (is_outlier(grid, param, row, col, depth) && cube_node_set_null(node, depth))
                mark_stale(grid, index_of(grid, row, col));
        }
    }
    free(depths);
    free(strengths);
}

}  // namespace

_cube_grid *cube_grid_new(uint32_t nx, uint32_t ny, float dx, float dy, uint32_t mode)
{
    _cube_grid *grid = (_cube_grid *)calloc(1, sizeof(_cube_grid));
    if (grid == nullptr) {
        cube_report(k_module, "error: failed allocating memory for base data structure.\n");
        return nullptr;
    }
    grid->nx = nx;
    grid->ny = ny;
    grid->dx = dx;
    grid->dy = dy;
    grid->mode = mode;
    cube_pool_init(&grid->pool);
    const uint64_t count = (uint64_t)nx * ny;
    const size_t slots = count != 0 ? (size_t)count : 1;
    if (mode != CUBE_GRID_NONE) {
        if (count <= SIZE_MAX / sizeof(float))
            grid->cache = (float *)malloc(slots * sizeof(float));
        if (grid->cache == nullptr) {
            cube_reportf(k_module,
                         "error: failed allocating memory for the cache depth surface (%dx%d nodes).\n",
                         as_int(nx), as_int(ny));
            cube_grid_release(grid);
            return nullptr;
        }
        for (size_t i = 0; i < count; ++i) grid->cache[i] = CUBE_INVALID_FLOAT;
    }
    if (count <= SIZE_MAX / sizeof(_cube_node))
        grid->nodes = (_cube_node *)malloc(slots * sizeof(_cube_node));
    if (grid->nodes == nullptr) {
        cube_reportf(k_module,
                     "error: failed allocating memory for the estimate node grid (%dx%d nodes).\n",
                     as_int(nx), as_int(ny));
        cube_grid_release(grid);
        return nullptr;
    }
    for (size_t i = 0; i < count; ++i) cube_node_init_pooled(&grid->nodes[i], &grid->pool);
    return grid;
}

void cube_grid_release(_cube_grid *grid)
{
    if (grid == nullptr) return;
    if (grid->nodes != nullptr) {
        // Hypotheses go back with the pool; only queues are separate blocks.
        const size_t count = (size_t)grid->nx * grid->ny;
        for (size_t i = 0; i < count; ++i) free(grid->nodes[i].queue);
    }
    cube_pool_destroy(&grid->pool);
    free(grid->nodes);
    free(grid->cache);
    free(grid);
}

void cube_grid_get_dimensions(const _cube_grid *grid, uint32_t *nx, uint32_t *ny)
{
    if (nx) *nx = grid->nx;
    if (ny) *ny = grid->ny;
}

void cube_grid_get_resolution(const _cube_grid *grid, float *dx, float *dy)
{
    if (dx) *dx = grid->dx;
    if (dy) *dy = grid->dy;
}

_cube_node *cube_grid_get_node(_cube_grid *grid, uint32_t row, uint32_t col)
{
    if (grid == nullptr) return nullptr;
    if (col >= grid->nx || row >= grid->ny) {
        cube_reportf(k_module, "error: point (%d, %d) m is not within the tile selected.\n",
                     (int)col, (int)row);
        return nullptr;
    }
    return &grid->nodes[index_of(grid, row, col)];
}

_cube_node *cube_grid_get_node_at(_cube_grid *grid, double x, double y)
{
    if (grid == nullptr) return nullptr;
    const double col = floor(x / grid->dx), row = floor(y / grid->dy);
    // Negative, NaN or huge positions are refused before any conversion.
    if (!(col >= 0.0 && col < grid->nx && row >= 0.0 && row < grid->ny)) {
        cube_reportf(k_module, "error: point (%d, %d) m is not within the tile selected.\n",
                     saturate_int(col), saturate_int(row));
        return nullptr;
    }
    return &grid->nodes[index_of(grid, (uint32_t)row, (uint32_t)col)];
}

int cube_grid_init_from_surface(_cube_grid *grid, const _cube_param *param, const float *depths,
                                const float *variances, const uint8_t *mask, uint32_t stride)
{
    if (grid == nullptr || depths == nullptr || variances == nullptr) return 0;
    cube_grid_nan();
    for (uint32_t row = 0; row < grid->ny; ++row) {
        for (uint32_t col = 0; col < grid->nx; ++col) {
            float depth = NAN, variance = NAN;
            if (!masked(mask, stride, row, col)) {
                const size_t at = (size_t)row * stride + col;
                depth = depths[at];
                variance = variances[at];
                if (std::isnan(depth) || std::isnan(variance)) {
                    cube_reportf(k_module, "error: initialisation data is NaN at (%d, %d) (data: %f).\n",
                                 as_int(row), as_int(col), (double)depth);
                    return 0;
                }
                if (variance < 0.0f) {
                    cube_reportf(k_module,
                                 "error: initialisation uncertainty is out of range at (%d, %d) "
                                 "(depth: %g m, var: %g m^2).\n",
                                 as_int(row), as_int(col), (double)depth, (double)variance);
                    return 0;
                }
            }
            if (!seed_node(grid, row, col, depth, variance)) return 0;
        }
    }
    return 1;
}

int cube_grid_init_from_depth(_cube_grid *grid, const _cube_param *param, const float *depths,
                              float uncertainty, int relative, const uint8_t *mask,
                              uint32_t stride)
{
    if (grid == nullptr || depths == nullptr) return 0;
    cube_grid_nan();
    // A relative figure is a percentage of depth at 95 % confidence.
    const double fraction = uncertainty * 0.01;
    const float scale = (float)(fraction * fraction * 0.2603082049146189);
    const float absolute_var = (float)((double)uncertainty * uncertainty);
    for (uint32_t row = 0; row < grid->ny; ++row) {
        for (uint32_t col = 0; col < grid->nx; ++col) {
            float depth = NAN, variance = relative ? NAN : absolute_var;
            if (!masked(mask, stride, row, col)) {
                depth = depths[(size_t)row * stride + col];
                if (std::isnan(depth)) {
                    cube_reportf(k_module, "error: initialisation data is NaN at (%d, %d) (data: %f).\n",
                                 as_int(row), as_int(col), (double)depth);
                    return 0;
                }
                if (relative) variance = (float)((double)depth * depth * scale);
            }
            if (!seed_node(grid, row, col, depth, variance)) return 0;
        }
    }
    return 1;
}

void cube_grid_flush(_cube_grid *grid, const _cube_param *param)
{
    if (grid == nullptr || param == nullptr) return;
    const float stale = cube_grid_nan();
    const size_t count = (size_t)grid->nx * grid->ny;
    for (size_t i = 0; i < count; ++i) {
        cube_node_flush_queue(&grid->nodes[i], param);
        if (grid->cache != nullptr) grid->cache[i] = stale;
    }
    if (param->enable_null_hypothesis != 0) null_hypothesis_pass(grid, param);
}

int cube_grid_copy_nodes(_cube_grid *source, _cube_grid *target, uint32_t source_row,
                         uint32_t source_col, uint32_t rows, uint32_t cols, uint32_t target_row,
                         uint32_t target_col, const _cube_param *param)
{
    if (source == nullptr || target == nullptr) return 0;
    if (rows == 0 || cols == 0) return 1;
    if ((uint64_t)source_row + rows > source->ny || (uint64_t)source_col + cols > source->nx ||
        (uint64_t)target_row + rows > target->ny || (uint64_t)target_col + cols > target->nx) {
        cube_reportf(k_module, "error: block of %dx%d nodes does not fit the grids.\n",
                     as_int(rows), as_int(cols));
        return 0;
    }
    for (uint32_t r = 0; r < rows; ++r) {
        for (uint32_t c = 0; c < cols; ++c) {
            const size_t to = index_of(target, target_row + r, target_col + c);
            if (!cube_node_copy(&source->nodes[index_of(source, source_row + r, source_col + c)],
                                &target->nodes[to], param))
                return 0;
            mark_stale(target, to);
        }
    }
    return 1;
}

uint32_t cube_grid_max_tile_dim(uint64_t budget, float hypotheses, float use_fraction,
                                const _cube_param *param)
{
    const uint32_t estimate = cube_node_estimate_size(hypotheses, param);
    // Per node: the estimate's share, a 33-byte node record and a cached value.
    const float k = (float)(estimate * (double)use_fraction + 37.0);
    // Solve k n^2 + 8 n + 28 = budget for n.
    const double disc = 64.0 - 4.0 * (28.0 - (double)budget) * k;
    if (!(disc >= 0.0)) return 0;
    const double side = trunc(floor(sqrt(disc) - 8.0) / (2.0 * k));
    uint32_t n = cube_float_to_u32(side);
    if (n >= 2 && n % 2 == 0) --n;
    return n;
}
