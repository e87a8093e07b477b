#pragma once
// Walks the nodes of one CUBE grid inside a box of grid indices (maximum
// exclusive), row by row, stopping only at nodes that have hypotheses.
#include "platform/core/KIVOExport.h"
#include "cube/CUBEHypothesisIterator.h"
#include "platform/core/NORVAnBox.h"

namespace CUBE {

class KIVO_EXPORT HypothesisGridIterator : public HypothesisIterator {
public:
    // Without a box the whole grid; a grid not yet disambiguated is
    // disambiguated over the box first. The iterator starts done.
    HypothesisGridIterator(Grid& grid, const NORVAnBox<int64_t, 2>* box = nullptr);

    bool head();
    bool next();
    using HypothesisIterator::next;
    bool moveTo(const Index& index);
    HypothesisIterator& get() { return *this; }
    const Index& getPosition() const { return m_current; }
    // Whether the walk over the nodes has ended.
    bool done() const override { return m_done; }

private:
    bool advance();
    bool settle();

    Index m_current;
    NORVAnBox<int64_t, 2> m_box;
    bool m_done = true;
};

}  // namespace CUBE
