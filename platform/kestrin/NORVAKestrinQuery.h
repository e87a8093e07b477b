#pragma once
// What a point iterator selects: the points near one position (within half
// the store's horizontal resolution along each axis) or those inside a box
// (edges included).
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAArray.h"

class KIVO_EXPORT NORVAKestrinQuery {
public:
    // (x, y) of the position.
    explicit NORVAKestrinQuery(const NORVAArray<double>& point);
    // Minimum and maximum corners (x, y).
    NORVAKestrinQuery(const NORVAArray<double>& minimum, const NORVAArray<double>& maximum);

    bool isPointQuery() const { return m_point; }
    double getMinX() const { return m_minX; }
    double getMinY() const { return m_minY; }
    double getMaxX() const { return m_maxX; }
    double getMaxY() const { return m_maxY; }

private:
    bool m_point = false;
    double m_minX = 0.0, m_minY = 0.0, m_maxX = 0.0, m_maxY = 0.0;
};
