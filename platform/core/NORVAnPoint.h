#pragma once
// N-dimensional point: doubles for positions, 64-bit integers for grid indices.
#include <array>
#include <cstddef>
#include <cstdint>

template <class T, size_t N>
class NORVAnPoint {
public:
    NORVAnPoint() { m_v.fill(T()); }
    NORVAnPoint(T x, T y) : NORVAnPoint() {
        static_assert(N >= 2, "two coordinates need N >= 2");
        m_v[0] = x;
        m_v[1] = y;
    }
    NORVAnPoint(T x, T y, T z) : NORVAnPoint() {
        static_assert(N >= 3, "three coordinates need N >= 3");
        m_v[0] = x;
        m_v[1] = y;
        m_v[2] = z;
    }

    T& operator[](size_t i) { return m_v[i]; }
    const T& operator[](size_t i) const { return m_v[i]; }
    T& x() { return m_v[0]; }
    T& y() { return m_v[1]; }
    T x() const { return m_v[0]; }
    T y() const { return m_v[1]; }
    T z() const { return m_v[2]; }
    static constexpr size_t dimensions() { return N; }

    bool operator==(const NORVAnPoint& o) const { return m_v == o.m_v; }
    bool operator!=(const NORVAnPoint& o) const { return m_v != o.m_v; }
    // Component by component, first component first.
    bool operator<(const NORVAnPoint& o) const { return m_v < o.m_v; }
    NORVAnPoint operator+(const NORVAnPoint& o) const {
        NORVAnPoint r;
        for (size_t i = 0; i < N; ++i) r.m_v[i] = m_v[i] + o.m_v[i];
        return r;
    }
    NORVAnPoint operator-(const NORVAnPoint& o) const {
        NORVAnPoint r;
        for (size_t i = 0; i < N; ++i) r.m_v[i] = m_v[i] - o.m_v[i];
        return r;
    }

private:
    std::array<T, N> m_v;
};

using NORVAPoint2D = NORVAnPoint<double, 2>;
using NORVAPoint3D = NORVAnPoint<double, 3>;
using NORVAIndex2D = NORVAnPoint<int64_t, 2>;
