#include "multires/KIVOKestrinDescriptor.h"

#include "multires/KestrinStatusCodes.h"
#include "multires/KestrinTypeMap.h"
#include "platform/kestrin/KestrinStoreType.h"

KIVOKestrinDescriptor::KIVOKestrinDescriptor(const NORVAKestrinGenericDataDescriptor& layout)
    : m_layout(&layout),
      m_recordSize(layout.getRecordSize()),
      m_strings(std::make_unique<KIVOKestrinStringTable>(layout)) {}

KIVOKestrinDescriptor::KIVOKestrinDescriptor(const KIVOKestrinDescriptor& o)
    : KIVODescriptor(o),
      m_layout(o.m_layout),
      m_recordSize(o.m_recordSize),
      m_strings(std::make_unique<KIVOKestrinStringTable>(*o.m_layout)) {}

KIVOKestrinDescriptor& KIVOKestrinDescriptor::operator=(const KIVOKestrinDescriptor& o) {
    if (this == &o) return *this;
    m_layout = o.m_layout;
    m_recordSize = o.m_recordSize;
    m_strings = std::make_unique<KIVOKestrinStringTable>(*o.m_layout);
    return *this;
}

long KIVOKestrinDescriptor::getAttributeIndex(const NORVAUString& name) const {
    const long i = m_layout->getAttributeIndex(name);
    return i < 0 ? -1 : i;
}

KIVODescriptor::DATA_TYPE KIVOKestrinDescriptor::getAttributeType(long index) const {
    return KestrinTypeMap::toDataType(m_layout->getType(index));
}

const NORVAUString& KIVOKestrinDescriptor::getTrueXAttribute(long index) const {
    const long x = m_layout->getAttrXCoordIndex(index);
    return x < 0 ? emptyString() : m_layout->getAttributeName(x);
}

const NORVAUString& KIVOKestrinDescriptor::getTrueYAttribute(long index) const {
    const long y = m_layout->getAttrYCoordIndex(index);
    return y < 0 ? emptyString() : m_layout->getAttributeName(y);
}

uint32_t KIVOKestrinDescriptor::getLength(long index) const {
    const uint32_t size = m_layout->getAttributeSize(index);
    return m_layout->getType(index) == KestrinStoreType::FIXED_TEXT && size > 0 ? size - 1 : size;
}

std::unique_ptr<KIVODescriptor> KIVOKestrinDescriptor::newCopy() const {
    return std::make_unique<KIVOKestrinDescriptor>(*this);
}

long KIVOKestrinDescriptor::addCompressedString(const NORVAUString& s) {
    return m_strings->append(s) == KIVOCompressedStringTable::kInvalidIndex ? KestrinStatusCodes::NOT_OFFERED : 0;
}
