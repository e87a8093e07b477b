#pragma once
// The pending new nodes of a tile-store surface by grid cell of the
// surface's resolution: the searches that every point query makes are then a
// few cell lookups instead of a descent through an R-tree. It answers only
// what it can answer exactly as the tree would; anything else is left to it.
#include "platform/core/KIVOExport.h"
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "multires/KestrinRTreeEntry.h"
#include "platform/polyops/NORVARTree.h"

class KIVO_EXPORT KestrinPendingGrid {
public:
    using Leaf = NORVARTreeLeaf<double, 2>;

    // Forgets every node; nodes added from now on have boxes of side `size`.
    void reset(double size);
    // Notes a node just added at (x, y); `pending` nodes are pending now.
    void add(KestrinRTreeEntry* entry, double x, double y, double size, size_t pending);
    // True when the grid holds all `pending` nodes and can search the
    // window; `found` then gets the nodes whose box overlaps it.
    bool search(double x0, double y0, double x1, double y1, size_t pending, std::vector<Leaf*>& found) const;
    // True when the grid holds all `pending` nodes and can tell; `near` then
    // says whether a node lies closer than `reach` (below the nodes' size) to
    // (x, y) along both axes.
    bool anyCloser(double x, double y, double reach, size_t pending, bool& near) const;

private:
    bool cellOf(double x, double y, int64_t& cx, int64_t& cy) const;
    // The first node of a cell, -1 when it has none.
    int32_t firstOf(uint64_t key) const;
    static uint64_t key(int64_t cx, int64_t cy) {
        return (static_cast<uint64_t>(static_cast<uint32_t>(cx)) << 32) | static_cast<uint32_t>(cy);
    }

    struct Slot {
        KestrinRTreeEntry* entry;
        double x, y;   // the node's position
        int32_t next;  // the next node of the same cell, -1 at the end
    };
    double m_size = 0.0;
    bool m_usable = false;
    // Each cell's first node.
    std::unordered_map<uint64_t, int32_t> m_heads;
    std::vector<Slot> m_slots;
};
