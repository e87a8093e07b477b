// One estimator node: a median pre-filter queue of soundings and a list of
// competing depth hypotheses, newest first.
#ifndef KIVO_CUBE_ENGINE_CUBE_NODE_H
#define KIVO_CUBE_ENGINE_CUBE_NODE_H

#include <cstdint>

#include "cube_engine/cube_param.h"
#include "cube_engine/cube_pool.h"

// The most hypotheses a stored node may hold: readers refuse more, so the
// estimator never lets a node grow past it.
#define CUBE_MAX_HYPOTHESES 1000u

typedef struct cube_queue_entry {
    float depth;
    float variance;
    float sample_depth;
    float sample_variance;
} cube_queue_entry;

typedef struct _cube_node {
    cube_queue_entry *queue;   // null when empty
    cube_pool *pool;           // where hypotheses live; null = engine-wide pool
    uint32_t hypotheses;       // head handle, 0 when none
    uint32_t nominated;        // handle, 0 when none
    float guide_depth;
    float guide_var;
    float sample_dev;
    float sample_sum;
    uint32_t n_samples;
    uint8_t queue_count;
} _cube_node;

// Enumeration record (80 bytes) handed to callers that list hypotheses.
typedef struct cube_hypothesis_record {
    uint16_t samples;
    uint16_t index;
    uint32_t pad0;
    double mean;
    double sample_dev;
    float depth;
    float depth_again;
    float variance;
    float mean_var_dev;
    double zero;
    uint32_t flags;
    uint8_t tail[28];
} cube_hypothesis_record;

void cube_node_init(_cube_node *node);
// Fresh node whose hypotheses come from the given pool.
void cube_node_init_pooled(_cube_node *node, cube_pool *pool);
void cube_node_reset(_cube_node *node);
// Room for min(Queue_Length, 255) entries (at least `count`), count 0.
int cube_node_new_queue(_cube_node *node, const _cube_param *param, uint32_t count);

void cube_node_flush_queue(_cube_node *node, const _cube_param *param);
int cube_node_update(_cube_node *node, float depth, float variance, float sample_depth,
                     float sample_variance, const _cube_param *param);
int cube_node_add_basic_hypothesis(_cube_node *node, float depth, float variance);
void cube_node_set_guide(_cube_node *node, float depth, float variance);

int cube_node_extract_density(_cube_node *node, const _cube_param *param, float *depth,
                              float *uncertainty, float *strength, float *mean, float *deviation,
                              float *mean_var_unct);
int cube_node_extract_closest(_cube_node *node, const _cube_param *param, float guide_depth,
                              float guide_var, float *depth, float *uncertainty, float *strength,
                              float *mean, float *deviation, float *mean_var_unct);
int cube_node_extract_posterior(_cube_node *node, const _cube_param *param, float guide_depth,
                                float guide_var, float *depth, float *uncertainty,
                                float *strength, float *mean, float *deviation,
                                float *mean_var_unct);
int cube_node_extract_depth(_cube_node *node, const _cube_param *param, float *depth,
                            float *strength);
float cube_node_hypothesis_count(_cube_node *node, const _cube_param *param);
uint32_t cube_node_total_samples(_cube_node *node);

int cube_node_nominate_hypothesis(_cube_node *node, float depth);
int cube_node_clear_nomination(_cube_node *node);
int cube_node_is_nominated(_cube_node *node);
int cube_node_set_null(_cube_node *node, float depth);
int cube_node_clear_null(_cube_node *node, float depth);
int cube_node_reject_hypothesis(_cube_node *node, float depth);
int cube_node_accept_hypothesis(_cube_node *node, float depth);

cube_hypothesis_record *cube_node_enumerate_hypotheses(_cube_node *node, int *count);
int cube_node_copy(_cube_node *source, _cube_node *target, const _cube_param *param);
uint32_t cube_node_estimate_size(float hypotheses, const _cube_param *param);

// Access to the list for the grid and serialisation modules.
cube_pool *cube_default_pool(void);
inline cube_pool *cube_node_pool(const _cube_node *node)
{
    return node->pool != nullptr ? node->pool : cube_default_pool();
}
inline _cube_hypothesis *cube_node_hyp(const _cube_node *node, uint32_t handle)
{
    return handle != 0 ? cube_pool_at(cube_node_pool(node), handle) : nullptr;
}
// Running standard deviation of a sample stream; n counts x already.
void cube_node_running_dev(float *dev, float *sum, uint32_t n, float x);
// Whether any choice would give a depth: a nomination or a hypothesis with
// samples that is neither null nor rejected.
int cube_node_has_answer(const _cube_node *node);
// Hypotheses with samples, as a whole number.
uint32_t cube_node_counted_hypotheses(const _cube_node *node);
// Links a new zeroed hypothesis at the head (or tail); 0 on exhaustion.
uint32_t cube_node_push_hypothesis(_cube_node *node);
uint32_t cube_node_append_hypothesis(_cube_node *node, uint32_t *tail);

#endif
