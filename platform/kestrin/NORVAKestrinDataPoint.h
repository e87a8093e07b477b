#pragma once
// The element a point iterator stands on.
#include "platform/core/KIVOExport.h"
#include <utility>

#include "platform/kestrin/NORVAKestrinPoint.h"

class KIVO_EXPORT NORVAKestrinDataPoint {
public:
    NORVAKestrinDataPoint() = default;
    explicit NORVAKestrinDataPoint(const NORVAKestrinPoint& point) : m_point(point) {}

    const NORVAKestrinPoint& getKestrinPoint() const { return m_point; }
    // Takes the point's values over, reusing the room already held.
    void set(const NORVAKestrinPoint& point) { m_point = point; }
    void set(NORVAKestrinPoint&& point) { m_point = std::move(point); }

private:
    NORVAKestrinPoint m_point;
};
