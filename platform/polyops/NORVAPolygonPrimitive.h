#pragma once
// A polygon of one or more rings for point-in-polygon tests (even-odd rule:
// holes are rings inside the outline).
#include "platform/core/KIVOExport.h"
#include <vector>

#include "platform/core/NORVAType.h"
#include "platform/core/NORVAnBox.h"
#include "platform/core/NORVAnPoint.h"
#include "platform/shapes/NORVAAreaGeometry.h"

namespace NORVACompGeom {

class KIVO_EXPORT NORVAPolygonPrimitive {
public:
    enum Status : long { POLYGON_OK = 0, POLYGON_EMPTY = -1, POLYGON_BAD_POINT = -2 };

    NORVAPolygonPrimitive() = default;
    explicit NORVAPolygonPrimitive(const NORVAAreaGeometry& area);
    explicit NORVAPolygonPrimitive(const NORVAAreaGeometry::Rings& rings);

    NORVAType<NORVAPolygonPrimitive> newCopy() const { return makeNORVAType<NORVAPolygonPrimitive>(*this); }

    // Floating-point test with a small tolerance: a point on an edge or a
    // vertex (within about 1e-12 of the polygon's size) is inside unless
    // `excludeBoundary`. Status POLYGON_EMPTY without a usable ring,
    // POLYGON_BAD_POINT for a non-finite point; both answer false.
    bool isPointInPolygon(double x, double y, long& status, bool excludeBoundary = false) const;
    // Exact orientation arithmetic: only a point exactly on the boundary is
    // on it; it is inside when `boundaryMode` is 1, outside when 0.
    bool isPointInPolygonExact(double x, double y, long& status, int boundaryMode = 1) const;

    // Rings without a repeated closing vertex and with at least three vertices.
    const NORVAAreaGeometry::Rings& getRings() const { return m_rings; }
    const NORVABox2D& getBoundingBox() const { return m_box; }
    bool isEmpty() const { return m_rings.empty(); }
    // The first vertex of the first ring; (0, 0) when empty.
    NORVAPoint2D getFirstVertex() const;

private:
    void build(const NORVAAreaGeometry::Rings& rings);

    NORVAAreaGeometry::Rings m_rings;
    NORVABox2D m_box;
    double m_tolerance = 0.0;
};

}  // namespace NORVACompGeom
