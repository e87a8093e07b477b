#pragma once
// Iterator over the nodes of a weighted-grid surface.
//
// Over a box or an area it visits, fragment by fragment, every node holding
// a value in each fragment the box touches (nodes of such a fragment outside
// the box included, nodes outside the raster never); over an area only nodes
// inside the polygon. Over a list of points it takes one step per point and
// serves the node nearest it, or no value when there is none. Fragments that
// cannot be read are skipped. A grid index that cannot be read ends the
// iterator at once, and `done` then reports that failure. The data-IO must
// outlive the iterator.
#include "platform/core/KIVOExport.h"
#include <cstdint>
#include <memory>
#include <vector>

#include "formats/wgrid/KIVOWGridAttributeSet.h"
#include "formats/wgrid/KIVOWGridDataIO.h"
#include "platform/core/NORVAnPoint.h"
#include "platform/frame/KIVOSurfaceIter.h"
#include "platform/polyops/NORVAPolygonPrimitive.h"
#include "platform/shapes/NORVAAreaGeometry.h"

class KIVO_EXPORT KIVOWGridIter : public KIVOSurfaceIter {
public:
    // Over a box (minimum x, minimum y, maximum x, maximum y). A box outside
    // the raster gives an iterator that is done, with status word -1.
    KIVOWGridIter(KIVOWGridDataIO& dataIO, double x0, double y0, double x1, double y1, NORVAProgress* progress);
    KIVOWGridIter(KIVOWGridDataIO& dataIO, const NORVAAreaGeometry& area, NORVAProgress* progress);
    // One step per point; `single`: done at once when the point has no value.
    KIVOWGridIter(KIVOWGridDataIO& dataIO, const std::vector<NORVAPoint2D>& points, bool single,
                  NORVAProgress* progress);
    // Yields nothing.
    explicit KIVOWGridIter(KIVOWGridDataIO& dataIO);

    bool done(long& status) const override;
    bool next(long& status) override;
    KIVOAttributeSet* getAttributes() override;
    // 0 for a node; on a point list the point itself, and 1.
    long getPosition(double& x, double& y, const long& attribute) const override;
    // Points of a point list; otherwise the cells of the collected fragments
    // that lie in the raster (an upper bound of the nodes served).
    long count() const override { return m_count; }
    const KIVODescriptor& getAttributeDescriptor() const override;
    void print(std::ostream& os) const override;

private:
    // Fills the fragment list from the clipped range; 0, or -1 outside the raster.
    long init(double x0, double y0, double x1, double y1);
    bool loadFragment();
    // Moves to the first node at or after the current cell that is served.
    bool seek();
    bool serves(uint64_t cell) const;
    void cellPosition(uint64_t cell, double& x, double& y) const;
    void finish(long status);
    void setPointValue();

    KIVOWGridDataIO& m_dataIO;
    KIVOWGridAttributeSet m_attributes;
    int64_t m_firstColumn = 0, m_endColumn = 0, m_firstRow = 0, m_endRow = 0;
    std::vector<uint64_t> m_fragments;
    size_t m_position = 0;
    uint64_t m_cell = 0;
    uint64_t m_cells = 0;
    KIVOWGridDataIO::DepthFragment m_depth;
    KIVOWGridDataIO::IntensityFragment m_intensity;
    std::unique_ptr<NORVACompGeom::NORVAPolygonPrimitive> m_polygon;
    std::vector<NORVAPoint2D> m_points;
    bool m_pointList = false;
    size_t m_point = 0;
    NORVAProgress* m_progress = nullptr;
    unsigned long m_step = 0;
    long m_count = 0;
    long m_doneStatus = 0;
};
