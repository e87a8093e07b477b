#include "cube/CUBELayerCache.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <stdexcept>

#include "cube/CUBELayerFile.h"
#include "platform/frame/KIVOResourceManager.h"

CUBELayerCache::Layer CUBELayerCache::fetch(const CUBEGridIdx& grid, long attribute, size_t attributeCount,
                                            CUBELayerFile& layerFile, const KIVOSurfaceDataIO* owner) {
    if (attribute < 0 || static_cast<size_t>(attribute) >= attributeCount) return nullptr;
    Layer cached;
    if (lookup(grid, attribute, cached)) return cached;
    auto found = m_grids.find(grid);
    const uint64_t count = layerFile.valueCount();
    uint64_t held = 0;
    if (found != m_grids.end() && static_cast<size_t>(attribute) < found->second.size() &&
        found->second[attribute].layer)
        held = found->second[attribute].layer->size();
    reserve(held < count ? 4 * count : 0, owner);
    Layer layer = readLayer(layerFile);
    if (!layer) {
        // A layer that failed to read is not served, not even the part read.
        found = m_grids.find(grid);
        if (found != m_grids.end() && static_cast<size_t>(attribute) < found->second.size())
            found->second[attribute] = Slot();
        return nullptr;
    }
    store(grid, attribute, attributeCount, layer);
    return layer->empty() ? nullptr : layer;
}

bool CUBELayerCache::lookup(const CUBEGridIdx& grid, long attribute, Layer& layer) const {
    const auto found = m_grids.find(grid);
    if (found == m_grids.end() || attribute < 0 || static_cast<size_t>(attribute) >= found->second.size() ||
        !found->second[attribute].loaded)
        return false;
    const Layer& held = found->second[attribute].layer;
    layer = held && !held->empty() ? held : nullptr;
    return true;
}

// A layer larger than the whole budget is still served once every cache
// has let go: a query must never answer "no nodes" for want of memory it
// could have, and the next layer read makes this one go again.
void CUBELayerCache::reserve(uint64_t need, const KIVOSurfaceDataIO* owner) {
    KIVOResourceManager& budget = KIVOResourceManager::m_instance;
    KIVOResourceManager::Lock lock = budget.hold();
    if (!budget.take(need, owner)) budget.m_available = 0;
}

CUBELayerCache::Layer CUBELayerCache::readLayer(CUBELayerFile& file) {
    // A fresh vector each time: a layer an iterator still holds keeps its values.
    Layer layer;
    try {
        layer = std::make_shared<std::vector<float>>(static_cast<size_t>(file.valueCount()));
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (const std::length_error&) {
        return nullptr;
    }
    return file.readValues(*layer) ? layer : nullptr;
}

void CUBELayerCache::store(const CUBEGridIdx& grid, long attribute, size_t attributeCount, const Layer& layer) {
    Layers& slots = m_grids[grid];
    if (slots.size() < attributeCount) slots.resize(attributeCount);
    slots[attribute].layer = layer;
    slots[attribute].loaded = true;
}

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
