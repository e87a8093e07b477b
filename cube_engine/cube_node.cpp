#include "cube_engine/cube_node.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "cube_engine/cube.h"

static_assert(sizeof(cube_hypothesis_record) == 80, "enumeration record is 80 bytes");

namespace {

const char *const k_module = "cube_node";
const double k_whisker = 0.01;  // metres: how close a depth must be to pick a hypothesis

// Nodes outside any grid (tests, scratch copies) share this pool.
cube_pool g_default_pool;

inline bool qualifies(const _cube_hypothesis *h)
{
    return h->num_samples != 0 && (h->flags & (CUBE_HYP_NULL | CUBE_HYP_REJECTED)) == 0;
}

inline uint16_t saturating_inc16(uint16_t v) { return v == UINT16_MAX ? v : (uint16_t)(v + 1); }
inline uint32_t saturating_inc32(uint32_t v) { return v == UINT32_MAX ? v : v + 1; }

// Running standard deviation of a sample stream; n counts x already.
inline void running_dev(float *dev, float *sum, uint32_t n, float x)
{
    if (n < 2) {
        *sum += x;
        *dev = 0.0f;
        return;
    }
    const double mean = (double)*sum / (n - 1.0);
    const double d = (double)*dev;
    const double diff = (double)x - mean;
    *dev = (float)sqrt(((n - 2.0) / (n - 1.0)) * d * d + diff * diff / n);
    *sum += x;
}

void node_statistics(_cube_node *node, float x)
{
    node->n_samples = saturating_inc32(node->n_samples);
    if (node->n_samples < 2) {
        // The running sum starts out invalid, so the first sample replaces it.
        node->sample_sum = x;
        node->sample_dev = 0.0f;
        return;
    }
    running_dev(&node->sample_dev, &node->sample_sum, node->n_samples, x);
}

uint32_t list_length(const _cube_node *node, uint32_t limit);

// `held` is the number of hypotheses the node holds already.
uint32_t new_hypothesis(_cube_node *node, uint32_t held, float y, float v, float s, float w)
{
    if (held >= CUBE_MAX_HYPOTHESES) {
        // Past this a written grid would no longer read back; the depth
        // joins no hypothesis rather than making the whole grid unreadable.
        cube_reportf(k_module,
                     "error: node holds %d hypotheses, the most a stored grid keeps; depth %.2f m is left out.\n",
                     (int)held, (double)y);
        return 0;
    }
    cube_pool *pool = cube_node_pool(node);
    const uint32_t head = node->hypotheses;
    const uint32_t handle = cube_pool_alloc(pool);
    if (handle == 0) {
        cube_report(k_module, "failed getting new hypothesis memory.\n");
        return 0;
    }
    _cube_hypothesis *h = cube_pool_at(pool, handle);
    h->depth = h->pred_depth = y;
    h->variance = h->pred_variance = v;
    h->cum_bayes_fac = 1.0f;
    h->seq_length = 0;
    h->hypothesis_num = head != 0 ? saturating_inc16(cube_pool_at(pool, head)->hypothesis_num) : 1;
    h->num_samples = 1;
    h->var_sum = w;
    h->sample_dev = 0.0f;
    h->sample_sum = s;
    h->flags = 0;
    h->spare = 0;
    h->next = head;
    node->hypotheses = handle;
    return handle;
}

// Bayes-factor monitor: 1 when the sounding may update the hypothesis.
bool monitor_accepts(_cube_hypothesis *h, float y, float v, const _cube_param *param)
{
    const double forecast = (double)v + h->pred_variance;
    const double err = ((double)y - h->pred_depth) / sqrt(forecast);
    const double offset = param->est_offset;
    const double bayes = exp(0.5 * (offset * offset - 2.0 * offset * fabs(err)));
    if (bayes < (double)param->bayes_fac_t) return false;  // outlier for this one
    if (h->cum_bayes_fac < 1.0f)
        h->seq_length = saturating_inc16(h->seq_length);
    else
        h->seq_length = 1;
    h->cum_bayes_fac = (float)(fmin((double)h->cum_bayes_fac, 1.0) * bayes);
    return !(h->cum_bayes_fac < param->bayes_fac_t || h->seq_length > param->runlength_t);
}

void filter_update(_cube_hypothesis *h, float y, float v, float s, float w,
                   const _cube_param *param)
{
    h->num_samples = saturating_inc32(h->num_samples);
    const double discount = param->discount;
    const double evolution = (1.0 - discount) * h->variance / discount;
    const double pv = h->pred_variance;
    const double gain = pv / (v + pv);
    const float depth = (float)(h->pred_depth + gain * ((double)y - h->pred_depth));
    const double variance = (double)v * pv / (v + pv);
    h->depth = h->pred_depth = depth;
    h->variance = (float)variance;
    h->pred_variance = (float)(variance + evolution);
    h->var_sum += w;
    running_dev(&h->sample_dev, &h->sample_sum, h->num_samples, s);
    h->flags &= (uint8_t)~(CUBE_HYP_NULL | CUBE_HYP_REJECTED);
}

struct choice_out {
    float *depth, *uncertainty, *strength, *mean, *deviation, *mean_var_unct;
};

void write_choice(const choice_out &out, const _cube_hypothesis *h, float strength,
                  const _cube_param *param)
{
    const double scale = param->sd2conf_scale;
    if (out.depth) *out.depth = h->depth;
    if (out.uncertainty) *out.uncertainty = (float)(sqrt((double)h->variance) * scale);
    if (out.strength) *out.strength = strength;
    if (out.mean) *out.mean = (float)((double)h->sample_sum / h->num_samples);
    if (out.deviation) *out.deviation = h->sample_dev;
    if (out.mean_var_unct)
        *out.mean_var_unct = (float)(sqrt((double)h->var_sum / h->num_samples) * scale);
}

void write_invalid(const choice_out &out, const _cube_param *param)
{
    const float invalid = param->no_data_value;
    for (float *p : {out.depth, out.uncertainty, out.strength, out.mean, out.deviation,
                     out.mean_var_unct})
        if (p) *p = invalid;
}

// Most-sampled qualifying hypothesis (first on ties) and its strength.
uint32_t density_best(const _cube_node *node, float *strength)
{
    const cube_pool *pool = cube_node_pool(node);
    uint32_t best = 0, best_samples = 0, second_samples = 0, qualifying = 0;
    for (uint32_t at = node->hypotheses; at != 0;) {
        const _cube_hypothesis *h = cube_pool_at(pool, at);
        if (qualifies(h)) {
            ++qualifying;
            if (best == 0 || h->num_samples > best_samples) {
                if (best != 0) second_samples = best_samples;
                best = at;
                best_samples = h->num_samples;
            } else if (h->num_samples > second_samples) {
                second_samples = h->num_samples;
            }
        }
        at = h->next;
    }
    *strength = 0.0f;
    if (qualifying >= 2) {
        const double s = 5.0 - (double)best_samples / second_samples;
        *strength = s < 0.0 ? 0.0f : (float)s;
    }
    return best;
}

// Strength of a guided choice: how far the best outweighs the others.
float guided_strength(uint32_t best_samples, uint64_t total_samples, uint32_t qualifying)
{
    if (qualifying < 2 || total_samples <= best_samples) return 0.0f;
    const double s = 5.0 - (double)best_samples / (double)(total_samples - best_samples);
    return s < 0.0 ? 0.0f : (float)s;
}

uint32_t list_length(const _cube_node *node, uint32_t limit)
{
    uint32_t n = 0;
    for (uint32_t at = node->hypotheses; at != 0 && n < limit; at = cube_node_hyp(node, at)->next)
        ++n;
    return n;
}

int choose_density(_cube_node *node, const _cube_param *param, const choice_out &out)
{
    if (node->nominated != 0) {
        write_choice(out, cube_node_hyp(node, node->nominated), 0.0f, param);
        return 1;
    }
    float strength;
    const uint32_t best = density_best(node, &strength);
    if (best == 0)
        write_invalid(out, param);
    else
        write_choice(out, cube_node_hyp(node, best), strength, param);
    return 1;
}

// The single match of a depth among the hypotheses, with the shared messages.
uint32_t single_match(_cube_node *node, float z)
{
    if (node->hypotheses == 0) {
        cube_report(k_module, "error: no hypotheses to remove at node!\n");
        return 0;
    }
    uint32_t match = 0, matches = 0;
    for (uint32_t at = node->hypotheses; at != 0; at = cube_node_hyp(node, at)->next) {
        if (fabs((double)z - cube_node_hyp(node, at)->depth) < k_whisker) {
            match = at;
            ++matches;
        }
    }
    if (matches == 0) {
        cube_reportf(k_module, "error: no match to depth %.2f m in node.\n", (double)z);
        return 0;
    }
    if (matches > 1) {
        cube_reportf(k_module, "error: more than one match to depth %.2f m in node.\n", (double)z);
        return 0;
    }
    return match;
}

int set_null_flag(_cube_node *node, float z, bool set)
{
    const uint32_t match = single_match(node, z);
    if (match == 0) return 0;
    _cube_hypothesis *h = cube_node_hyp(node, match);
    if (set)
        h->flags |= CUBE_HYP_NULL;
    else
        h->flags &= (uint8_t)~CUBE_HYP_NULL;
    if (node->nominated == match) node->nominated = 0;
    return 1;
}

int set_reject_flag(_cube_node *node, float z, bool reject)
{
    if (std::isnan(z)) {
        node->nominated = 0;
        bool changed = false;
        for (uint32_t at = node->hypotheses; at != 0; at = cube_node_hyp(node, at)->next) {
            _cube_hypothesis *h = cube_node_hyp(node, at);
            const bool is_rejected = (h->flags & CUBE_HYP_REJECTED) != 0;
            if (is_rejected != reject) {
                h->flags ^= CUBE_HYP_REJECTED;
                changed = true;
            }
        }
        return changed ? 1 : 0;
    }
    const uint32_t match = single_match(node, z);
    if (match == 0) return 0;
    if (node->nominated == match) node->nominated = 0;
    _cube_hypothesis *h = cube_node_hyp(node, match);
    if (((h->flags & CUBE_HYP_REJECTED) != 0) == reject) return 0;
    h->flags ^= CUBE_HYP_REJECTED;
    return 1;
}

void copy_fields(_cube_hypothesis *to, const _cube_hypothesis *from)
{
    const uint32_t next = to->next;
    *to = *from;
    to->next = next;
}

}  // namespace

cube_pool *cube_default_pool(void) { return &g_default_pool; }

void cube_node_running_dev(float *dev, float *sum, uint32_t n, float x)
{
    running_dev(dev, sum, n, x);
}

int cube_node_has_answer(const _cube_node *node)
{
    if (node->nominated != 0) return 1;
    for (uint32_t at = node->hypotheses; at != 0; at = cube_node_hyp(node, at)->next)
        if (qualifies(cube_node_hyp(node, at))) return 1;
    return 0;
}

void cube_node_init_pooled(_cube_node *node, cube_pool *pool)
{
    node->queue = nullptr;
    node->pool = pool;
    node->hypotheses = 0;
    node->nominated = 0;
    node->guide_depth = CUBE_INVALID_FLOAT;
    node->guide_var = CUBE_INVALID_FLOAT;
    node->sample_dev = CUBE_INVALID_FLOAT;
    node->sample_sum = CUBE_INVALID_FLOAT;
    node->n_samples = 0;
    node->queue_count = 0;
}

void cube_node_init(_cube_node *node) { cube_node_init_pooled(node, nullptr); }

void cube_node_reset(_cube_node *node)
{
    if (node == nullptr) return;
    free(node->queue);
    cube_pool *pool = cube_node_pool(node);
    for (uint32_t at = node->hypotheses; at != 0;) {
        const uint32_t next = cube_pool_at(pool, at)->next;
        cube_pool_free(pool, at);
        at = next;
    }
    cube_node_init_pooled(node, node->pool);
}

int cube_node_new_queue(_cube_node *node, const _cube_param *param, uint32_t count)
{
    free(node->queue);
    node->queue = nullptr;
    node->queue_count = 0;
    uint32_t room = cube_param_queue_length(param);
    if (count > room) room = count;
    if (room == 0) return 1;
    node->queue = (cube_queue_entry *)malloc((size_t)room * sizeof(cube_queue_entry));
    return node->queue != nullptr;
}

void cube_node_flush_queue(_cube_node *node, const _cube_param *param)
{
    const int n = node->queue_count;
    if (n == 0) return;
    // Median first, then alternately outwards, so a depth-ordered queue
    // starts the estimate from its most central sounding.
    const bool odd = (n % 2) != 0;
    int index = odd ? n / 2 : n / 2 - 1;
    int direction = odd ? -1 : 1;
    for (int step = 1; index >= 0 && index < n; ++step) {
        const cube_queue_entry &e = node->queue[index];
        cube_node_update(node, e.depth, e.variance, e.sample_depth, e.sample_variance, param);
        index += direction * step;
        direction = -direction;
    }
    free(node->queue);
    node->queue = nullptr;
    node->queue_count = 0;
}

int cube_node_update(_cube_node *node, float depth, float variance, float sample_depth,
                     float sample_variance, const _cube_param *param)
{
    cube_pool *pool = cube_node_pool(node);
    uint32_t best = 0, held = 0;
    // Scores are compared squared, which orders them alike and spares a
    // square root per hypothesis; the bound is the largest float squared.
    double best_score = (double)FLT_MAX * (double)FLT_MAX;
    for (uint32_t at = node->hypotheses; at != 0;) {
        const _cube_hypothesis *h = cube_pool_at(pool, at);
        const double diff = (double)depth - h->pred_depth;
        const double forecast = (double)variance + h->pred_variance;
        const double score = diff * diff / forecast;
        if (forecast > 0.0 && score < best_score) {
            best_score = score;
            best = at;
        }
        ++held;
        at = h->next;
    }
    if (best == 0) {
        if (!new_hypothesis(node, held, depth, variance, sample_depth, sample_variance)) {
            cube_report(k_module, "error: failed to add new depth hypothesis (initialisation).\n");
            return 0;
        }
    } else {
        _cube_hypothesis *h = cube_pool_at(pool, best);
        if (monitor_accepts(h, depth, variance, param)) {
            filter_update(h, depth, variance, sample_depth, sample_variance, param);
        } else {
            h->cum_bayes_fac = 1.0f;
            h->seq_length = 0;
            if (!new_hypothesis(node, held, depth, variance, sample_depth, sample_variance)) {
                cube_report(k_module, "error: failed to add new depth hypothesis (intervention).\n");
                return 0;
            }
        }
    }
    node_statistics(node, sample_depth);
    return 1;
}

int cube_node_add_basic_hypothesis(_cube_node *node, float depth, float variance)
{
    const uint32_t held = list_length(node, CUBE_MAX_HYPOTHESES);
    const uint32_t handle = new_hypothesis(node, held, depth, variance, depth, variance);
    if (handle == 0) {
        cube_report(k_module, "error: failed constructing new hypothesis.\n");
        cube_report(k_module, "error: failed to add basic hypothesis.\n");
        return 0;
    }
    _cube_hypothesis *h = cube_node_hyp(node, handle);
    h->num_samples = 0;
    h->var_sum = 0.0f;
    h->sample_dev = 0.0f;
    h->sample_sum = 0.0f;
    return 1;
}

void cube_node_set_guide(_cube_node *node, float depth, float variance)
{
    node->guide_depth = depth;
    node->guide_var = variance;
}

int cube_node_extract_density(_cube_node *node, const _cube_param *param, float *depth,
                              float *uncertainty, float *strength, float *mean, float *deviation,
                              float *mean_var_unct)
{
    if (node == nullptr || param == nullptr) return 0;
    return choose_density(node, param,
                          {depth, uncertainty, strength, mean, deviation, mean_var_unct});
}

int cube_node_extract_closest(_cube_node *node, const _cube_param *param, float guide_depth,
                              float guide_var, float *depth, float *uncertainty, float *strength,
                              float *mean, float *deviation, float *mean_var_unct)
{
    if (node == nullptr || param == nullptr) return 0;
    const choice_out out{depth, uncertainty, strength, mean, deviation, mean_var_unct};
    if (node->nominated != 0 || list_length(node, 2) < 2) return choose_density(node, param, out);
    const double spread = sqrt((double)guide_var);
    double best_score = FLT_MAX;
    uint32_t best = 0, qualifying = 0;
    uint64_t total = 0;
    for (uint32_t at = node->hypotheses; at != 0; at = cube_node_hyp(node, at)->next) {
        const _cube_hypothesis *h = cube_node_hyp(node, at);
        if (!qualifies(h)) continue;
        ++qualifying;
        total += h->num_samples;
        const double score = fabs((double)h->depth - guide_depth) / spread;
        if (score < best_score) {
            best_score = score;
            best = at;
        }
    }
    if (best == 0) {
        cube_report(k_module,
                    "error: internal: no 'best' hypothesis solution!  Probably a bad guide value "
                    "pair.  Setting to INVALID values.\n");
        write_invalid(out, param);
        return 1;
    }
    const _cube_hypothesis *h = cube_node_hyp(node, best);
    write_choice(out, h, guided_strength(h->num_samples, total, qualifying), param);
    return 1;
}

int cube_node_extract_posterior(_cube_node *node, const _cube_param *param, float guide_depth,
                                float guide_var, float *depth, float *uncertainty,
                                float *strength, float *mean, float *deviation,
                                float *mean_var_unct)
{
    if (node == nullptr || param == nullptr) return 0;
    const choice_out out{depth, uncertainty, strength, mean, deviation, mean_var_unct};
    if (node->nominated != 0 || list_length(node, 2) < 2) return choose_density(node, param, out);
    double best_score = -FLT_MAX;
    uint32_t best = 0, qualifying = 0;
    uint64_t total = 0;
    for (uint32_t at = node->hypotheses; at != 0; at = cube_node_hyp(node, at)->next) {
        const _cube_hypothesis *h = cube_node_hyp(node, at);
        if (!qualifies(h)) continue;
        ++qualifying;
        total += h->num_samples;
        const double diff = (double)guide_depth - h->depth;
        const double score = log((double)h->num_samples) - diff * diff / (2.0 * guide_var);
        if (score > best_score) {
            best_score = score;
            best = at;
        }
    }
    if (best == 0) return choose_density(node, param, out);
    const _cube_hypothesis *h = cube_node_hyp(node, best);
    write_choice(out, h, guided_strength(h->num_samples, total, qualifying), param);
    return 1;
}

int cube_node_extract_depth(_cube_node *node, const _cube_param *param, float *depth,
                            float *strength)
{
    return cube_node_extract_density(node, param, depth, nullptr, strength, nullptr, nullptr,
                                     nullptr);
}

uint32_t cube_node_counted_hypotheses(const _cube_node *node)
{
    const cube_pool *pool = cube_node_pool(node);
    uint32_t n = 0;
    for (uint32_t at = node->hypotheses; at != 0;) {
        const _cube_hypothesis *h = cube_pool_at(pool, at);
        if (h->num_samples != 0) ++n;
        at = h->next;
    }
    return n;
}

float cube_node_hypothesis_count(_cube_node *node, const _cube_param *param)
{
    const uint32_t n = node != nullptr ? cube_node_counted_hypotheses(node) : 0;
    return n == 0 ? param->no_data_value : (float)n;
}

uint32_t cube_node_total_samples(_cube_node *node)
{
    if (node == nullptr) return 0;
    uint64_t total = 0;
    for (uint32_t at = node->hypotheses; at != 0; at = cube_node_hyp(node, at)->next)
        total += cube_node_hyp(node, at)->num_samples;
    return total > UINT32_MAX ? UINT32_MAX : (uint32_t)total;
}

int cube_node_nominate_hypothesis(_cube_node *node, float depth)
{
    node->nominated = 0;
    double best_diff = k_whisker;
    uint32_t best = 0;
    for (uint32_t at = node->hypotheses; at != 0; at = cube_node_hyp(node, at)->next) {
        const double diff = fabs((double)depth - cube_node_hyp(node, at)->depth);
        if (diff < best_diff) {
            best_diff = diff;
            best = at;
        }
    }
    if (best == 0) {
        cube_reportf(k_module,
                     "error: failed to find a hypothesis with depth within a metric whisker of "
                     "%.2f m at node.\n",
                     (double)depth);
        return 0;
    }
    node->nominated = best;
    return 1;
}

int cube_node_clear_nomination(_cube_node *node)
{
    node->nominated = 0;
    return 1;
}

int cube_node_is_nominated(_cube_node *node) { return node->nominated != 0; }

int cube_node_set_null(_cube_node *node, float depth) { return set_null_flag(node, depth, true); }
int cube_node_clear_null(_cube_node *node, float depth)
{
    return set_null_flag(node, depth, false);
}
int cube_node_reject_hypothesis(_cube_node *node, float depth)
{
    return set_reject_flag(node, depth, true);
}
int cube_node_accept_hypothesis(_cube_node *node, float depth)
{
    return set_reject_flag(node, depth, false);
}

cube_hypothesis_record *cube_node_enumerate_hypotheses(_cube_node *node, int *count)
{
    const uint32_t n = cube_node_counted_hypotheses(node);
    *count = 0;
    if (n == 0) return nullptr;
    cube_hypothesis_record *records =
        (cube_hypothesis_record *)calloc(n, sizeof(cube_hypothesis_record));
    if (records == nullptr) {
        const uint64_t bytes = (uint64_t)n * sizeof(cube_hypothesis_record);
        cube_reportf(k_module,
                     "error: out of memory allocating %d bytes for %d soundings for hypothesis "
                     "enumeration.\n",
                     bytes > INT32_MAX ? INT32_MAX : (int)bytes, n > INT32_MAX ? INT32_MAX : (int)n);
        *count = -1;
        return nullptr;
    }
    uint32_t i = 0;
    for (uint32_t at = node->hypotheses; at != 0; at = cube_node_hyp(node, at)->next) {
        const _cube_hypothesis *h = cube_node_hyp(node, at);
        if (h->num_samples == 0) continue;
        cube_hypothesis_record &r = records[i];
        // A count wrapping to a small number would misstate the evidence.
        r.samples = h->num_samples > UINT16_MAX ? UINT16_MAX : (uint16_t)h->num_samples;
        r.index = i > UINT16_MAX ? UINT16_MAX : (uint16_t)i;
        r.mean = (double)h->sample_sum / h->num_samples;
        r.sample_dev = h->sample_dev;
        r.depth = r.depth_again = h->depth;
        r.variance = h->variance;
        r.mean_var_dev = (float)sqrt((double)h->var_sum / h->num_samples);
        r.flags = h->flags;
        ++i;
    }
    *count = (int)(n > INT32_MAX ? INT32_MAX : n);
    return records;
}

uint32_t cube_node_push_hypothesis(_cube_node *node)
{
    cube_pool *pool = cube_node_pool(node);
    const uint32_t handle = cube_pool_alloc(pool);
    if (handle == 0) return 0;
    cube_pool_at(pool, handle)->next = node->hypotheses;
    node->hypotheses = handle;
    return handle;
}

uint32_t cube_node_append_hypothesis(_cube_node *node, uint32_t *tail)
{
    cube_pool *pool = cube_node_pool(node);
    const uint32_t handle = cube_pool_alloc(pool);
    if (handle == 0) return 0;
    if (*tail == 0)
        node->hypotheses = handle;
    else
        cube_pool_at(pool, *tail)->next = handle;
    *tail = handle;
    return handle;
}

int cube_node_copy(_cube_node *source, _cube_node *target, const _cube_param *param)
{
    if (source == nullptr || target == nullptr) return 0;
    if (source == target) return 1;
    // The target owns only what is copied here, never anything of the source.
    cube_node_reset(target);
    target->guide_depth = source->guide_depth;
    target->guide_var = source->guide_var;
    target->sample_dev = source->sample_dev;
    target->sample_sum = source->sample_sum;
    target->n_samples = source->n_samples;
    if (source->queue_count != 0) {
        if (!cube_node_new_queue(target, param, source->queue_count)) {
            cube_reportf(k_module, "error: failed allocating %d elements for input queue.\n",
                         (int)source->queue_count);
            return 0;
        }
        memcpy(target->queue, source->queue, source->queue_count * sizeof(cube_queue_entry));
        target->queue_count = source->queue_count;
    }
    uint32_t tail = 0;
    for (uint32_t at = source->hypotheses; at != 0; at = cube_node_hyp(source, at)->next) {
        const uint32_t copy = cube_node_append_hypothesis(target, &tail);
        if (copy == 0) {
            cube_report(k_module, "error: failed allocating memory for hypothesis.\n");
            return 0;
        }
        copy_fields(cube_node_hyp(target, copy), cube_node_hyp(source, at));
        if (at == source->nominated) target->nominated = copy;
    }
    return 1;
}

uint32_t cube_node_estimate_size(float hypotheses, const _cube_param *param)
{
    const double bytes = cube_param_queue_length(param) * 16.0 + hypotheses * 45.0;
    return cube_float_to_u32(floor(bytes));
}
