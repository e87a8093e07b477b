#pragma once
// The read cache of a CUBE surface: per grid, one slot per attribute, each
// holding that attribute's layer of node values as read from a layer-cache
// file. The query iterators fill and read it; the surface empties it on
// every cache flush and reports what it holds to the memory budget.
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "cube/CUBEGridIdx.h"

class CUBELayerCache {
public:
    struct Slot {
        std::shared_ptr<std::vector<float>> layer;
        bool loaded = false;
    };
    using Layers = std::vector<Slot>;
    using Map = std::map<CUBEGridIdx, Layers>;

    bool empty() const { return m_grids.empty(); }
    size_t size() const { return m_grids.size(); }
    void clear() { m_grids.clear(); }
    Map& grids() { return m_grids; }
    const Map& grids() const { return m_grids; }

    // Four bytes per value held, as the budget was charged for them.
    uint64_t heldBytes() const;
    // The read-cache part of the surface's cache dump.
    void print() const;

private:
    Map m_grids;
};
