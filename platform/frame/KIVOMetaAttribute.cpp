#include "platform/frame/KIVOMetaAttribute.h"

KIVOMetaAttribute::KIVOMetaAttribute(const KIVODescriptor& descriptor)
    : m_descriptor(descriptor.newCopy()),
      m_minimum(std::make_unique<KIVOMemAttributeSet>(descriptor)),
      m_maximum(std::make_unique<KIVOMemAttributeSet>(descriptor)) {}

KIVOMetaAttribute::KIVOMetaAttribute(const KIVOMetaAttribute& o)
    : m_descriptor(o.m_descriptor->newCopy()), m_minimum(o.m_minimum->newCopy()), m_maximum(o.m_maximum->newCopy()) {}

KIVOMetaAttribute& KIVOMetaAttribute::operator=(const KIVOMetaAttribute& o) {
    if (this == &o) return *this;
    m_descriptor = o.m_descriptor->newCopy();
    m_minimum = o.m_minimum->newCopy();
    m_maximum = o.m_maximum->newCopy();
    return *this;
}

void KIVOMetaAttribute::setMinimum(const KIVOAttributeSet& minimum) {
    auto copy = minimum.newCopy();
    if (copy) m_minimum = std::move(copy);
}

void KIVOMetaAttribute::setMaximum(const KIVOAttributeSet& maximum) {
    auto copy = maximum.newCopy();
    if (copy) m_maximum = std::move(copy);
}
