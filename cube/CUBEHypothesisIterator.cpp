#include "cube/CUBEHypothesisIterator.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "cube_engine/cube_node.h"

namespace CUBE {

namespace {

constexpr double kNoValue = std::numeric_limits<double>::max();
constexpr uint32_t kNullFlag = 1u;
constexpr uint32_t kRemovedFlag = 2u;

float cellValue(const Grid::SurfacePtr& surface, uint64_t cell) {
    return static_cast<float>(surface->getAsDouble(cell));
}

}  // namespace

HypothesisIterator::HypothesisIterator(Grid& grid) : m_grid(&grid) {}

HypothesisIterator::~HypothesisIterator() { freeRecords(); }

void HypothesisIterator::print(std::ostream& os) const {
    os << "CUBE::HypothesisIterator(" << m_index.x() << ", " << m_index.y() << ": " << m_position << " of "
       << m_count << ")";
}

void HypothesisIterator::freeRecords() {
    std::free(m_records);
    m_records = nullptr;
    m_count = 0;
    m_position = 0;
}

bool HypothesisIterator::set(const Index& index) {
    freeRecords();
    m_node = nullptr;
    const Grid::SurfacePtr depth = m_grid->getResult(Grid::DEPTH);
    const Grid::SurfacePtr strength = m_grid->getResult(Grid::STRENGTH);
    const Index size = m_grid->getDimensions();
    // The cell number alone would let a column past the east edge wrap onto
    // the next row.
    if (!depth || !strength || index.x() < 0 || index.y() < 0 || index.x() >= size.x() || index.y() >= size.y()) {
        markDone(true);
        return false;
    }
    const uint64_t cell = static_cast<uint64_t>(index.y() * size.x() + index.x());
    m_depth = cellValue(depth, cell);
    m_strength = cellValue(strength, cell);
    m_index = index;
    m_nominated = false;
    m_node = m_grid->getNode(index);
    int found = 0;
    if (m_node != nullptr) m_records = cube_node_enumerate_hypotheses(m_node, &found);
    if (m_records == nullptr || found <= 0) {
        freeRecords();
        markDone(true);
        return false;
    }
    m_count = static_cast<unsigned>(found);
    m_nominated = cube_node_is_nominated(m_node) != 0;
    markDone(false);
    return true;
}

void HypothesisIterator::head() {
    m_position = 0;
    markDone(m_count == 0);
}

bool HypothesisIterator::next(long& status) {
    status = 0;
    if (m_position < m_count) ++m_position;
    const bool more = m_position < m_count;
    markDone(!more);
    return more;
}

HypothesisIterator& HypothesisIterator::operator[](unsigned i) {
    m_position = i;
    markDone(i >= m_count);
    return *this;
}

const cube_hypothesis_record* HypothesisIterator::current() const {
    return m_records != nullptr && m_position < m_count ? &m_records[m_position] : nullptr;
}

double HypothesisIterator::getDepth() const { return current() ? current()->depth : kNoValue; }
double HypothesisIterator::getVariance() const { return current() ? current()->mean_var_dev : kNoValue; }
double HypothesisIterator::getStdDev() const { return current() ? current()->sample_dev : kNoValue; }
double HypothesisIterator::getMean() const { return current() ? current()->mean : kNoValue; }
unsigned long HypothesisIterator::getNumSamples() const { return current() ? current()->samples : 0; }
bool HypothesisIterator::isNull() const { return current() && (current()->flags & kNullFlag) != 0; }
bool HypothesisIterator::isRemoved() const { return current() && (current()->flags & kRemovedFlag) != 0; }

bool HypothesisIterator::isSelectedHypothesis() const {
    if (current() == nullptr || (isNull() && isRemoved())) return false;
    return std::fabs(static_cast<double>(current()->depth) - m_depth) < kSelectedTolerance;
}

long HypothesisIterator::checkEdit(bool needsHypothesis) const {
    if (m_node == nullptr) return kNoHypothesis;
    if (m_grid->isReadOnly()) return kReadOnly;
    if (needsHypothesis && (NORVAIter::done() || current() == nullptr)) return kNoHypothesis;
    return 0;
}

long HypothesisIterator::finishEdit(CellUpdate update) {
    m_grid->markModified();
    if (update == CellUpdate::Redo) {
        const NORVAnBox<int64_t, 2> cell(m_index, m_index + Index(1, 1));
        m_grid->disambiguate(&cell);
    } else if (update == CellUpdate::Empty) {
        m_grid->resetSurfaces(m_index);
    }
    // The view stays as it was: the records are the iterator's own copy, so
    // nothing of the node is read through them, and further edits of the
    // same hypothesis or node can follow. `set` reads the node afresh.
    return 0;
}

long HypothesisIterator::nominate() {
    const long status = checkEdit(true);
    if (status != 0) return status;
    const long result = m_grid->setNomination(m_index, true, current()->depth);
    return result != 0 ? result : finishEdit(CellUpdate::Done);
}

long HypothesisIterator::clearNominated() {
    const long status = checkEdit(true);
    if (status != 0) return status;
    const long result = m_grid->setNomination(m_index, false, 0.0f);
    return result != 0 ? result : finishEdit(CellUpdate::Done);
}

long HypothesisIterator::rejectHyp() {
    const long status = checkEdit(true);
    if (status != 0) return status;
    if (!cube_node_reject_hypothesis(m_node, current()->depth)) return kEngineRefused;
    return finishEdit(CellUpdate::Redo);
}

long HypothesisIterator::acceptHyp() {
    const long status = checkEdit(true);
    if (status != 0) return status;
    if (!cube_node_accept_hypothesis(m_node, current()->depth)) return kEngineRefused;
    return finishEdit(CellUpdate::Redo);
}

long HypothesisIterator::rejectNode() {
    const long status = checkEdit(false);
    if (status != 0) return status;
    if (!cube_node_reject_hypothesis(m_node, std::nanf(""))) return kEngineRefused;
    return finishEdit(CellUpdate::Empty);
}

long HypothesisIterator::acceptNode() {
    const long status = checkEdit(false);
    if (status != 0) return status;
    if (!cube_node_accept_hypothesis(m_node, std::nanf(""))) return kEngineRefused;
    return finishEdit(CellUpdate::Redo);
}

long HypothesisIterator::setNull() {
    const long status = checkEdit(true);
    if (status != 0) return status;
    if (!cube_node_set_null(m_node, current()->depth)) return kEngineRefused;
    return finishEdit(CellUpdate::Empty);
}

long HypothesisIterator::clearNull() {
    const long status = checkEdit(true);
    if (status != 0) return status;
    if (!cube_node_clear_null(m_node, current()->depth)) return kEngineRefused;
    return finishEdit(CellUpdate::Redo);
}

long HypothesisIterator::resetNode() {
    const long status = checkEdit(false);
    if (status != 0) return status;
    cube_node_reset(m_node);
    return finishEdit(CellUpdate::Empty);
}

}  // namespace CUBE
