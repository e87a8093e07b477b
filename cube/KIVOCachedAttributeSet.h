#pragma once
// The attributes of one node of a CUBE surface, served from the surface's
// layer cache. It holds one attribute's value at a time and fetches another
// attribute's layer when asked for it, so reading every attribute of a node
// costs one layer look-up per attribute and grid. Read-only.
#include <cstdint>
#include <memory>
#include <vector>

#include "cube/CUBEGridIdx.h"
#include "platform/frame/KIVOAttributeSet.h"

class KIVOSurfaceCUBEIO;

class KIVOCachedAttributeSet : public KIVOAttributeSet {
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
    bool isEmpty() const override;
    bool reset() override;

    long getAttribIdx() const { return m_attribute; }
    // Places the set on a node; the attribute is kept when `attribute` is -1.
    void set(int32_t gridRow, int32_t gridColumn, int32_t nodeRow, int32_t nodeColumn, float value,
             long attribute = -1);
    void setEmpty(float value) { m_emptyValue = value; }

private:
    // Makes `attribute` the held one, with the current node's value of it.
    void load(long attribute) const;
    float valueOf(long attribute) const {
        if (attribute != m_attribute) load(attribute);
        return m_value;
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
        bool done = false;
    };
    mutable std::vector<Fetched> m_layers;
    Layer m_none;
};
