#include "platform/kestrin/NORVAKestrinQuery.h"

#include <cmath>

namespace {
double at(const NORVAArray<double>& a, size_t i) { return a.size() > i ? a[i] : std::nan(""); }
}  // namespace

NORVAKestrinQuery::NORVAKestrinQuery(const NORVAArray<double>& point)
    : m_point(true), m_minX(at(point, 0)), m_minY(at(point, 1)), m_maxX(m_minX), m_maxY(m_minY) {}

NORVAKestrinQuery::NORVAKestrinQuery(const NORVAArray<double>& minimum, const NORVAArray<double>& maximum)
    : m_minX(at(minimum, 0)), m_minY(at(minimum, 1)), m_maxX(at(maximum, 0)), m_maxY(at(maximum, 1)) {}

NORVAKestrinQuery::NORVAKestrinQuery(const NORVAArray<double>& point, double reach) : NORVAKestrinQuery(point) {
    m_hasReach = true;
    m_reach = reach;
}
