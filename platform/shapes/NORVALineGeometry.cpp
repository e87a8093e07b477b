#include "platform/shapes/NORVALineGeometry.h"

#include <ostream>

NORVABox2D NORVALineGeometry::getBoundingBox() const {
    NORVABox2D box;
    for (const NORVAPoint2D& p : m_points) box.add(p);
    return box;
}

NORVAType<NORVAGeometry> NORVALineGeometry::newCopy() const { return makeNORVAType<NORVALineGeometry>(*this); }

void NORVALineGeometry::print(std::ostream& os) const {
    os << "NORVALineGeometry(" << m_points.size() << " points)";
}
