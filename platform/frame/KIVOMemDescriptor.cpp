#include "platform/frame/KIVOMemDescriptor.h"

#include <limits>

KIVOMemDescriptor::KIVOMemDescriptor(const std::vector<AttribEntry>& entries)
    : m_entries(entries), m_persistent(static_cast<long>(entries.size())) {
    layout();
}

KIVOMemDescriptor::KIVOMemDescriptor(const KIVOMemDescriptor& o)
    : KIVODescriptor(o),
      m_entries(o.m_entries),
      m_persistent(o.m_persistent),
      m_dataSize(o.m_dataSize),
      m_strings(o.m_strings ? o.m_strings->newCopy() : std::make_unique<KIVOCompressedStringTable>()) {}

KIVOMemDescriptor& KIVOMemDescriptor::operator=(const KIVOMemDescriptor& o) {
    if (this == &o) return *this;
    m_entries = o.m_entries;
    m_persistent = o.m_persistent;
    m_dataSize = o.m_dataSize;
    m_strings = o.m_strings ? o.m_strings->newCopy() : std::make_unique<KIVOCompressedStringTable>();
    return *this;
}

// Normalises every entry: the type falls back to DOUBLE, lengths of the
// fixed-size types are their storage sizes (text keeps its own length, the
// characters without the terminator), persistent attributes are laid out one
// after another in entry order, transient ones take no storage (offset 0),
// and companion indices follow their names.
void KIVOMemDescriptor::layout() {
    uint64_t offset = 0;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        AttribEntry& e = m_entries[i];
        e.type = KIVODataType::fromInt(e.type);
        auto type = static_cast<DATA_TYPE>(e.type);
        if (type != KIVODataType::TEXT) e.length = KIVODataType::storageSize(type, 0);
        if (static_cast<long>(i) < m_persistent) {
            uint64_t size = KIVODataType::storageSize(type, e.length);
            e.offset = offset > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                                      : static_cast<uint32_t>(offset);
            offset += size;
        } else {
            e.offset = 0;
        }
    }
    m_dataSize = offset > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                                : static_cast<uint32_t>(offset);
    for (AttribEntry& e : m_entries) {
        linkCompanion(e.modName, e.modIndex);
        linkCompanion(e.trueXName, e.trueXIndex);
        linkCompanion(e.trueYName, e.trueYIndex);
    }
}

// A companion named in the entry gets that attribute's index (-1 when absent);
// one given only by a valid index gets that attribute's name.
void KIVOMemDescriptor::linkCompanion(NORVAUString& name, int32_t& index) const {
    if (!name.isEmpty()) {
        index = static_cast<int32_t>(getAttributeIndex(name));
    } else if (valid(index)) {
        name = m_entries[index].name;
    } else {
        index = -1;
    }
}

long KIVOMemDescriptor::getNumberOfAttributes() const { return static_cast<long>(m_entries.size()); }

long KIVOMemDescriptor::getAttributeIndex(const NORVAUString& name) const {
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].name == name) return static_cast<long>(i);
    return -1;
}

const NORVAUString& KIVOMemDescriptor::getAttributeName(long index) const {
    return valid(index) ? m_entries[index].name : emptyString();
}

KIVODescriptor::DATA_TYPE KIVOMemDescriptor::getAttributeType(long index) const {
    return valid(index) ? KIVODataType::fromInt(m_entries[index].type) : KIVODataType::DOUBLE;
}

long KIVOMemDescriptor::getModAttributeIndex(long index) const { return valid(index) ? m_entries[index].modIndex : -1; }

long KIVOMemDescriptor::getTrueXAttributeIndex(long index) const {
    return valid(index) ? m_entries[index].trueXIndex : -1;
}

long KIVOMemDescriptor::getTrueYAttributeIndex(long index) const {
    return valid(index) ? m_entries[index].trueYIndex : -1;
}

const NORVAUString& KIVOMemDescriptor::getModAttribute(long index) const {
    return valid(index) ? m_entries[index].modName : emptyString();
}

const NORVAUString& KIVOMemDescriptor::getTrueXAttribute(long index) const {
    return valid(index) ? m_entries[index].trueXName : emptyString();
}

const NORVAUString& KIVOMemDescriptor::getTrueYAttribute(long index) const {
    return valid(index) ? m_entries[index].trueYName : emptyString();
}

uint32_t KIVOMemDescriptor::getOffset(long index) const { return valid(index) ? m_entries[index].offset : 0; }

uint32_t KIVOMemDescriptor::getLength(long index) const { return valid(index) ? m_entries[index].length : 0; }

const NORVAUString& KIVOMemDescriptor::getUnitKey(long index) const {
    return valid(index) ? m_entries[index].unitKey : emptyString();
}

const NORVAUString& KIVOMemDescriptor::getUnitDirection(long index) const {
    return valid(index) ? m_entries[index].unitDirection : emptyString();
}

KIVODescriptor::AttribEntry KIVOMemDescriptor::getAttributeEntry(long index) const {
    return valid(index) ? m_entries[index] : AttribEntry();
}

std::unique_ptr<KIVODescriptor> KIVOMemDescriptor::newCopy() const { return std::make_unique<KIVOMemDescriptor>(*this); }

// Drops the attribute's modified companion.
void KIVOMemDescriptor::resetModAttribute(long index) {
    if (!valid(index)) return;
    m_entries[index].modName = NORVAUString();
    m_entries[index].modIndex = -1;
}

long KIVOMemDescriptor::addCompressedString(const NORVAUString& s) {
    uint16_t index = m_strings->append(s);
    return index == KIVOCompressedStringTable::kInvalidIndex ? -1 : static_cast<long>(index);
}

long KIVOMemDescriptor::addTransient(const AttribEntry& entry) {
    if (entry.name.isEmpty() || getAttributeIndex(entry.name) >= 0) return -1;
    m_entries.push_back(entry);
    layout();
    return 0;
}

long KIVOMemDescriptor::removeTransient(const NORVAUString& name) {
    long index = getAttributeIndex(name);
    if (index < m_persistent) return -1;  // absent (-1) or persistent
    m_entries.erase(m_entries.begin() + index);
    layout();
    return 0;
}

long KIVOMemDescriptor::addAttribute(const AttribEntry& entry) {
    if (entry.name.isEmpty() || getAttributeIndex(entry.name) >= 0) return -1;
    long index = m_persistent;
    m_entries.insert(m_entries.begin() + index, entry);
    ++m_persistent;
    layout();
    return index;
}
