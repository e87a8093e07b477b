#include "cube/CUBEHypothesisBlockIterator.h"

#include <algorithm>

namespace CUBE {

namespace {

using ORBO_3_12_0_::DataSet::DataVectorND;
using ORBO_3_12_0_::DataSet::Raster::Band;

struct BandSource {
    const char* band;
    int surface;
    bool negate;  // depths go out positive up
};

const BandSource kBands[] = {{"Depth", Grid::DEPTH, true},
                             {"Uncertainty", Grid::UNCERTAINTY, false},
                             {"Std_Dev", Grid::STD_DEV, false},
                             {"Mean", Grid::MEAN, true},
                             {"Node_Std_Dev", Grid::NODE_STD_DEV, false},
                             {"Density", Grid::DENSITY, false},
                             {"Hypothesis_Count", Grid::HYPOTHESIS_COUNT, false},
                             {"Hypothesis_Strength", Grid::STRENGTH, false},
                             {"User_Nominated", Grid::NOMINATED, false}};

NORVAnBox<int64_t, 2> meet(const NORVAnBox<int64_t, 2>& a, const NORVAnBox<int64_t, 2>& b) {
    NORVAnPoint<int64_t, 2> lo, hi;
    for (size_t i = 0; i < 2; ++i) {
        lo[i] = std::max(a.getMinimum()[i], b.getMinimum()[i]);
        hi[i] = std::min(a.getMaximum()[i], b.getMaximum()[i]);
    }
    return NORVAnBox<int64_t, 2>(lo, hi);
}

std::shared_ptr<DataVectorND<2>> copyOf(const DataVectorND<2>& surface) {
    auto block = std::make_shared<DataVectorND<2>>(surface.getType(), surface.getDimensions());
    for (uint64_t i = 0; i < surface.count(); ++i) block->setFromDouble(i, surface.getAsDouble(i));
    return block;
}

void negate(DataVectorND<2>& block, double noData) {
    for (uint64_t i = 0; i < block.count(); ++i) {
        const double v = block.getAsDouble(i);
        if (v != noData) block.setFromDouble(i, -v);
    }
}

}  // namespace

HypothesisBlockIterator::HypothesisBlockIterator(const GridSet& set, const NORVAnBox<int64_t, 2>& box)
    : m_set(&set), m_box(box), m_location(box.getMinimum()) {
    std::list<Index> indices;
    set.getGridsWithin(NORVAnBox<int64_t, 2>(box.getMinimum(), box.getMaximum() - Index(1, 1)), indices);
    for (const Index& index : indices)
        if (std::shared_ptr<GridIndex> grid = set.getGrid(index)) m_grids.push_back(std::move(grid));
    m_position = m_grids.end();
}

bool HypothesisBlockIterator::enterGrid(const GridIndex& grid) {
    NORVAnBox<int64_t, 2> cover;
    grid.getCover(cover);
    const NORVAnBox<int64_t, 2> local = grid.toLocal(meet(cover, m_box));
    m_iterator.reset(new HypothesisGridIterator(grid.getGrid(), &local));
    return skipOutside(m_iterator->head());
}

// Steps the grid iterator on while it stands outside the box.
bool HypothesisBlockIterator::skipOutside(bool found) {
    NORVAnBox<int64_t, 2> cover;
    (*m_position)->getCover(cover);
    while (found) {
        m_location = m_iterator->getPosition() + cover.getMinimum();
        if (m_box.contains(m_location)) return true;
        found = m_iterator->next();
    }
    return false;
}

// From the current list position on, the first grid with a node.
bool HypothesisBlockIterator::enterGrids() {
    for (; m_position != m_grids.end(); ++m_position)
        if (enterGrid(**m_position)) return true;
    m_iterator.reset();
    return false;
}

bool HypothesisBlockIterator::head() {
    m_position = m_grids.begin();
    return enterGrids();
}

bool HypothesisBlockIterator::next() {
    if (done() || !m_iterator) return false;
    if (skipOutside(m_iterator->next())) return true;
    ++m_position;
    return enterGrids();
}

bool HypothesisBlockIterator::moveTo(const Index& node) {
    Index index;
    if (!m_set->getIndex(node, index)) return false;
    if (done() || (*m_position)->getIndex() != index) {
        m_position = std::find_if(m_grids.begin(), m_grids.end(),
                                  [&](const std::shared_ptr<GridIndex>& g) { return g->getIndex() == index; });
        if (m_position == m_grids.end() || !enterGrid(**m_position)) {
            m_position = m_grids.end();
            m_iterator.reset();
            return false;
        }
    }
    NORVAnBox<int64_t, 2> cover;
    (*m_position)->getCover(cover);
    if (!m_iterator->moveTo(node - cover.getMinimum())) {
        m_position = m_grids.end();
        m_iterator.reset();
        return false;
    }
    m_location = node;
    return true;
}

int64_t HypothesisBlockIterator::width() const {
    return std::max<int64_t>(m_box.getMaximum().x() - m_box.getMinimum().x(), 0);
}

bool HypothesisBlockIterator::moveTo(uint64_t linearIndex) {
    const uint64_t w = static_cast<uint64_t>(width());
    if (w == 0) return false;
    const Index node(m_box.getMinimum().x() + static_cast<int64_t>(linearIndex % w),
                     m_box.getMinimum().y() + static_cast<int64_t>(linearIndex / w));
    return moveTo(node);
}

uint64_t HypothesisBlockIterator::getIndex() const {
    return static_cast<uint64_t>((m_location.y() - m_box.getMinimum().y()) * width() +
                                 (m_location.x() - m_box.getMinimum().x()));
}

void HypothesisBlockIterator::getPosition(NORVAnPoint<double, 2>& position) const {
    const NORVAnPoint<double, 2>& spacing = m_set->getResolution();
    const NORVAnPoint<double, 2>& origin = m_set->getOrigin();
    position = NORVAnPoint<double, 2>(m_location.x() * spacing.x() + origin.x(),
                                      m_location.y() * spacing.y() + origin.y());
}

bool HypothesisBlockIterator::isReadOnly() const {
    return std::any_of(m_grids.begin(), m_grids.end(), [](const auto& g) { return g->getGrid().isReadOnly(); });
}

bool HypothesisBlockIterator::isModified() const {
    return std::any_of(m_grids.begin(), m_grids.end(), [](const auto& g) { return g->getGrid().isModified(); });
}

bool HypothesisBlockIterator::saveModified(ORBO_3_12_0_::DataSet::Raster::GeoRaster* raster) {
    bool saved = true;
    for (const std::shared_ptr<GridIndex>& grid : m_grids) {
        if (!grid->getGrid().isModified()) continue;
        if (grid->getGrid().save(nullptr) != 0) {
            saved = false;
            continue;
        }
        if (raster != nullptr) writeBands(*grid, *raster);
    }
    return saved && (raster == nullptr || raster->getStatus() == 0);
}

// Raster cells are surface nodes; a grid's surfaces hold its nodes from its
// node origin on, so the part inside the box goes to the same cells.
void HypothesisBlockIterator::writeBands(const GridIndex& grid, ORBO_3_12_0_::DataSet::Raster::GeoRaster& raster) const {
    NORVAnBox<int64_t, 2> cover;
    grid.getCover(cover);
    const NORVAnBox<int64_t, 2> window = meet(cover, m_box);
    const NORVAnBox<int64_t, 2> local(window.getMinimum() - cover.getMinimum(),
                                      window.getMaximum() - cover.getMinimum());
    for (const BandSource& source : kBands) {
        Band* band = raster.getBand(source.band);
        const Grid::SurfacePtr surface = grid.getGrid().getResult(source.surface);
        if (band == nullptr || !surface) continue;
        std::shared_ptr<DataVectorND<2>> block =
            cover == m_box ? surface : ORBO_3_12_0_::DataSet::DataVectorUtils::copySubsection(*surface, local);
        if (!block) continue;
        if (source.negate) {
            // The grid's own surfaces must not be negated in place.
            if (block == surface) block = copyOf(*surface);
            negate(*block, band->getNoDataValue());
        }
        band->write(*block, window.getMinimum());
    }
}

}  // namespace CUBE
