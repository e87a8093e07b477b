#pragma once
#include "platform/core/KIVOExport.h"
#include <vector>

#include "platform/core/NORVAnPoint.h"
#include "platform/shapes/NORVAGeometry.h"

class KIVO_EXPORT NORVALineGeometry : public NORVAGeometry {
public:
    NORVALineGeometry() = default;
    explicit NORVALineGeometry(std::vector<NORVAPoint2D> points) : m_points(std::move(points)) {}

    GeometryType getType() const override { return LINE; }
    NORVABox2D getBoundingBox() const override;
    NORVAType<NORVAGeometry> newCopy() const override;
    void print(std::ostream& os) const override;

    void addPoint(double x, double y) { m_points.emplace_back(x, y); }
    const std::vector<NORVAPoint2D>& getPoints() const { return m_points; }
    size_t getPointCount() const { return m_points.size(); }

private:
    std::vector<NORVAPoint2D> m_points;
};
