#pragma once
// The pending new nodes of a tile-store surface by grid cell of the
// surface's resolution, beside the R-tree that holds them: the point and
// one-node searches that every point query makes are then a few cell
// lookups instead of a descent through the tree. It answers only what it
// can answer exactly as the tree would; anything else is left to the tree.
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "multires/KestrinRTreeEntry.h"
#include "platform/polyops/NORVARTree.h"

class KestrinPendingGrid {
public:
    using Leaf = NORVARTreeLeaf<double, 2>;

    // Forgets every node; nodes added from now on have boxes of side `size`.
    void reset(double size);
    // Notes a node just inserted into the tree (of `treeSize` leaves now).
    void add(KestrinRTreeEntry* entry, double x, double y, double size, size_t treeSize);
    // True when the grid holds exactly the tree's leaves and can search the
    // window; `found` then gets the leaves whose box overlaps it.
    bool search(double x0, double y0, double x1, double y1, size_t treeSize, std::vector<Leaf*>& found) const;

private:
    bool cellOf(double x, double y, int64_t& cx, int64_t& cy) const;
    static uint64_t key(int64_t cx, int64_t cy) {
        return (static_cast<uint64_t>(static_cast<uint32_t>(cx)) << 32) | static_cast<uint32_t>(cy);
    }

    struct Slot {
        KestrinRTreeEntry* entry;
        int32_t next;  // the next node of the same cell, -1 at the end
    };
    double m_size = 0.0;
    bool m_usable = false;
    std::unordered_map<uint64_t, int32_t> m_first;
    std::vector<Slot> m_slots;
};
