#pragma once
// Narrows a node iterator to the nodes inside a polygon. Without a wrapped
// iterator it is done at once and every getter answers -1 or null.
#include "platform/core/NORVAType.h"
#include "platform/frame/KIVOSurfaceIter.h"
#include "platform/polyops/NORVAPolygonPrimitive.h"
#include "platform/shapes/NORVAAreaGeometry.h"

class KIVOAreaGeomIter : public KIVOSurfaceIter {
public:
    // Takes the iterator over; the area is copied.
    KIVOAreaGeomIter(NORVAType<KIVOSurfaceIter> iter, const NORVAAreaGeometry& area);

    bool done(long& status) const override;
    bool next(long& status) override;
    KIVOAttributeSet* getAttributes() override;
    long getPosition(double& x, double& y, const long& attribute) const override;
    // The wrapped iterator's count, not the number of nodes inside.
    long count() const override;
    const KIVODescriptor& getAttributeDescriptor() const override;
    long setAttributes(const KIVOAttributeSet& attributes) override;

private:
    bool isInside() const;
    void skipOutside(long& status);

    NORVAType<KIVOSurfaceIter> m_iter;
    NORVACompGeom::NORVAPolygonPrimitive m_polygon;
};
