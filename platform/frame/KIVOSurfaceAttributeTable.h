#pragma once
// The attribute table of a surface's metadata: its descriptor with the
// minimum and maximum of every attribute.
#include "platform/core/KIVOExport.h"
#include "platform/frame/KIVOMetaAttribute.h"

class KIVO_EXPORT KIVOSurfaceAttributeTable {
public:
    explicit KIVOSurfaceAttributeTable(const KIVOMetaAttribute& meta) : m_meta(meta) {}

    const KIVOMetaAttribute& getMetaAttribute() const { return m_meta; }
    KIVOMetaAttribute& getMetaAttribute() { return m_meta; }
    const KIVODescriptor& getDescriptor() const { return m_meta.getDescriptor(); }
    long getNumAttributes() const { return m_meta.getDescriptor().getNumberOfAttributes(); }

private:
    KIVOMetaAttribute m_meta;
};
