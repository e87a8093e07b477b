#pragma once
// Walks the nodes of a CUBE surface that a box, area, point or line query
// meets, reading them from the surface's layer cache grid by grid. Nodes
// without a value of the followed attribute (the one its caller last read)
// are skipped. A monitor, when given, hears the number of grids and a step
// per grid.
#include "platform/core/KIVOExport.h"
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "cube/CUBEGridIdx.h"
#include "cube/KIVOCachedAttributeSet.h"
#include "platform/core/NORVAProgress.h"
#include "platform/core/NORVAnPoint.h"
#include "platform/frame/KIVOSurfaceIter.h"
#include "platform/polyops/NORVAPolygonPrimitive.h"
#include "platform/shapes/NORVAAreaGeometry.h"
#include "platform/shapes/NORVALineGeometry.h"
#include "platform/shapes/NORVAPointGeometry.h"

class KIVOSurfaceCUBEIO;

class KIVO_EXPORT KIVOCUBECachedIter final : public KIVOSurfaceIter {
public:
    using Layer = std::shared_ptr<std::vector<float>>;

    // The surface must outlive the iterator. Geometries are in the surface's
    // coordinates.
    KIVOCUBECachedIter(KIVOSurfaceCUBEIO& surface, double x0, double y0, double x1, double y1,
                       NORVAProgress* progress);
    KIVOCUBECachedIter(KIVOSurfaceCUBEIO& surface, const NORVAAreaGeometry& area, NORVAProgress* progress);
    KIVOCUBECachedIter(KIVOSurfaceCUBEIO& surface, const NORVAPointGeometry& point, NORVAProgress* progress);
    KIVOCUBECachedIter(KIVOSurfaceCUBEIO& surface, const NORVALineGeometry& line, NORVAProgress* progress);

    // Once done after a refused layer, the refusal, for as long as it is done.
    bool done(long& status) const override;
    bool next(long& status) override;
    KIVOAttributeSet* getAttributes() override { return m_attributes.get(); }
    long getPosition(double& x, double& y, const long& attribute) const override;
    // Box and area queries: the nodes of the current grid's range; point and
    // line queries: the number of points.
    long count() const override;
    const KIVODescriptor& getAttributeDescriptor() const override;

private:
    long init(double x0, double y0, double x1, double y1);
    long initCurrentGrid();
    // Makes `attribute` the followed one and gives the set its value at the current node.
    long load(long attribute);
    const Layer& layerOf(long attribute);
    void followLayer(const std::vector<float>* layer);
    bool finished() const;

    bool nextBoxNode();
    bool findBoxNode(uint32_t row, uint32_t column);
    bool advanceGrid();
    void takeBoxNode();
    void placeCursor(uint32_t row, uint32_t column);
    double nodeX(uint32_t column) const;
    double nodeY(uint32_t row) const;
    void settlePosition();

    bool nextPoint();
    void takePoint();
    bool nearestNode(const NORVAPoint2D& point, CUBEGridIdx& grid, uint32_t& row, uint32_t& column) const;

    KIVOSurfaceCUBEIO& m_surface;
    std::unique_ptr<NORVACompGeom::NORVAPolygonPrimitive> m_polygon;
    std::vector<CUBEGridIdx> m_grids;
    size_t m_grid = 0;
    CUBEGridIdx m_gridKey;  // the grid the walk is in
    // Node cursors: row and column within the grid, left and top the node's position.
    CUBEGridIdx m_first;
    CUBEGridIdx m_last;
    CUBEGridIdx m_current;
    double m_x0, m_y0, m_x1, m_y1;
    std::map<long, Layer> m_layers;
    std::unique_ptr<KIVOCachedAttributeSet> m_attributes;
    long m_attribute = 0;
    float m_emptyValue;
    std::vector<NORVAPoint2D> m_points;
    size_t m_point = 0;
    NORVAProgress* m_progress;
    const std::vector<float>* m_layer = nullptr;  // the followed attribute's layer of the grid
    // A layer refused because another object's commit replaced it since the
    // surface was opened: the walk ends there and says so.
    long m_refusal = 0;
    bool m_positionPending = false;  // m_current's left and top not yet worked out
    // The followed layer's values of the cursor's row, open to next() below
    // column m_rowEnd (0: none).
    const float* m_rowValues = nullptr;
    uint32_t m_rowEnd = 0;
};
