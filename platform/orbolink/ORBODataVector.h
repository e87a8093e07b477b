#pragma once
// Typed N-dimensional blocks of the data-set layer: the element type is a
// run-time code, the values are held in one contiguous array with the first
// dimension (columns) varying fastest.
#include "platform/core/KIVOExport.h"
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/core/NORVAnBox.h"
#include "platform/core/NORVAnPoint.h"

namespace ORBO_3_12_0_ {
namespace DataSet {

// Element types by the data-set layer's codes.
enum DataTypeCode : int32_t {
    DT_FLOAT32 = 0,
    DT_UINT32 = 3,
    DT_INT8 = 6
};

// Bytes per element; 0 for a code this layer does not hold.
KIVO_EXPORT size_t dataTypeSize(int32_t type);

template <size_t N>
class KIVO_EXPORT DataVectorND {
public:
    using Index = NORVAnPoint<int64_t, N>;

    // A negative extent counts as empty, an unknown type holds nothing.
    DataVectorND(int32_t type, const Index& dimensions) : m_type(type), m_dimensions(dimensions) {
        m_bytes.resize(static_cast<size_t>(count()) * dataTypeSize(type));
    }

    int32_t getType() const { return m_type; }
    const Index& getDimensions() const { return m_dimensions; }
    uint64_t count() const {
        uint64_t n = 1;
        for (size_t i = 0; i < N; ++i) n *= m_dimensions[i] > 0 ? static_cast<uint64_t>(m_dimensions[i]) : 0;
        return n;
    }

    // Typed view; null unless T has the size of the element type.
    template <class T>
    T* data() {
        return sizeof(T) == dataTypeSize(m_type) && !m_bytes.empty() ? reinterpret_cast<T*>(m_bytes.data()) : nullptr;
    }
    template <class T>
    const T* data() const {
        return sizeof(T) == dataTypeSize(m_type) && !m_bytes.empty() ? reinterpret_cast<const T*>(m_bytes.data())
                                                                      : nullptr;
    }
    uint8_t* bytes() { return m_bytes.data(); }
    const uint8_t* bytes() const { return m_bytes.data(); }

    double getAsDouble(uint64_t at) const;
    void setFromDouble(uint64_t at, double value);

private:
    int32_t m_type;
    Index m_dimensions;
    std::vector<uint8_t> m_bytes;
};

template <size_t N>
double DataVectorND<N>::getAsDouble(uint64_t at) const {
    const uint8_t* p = m_bytes.data() + at * dataTypeSize(m_type);
    switch (m_type) {
    case DT_FLOAT32: { float v; std::memcpy(&v, p, sizeof v); return v; }
    case DT_UINT32: { uint32_t v; std::memcpy(&v, p, sizeof v); return v; }
    case DT_INT8: { int8_t v; std::memcpy(&v, p, sizeof v); return v; }
    default: return 0.0;
    }
}

template <size_t N>
void DataVectorND<N>::setFromDouble(uint64_t at, double value) {
    uint8_t* p = m_bytes.data() + at * dataTypeSize(m_type);
    switch (m_type) {
    case DT_FLOAT32: { const float v = static_cast<float>(value); std::memcpy(p, &v, sizeof v); break; }
    case DT_UINT32: { const uint32_t v = static_cast<uint32_t>(value); std::memcpy(p, &v, sizeof v); break; }
    case DT_INT8: { const int8_t v = static_cast<int8_t>(value); std::memcpy(p, &v, sizeof v); break; }
    default: break;
    }
}

namespace DataVectorUtils {

// The cells of the window (minimum inclusive, maximum exclusive, in the
// source's cells) as a new block of the source's type; empty when the window
// is empty or leaves the source.
KIVO_EXPORT std::shared_ptr<DataVectorND<2>> copySubsection(const DataVectorND<2>& source, const NORVAnBox<int64_t, 2>& window);

}  // namespace DataVectorUtils

}  // namespace DataSet
}  // namespace ORBO_3_12_0_
