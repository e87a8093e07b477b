#include "core/KIVOAreaGeomIter.h"

KIVOAreaGeomIter::KIVOAreaGeomIter(NORVAType<KIVOSurfaceIter> iter, const NORVAAreaGeometry& area)
    : KIVOSelectingSurfaceIter(std::move(iter)), m_polygon(area) {
    long status = skipUnselected();
    if (status != 0) m_status = status;
}

bool KIVOAreaGeomIter::selects() const {
    double x = 0.0, y = 0.0;
    if (wrapped()->getPosition(x, y, -1) != 0) return false;
    long status = 0;
    return m_polygon.isPointInPolygon(x, y, status, false);
}
