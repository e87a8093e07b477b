#pragma once
// The element a point iterator stands on.
#include "platform/kestrin/NORVAKestrinPoint.h"

class NORVAKestrinDataPoint {
public:
    NORVAKestrinDataPoint() = default;
    explicit NORVAKestrinDataPoint(const NORVAKestrinPoint& point) : m_point(point) {}

    const NORVAKestrinPoint& getKestrinPoint() const { return m_point; }

private:
    NORVAKestrinPoint m_point;
};
