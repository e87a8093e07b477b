#pragma once
namespace NORVACompGeom {
struct NORVAVector2D {
    double x = 0.0;
    double y = 0.0;
    NORVAVector2D() = default;
    NORVAVector2D(double x_, double y_) : x(x_), y(y_) {}
    bool operator==(const NORVAVector2D& o) const { return x == o.x && y == o.y; }
    bool operator!=(const NORVAVector2D& o) const { return !(*this == o); }
};
}  // namespace NORVACompGeom
