#pragma once
// The pending new nodes of a tile-store surface by grid cell of the
// surface's resolution: the searches that every point query makes are then a
// few cell lookups instead of a descent through an R-tree. It answers only
// what it can answer exactly as the tree would; anything else is left to it.
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "multires/KestrinRTreeEntry.h"
#include "platform/core/KIVOExport.h"
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
    // Whether a node (dx, dy) away from a position is the node there: closer
    // than `reach` along both axes, or at the very position.
    static bool closer(double dx, double dy, double reach) {
        return (std::fabs(dx) < reach && std::fabs(dy) < reach) || (dx == 0.0 && dy == 0.0);
    }
    // Whether a node at (x, y), at squared distance d, is nearer than the
    // best so far; of two as near, the one further west, then south.
    static bool nearer(double d, double x, double y, double best, double bestX, double bestY) {
        return d < best || (d == best && (x < bestX || (x == bestX && y < bestY)));
    }
    // True when the grid holds all `pending` nodes and can tell; `found`
    // then is the node nearest (x, y) of those `closer` than `reach` (below
    // the nodes' size), null when there is none.
    bool nearest(double x, double y, double reach, size_t pending, KestrinRTreeEntry*& found) const;

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
