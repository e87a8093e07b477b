#include "platform/frame/KIVOGriddedIter.h"

#include <ostream>

#include "platform/core/NORVASpareBlock.h"
#include "platform/frame/KIVOGriddedDataIO.h"

KIVOGriddedIter::KIVOGriddedIter(KIVOGriddedDataIO& grid, int64_t c0, int64_t r0, int64_t c1, int64_t r1,
                                 bool onlySet, Inside inside)
    : m_grid(grid),
      m_c0(c0),
      m_r0(r0),
      m_c1(c1),
      m_r1(r1),
      m_onlySet(onlySet),
      m_inside(std::move(inside)),
      m_attributes(grid, 0) {
    // Counting costs one pass, but callers size their work by it up front.
    for (int64_t r = m_r0; r <= m_r1; ++r)
        for (int64_t c = m_c0; c <= m_c1; ++c)
            if (accepts(c, r)) ++m_count;
    if (m_count == 0 || !seek(m_c0, m_r0)) markDone();
}

// A point query per node of a combine: no window to count or search.
KIVOGriddedIter::KIVOGriddedIter(KIVOGriddedDataIO& grid, int64_t column, int64_t row, bool onlySet)
    : m_grid(grid),
      m_c0(column),
      m_r0(row),
      m_c1(column),
      m_r1(row),
      m_onlySet(onlySet),
      m_column(column),
      m_row(row),
      m_attributes(grid, static_cast<uint64_t>(row) * grid.getColumns() + static_cast<uint64_t>(column)) {
    m_count = accepts(column, row) ? 1 : 0;
    if (m_count == 0) markDone();
}

void* KIVOGriddedIter::operator new(size_t size) { return NORVASpareBlock<KIVOGriddedIter>::take(size); }

void KIVOGriddedIter::operator delete(void* p, size_t size) { NORVASpareBlock<KIVOGriddedIter>::give(p, size); }

bool KIVOGriddedIter::accepts(int64_t column, int64_t row) const {
    const uint64_t node = static_cast<uint64_t>(row) * m_grid.getColumns() + static_cast<uint64_t>(column);
    if (m_onlySet && !m_grid.nodeHasValue(node)) return false;
    if (!m_inside) return true;
    double x = 0.0, y = 0.0;
    m_grid.nodePosition(static_cast<uint64_t>(column), static_cast<uint64_t>(row), x, y);
    return m_inside(x, y);
}

bool KIVOGriddedIter::seek(int64_t column, int64_t row) {
    for (int64_t r = row; r <= m_r1; ++r) {
        for (int64_t c = (r == row ? column : m_c0); c <= m_c1; ++c) {
            if (!accepts(c, r)) continue;
            m_column = c;
            m_row = r;
            m_attributes.setNode(static_cast<uint64_t>(r) * m_grid.getColumns() + static_cast<uint64_t>(c));
            return true;
        }
    }
    return false;
}

bool KIVOGriddedIter::next(long& status) {
    status = 0;
    if (done(status)) return false;
    if (seek(m_column + 1, m_row)) return true;
    markDone();
    return false;
}

KIVOAttributeSet* KIVOGriddedIter::getAttributes() {
    long status = 0;
    return done(status) ? nullptr : &m_attributes;
}

long KIVOGriddedIter::getPosition(double& x, double& y, const long& attribute) const {
    long status = 0;
    if (done(status)) return -1;
    m_grid.nodePosition(static_cast<uint64_t>(m_column), static_cast<uint64_t>(m_row), x, y);
    return 0;
}

const KIVODescriptor& KIVOGriddedIter::getAttributeDescriptor() const { return m_grid.getDescriptor(); }

long KIVOGriddedIter::setAttributes(const KIVOAttributeSet& attributes) {
    long status = 0;
    if (done(status)) return -1;
    long result = 0;
    const long n = m_grid.getDescriptor().getNumberOfPersistent();
    for (long i = 0; i < n; ++i) {
        const long s = m_grid.copyIn(m_attributes.getNode(), i, attributes, i);
        if (s != 0 && result == 0) result = s;
    }
    return result;
}

void KIVOGriddedIter::print(std::ostream& os) const {
    os << "KIVOGriddedIter(columns " << m_c0 << ".." << m_c1 << ", rows " << m_r0 << ".." << m_r1 << ", "
       << m_count << " nodes)";
}
