#pragma once
// One loaded or created grid of a grid set, with its place in the set: the
// surface node at the grid's local (0, 0), that node's world position, and
// the grid's (row, column) index.
#include "platform/core/KIVOExport.h"
#include <cstdint>
#include <memory>

#include "cube/CUBEGrid.h"
#include "platform/core/NORVAUString.h"
#include "platform/core/NORVAnBox.h"
#include "platform/core/NORVAnPoint.h"

namespace CUBE {

class KIVO_EXPORT GridIndex {
public:
    using Index = NORVAnPoint<int64_t, 2>;

    GridIndex(std::shared_ptr<Grid> grid, const Index& nodeOrigin, const NORVAnPoint<double, 2>& worldOrigin,
              const Index& index);
    GridIndex(const GridIndex&) = default;
    GridIndex& operator=(const GridIndex&) = default;
    virtual ~GridIndex() = default;

    // The grid itself takes no part in equality.
    bool operator==(const GridIndex& o) const;
    bool operator!=(const GridIndex& o) const { return !(*this == o); }
    bool operator<(const GridIndex& o) const { return m_index < o.m_index; }

    Grid& getGrid() const { return *m_grid; }
    const Index& getIndex() const { return m_index; }
    void getCover(NORVAnBox<double, 2>& box) const;
    // Surface nodes, maximum exclusive.
    void getCover(NORVAnBox<int64_t, 2>& box) const;
    // A box of surface nodes in the grid's own indices; nothing below 0.
    NORVAnBox<int64_t, 2> toLocal(const NORVAnBox<int64_t, 2>& box) const;

    // Resets every node with hypotheses in the box of surface nodes; the
    // first failure's code, else 0.
    long resetRegion(const NORVAnBox<int64_t, 2>& box);

    // "row" + "x" + "column" + ".vcg".
    static NORVAUString getFileName(const Index& index);

private:
    std::shared_ptr<Grid> m_grid;
    Index m_nodeOrigin;
    NORVAnPoint<double, 2> m_worldOrigin;
    Index m_index;
};

}  // namespace CUBE
