#pragma once
// The element a point iterator stands on.
#include "platform/core/KIVOExport.h"
#include "platform/kestrin/NORVAKestrinPoint.h"

class KIVO_EXPORT NORVAKestrinDataPoint {
public:
    NORVAKestrinDataPoint() = default;
    explicit NORVAKestrinDataPoint(const NORVAKestrinPoint& point) : m_point(point) {}

    const NORVAKestrinPoint& getKestrinPoint() const { return m_point; }

private:
    NORVAKestrinPoint m_point;
};
