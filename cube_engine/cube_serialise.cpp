#include "cube_engine/cube_serialise.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>

#include "cube_engine/cube.h"

namespace {

const char *const k_node = "cube_node";
const char *const k_grid = "cube_grid";

inline int as_int(uint64_t v) { return v > INT32_MAX ? INT32_MAX : (int)v; }

// Pointer words mean nothing to a reader; they record only whether the
// pointer was set, so that dumps are reproducible and leak no addresses.
inline uint32_t pointer_word(bool set) { return set ? 1u : 0u; }

// Rounds an older f64 field to f32 without the undefined conversion of
// values beyond the float range.
inline float narrow(double v)
{
    if (v > FLT_MAX && v != INFINITY) return FLT_MAX;
    if (v < -FLT_MAX && v != -INFINITY) return -FLT_MAX;
    return (float)v;
}

inline bool read_exact(cube_stream *s, void *dst, size_t n) { return cube_stream_read(s, dst, n) == n; }
inline bool write_exact(cube_stream *s, const void *src, size_t n)
{
    return cube_stream_write(s, src, n) == n;
}

bool read_u32(cube_stream *s, uint32_t *v)
{
    uint8_t b[4];
    if (!read_exact(s, b, 4)) return false;
    *v = cube_get_u32(b);
    return true;
}

bool write_u32(cube_stream *s, uint32_t v)
{
    uint8_t b[4];
    cube_put_u32(b, v);
    return write_exact(s, b, 4);
}

void encode_hypothesis(const _cube_hypothesis *h, uint8_t *b)
{
    cube_put_f32(b + 0, h->depth);
    cube_put_f32(b + 4, h->variance);
    cube_put_f32(b + 8, h->pred_depth);
    cube_put_f32(b + 12, h->pred_variance);
    cube_put_f32(b + 16, h->cum_bayes_fac);
    cube_put_u16(b + 20, h->seq_length);
    cube_put_u16(b + 22, h->hypothesis_num);
    cube_put_u32(b + 24, h->num_samples);
    cube_put_f32(b + 28, h->var_sum);
    cube_put_f32(b + 32, h->sample_dev);
    cube_put_f32(b + 36, h->sample_sum);
    cube_put_u8(b + 40, h->flags);
    cube_put_u32(b + 41, pointer_word(h->next != 0));
    cube_put_u8(b + 45, h->spare);
}

void decode_hypothesis(const uint8_t *b, _cube_hypothesis *h)
{
    h->depth = cube_get_f32(b + 0);
    h->variance = cube_get_f32(b + 4);
    h->pred_depth = cube_get_f32(b + 8);
    h->pred_variance = cube_get_f32(b + 12);
    h->cum_bayes_fac = cube_get_f32(b + 16);
    h->seq_length = cube_get_u16(b + 20);
    h->hypothesis_num = cube_get_u16(b + 22);
    h->num_samples = cube_get_u32(b + 24);
    h->var_sum = cube_get_f32(b + 28);
    h->sample_dev = cube_get_f32(b + 32);
    h->sample_sum = cube_get_f32(b + 36);
    h->flags = b[40];
    h->spare = b[45];
}

void decode_old_hypothesis(const uint8_t *b, _cube_hypothesis *h)
{
    h->depth = narrow(cube_get_f64(b + 0));
    h->variance = narrow(cube_get_f64(b + 8));
    h->pred_depth = narrow(cube_get_f64(b + 16));
    h->pred_variance = narrow(cube_get_f64(b + 24));
    h->cum_bayes_fac = narrow(cube_get_f64(b + 32));
    h->seq_length = cube_get_u16(b + 40);
    h->hypothesis_num = cube_get_u16(b + 42);
    h->num_samples = cube_get_u32(b + 44);
    h->var_sum = narrow(cube_get_f64(b + 48));
    h->sample_dev = narrow(cube_get_f64(b + 56));
    h->sample_sum = narrow(cube_get_f64(b + 64));
    h->flags = b[72];
    h->spare = 0;  // the older layout has no spare byte
}

bool write_queue(const _cube_node *node, cube_stream *s)
{
    uint8_t b[CUBE_MAX_QUEUE * CUBE_QUEUE_ENTRY_BYTES];
    for (uint32_t i = 0; i < node->queue_count; ++i) {
        const cube_queue_entry &e = node->queue[i];
        uint8_t *p = b + i * CUBE_QUEUE_ENTRY_BYTES;
        cube_put_f32(p, e.depth);
        cube_put_f32(p + 4, e.variance);
        cube_put_f32(p + 8, e.sample_depth);
        cube_put_f32(p + 12, e.sample_variance);
    }
    return write_exact(s, b, (size_t)node->queue_count * CUBE_QUEUE_ENTRY_BYTES);
}

// Reads `count` queue entries into a queue of the node's own; counts beyond
// the configured queue (and beyond what a byte can count) are refused.
bool read_queue(cube_stream *s, _cube_node *node, const _cube_param *params, uint32_t count)
{
    if (count == 0) return true;
    if (count > cube_param_queue_length(params)) {
        cube_reportf(k_node, "error: invalid queue length of %d elements.\n", as_int(count));
        cube_node_reset(node);
        return false;
    }
    if (!cube_node_new_queue(node, params, count)) {
        cube_reportf(k_node, "error: failed allocating %d elements for input queue.\n", as_int(count));
        return false;
    }
    uint8_t b[CUBE_MAX_QUEUE * CUBE_QUEUE_ENTRY_BYTES];
    if (!read_exact(s, b, (size_t)count * CUBE_QUEUE_ENTRY_BYTES)) {
        cube_reportf(k_node, "error: failed reading %d elements for input queue.\n", as_int(count));
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t *p = b + i * CUBE_QUEUE_ENTRY_BYTES;
        node->queue[i] = {cube_get_f32(p), cube_get_f32(p + 4), cube_get_f32(p + 8),
                          cube_get_f32(p + 12)};
    }
    node->queue_count = (uint8_t)count;
    return true;
}

bool read_hypothesis_count(cube_stream *s, uint32_t *count)
{
    if (!read_u32(s, count)) {
        cube_report(k_node, "error: failed reading number of hypotheses.\n");
        return false;
    }
    if (*count > CUBE_MAX_HYPOTHESES) {
        cube_reportf(k_node, "error: invalid number of hypotheses %d.\n", as_int(*count));
        return false;
    }
    return true;
}

bool read_hypotheses(cube_stream *s, _cube_node *node, uint32_t count, bool older)
{
    const size_t size = older ? CUBE_OLD_HYPOTHESIS_BYTES : CUBE_HYPOTHESIS_BYTES;
    uint8_t b[CUBE_OLD_HYPOTHESIS_BYTES];
    for (uint32_t i = 0; i < count; ++i) {
        if (!read_exact(s, b, size)) {
            cube_reportf(k_node, "error: failed reading hypothesis %d.\n", as_int(i));
            return false;
        }
        // Each is linked in front, so memory runs in the reverse of file order.
        const uint32_t handle = cube_node_push_hypothesis(node);
        if (handle == 0) {
            cube_reportf(k_node, "error: failed allocating memory for hypothesis %d.\n", as_int(i));
            return false;
        }
        _cube_hypothesis *h = cube_node_hyp(node, handle);
        if (older)
            decode_old_hypothesis(b, h);
        else
            decode_hypothesis(b, h);
    }
    return true;
}

bool read_nomination(cube_stream *s, _cube_node *node, uint32_t count)
{
    if (count == 0) return true;
    uint32_t number;
    if (!read_u32(s, &number)) {
        cube_report(k_node, "error: failed reading nominated hypothesis number.\n");
        return false;
    }
    if (number == 0) return true;
    for (uint32_t at = node->hypotheses; at != 0; at = cube_node_hyp(node, at)->next) {
        if (cube_node_hyp(node, at)->hypothesis_num == number) {
            node->nominated = at;
            break;
        }
    }
    return true;
}

// The older layout is also what a damaged current dump is re-read as, so
// only values such a node could hold are taken for it.
bool plausible_old_node(const _cube_node *node)
{
    for (uint32_t i = 0; i < node->queue_count; ++i) {
        const cube_queue_entry &e = node->queue[i];
        if (!std::isfinite(e.depth) || !(e.variance >= 0.0f)) return false;
    }
    for (uint32_t at = node->hypotheses; at != 0; at = cube_node_hyp(node, at)->next) {
        const _cube_hypothesis *h = cube_node_hyp(node, at);
        if (!std::isfinite(h->depth) || !std::isfinite(h->pred_depth) || !(h->variance >= 0.0f) ||
            !(h->pred_variance >= 0.0f) || !(h->var_sum >= 0.0f) || h->num_samples > (uint32_t)INT32_MAX)
            return false;
    }
    return true;
}

int translate_node(cube_stream *s, _cube_node *node, const _cube_param *params)
{
    cube_node_reset(node);
    uint8_t rec[CUBE_OLD_NODE_RECORD_BYTES];
    if (!read_exact(s, rec, sizeof rec)) {
        cube_report(k_node, "error: failed reading node.\n");
        return 0;
    }
    uint32_t count;
    if (!read_queue(s, node, params, cube_get_u32(rec + 4)) || !read_hypothesis_count(s, &count) ||
        count > cube_stream_remaining(s) / CUBE_OLD_HYPOTHESIS_BYTES ||
        !read_hypotheses(s, node, count, true) || !read_nomination(s, node, count))
        return 0;
    if (!plausible_old_node(node)) {
        cube_report(k_node, "error: node holds values no estimator writes.\n");
        return 0;
    }
    cube_node_set_guide(node, cube_get_f32(rec + 16), cube_get_f32(rec + 20));
    return 1;
}

// Header fields, checked against what the stream can still hold so that a
// damaged header never sizes an allocation beyond the data behind it.
_cube_grid *read_grid_header(cube_stream *s, uint64_t min_node_bytes)
{
    uint8_t b[CUBE_GRID_HEADER_BYTES];
    if (!read_exact(s, b, sizeof b)) {
        cube_report(k_grid, "error: failed reading base CubeGrid structure from file.\n");
        return nullptr;
    }
    const uint32_t nx = cube_get_u32(b), ny = cube_get_u32(b + 4), mode = cube_get_u32(b + 24);
    const float dx = cube_get_f32(b + 8), dy = cube_get_f32(b + 12);
    const uint64_t per_node = min_node_bytes + (mode != CUBE_GRID_NONE ? sizeof(float) : 0);
    const uint64_t nodes = (uint64_t)nx * ny;
    // A side of 0 holds no node, so the product alone would let the other
    // side run every per-row loop for billions of empty rows. With both
    // sides at least 1, the product bounds each side on its own too.
    _cube_grid *grid = nullptr;
    if (nx != 0 && ny != 0 && nodes <= cube_stream_remaining(s) / per_node)
        grid = cube_grid_new(nx, ny, dx, dy, mode);
    if (grid == nullptr)
        cube_reportf(k_grid,
                     "error: failed constructing CubeGrid from file (nx = %d, ny = %d, dx = %.1f m, "
                     "dy = %.1f m.\n",
                     as_int(nx), as_int(ny), (double)dx, (double)dy);
    return grid;
}

bool read_cache(cube_stream *s, _cube_grid *grid)
{
    if (grid->cache == nullptr) return true;
    const size_t count = (size_t)grid->nx * grid->ny;
    uint8_t b[4096];
    for (size_t done = 0; done < count;) {
        const size_t n = count - done < sizeof b / 4 ? count - done : sizeof b / 4;
        if (!read_exact(s, b, n * 4)) {
            cube_report(k_grid, "error: failed to read cache buffer.\n");
            return false;
        }
        for (size_t i = 0; i < n; ++i) grid->cache[done + i] = cube_get_f32(b + 4 * i);
        done += n;
    }
    return true;
}

bool write_cache(cube_stream *s, const _cube_grid *grid)
{
    if (grid->cache == nullptr) return true;
    const size_t count = (size_t)grid->nx * grid->ny;
    uint8_t b[4096];
    for (size_t done = 0; done < count;) {
        const size_t n = count - done < sizeof b / 4 ? count - done : sizeof b / 4;
        for (size_t i = 0; i < n; ++i) cube_put_f32(b + 4 * i, grid->cache[done + i]);
        if (!write_exact(s, b, n * 4)) return false;
        done += n;
    }
    return true;
}

}  // namespace

int cube_node_serialise(_cube_node *node, const _cube_param *params, cube_stream *stream)
{
    (void)params;
    if (node == nullptr || stream == nullptr) return 0;
    uint8_t rec[CUBE_NODE_RECORD_BYTES];
    cube_put_u32(rec, pointer_word(node->queue != nullptr));
    cube_put_u8(rec + 4, node->queue_count);
    cube_put_u32(rec + 5, pointer_word(node->hypotheses != 0));
    cube_put_u32(rec + 9, pointer_word(node->nominated != 0));
    cube_put_f32(rec + 13, node->guide_depth);
    cube_put_f32(rec + 17, node->guide_var);
    cube_put_f32(rec + 21, node->sample_dev);
    cube_put_f32(rec + 25, node->sample_sum);
    cube_put_u32(rec + 29, node->n_samples);
    if (!write_exact(stream, rec, sizeof rec)) {
        cube_report(k_node, "error: failed writing node.\n");
        return 0;
    }
    if (!write_queue(node, stream)) {
        cube_reportf(k_node, "error: failed writing %d elements in node input queue.\n",
                     (int)node->queue_count);
        return 0;
    }
    uint32_t count = 0;
    for (uint32_t at = node->hypotheses; at != 0; at = cube_node_hyp(node, at)->next) ++count;
    if (!write_u32(stream, count)) {
        cube_report(k_node, "error: failed writing number of hypotheses.\n");
        return 0;
    }
    uint32_t position = 0, nominated = 0;
    uint8_t b[CUBE_HYPOTHESIS_BYTES];
    for (uint32_t at = node->hypotheses; at != 0; at = cube_node_hyp(node, at)->next) {
        _cube_hypothesis *h = cube_node_hyp(node, at);
        ++position;
        // Numbers are positions, which is what the nomination refers to.
        h->hypothesis_num = position > UINT16_MAX ? UINT16_MAX : (uint16_t)position;
        if (at == node->nominated) nominated = position;
        encode_hypothesis(h, b);
        if (!write_exact(stream, b, sizeof b)) {
            cube_reportf(k_node, "error: failed writing hypothesis %d.\n", as_int(position));
            return 0;
        }
    }
    if (count != 0 && !write_u32(stream, nominated)) {
        cube_report(k_node, "error: failed writing nominated hypothesis ref.\n");
        return 0;
    }
    return 1;
}

int cube_node_deserialise(cube_stream *stream, _cube_node *node, const _cube_param *params,
                          int layout)
{
    if (stream == nullptr || node == nullptr) return 0;
    cube_node_reset(node);
    const size_t size = layout != 0 ? CUBE_NODE_RECORD_BYTES : CUBE_NODE_RECORD_V0_BYTES;
    uint8_t rec[CUBE_NODE_RECORD_BYTES];
    if (!read_exact(stream, rec, size)) {
        cube_report(k_node, "error: failed reading node.\n");
        return 0;
    }
    cube_node_set_guide(node, cube_get_f32(rec + 13), cube_get_f32(rec + 17));
    if (layout != 0) {
        node->sample_dev = cube_get_f32(rec + 21);
        node->sample_sum = cube_get_f32(rec + 25);
        node->n_samples = cube_get_u32(rec + 29);
    }
    uint32_t count;
    return read_queue(stream, node, params, rec[4]) && read_hypothesis_count(stream, &count) &&
           read_hypotheses(stream, node, count, false) && read_nomination(stream, node, count);
}

int cube_grid_serialise(cube_stream *stream, _cube_grid *grid, const _cube_param *params)
{
    if (stream == nullptr || grid == nullptr) return 0;
    uint8_t b[CUBE_GRID_HEADER_BYTES];
    cube_put_u32(b, grid->nx);
    cube_put_u32(b + 4, grid->ny);
    cube_put_f32(b + 8, grid->dx);
    cube_put_f32(b + 12, grid->dy);
    cube_put_u32(b + 16, pointer_word(grid->cache != nullptr));
    cube_put_u32(b + 20, pointer_word(grid->nodes != nullptr));
    cube_put_u32(b + 24, grid->mode);
    if (!write_exact(stream, b, sizeof b)) {
        cube_report(k_grid, "error: failed writing CubeGrid header.\n");
        return 0;
    }
    const size_t count = (size_t)grid->nx * grid->ny;
    for (size_t i = 0; i < count; ++i) {
        if (!cube_node_serialise(&grid->nodes[i], params, stream)) {
            cube_reportf(k_grid, "error: failed writing node %d.\n", as_int(i));
            return 0;
        }
    }
    if (!write_cache(stream, grid)) {
        cube_report(k_grid, "error: failed writing cache surface.\n");
        return 0;
    }
    return 1;
}

_cube_grid *cube_grid_deserialise(cube_stream *stream, const _cube_param *params, int layout)
{
    if (stream == nullptr) return nullptr;
    uint64_t start = 0;
    const bool can_return = cube_stream_tell(stream, &start) != 0;
    const uint64_t min_node = (layout != 0 ? CUBE_NODE_RECORD_BYTES : CUBE_NODE_RECORD_V0_BYTES) + 4;
    _cube_grid *grid = read_grid_header(stream, min_node);
    if (grid == nullptr) return nullptr;
    const size_t count = (size_t)grid->nx * grid->ny;
    for (size_t i = 0; i < count; ++i) {
        if (!cube_node_deserialise(stream, &grid->nodes[i], params, layout)) {
            cube_reportf(k_grid, "error: failed reading node %d.  Attempting to translate...\n",
                         as_int(i));
            cube_grid_release(grid);
            if (!can_return || !cube_stream_seek(stream, start)) return nullptr;
            return cube_grid_translate(stream, params);
        }
    }
    if (!read_cache(stream, grid)) {
        cube_grid_release(grid);
        return nullptr;
    }
    return grid;
}

_cube_grid *cube_grid_translate(cube_stream *stream, const _cube_param *params)
{
    if (stream == nullptr) return nullptr;
    _cube_grid *grid = read_grid_header(stream, CUBE_OLD_NODE_RECORD_BYTES + 4);
    if (grid == nullptr) return nullptr;
    const size_t count = (size_t)grid->nx * grid->ny;
    for (size_t i = 0; i < count; ++i) {
        if (!translate_node(stream, &grid->nodes[i], params)) {
            cube_reportf(k_grid, "error: failed reading node %d.\n", as_int(i));
            cube_grid_release(grid);
            return nullptr;
        }
    }
    if (!read_cache(stream, grid)) {
        cube_grid_release(grid);
        return nullptr;
    }
    // A grid dump is the last thing in its container: a reading that stops
    // short of the end took bytes of another layout for this one.
    const uint64_t left = cube_stream_remaining(stream);
    if (left != 0) {
        cube_reportf(k_grid, "error: %d bytes follow the translated grid.\n", as_int(left));
        cube_grid_release(grid);
        return nullptr;
    }
    return grid;
}
