#include "cube/CUBEHypothesisGridIterator.h"

#include <algorithm>

namespace CUBE {

HypothesisGridIterator::HypothesisGridIterator(Grid& grid, const NORVAnBox<int64_t, 2>* box) : HypothesisIterator(grid) {
    const Index size = grid.getDimensions();
    const NORVAnBox<int64_t, 2> whole(Index(0, 0), size);
    if (!grid.isDisambiguated()) grid.disambiguate(box != nullptr ? box : &whole);
    // Walking past the grid would only visit nodes that do not exist.
    const NORVAnBox<int64_t, 2>& wanted = box != nullptr ? *box : whole;
    Index lo, hi;
    for (size_t i = 0; i < 2; ++i) {
        lo[i] = std::min(std::max<int64_t>(wanted.getMinimum()[i], 0), size[i]);
        hi[i] = std::min(std::max(wanted.getMaximum()[i], lo[i]), size[i]);
    }
    m_box = NORVAnBox<int64_t, 2>(lo, hi);
    m_current = lo;
}

bool HypothesisGridIterator::advance() {
    if (++m_current.x() >= m_box.getMaximum().x()) {
        m_current.x() = m_box.getMinimum().x();
        ++m_current.y();
    }
    return m_current.y() < m_box.getMaximum().y();
}

// Moves on from the current index to the first node with hypotheses.
bool HypothesisGridIterator::settle() {
    const bool empty = m_box.getMinimum().x() >= m_box.getMaximum().x();
    bool inside = !empty && m_current.y() < m_box.getMaximum().y();
    while (inside && !set(m_current)) inside = advance();
    m_done = !inside;
    return inside;
}

bool HypothesisGridIterator::head() {
    m_current = m_box.getMinimum();
    return settle();
}

bool HypothesisGridIterator::next() {
    if (m_box.getMinimum().x() >= m_box.getMaximum().x() || !advance()) {
        m_done = true;
        return false;
    }
    return settle();
}

bool HypothesisGridIterator::moveTo(const Index& index) {
    if (!m_done && m_current == index) return true;
    m_current = index;
    m_done = !set(index);
    return !m_done;
}

}  // namespace CUBE
