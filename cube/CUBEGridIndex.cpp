#include "cube/CUBEGridIndex.h"

#include <algorithm>

#include "cube/CUBEHypothesisGridIterator.h"

namespace CUBE {

GridIndex::GridIndex(std::shared_ptr<Grid> grid, const Index& nodeOrigin, const NORVAnPoint<double, 2>& worldOrigin,
                     const Index& index)
    : m_grid(std::move(grid)), m_nodeOrigin(nodeOrigin), m_worldOrigin(worldOrigin), m_index(index) {}

bool GridIndex::operator==(const GridIndex& o) const {
    return m_nodeOrigin == o.m_nodeOrigin && m_worldOrigin == o.m_worldOrigin && m_index == o.m_index;
}

void GridIndex::getCover(NORVAnBox<double, 2>& box) const {
    const Index size = m_grid->getDimensions();
    const NORVAnPoint<double, 2> spacing = m_grid->getResolution();
    const NORVAnPoint<double, 2> extent(size.x() * spacing.x(), size.y() * spacing.y());
    box = NORVAnBox<double, 2>(m_worldOrigin, m_worldOrigin + extent);
}

void GridIndex::getCover(NORVAnBox<int64_t, 2>& box) const {
    box = NORVAnBox<int64_t, 2>(m_nodeOrigin, m_nodeOrigin + m_grid->getDimensions());
}

NORVAnBox<int64_t, 2> GridIndex::toLocal(const NORVAnBox<int64_t, 2>& box) const {
    Index lo = box.getMinimum() - m_nodeOrigin;
    const Index hi = box.getMaximum() - m_nodeOrigin;
    lo = Index(std::max<int64_t>(lo.x(), 0), std::max<int64_t>(lo.y(), 0));
    return NORVAnBox<int64_t, 2>(lo, hi);
}

long GridIndex::resetRegion(const NORVAnBox<int64_t, 2>& box) {
    const NORVAnBox<int64_t, 2> local = toLocal(box);
    HypothesisGridIterator it(*m_grid, &local);
    for (bool more = it.head(); more; more = it.next()) {
        const long status = it.get().resetNode();
        if (status != 0) return status;
    }
    return 0;
}

NORVAUString GridIndex::getFileName(const Index& index) {
    static const NORVAUString pattern("########0");
    return NORVAUString::formatPattern(static_cast<double>(index.x()), pattern) + "x" +
           NORVAUString::formatPattern(static_cast<double>(index.y()), pattern) + ".vcg";
}

}  // namespace CUBE
