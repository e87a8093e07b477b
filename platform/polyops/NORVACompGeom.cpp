#include "platform/polyops/NORVACompGeom.h"

#include <cmath>

namespace NORVACompGeom {

long snap(double& x, double& y, double tolerance) {
    if (!std::isfinite(tolerance) || !(tolerance > 0.0)) return SNAP_BAD_TOLERANCE;
    if (!std::isfinite(x) || !std::isfinite(y)) return SNAP_BAD_POINT;
    const double sx = std::nearbyint(x / tolerance) * tolerance;
    const double sy = std::nearbyint(y / tolerance) * tolerance;
    if (!std::isfinite(sx) || !std::isfinite(sy)) return SNAP_BAD_POINT;
    x = sx;
    y = sy;
    return SNAP_OK;
}

long snap(NORVAPolygonPrimitive& polygon, double tolerance) {
    NORVAAreaGeometry::Rings rings = polygon.getRings();
    for (auto& ring : rings) {
        for (auto& p : ring) {
            const long status = snap(p.x(), p.y(), tolerance);
            if (status != SNAP_OK) return status;
        }
    }
    polygon = NORVAPolygonPrimitive(rings);
    return SNAP_OK;
}

}  // namespace NORVACompGeom
