#pragma once
namespace NORVACompGeom {
struct NORVAVector3D {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    NORVAVector3D() = default;
    NORVAVector3D(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
    bool operator==(const NORVAVector3D& o) const { return x == o.x && y == o.y && z == o.z; }
    bool operator!=(const NORVAVector3D& o) const { return !(*this == o); }
};
}  // namespace NORVACompGeom
