// Per-grid pool of hypothesis records. Records are addressed by 32-bit
// handles (0 = none) so that a hypothesis stays 48 bytes, close to the 45 the
// memory model counts, and a grid releases them in bulk.
#ifndef KIVO_CUBE_ENGINE_CUBE_POOL_H
#define KIVO_CUBE_ENGINE_CUBE_POOL_H

#include <cstdint>

typedef struct _cube_hypothesis {
    float depth;
    float variance;
    float pred_depth;
    float pred_variance;
    float cum_bayes_fac;
    uint16_t seq_length;
    uint16_t hypothesis_num;
    uint32_t num_samples;
    float var_sum;
    float sample_dev;
    float sample_sum;
    uint8_t flags;   // CUBE_HYP_NULL, CUBE_HYP_REJECTED
    uint8_t spare;
    uint32_t next;   // handle of the next (older) hypothesis
} _cube_hypothesis;

#define CUBE_HYP_NULL 0x01u
#define CUBE_HYP_REJECTED 0x02u

#define CUBE_POOL_SLAB_SHIFT 10u
#define CUBE_POOL_SLAB_SIZE (1u << CUBE_POOL_SLAB_SHIFT)

typedef struct cube_pool {
    _cube_hypothesis **slabs;
    uint32_t slab_count;
    uint32_t slab_capacity;
    uint32_t issued;      // handles ever handed out from the slabs
    uint32_t free_list;   // handle of the first released record
} cube_pool;

void cube_pool_init(cube_pool *pool);
// Frees every slab; handles from the pool become invalid.
void cube_pool_destroy(cube_pool *pool);
// A zeroed record, or 0 when memory (or the handle space) is exhausted.
uint32_t cube_pool_alloc(cube_pool *pool);
void cube_pool_free(cube_pool *pool, uint32_t handle);
// Bytes the pool holds from the heap, for memory accounting.
uint64_t cube_pool_bytes(const cube_pool *pool);

inline _cube_hypothesis *cube_pool_at(const cube_pool *pool, uint32_t handle)
{
    const uint32_t index = handle - 1;
    return &pool->slabs[index >> CUBE_POOL_SLAB_SHIFT][index & (CUBE_POOL_SLAB_SIZE - 1)];
}

#endif
