#pragma once
// Several geometries treated as one; it owns copies of its members.
#include "platform/core/KIVOExport.h"
#include <vector>

#include "platform/shapes/NORVAGeometry.h"

class KIVO_EXPORT NORVACollectionGeometry : public NORVAGeometry {
public:
    NORVACollectionGeometry() = default;
    NORVACollectionGeometry(const NORVACollectionGeometry& o);
    NORVACollectionGeometry& operator=(const NORVACollectionGeometry& o);
    NORVACollectionGeometry(NORVACollectionGeometry&&) = default;
    NORVACollectionGeometry& operator=(NORVACollectionGeometry&&) = default;

    GeometryType getType() const override { return COLLECTION; }
    NORVABox2D getBoundingBox() const override;
    NORVAType<NORVAGeometry> newCopy() const override;
    void print(std::ostream& os) const override;

    // Null members are ignored.
    void add(NORVAType<NORVAGeometry> member);
    void add(const NORVAGeometry& member) { add(member.newCopy()); }
    size_t getCount() const { return m_members.size(); }
    const NORVAGeometry& get(size_t i) const { return *m_members[i]; }

private:
    std::vector<NORVAType<NORVAGeometry>> m_members;
};
