#pragma once
// Free functions of the polygon library.
#include "platform/polyops/NORVAPolygonPrimitive.h"

namespace NORVACompGeom {

enum SnapStatus : long { SNAP_OK = 0, SNAP_BAD_TOLERANCE = -1, SNAP_BAD_POINT = -2 };

// Moves (x, y) to the nearest multiple of `tolerance` on each axis. A
// tolerance that is not finite and positive, or a non-finite point, gives a
// non-zero status and leaves the point unchanged.
long snap(double& x, double& y, double tolerance);
// Snaps every vertex of the polygon; the same statuses.
long snap(NORVAPolygonPrimitive& polygon, double tolerance);

}  // namespace NORVACompGeom
