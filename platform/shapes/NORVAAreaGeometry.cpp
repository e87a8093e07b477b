#include "platform/shapes/NORVAAreaGeometry.h"

#include <ostream>

NORVAAreaGeometry NORVAAreaGeometry::rectangle(double minX, double minY, double maxX, double maxY) {
    return NORVAAreaGeometry(Ring{{minX, minY}, {maxX, minY}, {maxX, maxY}, {minX, maxY}});
}

NORVABox2D NORVAAreaGeometry::getBoundingBox() const {
    NORVABox2D box;
    for (const Ring& r : m_rings)
        for (const NORVAPoint2D& p : r) box.add(p);
    return box;
}

NORVAType<NORVAGeometry> NORVAAreaGeometry::newCopy() const { return makeNORVAType<NORVAAreaGeometry>(*this); }

void NORVAAreaGeometry::print(std::ostream& os) const {
    os << "NORVAAreaGeometry(" << m_rings.size() << " rings)";
}
