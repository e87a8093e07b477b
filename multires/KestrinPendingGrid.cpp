#include "multires/KestrinPendingGrid.h"

#include <algorithm>
#include <cmath>

namespace {

// Cells are numbered inside 32 bits; a window wider than this many cells
// along an axis is left to the tree.
constexpr double kCellLimit = 2147483647.0;
constexpr int64_t kMostCells = 4;

}  // namespace

void KestrinPendingGrid::reset(double size) {
    m_heads.clear();
    m_slots.clear();
    m_size = size;
    m_usable = std::isfinite(size) && size > 0.0;
}

bool KestrinPendingGrid::cellOf(double x, double y, int64_t& cx, int64_t& cy) const {
    const double fx = std::floor(x / m_size), fy = std::floor(y / m_size);
    if (!(std::fabs(fx) < kCellLimit) || !(std::fabs(fy) < kCellLimit)) return false;
    cx = static_cast<int64_t>(fx);
    cy = static_cast<int64_t>(fy);
    return true;
}

void KestrinPendingGrid::add(KestrinRTreeEntry* entry, double x, double y, double size, size_t pending) {
    int64_t cx = 0, cy = 0;
    // A node of another size, or one the cells cannot number, leaves the
    // grid unusable until it is reset.
    if (!m_usable || size != m_size || pending != m_slots.size() + 1 || !cellOf(x, y, cx, cy) ||
        m_slots.size() >= static_cast<size_t>(INT32_MAX)) {
        m_usable = false;
        return;
    }
    int32_t& head = m_heads.try_emplace(key(cx, cy), -1).first->second;
    m_slots.push_back({entry, x, y, head});
    head = static_cast<int32_t>(m_slots.size() - 1);
}

int32_t KestrinPendingGrid::firstOf(uint64_t k) const {
    const auto found = m_heads.find(k);
    return found == m_heads.end() ? -1 : found->second;
}

bool KestrinPendingGrid::nearest(double x, double y, double reach, size_t pending, KestrinRTreeEntry*& found) const {
    found = nullptr;
    if (!m_usable || pending != m_slots.size() || !(reach >= 0.0) || !(reach < m_size)) return false;
    // A hair wider than the reach, for the rounding of the cells' bounds.
    const double pad = reach + m_size * 1e-9;
    int64_t left = 0, bottom = 0, right = 0, top = 0;
    if (!cellOf(x - pad, y - pad, left, bottom) || !cellOf(x + pad, y + pad, right, top)) return false;
    double best = HUGE_VAL, bestX = 0.0, bestY = 0.0;
    for (int64_t cx = left; cx <= right; ++cx)
        for (int64_t cy = bottom; cy <= top; ++cy)
            for (int32_t s = firstOf(key(cx, cy)); s >= 0; s = m_slots[static_cast<size_t>(s)].next) {
                const Slot& slot = m_slots[static_cast<size_t>(s)];
                const double dx = slot.x - x, dy = slot.y - y, d = dx * dx + dy * dy;
                if (!closer(dx, dy, reach) || (found && !nearer(d, slot.x, slot.y, best, bestX, bestY))) continue;
                found = slot.entry;
                best = d;
                bestX = slot.x;
                bestY = slot.y;
            }
    return true;
}

bool KestrinPendingGrid::search(double x0, double y0, double x1, double y1, size_t pending,
                                std::vector<Leaf*>& found) const {
    if (!m_usable || pending != m_slots.size() || !(x0 <= x1) || !(y0 <= y1)) return false;
    // A node's box reaches half a cell from its position (and a little more,
    // for rounding): its cell lies within these.
    const double reach = m_size * 0.5 + m_size * 1e-6;
    int64_t left = 0, bottom = 0, right = 0, top = 0;
    if (!cellOf(x0 - reach, y0 - reach, left, bottom) || !cellOf(x1 + reach, y1 + reach, right, top) ||
        right - left >= kMostCells || top - bottom >= kMostCells)
        return false;
    const NORVARTreeNode<double, 2>::Box window(NORVAPoint2D(x0, y0), NORVAPoint2D(x1, y1));
    for (int64_t cx = left; cx <= right; ++cx)
        for (int64_t cy = bottom; cy <= top; ++cy) {
            for (int32_t s = firstOf(key(cx, cy)); s >= 0; s = m_slots[static_cast<size_t>(s)].next) {
                KestrinRTreeEntry* entry = m_slots[static_cast<size_t>(s)].entry;
                if (entry->overlap(window)) found.push_back(entry);
            }
        }
    return true;
}
