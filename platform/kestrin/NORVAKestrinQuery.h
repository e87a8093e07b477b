#pragma once
// What a point iterator selects: the points near one position (within half
// the store's horizontal resolution along each axis, or a reach of the
// caller's) or those inside a box (edges included).
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAArray.h"

class KIVO_EXPORT NORVAKestrinQuery {
public:
    // (x, y) of the position.
    explicit NORVAKestrinQuery(const NORVAArray<double>& point);
    // (x, y) of the position and how far from it along each axis a point
    // may lie (edges included).
    NORVAKestrinQuery(const NORVAArray<double>& point, double reach);
    // Minimum and maximum corners (x, y).
    NORVAKestrinQuery(const NORVAArray<double>& minimum, const NORVAArray<double>& maximum);

    bool isPointQuery() const { return m_point; }
    double getMinX() const { return m_minX; }
    double getMinY() const { return m_minY; }
    double getMaxX() const { return m_maxX; }
    double getMaxY() const { return m_maxY; }
    // The reach of a point query when the caller gave one.
    bool hasReach() const { return m_hasReach; }
    double getReach() const { return m_reach; }

private:
    bool m_point = false;
    bool m_hasReach = false;
    double m_reach = 0.0;
    double m_minX = 0.0, m_minY = 0.0, m_maxX = 0.0, m_maxY = 0.0;
};
