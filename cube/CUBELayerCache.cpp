#include "cube/CUBELayerCache.h"

#include <cstdio>

uint64_t CUBELayerCache::heldBytes() const {
    uint64_t bytes = 0;
    for (const auto& grid : m_grids)
        for (const Slot& slot : grid.second)
            if (slot.layer) bytes += 4u * static_cast<uint64_t>(slot.layer->size());
    return bytes;
}

void CUBELayerCache::print() const {
    if (m_grids.empty()) {
        printf("** End cache dump **\n\n");
        return;
    }
    printf("\tRead cache contains %d elements\n", static_cast<int>(m_grids.size()));
    uint64_t values = 0;
    for (const auto& grid : m_grids) {
        printf("\tGrid %d x %d:\n", grid.first.row, grid.first.column);
        for (size_t i = 0; i < grid.second.size(); ++i) {
            const Slot& slot = grid.second[i];
            if (!slot.loaded || !slot.layer || slot.layer->empty()) continue;
            values += slot.layer->size();
            printf("\t\tElement %d: Size = %d, References = %d\n", static_cast<int>(i),
                   static_cast<int>(slot.layer->size()), static_cast<int>(slot.layer.use_count()));
        }
    }
    const uint64_t size = 12 + 60 * static_cast<uint64_t>(m_grids.size()) + 4 * values;
    printf("\tRead cache size is %d bytes (%.1lf MB)\n", static_cast<int>(size), size / 1048576.0);
    printf("** End cache dump **\n\n");
}
