#pragma once
// Narrows a node iterator to the nodes inside a polygon. Without a wrapped
// iterator it is done at once and every getter answers -1 or null. Its count
// is the wrapped iterator's, not the number of nodes inside.
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAType.h"
#include "platform/frame/KIVOSelectingSurfaceIter.h"
#include "platform/polyops/NORVAPolygonPrimitive.h"
#include "platform/shapes/NORVAAreaGeometry.h"

class KIVO_EXPORT KIVOAreaGeomIter : public KIVOSelectingSurfaceIter {
public:
    // Takes the iterator over; the area is copied.
    KIVOAreaGeomIter(NORVAType<KIVOSurfaceIter> iter, const NORVAAreaGeometry& area);

protected:
    bool selects() const override;

private:
    NORVACompGeom::NORVAPolygonPrimitive m_polygon;
};
