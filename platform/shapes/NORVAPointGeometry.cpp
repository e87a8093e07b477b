#include "platform/shapes/NORVAPointGeometry.h"

#include <ostream>

NORVABox2D NORVAPointGeometry::getBoundingBox() const {
    const NORVAPoint2D p(m_point.x(), m_point.y());
    return NORVABox2D(p, p);
}

NORVAType<NORVAGeometry> NORVAPointGeometry::newCopy() const { return makeNORVAType<NORVAPointGeometry>(*this); }

void NORVAPointGeometry::print(std::ostream& os) const {
    os << "NORVAPointGeometry(" << m_point.x() << ", " << m_point.y() << ", " << m_point.z() << ")";
}
