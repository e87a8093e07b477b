#pragma once
// The attributes of one node of a CUBE surface, served from the surface's
// layer cache. It holds one attribute's value at a time and fetches another
// attribute's layer when asked for it, so reading every attribute of a node
// costs one layer look-up per attribute and grid. Read-only.
#include "platform/core/KIVOExport.h"
#include <cstdint>
#include <memory>
#include <vector>

#include "cube/CUBEGridIdx.h"
#include "platform/frame/KIVOAttributeSet.h"

class KIVOSurfaceCUBEIO;

class KIVO_EXPORT KIVOCachedAttributeSet final : public KIVOAttributeSet {
public:
    using Layer = std::shared_ptr<std::vector<float>>;

    // The surface must outlive the set.
    explicit KIVOCachedAttributeSet(KIVOSurfaceCUBEIO& surface, long attribute = -1);

    // Integer forms truncate towards zero; a value the type cannot hold (the
    // invalid float or NaN among them) gives the type's invalid value.
    long getValue(long index, unsigned char& v) const override;
    long getValue(long index, NORVAUString& v) const override;
    long getValue(long index, long& v) const override;
    long getValue(long index, unsigned long& v) const override;
    long getValue(long index, short& v) const override;
    long getValue(long index, unsigned short& v) const override;
    long getValue(long index, double& v) const override;
    long getValue(long index, float& v) const override;
    long getStringValue(long index, NORVAUString& v, bool userFormat) const override;
    long getDoubleValue(long index, double& v, bool convert) const override;
    std::unique_ptr<KIVOAttributeSet> newCopy() const override;
    // True when the attribute's value differs from the empty value; a NaN counts as set.
    bool isSet(long index) const override;
    bool isEmpty() const override { return m_value == m_emptyValue; }
    bool reset() override {
        m_value = m_emptyValue;
        return false;
    }

    long getAttribIdx() const { return m_attribute; }
    // Places the set on a node; the attribute is kept when `attribute` is -1.
    // Inline: the query iterators place the set on every node they visit.
    void set(int32_t gridRow, int32_t gridColumn, int32_t nodeRow, int32_t nodeColumn, float value,
             long attribute = -1) {
        m_gridRow = gridRow;
        m_gridColumn = gridColumn;
        m_nodeRow = nodeRow;
        m_nodeColumn = nodeColumn;
        m_value = value;
        if (attribute > -1) m_attribute = attribute;
        m_element = elementOf(gridRow, gridColumn, nodeRow, nodeColumn);
    }
    // Places the set on the next node east in the same grid row.
    void stepEast(float value, long attribute) {
        ++m_nodeColumn;
        m_value = value;
        m_attribute = attribute;
        if (m_element != kNoElement) ++m_element;
    }
    void setEmpty(float value) { m_emptyValue = value; }

private:
    // Makes `attribute` the held one, with the current node's value of it;
    // the status of its layer's fetch (a refused layer holds nothing).
    long load(long attribute) const;
    // Inline, as a caller reading several attributes of every node of a
    // query asks for one of them here each time.
    long valueOf(long attribute, float& value) const {
        if (valueAtHand(attribute, value)) return 0;
        const long status = load(attribute);
        value = m_value;
        return status;
    }
    // The attribute's value when it is held or its layer is at hand; false
    // when it must be looked up.
    bool valueAtHand(long attribute, float& value) const {
        if (attribute == m_attribute) {
            value = m_value;
            return true;
        }
        if (static_cast<unsigned long>(attribute) >= kDirectSlots) return false;
        const Direct& direct = m_direct[attribute];
        if (direct.values == nullptr || m_element >= direct.count) return false;
        m_attribute = attribute;
        m_value = direct.values[m_element];
        value = m_value;
        return true;
    }
    // Kept out of line, so that getValue needs no stack frame for the values at hand.
    template <class T>
    [[gnu::noinline]] long loadInto(long index, T& v) const;
    // The node's index in the layers of m_layerGrid; kNoElement when the
    // node is not in that grid.
    uint64_t elementOf(int32_t gridRow, int32_t gridColumn, int32_t nodeRow, int32_t nodeColumn) const {
        if (gridRow != m_layerGrid.row || gridColumn != m_layerGrid.column || nodeRow < 0 || nodeColumn < 0 ||
            static_cast<uint32_t>(nodeColumn) >= m_layerGrid.columns)
            return kNoElement;
        return static_cast<uint64_t>(nodeRow) * m_layerGrid.columns + static_cast<uint32_t>(nodeColumn);
    }
    const Layer& layerOf(long attribute) const;

    mutable int32_t m_nodeRow = -1;
    mutable int32_t m_nodeColumn = -1;
    mutable int32_t m_gridRow = -1;
    mutable int32_t m_gridColumn = -1;
    mutable float m_value;
    mutable float m_emptyValue;
    mutable long m_attribute;
    KIVOSurfaceCUBEIO& m_surface;
    // Layers of the grid the set is on, fetched once per attribute.
    mutable CUBEGridIdx m_layerGrid;
    struct Fetched {
        Layer layer;
        long status = 0;  // a refusal of the layer's file
        bool done = false;
    };
    mutable std::vector<Fetched> m_layers;
    // The same layers' values by attribute, read without a look-up.
    struct Direct {
        const float* values = nullptr;
        uint64_t count = 0;
    };
    static constexpr uint64_t kNoElement = UINT64_MAX;
    // A CUBE surface has ten attributes; any further ones take the look-up.
    static constexpr unsigned long kDirectSlots = 16;
    mutable Direct m_direct[kDirectSlots];
    mutable uint64_t m_element = kNoElement;
    Layer m_none;
};
