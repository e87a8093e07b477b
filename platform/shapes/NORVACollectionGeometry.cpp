#include "platform/shapes/NORVACollectionGeometry.h"

#include <ostream>

NORVACollectionGeometry::NORVACollectionGeometry(const NORVACollectionGeometry& o) : NORVAGeometry(o) {
    for (const auto& m : o.m_members) m_members.push_back(m->newCopy());
}

NORVACollectionGeometry& NORVACollectionGeometry::operator=(const NORVACollectionGeometry& o) {
    if (this != &o) {
        NORVACollectionGeometry copy(o);
        *this = std::move(copy);
    }
    return *this;
}

NORVABox2D NORVACollectionGeometry::getBoundingBox() const {
    NORVABox2D box;
    for (const auto& m : m_members) box.add(m->getBoundingBox());
    return box;
}

NORVAType<NORVAGeometry> NORVACollectionGeometry::newCopy() const {
    return makeNORVAType<NORVACollectionGeometry>(*this);
}

void NORVACollectionGeometry::add(NORVAType<NORVAGeometry> member) {
    if (member) m_members.push_back(std::move(member));
}

void NORVACollectionGeometry::print(std::ostream& os) const {
    os << "NORVACollectionGeometry(" << m_members.size() << " members)";
}
