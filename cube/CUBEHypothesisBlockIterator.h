#pragma once
// Walks the nodes with hypotheses of every grid of a grid set that meets a
// box of surface nodes (maximum exclusive), grid by grid. The grids are
// loaded once, held until the iterator dies, and written back by
// saveModified.
#include "platform/core/KIVOExport.h"
#include <cstdint>
#include <list>
#include <memory>

#include "cube/CUBEGridSet.h"
#include "cube/CUBEHypothesisGridIterator.h"
#include "platform/core/NORVAnBox.h"
#include "platform/core/NORVAnPoint.h"
#include "platform/orbolink/ORBOGeoRaster.h"

namespace CUBE {

class KIVO_EXPORT HypothesisBlockIterator {
public:
    using Index = NORVAnPoint<int64_t, 2>;

    HypothesisBlockIterator(const GridSet& set, const NORVAnBox<int64_t, 2>& box);
    HypothesisBlockIterator(const HypothesisBlockIterator&) = delete;
    HypothesisBlockIterator& operator=(const HypothesisBlockIterator&) = delete;

    bool head();
    bool next();
    bool moveTo(const Index& node);
    bool moveTo(uint64_t linearIndex);
    bool done() const { return m_position == m_grids.end(); }
    // The hypotheses of the current node, for reading and editing; valid
    // while the iterator is not done.
    HypothesisIterator& get() { return m_iterator->get(); }

    const Index& getLocation() const { return m_location; }
    const NORVAnBox<int64_t, 2>& getCover() const { return m_box; }
    const GridSet& getGridSet() const { return *m_set; }
    void getPosition(NORVAnPoint<double, 2>& position) const;
    uint64_t getIndex() const;
    bool isReadOnly() const;
    bool isModified() const;

    // Saves every modified grid to its own file and, with a raster, writes
    // the saved grids' result surfaces into its bands. False when a grid
    // could not be saved or the raster reports a failed write.
    bool saveModified(ORBO_3_12_0_::DataSet::Raster::GeoRaster* raster);

private:
    using GridList = std::list<std::shared_ptr<GridIndex>>;

    int64_t width() const;
    bool enterGrids();
    bool enterGrid(const GridIndex& grid);
    bool skipOutside(bool found);
    void writeBands(const GridIndex& grid, ORBO_3_12_0_::DataSet::Raster::GeoRaster& raster) const;

    GridList m_grids;
    GridList::iterator m_position;
    std::unique_ptr<HypothesisGridIterator> m_iterator;
    const GridSet* m_set;
    NORVAnBox<int64_t, 2> m_box;
    Index m_location;
};

}  // namespace CUBE
