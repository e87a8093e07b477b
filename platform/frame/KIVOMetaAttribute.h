#pragma once
// A descriptor together with the minimum and maximum of every attribute.
#include "platform/core/KIVOExport.h"
#include <memory>

#include "platform/frame/KIVOAttributeSet.h"
#include "platform/frame/KIVODescriptor.h"
#include "platform/frame/KIVOMemAttributeSet.h"

class KIVO_EXPORT KIVOMetaAttribute {
public:
    // The descriptor is copied; minimum and maximum start unset.
    explicit KIVOMetaAttribute(const KIVODescriptor& descriptor);
    KIVOMetaAttribute(const KIVOMetaAttribute& o);
    KIVOMetaAttribute& operator=(const KIVOMetaAttribute& o);

    const KIVODescriptor& getDescriptor() const { return *m_descriptor; }
    KIVODescriptor& getDescriptor() { return *m_descriptor; }
    const KIVOAttributeSet& getMinimum() const { return *m_minimum; }
    const KIVOAttributeSet& getMaximum() const { return *m_maximum; }
    KIVOAttributeSet& getMinimum() { return *m_minimum; }
    KIVOAttributeSet& getMaximum() { return *m_maximum; }
    // The sets are copied.
    void setMinimum(const KIVOAttributeSet& minimum);
    void setMaximum(const KIVOAttributeSet& maximum);

private:
    std::unique_ptr<KIVODescriptor> m_descriptor;
    std::unique_ptr<KIVOAttributeSet> m_minimum;
    std::unique_ptr<KIVOAttributeSet> m_maximum;
};
