#include "cube_engine/cube_pool.h"

#include <cstdlib>
#include <cstring>

static_assert(sizeof(_cube_hypothesis) == 48, "compact hypothesis record");

void cube_pool_init(cube_pool *pool) { memset(pool, 0, sizeof *pool); }

void cube_pool_destroy(cube_pool *pool)
{
    for (uint32_t i = 0; i < pool->slab_count; ++i) free(pool->slabs[i]);
    free(pool->slabs);
    cube_pool_init(pool);
}

static int add_slab(cube_pool *pool)
{
    // Handle 0 means none, so the last usable handle is UINT32_MAX.
    if ((uint64_t)(pool->slab_count + 1) * CUBE_POOL_SLAB_SIZE > UINT32_MAX) return 0;
    if (pool->slab_count == pool->slab_capacity) {
        uint32_t capacity = pool->slab_capacity ? pool->slab_capacity * 2 : 8;
        void *table = realloc(pool->slabs, capacity * sizeof *pool->slabs);
        if (table == nullptr) return 0;
        pool->slabs = (_cube_hypothesis **)table;
        pool->slab_capacity = capacity;
    }
    void *slab = malloc(CUBE_POOL_SLAB_SIZE * sizeof(_cube_hypothesis));
    if (slab == nullptr) return 0;
    pool->slabs[pool->slab_count++] = (_cube_hypothesis *)slab;
    return 1;
}

uint32_t cube_pool_alloc(cube_pool *pool)
{
    uint32_t handle = pool->free_list;
    if (handle != 0) {
        pool->free_list = cube_pool_at(pool, handle)->next;
    } else {
        if (pool->issued == pool->slab_count * CUBE_POOL_SLAB_SIZE && !add_slab(pool)) return 0;
        handle = ++pool->issued;
    }
    memset(cube_pool_at(pool, handle), 0, sizeof(_cube_hypothesis));
    return handle;
}

void cube_pool_free(cube_pool *pool, uint32_t handle)
{
    if (handle == 0) return;
    cube_pool_at(pool, handle)->next = pool->free_list;
    pool->free_list = handle;
}

uint64_t cube_pool_bytes(const cube_pool *pool)
{
    return (uint64_t)pool->slab_count * CUBE_POOL_SLAB_SIZE * sizeof(_cube_hypothesis) +
           (uint64_t)pool->slab_capacity * sizeof(_cube_hypothesis *);
}
