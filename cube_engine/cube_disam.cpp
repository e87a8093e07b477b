#include "cube_engine/cube_disam.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "cube_engine/cube.h"
#include "cube_engine/cube_node.h"

namespace {

const char *const k_module = "cube_grid";

struct choice {
    float depth, uncertainty, strength, mean, deviation, mean_var_unct;
};

struct context {
    _cube_grid *grid;
    const _cube_param *param;
    int64_t kmin, kmax;   // ring radii of the guide search, in nodes
    int64_t radius;       // locale window, in nodes
};

inline int as_int(int64_t v) { return v > INT32_MAX ? INT32_MAX : (int)v; }

inline _cube_node *node_at(const context &cx, int64_t row, int64_t col)
{
    return &cx.grid->nodes[(size_t)row * cx.grid->nx + (size_t)col];
}

inline bool inside(const context &cx, int64_t row, int64_t col)
{
    return row >= 0 && col >= 0 && row < cx.grid->ny && col < cx.grid->nx;
}

// File-supplied words must not size loops beyond the grid.
int64_t clamp_nodes(double nodes, const _cube_grid *grid)
{
    const uint32_t extent = grid->nx > grid->ny ? grid->nx : grid->ny;
    const uint32_t n = cube_float_to_u32(nodes);
    return n < extent ? n : extent;
}

context make_context(_cube_grid *grid, const _cube_param *param)
{
    context cx{grid, param, 0, 0, 0};
    cx.kmin = clamp_nodes(trunc(param->min_context), grid);
    cx.kmax = clamp_nodes(trunc(param->max_context), grid);
    cx.radius = clamp_nodes(param->locale_radius, grid);
    return cx;
}

inline int density(const context &cx, _cube_node *node, choice *o)
{
    return cube_node_extract_density(node, cx.param, &o->depth, &o->uncertainty, &o->strength,
                                     &o->mean, &o->deviation, &o->mean_var_unct);
}

inline int closest(const context &cx, _cube_node *node, float g, float gv, choice *o)
{
    return cube_node_extract_closest(node, cx.param, g, gv, &o->depth, &o->uncertainty,
                                     &o->strength, &o->mean, &o->deviation, &o->mean_var_unct);
}

inline int posterior(const context &cx, _cube_node *node, float g, float gv, choice *o)
{
    return cube_node_extract_posterior(node, cx.param, g, gv, &o->depth, &o->uncertainty,
                                       &o->strength, &o->mean, &o->deviation, &o->mean_var_unct);
}

// A neighbour guides only with a single hypothesis that actually gives a depth;
// one whose only hypothesis is null or rejected would guide with the invalid value.
bool guide_candidate(const context &cx, int64_t row, int64_t col, choice *guide)
{
    _cube_node *nb = node_at(cx, row, col);
    if (cube_node_counted_hypotheses(nb) != 1 || !cube_node_has_answer(nb)) return false;
    return density(cx, nb, guide) != 0;
}

// Searches square rings of growing radius for a single-hypothesis
// neighbour; the last one in scan order of the first ring that has one wins.
bool ring_search(const context &cx, int64_t row, int64_t col, choice *guide)
{
    for (int64_t k = cx.kmin; k <= cx.kmax; ++k) {
        bool found = false;
        choice candidate;
        const int64_t c0 = col - k < 0 ? 0 : col - k;
        const int64_t c1 = col + k >= cx.grid->nx ? cx.grid->nx - 1 : col + k;
        for (int64_t r : {row - k, row + k}) {
            if (r < 0 || r >= cx.grid->ny) continue;
            for (int64_t c = c0; c <= c1; ++c)
                if (guide_candidate(cx, r, c, &candidate)) found = true, *guide = candidate;
        }
        const int64_t r0 = row - k + 1 < 0 ? 0 : row - k + 1;
        const int64_t r1 = row + k - 1 >= cx.grid->ny ? cx.grid->ny - 1 : row + k - 1;
        for (int64_t c : {col - k, col + k}) {
            if (c < 0 || c >= cx.grid->nx) continue;
            for (int64_t r = r0; r <= r1; ++r)
                if (guide_candidate(cx, r, c, &candidate)) found = true, *guide = candidate;
        }
        if (found) return true;
    }
    return false;
}

int choose_likelihood(const context &cx, int64_t row, int64_t col, choice *o)
{
    _cube_node *node = node_at(cx, row, col);
    if (cube_node_counted_hypotheses(node) <= 1) {
        if (density(cx, node, o)) return 1;
        cube_reportf(k_module, "failed extracting node (%d, %d).\n", as_int(row), as_int(col));
        return 0;
    }
    choice guide;
    if (!ring_search(cx, row, col, &guide)) {
        if (density(cx, node, o)) return 1;
        cube_reportf(k_module, "error: failed choosing a best hypothesis at node (%d,%d).\n",
                     as_int(row), as_int(col));
        return 0;
    }
    if (closest(cx, node, guide.depth, guide.uncertainty, o)) return 1;
    cube_reportf(k_module, "failed extracting closest hypothesis at (%d, %d).\n", as_int(row),
                 as_int(col));
    return 0;
}

int choose_posterior(const context &cx, int64_t row, int64_t col, choice *o)
{
    _cube_node *node = node_at(cx, row, col);
    if (cube_node_counted_hypotheses(node) <= 1) {
        if (density(cx, node, o)) return 1;
        cube_reportf(k_module, "failed extracting node(%d, %d).\n", as_int(row), as_int(col));
        return 0;
    }
    choice guide;
    if (!ring_search(cx, row, col, &guide)) {
        if (density(cx, node, o)) return 1;
        cube_reportf(k_module, "failed extracting best prior hypothesis at (%d, %d).\n",
                     as_int(row), as_int(col));
        return 0;
    }
    if (posterior(cx, node, guide.depth, guide.uncertainty, o)) return 1;
    cube_reportf(k_module, "failed extracting posterior weighted hypothesis at node (%d, %d).\n",
                 as_int(row), as_int(col));
    return 0;
}

// Trimmed mean of the neighbours' depths and spreads: the extremes are
// dropped so that one stray neighbour cannot drag the guide.
struct trimmed {
    uint32_t n = 0;
    float sum_depth = 0.0f, sum_unct = 0.0f;
    float min_depth = FLT_MAX, min_unct = 0.0f;
    float max_depth = -FLT_MAX, max_unct = 0.0f;

    void add(float d, float u)
    {
        ++n;
        sum_depth += d;
        sum_unct += u;
        if (d < min_depth) min_depth = d, min_unct = u;
        if (d > max_depth) max_depth = d, max_unct = u;
    }
    float guide_depth() const { return (sum_depth - min_depth - max_depth) * (1.0f / (n - 2)); }
    float guide_unct() const { return (sum_unct - min_unct - max_unct) * (1.0f / (n - 2)); }
};

int locale_step(const context &cx, int64_t row, int64_t col, bool cross_only, choice *o)
{
    const float invalid = cx.param->no_data_value;
    trimmed t;
    for (int64_t r = row - cx.radius; r <= row + cx.radius; ++r) {
        for (int64_t c = col - cx.radius; c <= col + cx.radius; ++c) {
            if (!inside(cx, r, c)) continue;
            if (cross_only ? (r == row || c == col) : (r == row && c == col)) continue;
            choice nb;
            if (!density(cx, node_at(cx, r, c), &nb)) continue;
            if (!cross_only && nb.depth == invalid) continue;
            if (nb.strength < cx.param->locale_strength_max) t.add(nb.depth, nb.uncertainty);
        }
    }
    if (t.n <= 2) return 1;
    if (closest(cx, node_at(cx, row, col), t.guide_depth(), t.guide_unct(), o)) return 1;
    cube_reportf(k_module, "failed extracting closed estimate for node (%d, %d).\n", as_int(row),
                 as_int(col));
    return 0;
}

int choose_node(const context &cx, uint32_t method, int64_t row, int64_t col, choice *o)
{
    _cube_node *node = node_at(cx, row, col);
    switch (method) {
    case CUBE_DISAM_LIKELIHOOD:
        return choose_likelihood(cx, row, col, o);
    case CUBE_DISAM_POSTERIOR:
        return choose_posterior(cx, row, col, o);
    case CUBE_DISAM_PREDSURF:
        if (closest(cx, node, node->guide_depth, node->guide_var, o)) return 1;
        break;
    case CUBE_DISAM_LOCALE:
        if (!density(cx, node, o)) break;
        if (cube_node_counted_hypotheses(node) < 2) return 1;
        return locale_step(cx, row, col, true, o);
    case CUBE_DISAM_DENSITY_LOCALE:
        if (!density(cx, node, o)) break;
        if (o->depth == cx.param->no_data_value ||
            !(o->strength > cx.param->density_strength_cutoff))
            return 1;
        return locale_step(cx, row, col, false, o);
    default:
        if (density(cx, node, o)) return 1;
        break;
    }
    cube_reportf(k_module, "failed extracting node (%d, %d).\n", as_int(row), as_int(col));
    return 0;
}

bool known_method(uint32_t method)
{
    if (method <= CUBE_DISAM_DENSITY_LOCALE) return true;
    cube_reportf(k_module, "error: unknown multi-hypothesis disambiguation algorithm (%d).\n",
                 method > INT32_MAX ? -1 : (int)method);
    return false;
}

inline void put(float *array, size_t at, float value)
{
    if (array != nullptr) array[at] = value;
}

void fill_counts(const _cube_extractor *rq, uint32_t c0, uint32_t c1, uint32_t r0, uint32_t r1)
{
    if (!rq->hypothesis_count && !rq->node_sample_count && !rq->node_deviation &&
        !rq->node_sample_sum)
        return;
    const _cube_grid *grid = rq->grid;
    for (uint32_t r = r0; r < r1; ++r) {
        const _cube_node *row_nodes = &grid->nodes[(size_t)(grid->ny - 1 - r) * grid->nx];
        for (uint32_t c = c0; c < c1; ++c) {
            const _cube_node *node = &row_nodes[c];
            const size_t at = (size_t)r * grid->nx + c;
            if (rq->hypothesis_count) {
                const uint32_t n = cube_node_counted_hypotheses(node);
                rq->hypothesis_count[at] = n != 0 ? n : rq->invalid_count;
            }
            if (rq->node_sample_count)
                rq->node_sample_count[at] = node->n_samples != 0 ? node->n_samples : rq->invalid_count;
            if (rq->node_deviation) rq->node_deviation[at] = node->sample_dev;
            if (rq->node_sample_sum) rq->node_sample_sum[at] = node->sample_sum;
        }
    }
}

}  // namespace

void cube_grid_init_extractor(_cube_extractor *request, _cube_grid *grid,
                              const _cube_param *params)
{
    memset(request, 0, sizeof *request);
    request->grid = grid;
    request->params = params;
    request->end_col = grid != nullptr ? grid->nx : 0;
    request->end_row = grid != nullptr ? grid->ny : 0;
    mapsheet_get_invalid(MAPSHEET_U32, &request->invalid_count);
    mapsheet_get_invalid(MAPSHEET_F32, &request->invalid_float);
}

int cube_grid_disambiguate(_cube_extractor *rq)
{
    if (rq == nullptr || rq->grid == nullptr || rq->params == nullptr) return 0;
    _cube_grid *grid = rq->grid;
    // The window is clipped to the grid so no output lands outside it.
    const uint32_t c1 = rq->end_col < grid->nx ? rq->end_col : grid->nx;
    const uint32_t r1 = rq->end_row < grid->ny ? rq->end_row : grid->ny;
    const uint32_t c0 = rq->first_col, r0 = rq->first_row;
    const uint32_t method = rq->params->mthd;
    int result = 1;
    if (!known_method(method)) {
        result = 0;
    } else {
        const context cx = make_context(grid, rq->params);
        for (uint32_t r = r0; r < r1; ++r) {
            const int64_t row = (int64_t)grid->ny - 1 - r;
            for (uint32_t c = c0; c < c1; ++c) {
                choice o;
                if (!choose_node(cx, method, row, c, &o)) return 0;
                const size_t at = (size_t)r * grid->nx + c;
                put(rq->depth, at, o.depth);
                put(rq->uncertainty, at, o.uncertainty);
                put(rq->strength, at, o.strength);
                put(rq->mean, at, o.mean);
                put(rq->deviation, at, o.deviation);
                put(rq->mean_var_unct, at, o.mean_var_unct);
            }
        }
    }
    if (c0 < c1 && r0 < r1) fill_counts(rq, c0, c1, r0, r1);
    return result;
}

int cube_grid_extract_all(_cube_grid *grid, const _cube_param *params, float *depth,
                          float *uncertainty, float *strength)
{
    if (grid == nullptr || params == nullptr) return 0;
    if (!known_method(params->mthd)) return 0;
    cube_grid_nan();
    float *cache = grid->cache;
    float *mode_out = nullptr;
    if (cache != nullptr) {
        if (grid->mode == CUBE_GRID_DEPTH) mode_out = depth;
        if (grid->mode == CUBE_GRID_UNCT) mode_out = uncertainty;
        if (grid->mode == CUBE_GRID_STRENGTH) mode_out = strength;
    }
    const int requested = (depth != nullptr) + (uncertainty != nullptr) + (strength != nullptr);
    const bool from_cache = mode_out != nullptr && requested == 1;
    const context cx = make_context(grid, params);
    for (uint32_t r = 0; r < grid->ny; ++r) {
        for (uint32_t c = 0; c < grid->nx; ++c) {
            const size_t at = (size_t)r * grid->nx + c;
            if (from_cache && !std::isnan(cache[at])) {
                mode_out[at] = cache[at];
                continue;
            }
            choice o;
            if (!choose_node(cx, params->mthd, r, c, &o)) return 0;
            put(depth, at, o.depth);
            put(uncertainty, at, o.uncertainty);
            put(strength, at, o.strength);
            if (mode_out != nullptr) cache[at] = mode_out[at];
        }
    }
    return 1;
}
