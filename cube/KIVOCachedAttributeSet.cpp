#include "cube/KIVOCachedAttributeSet.h"

#include <cfloat>

#include "cube/KIVOSurfaceCUBEIO.h"

namespace {

// Truncation towards zero of a value within (low, high); anything else,
// NaN included, is the type's invalid value rather than undefined behaviour.
template <class T>
T truncated(float value, double low, double high, T invalid) {
    const double v = value;
    return v > low && v < high ? static_cast<T>(v) : invalid;
}

}  // namespace

KIVOCachedAttributeSet::KIVOCachedAttributeSet(KIVOSurfaceCUBEIO& surface, long attribute)
    : m_value(FLT_MAX), m_emptyValue(FLT_MAX), m_attribute(attribute), m_surface(surface) {}

long KIVOCachedAttributeSet::getValue(long index, unsigned char& v) const {
    float value = m_emptyValue;
    const long status = valueOf(index, value);
    v = truncated<unsigned char>(value, -1.0, 256.0, 255);
    return status;
}

long KIVOCachedAttributeSet::getValue(long, NORVAUString&) const { return -1; }

long KIVOCachedAttributeSet::getValue(long index, long& v) const {
    // The surfaces' long is 32 bits wide.
    float value = m_emptyValue;
    const long status = valueOf(index, value);
    v = truncated<long>(value, -2147483649.0, 2147483648.0, 0x7FFFFFFF);
    return status;
}

long KIVOCachedAttributeSet::getValue(long index, unsigned long& v) const {
    float value = m_emptyValue;
    const long status = valueOf(index, value);
    v = truncated<unsigned long>(value, -1.0, 4294967296.0, 0x7FFFFFFF);
    return status;
}

long KIVOCachedAttributeSet::getValue(long index, short& v) const {
    float value = m_emptyValue;
    const long status = valueOf(index, value);
    v = truncated<short>(value, -32769.0, 32768.0, 0x7FFF);
    return status;
}

long KIVOCachedAttributeSet::getValue(long index, unsigned short& v) const {
    float value = m_emptyValue;
    const long status = valueOf(index, value);
    v = truncated<unsigned short>(value, -1.0, 65536.0, 65535);
    return status;
}

// The two forms a query's caller reads most: a value at hand costs no call
// (and no stack frame), anything else goes to loadInto.
long KIVOCachedAttributeSet::getValue(long index, double& v) const {
    float value;
    if (!valueAtHand(index, value)) return loadInto(index, v);
    v = value;
    return 0;
}

long KIVOCachedAttributeSet::getValue(long index, float& v) const {
    if (!valueAtHand(index, v)) return loadInto(index, v);
    return 0;
}

template <class T>
long KIVOCachedAttributeSet::loadInto(long index, T& v) const {
    const long status = load(index);
    v = m_value;
    return status;
}

long KIVOCachedAttributeSet::getStringValue(long index, NORVAUString& v, bool) const {
    double value = 0.0;
    const long status = getValue(index, value);
    v = NORVAUString::formatDouble(value, true);
    return status;
}

long KIVOCachedAttributeSet::getDoubleValue(long index, double& v, bool) const { return getValue(index, v); }

std::unique_ptr<KIVOAttributeSet> KIVOCachedAttributeSet::newCopy() const {
    return std::make_unique<KIVOCachedAttributeSet>(*this);
}

bool KIVOCachedAttributeSet::isSet(long index) const {
    float value = m_emptyValue;
    return valueOf(index, value) == 0 && value != m_emptyValue;
}

long KIVOCachedAttributeSet::load(long attribute) const {
    m_attribute = attribute;
    m_value = m_emptyValue;
    const Layer& layer = layerOf(attribute);
    // Fetching may have moved the set to the node's grid.
    m_element = elementOf(m_gridRow, m_gridColumn, m_nodeRow, m_nodeColumn);
    if (layer && m_element < layer->size()) m_value = (*layer)[m_element];
    const size_t slot = static_cast<size_t>(attribute);
    const long status = attribute >= 0 && slot < m_layers.size() ? m_layers[slot].status : 0;
    // A refused layer is not held: each read of it says so again.
    if (status != 0) m_attribute = -1;
    return status;
}

const KIVOCachedAttributeSet::Layer& KIVOCachedAttributeSet::layerOf(long attribute) const {
    if (attribute < 0 || m_gridRow < 0 || m_gridColumn < 0 || m_gridRow >= CUBEGridIdx::kInvalid ||
        m_gridColumn >= CUBEGridIdx::kInvalid)
        return m_none;
    if (m_layerGrid.row != m_gridRow || m_layerGrid.column != m_gridColumn) {
        m_layerGrid = CUBEGridIdx();
        m_layerGrid.row = static_cast<uint16_t>(m_gridRow);
        m_layerGrid.column = static_cast<uint16_t>(m_gridColumn);
        m_layers.clear();
        for (Direct& direct : m_direct) direct = Direct();
    }
    const size_t slot = static_cast<size_t>(attribute);
    if (slot >= m_layers.size()) m_layers.resize(slot + 1);
    Fetched& fetched = m_layers[slot];
    if (!fetched.done) {
        CUBEGridIdx key = m_layerGrid;
        fetched.layer = m_surface.getSurface(key, attribute, m_emptyValue, fetched.status);
        if (key.isValid()) m_layerGrid = key;
        fetched.done = true;
        if (slot < kDirectSlots && fetched.layer) m_direct[slot] = Direct{fetched.layer->data(), fetched.layer->size()};
    }
    return fetched.layer;
}
