#pragma once
// N-dimensional box. An empty box has the largest value as minimum and its
// negative as maximum, so that the first added point defines it; a point on a
// face is inside.
#include <algorithm>
#include <limits>

#include "platform/core/NORVAnPoint.h"

template <class T, size_t N>
class NORVAnBox {
public:
    NORVAnBox() { setEmpty(); }
    NORVAnBox(const NORVAnPoint<T, N>& mn, const NORVAnPoint<T, N>& mx) : m_min(mn), m_max(mx) {}

    void setEmpty() {
        for (size_t i = 0; i < N; ++i) {
            m_min[i] = std::numeric_limits<T>::max();
            m_max[i] = lowest();
        }
    }
    bool isEmpty() const {
        for (size_t i = 0; i < N; ++i)
            if (!(m_min[i] <= m_max[i])) return true;
        return false;
    }
    const NORVAnPoint<T, N>& getMinimum() const { return m_min; }
    const NORVAnPoint<T, N>& getMaximum() const { return m_max; }
    NORVAnPoint<T, N>& minimum() { return m_min; }
    NORVAnPoint<T, N>& maximum() { return m_max; }
    void setMinimum(const NORVAnPoint<T, N>& p) { m_min = p; }
    void setMaximum(const NORVAnPoint<T, N>& p) { m_max = p; }

    void add(const NORVAnPoint<T, N>& p) {
        for (size_t i = 0; i < N; ++i) {
            m_min[i] = std::min(m_min[i], p[i]);
            m_max[i] = std::max(m_max[i], p[i]);
        }
    }
    void add(const NORVAnBox& b) {
        if (b.isEmpty()) return;
        add(b.m_min);
        add(b.m_max);
    }
    bool contains(const NORVAnPoint<T, N>& p) const {
        for (size_t i = 0; i < N; ++i)
            if (!(p[i] >= m_min[i] && p[i] <= m_max[i])) return false;
        return true;
    }
    bool intersects(const NORVAnBox& b) const {
        if (isEmpty() || b.isEmpty()) return false;
        for (size_t i = 0; i < N; ++i)
            if (b.m_max[i] < m_min[i] || b.m_min[i] > m_max[i]) return false;
        return true;
    }
    bool operator==(const NORVAnBox& o) const { return m_min == o.m_min && m_max == o.m_max; }
    bool operator!=(const NORVAnBox& o) const { return !(*this == o); }

private:
    static T lowest() {
        return std::numeric_limits<T>::is_signed ? static_cast<T>(-std::numeric_limits<T>::max())
                                                 : std::numeric_limits<T>::lowest();
    }
    NORVAnPoint<T, N> m_min;
    NORVAnPoint<T, N> m_max;
};

using NORVABox2D = NORVAnBox<double, 2>;
using NORVAIndexBox2D = NORVAnBox<int64_t, 2>;
