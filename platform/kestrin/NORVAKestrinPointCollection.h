#pragma once
// A batch of new points for `NORVAKestrinTileStore::addPoints`.
#include "platform/core/KIVOExport.h"
#include <vector>

#include "platform/core/NORVAArray.h"
#include "platform/kestrin/NORVAKestrinPoint.h"

class KIVO_EXPORT NORVAKestrinPointCollection {
public:
    void setSize(size_t n) { m_points.resize(n); }
    size_t getSize() const { return m_points.size(); }
    // Coordinates (x, y) and a copy of the record; -1 for an index out of range
    // or fewer than two coordinates.
    long setPoint(size_t i, const NORVAArray<double>& coordinates, const NORVAKestrinGenericDataObject& record, int);
    // Null for an index out of range.
    NORVAKestrinPoint* getPoint(size_t i) { return i < m_points.size() ? &m_points[i] : nullptr; }
    const NORVAKestrinPoint* getPoint(size_t i) const { return i < m_points.size() ? &m_points[i] : nullptr; }

private:
    std::vector<NORVAKestrinPoint> m_points;
};
