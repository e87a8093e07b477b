#pragma once
// A polygon area: one or more closed rings (the first is the outline, later
// ones holes or further parts; a point is inside when an odd number of rings
// encloses it). A ring need not repeat its first vertex at the end.
#include "platform/core/KIVOExport.h"
#include <vector>

#include "platform/core/NORVAnPoint.h"
#include "platform/shapes/NORVAGeometry.h"

class KIVO_EXPORT NORVAAreaGeometry : public NORVAGeometry {
public:
    using Ring = std::vector<NORVAPoint2D>;
    using Rings = std::vector<Ring>;

    NORVAAreaGeometry() = default;
    explicit NORVAAreaGeometry(Ring outline) { m_rings.push_back(std::move(outline)); }
    explicit NORVAAreaGeometry(Rings rings) : m_rings(std::move(rings)) {}
    // The rectangle (minimum x, minimum y, maximum x, maximum y).
    static NORVAAreaGeometry rectangle(double minX, double minY, double maxX, double maxY);

    GeometryType getType() const override { return AREA; }
    NORVABox2D getBoundingBox() const override;
    NORVAType<NORVAGeometry> newCopy() const override;
    void print(std::ostream& os) const override;

    void addRing(Ring ring) { m_rings.push_back(std::move(ring)); }
    size_t getRingCount() const { return m_rings.size(); }
    const Ring& getRing(size_t i) const { return m_rings[i]; }
    // The rings a polygon primitive is built from.
    const Rings& getPrimitive() const { return m_rings; }

private:
    Rings m_rings;
};
