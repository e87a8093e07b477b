#include "platform/kestrin/NORVAKestrinGenericDataDescriptor.h"

#include "platform/kestrin/KestrinStoreType.h"

namespace {
const NORVAUString& none() {
    static const NORVAUString s;
    return s;
}
}  // namespace

bool NORVAKestrinGenericDataDescriptor::Attribute::operator==(const Attribute& o) const {
    return name == o.name && type == o.type && size == o.size && unit == o.unit && xIndex == o.xIndex &&
           yIndex == o.yIndex && indexedTable == o.indexedTable;
}

void NORVAKestrinGenericDataDescriptor::setNumAtts(long count) {
    m_atts.resize(count > 0 ? static_cast<size_t>(count) : 0);
}

long NORVAKestrinGenericDataDescriptor::setAttributeName(long index, const NORVAUString& name) {
    if (!valid(index)) return -1;
    m_atts[index].name = name;
    return 0;
}

long NORVAKestrinGenericDataDescriptor::setType(long index, int32_t type) {
    if (!valid(index) || !KestrinStoreType::isValid(type)) return -1;
    Attribute& a = m_atts[index];
    a.type = type;
    if (type != KestrinStoreType::FIXED_TEXT) a.size = KestrinStoreType::fixedSize(type);
    else if (a.size == 0 || a.size == 8) a.size = 1;
    return 0;
}

long NORVAKestrinGenericDataDescriptor::setAttributeSize(long index, uint32_t size) {
    if (!valid(index)) return -1;
    Attribute& a = m_atts[index];
    // Only fixed text has a size of its own choosing; at least its terminator.
    if (a.type != KestrinStoreType::FIXED_TEXT) return size == a.size ? 0 : -1;
    if (size == 0) return -1;
    a.size = size;
    return 0;
}

long NORVAKestrinGenericDataDescriptor::setAttributeUnit(long index, const NORVAUString& unit) {
    if (!valid(index)) return -1;
    m_atts[index].unit = unit;
    return 0;
}

long NORVAKestrinGenericDataDescriptor::setAttrCoordIndices(long index, long xIndex, long yIndex) {
    if (!valid(index)) return -1;
    if ((xIndex >= 0 && !valid(xIndex)) || (yIndex >= 0 && !valid(yIndex))) return -1;
    m_atts[index].xIndex = xIndex < 0 ? -1 : xIndex;
    m_atts[index].yIndex = yIndex < 0 ? -1 : yIndex;
    return 0;
}

long NORVAKestrinGenericDataDescriptor::loadIndexedStringTable(long index, const NORVAUString*) {
    if (!valid(index)) return -1;
    m_atts[index].indexedTable = true;
    return 0;
}

bool NORVAKestrinGenericDataDescriptor::hasIndexedStringTable(long index) const {
    return valid(index) && m_atts[index].indexedTable;
}

int32_t NORVAKestrinGenericDataDescriptor::getType(long index) const { return valid(index) ? m_atts[index].type : -1; }

const NORVAUString& NORVAKestrinGenericDataDescriptor::getAttributeName(long index) const {
    return valid(index) ? m_atts[index].name : none();
}

uint32_t NORVAKestrinGenericDataDescriptor::getAttributeSize(long index) const {
    return valid(index) ? m_atts[index].size : 0;
}

const NORVAUString& NORVAKestrinGenericDataDescriptor::getAttributeUnit(long index) const {
    return valid(index) ? m_atts[index].unit : none();
}

long NORVAKestrinGenericDataDescriptor::getAttributeIndex(const NORVAUString& name) const {
    for (size_t i = 0; i < m_atts.size(); ++i)
        if (m_atts[i].name == name) return static_cast<long>(i);
    return -1;
}

long NORVAKestrinGenericDataDescriptor::getAttrXCoordIndex(long index) const {
    return valid(index) ? m_atts[index].xIndex : -1;
}

long NORVAKestrinGenericDataDescriptor::getAttrYCoordIndex(long index) const {
    return valid(index) ? m_atts[index].yIndex : -1;
}

uint32_t NORVAKestrinGenericDataDescriptor::getRecordSize() const {
    uint64_t sum = 0;
    for (const Attribute& a : m_atts) sum += a.size;
    return sum > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(sum);
}

void NORVAKestrinGenericDataDescriptor::setSourceMetaData(const std::vector<NORVAUString>& keys,
                                                          const std::vector<NORVAUString>& values) {
    m_sourceKeys = keys;
    m_sourceValues = values;
}

bool NORVAKestrinGenericDataDescriptor::operator==(const NORVAKestrinGenericDataDescriptor& o) const {
    return m_atts == o.m_atts && m_sourceKeys == o.m_sourceKeys && m_sourceValues == o.m_sourceValues;
}
