#pragma once
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAnPoint.h"
#include "platform/shapes/NORVAGeometry.h"

class KIVO_EXPORT NORVAPointGeometry : public NORVAGeometry {
public:
    NORVAPointGeometry() = default;
    NORVAPointGeometry(double x, double y, double z = 0.0) : m_point(x, y, z) {}

    GeometryType getType() const override { return POINT; }
    NORVABox2D getBoundingBox() const override;
    NORVAType<NORVAGeometry> newCopy() const override;
    void print(std::ostream& os) const override;

    double getX() const { return m_point.x(); }
    double getY() const { return m_point.y(); }
    double getZ() const { return m_point.z(); }
    const NORVAPoint3D& getPoint() const { return m_point; }
    void setPoint(double x, double y, double z = 0.0) { m_point = NORVAPoint3D(x, y, z); }

private:
    NORVAPoint3D m_point;
};
