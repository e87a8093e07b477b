#pragma once
// The suite's array (a surface's minimum and maximum are arrays of doubles).
#include <cstddef>
#include <initializer_list>
#include <vector>

template <class T>
class NORVAArray {
public:
    NORVAArray() = default;
    explicit NORVAArray(size_t n, const T& v = T()) : m_data(n, v) {}
    NORVAArray(std::initializer_list<T> l) : m_data(l) {}

    size_t size() const { return m_data.size(); }
    size_t getSize() const { return m_data.size(); }
    void resize(size_t n, const T& v = T()) { m_data.resize(n, v); }
    void add(const T& v) { m_data.push_back(v); }
    void clear() { m_data.clear(); }
    T& operator[](size_t i) { return m_data[i]; }
    const T& operator[](size_t i) const { return m_data[i]; }
    T* data() { return m_data.data(); }
    const T* data() const { return m_data.data(); }
    bool operator==(const NORVAArray& o) const { return m_data == o.m_data; }
    bool operator!=(const NORVAArray& o) const { return m_data != o.m_data; }
    typename std::vector<T>::iterator begin() { return m_data.begin(); }
    typename std::vector<T>::iterator end() { return m_data.end(); }
    typename std::vector<T>::const_iterator begin() const { return m_data.begin(); }
    typename std::vector<T>::const_iterator end() const { return m_data.end(); }

private:
    std::vector<T> m_data;
};
