#include "platform/polyops/NORVAPolygonPrimitive.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace NORVACompGeom {
namespace {

using Ring = NORVAAreaGeometry::Ring;

// Exact arithmetic on doubles: a sum or product is the rounded result plus an
// exactly representable error term.
void twoSum(double a, double b, double& s, double& e) {
    s = a + b;
    const double bv = s - a;
    e = (a - (s - bv)) + (b - bv);
}

void twoProduct(double a, double b, double& p, double& e) {
    p = a * b;
    e = std::fma(a, b, -p);
}

// Adds b to an expansion kept in increasing magnitude, exactly.
void grow(std::vector<double>& expansion, double b) {
    double q = b;
    for (double& component : expansion) {
        double s, e;
        twoSum(q, component, s, e);
        component = e;
        q = s;
    }
    expansion.push_back(q);
}

int signOf(double v) { return (v > 0.0) - (v < 0.0); }

// Sign of the cross product (b - a) x (c - a): positive when c lies left of
// the directed line a->b. Floating-point first; exact when that is unsure.
int orientation(const NORVAPoint2D& a, const NORVAPoint2D& b, double cx, double cy) {
    const double left = (a.x() - cx) * (b.y() - cy);
    const double right = (a.y() - cy) * (b.x() - cx);
    const double det = left - right;
    const double eps = std::numeric_limits<double>::epsilon() / 2;
    const double bound = (3.0 + 16.0 * eps) * eps * (std::fabs(left) + std::fabs(right));
    if (std::fabs(det) > bound) return signOf(det);

    double ax[2], ay[2], bx[2], by[2];
    twoSum(a.x(), -cx, ax[0], ax[1]);
    twoSum(a.y(), -cy, ay[0], ay[1]);
    twoSum(b.x(), -cx, bx[0], bx[1]);
    twoSum(b.y(), -cy, by[0], by[1]);
    std::vector<double> sum;
    sum.reserve(17);
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 2; ++j) {
            double p, e;
            twoProduct(ax[i], by[j], p, e);
            grow(sum, p);
            grow(sum, e);
            twoProduct(-ay[i], bx[j], p, e);
            grow(sum, p);
            grow(sum, e);
        }
    }
    for (auto it = sum.rbegin(); it != sum.rend(); ++it)
        if (*it != 0.0) return signOf(*it);
    return 0;
}

bool between(double v, double a, double b) { return v >= std::min(a, b) && v <= std::max(a, b); }

double distanceToSegment(const NORVAPoint2D& a, const NORVAPoint2D& b, double x, double y) {
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0.0 ? ((x - a.x()) * dx + (y - a.y()) * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(x - (a.x() + t * dx), y - (a.y() + t * dy));
}

Ring cleanRing(const Ring& ring) {
    Ring out;
    for (const NORVAPoint2D& p : ring) {
        if (!std::isfinite(p.x()) || !std::isfinite(p.y())) return Ring();
        if (out.empty() || out.back() != p) out.push_back(p);
    }
    while (out.size() > 1 && out.front() == out.back()) out.pop_back();
    return out.size() >= 3 ? out : Ring();
}

}  // namespace

NORVAPolygonPrimitive::NORVAPolygonPrimitive(const NORVAAreaGeometry& area) { build(area.getPrimitive()); }

NORVAPolygonPrimitive::NORVAPolygonPrimitive(const NORVAAreaGeometry::Rings& rings) { build(rings); }

void NORVAPolygonPrimitive::build(const NORVAAreaGeometry::Rings& rings) {
    m_rings.clear();
    m_box.setEmpty();
    double magnitude = 0.0;
    for (const Ring& r : rings) {
        Ring clean = cleanRing(r);
        if (clean.empty()) continue;
        for (const NORVAPoint2D& p : clean) {
            m_box.add(p);
            magnitude = std::max({magnitude, std::fabs(p.x()), std::fabs(p.y())});
        }
        m_rings.push_back(std::move(clean));
    }
    m_tolerance = 1e-12 * magnitude;
}

NORVAPoint2D NORVAPolygonPrimitive::getFirstVertex() const {
    return m_rings.empty() ? NORVAPoint2D() : m_rings.front().front();
}

bool NORVAPolygonPrimitive::isPointInPolygon(double x, double y, long& status, bool excludeBoundary) const {
    status = m_rings.empty() ? POLYGON_EMPTY : (std::isfinite(x) && std::isfinite(y) ? POLYGON_OK : POLYGON_BAD_POINT);
    if (status != POLYGON_OK) return false;
    const NORVAPoint2D& lo = m_box.getMinimum();
    const NORVAPoint2D& hi = m_box.getMaximum();
    if (x < lo.x() - m_tolerance || x > hi.x() + m_tolerance || y < lo.y() - m_tolerance ||
        y > hi.y() + m_tolerance)
        return false;
    bool inside = false;
    for (const Ring& ring : m_rings) {
        for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
            const NORVAPoint2D& a = ring[j];
            const NORVAPoint2D& b = ring[i];
            if (distanceToSegment(a, b, x, y) <= m_tolerance) return !excludeBoundary;
            if ((a.y() > y) != (b.y() > y) && x < a.x() + (y - a.y()) * (b.x() - a.x()) / (b.y() - a.y()))
                inside = !inside;
        }
    }
    return inside;
}

bool NORVAPolygonPrimitive::isPointInPolygonExact(double x, double y, long& status, int boundaryMode) const {
    status = m_rings.empty() ? POLYGON_EMPTY : (std::isfinite(x) && std::isfinite(y) ? POLYGON_OK : POLYGON_BAD_POINT);
    if (status != POLYGON_OK || !m_box.contains(NORVAPoint2D(x, y))) return false;
    bool inside = false;
    for (const Ring& ring : m_rings) {
        for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
            const NORVAPoint2D& a = ring[j];
            const NORVAPoint2D& b = ring[i];
            const int o = orientation(a, b, x, y);
            if (o == 0 && between(x, a.x(), b.x()) && between(y, a.y(), b.y())) return boundaryMode == 1;
            // Half-open in y so that a vertex on the ray counts once.
            if (a.y() <= y && b.y() > y && o > 0) inside = !inside;
            if (b.y() <= y && a.y() > y && o < 0) inside = !inside;
        }
    }
    return inside;
}

}  // namespace NORVACompGeom
