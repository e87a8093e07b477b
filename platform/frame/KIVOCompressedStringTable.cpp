#include "platform/frame/KIVOCompressedStringTable.h"

uint16_t KIVOCompressedStringTable::append(const NORVAUString& s) {
    uint16_t found = getIndexOfString(s);
    if (found != kInvalidIndex) return found;
    // kInvalidIndex itself is never handed out as an index.
    if (m_strings.size() >= kInvalidIndex) return kInvalidIndex;
    m_strings.push_back(s);
    const auto index = static_cast<uint16_t>(m_strings.size() - 1);
    m_index.emplace(s, index);
    return index;
}

uint16_t KIVOCompressedStringTable::getIndexOfString(const NORVAUString& s) const {
    auto it = m_index.find(s);
    return it == m_index.end() ? kInvalidIndex : it->second;
}

long KIVOCompressedStringTable::getString(uint16_t index, NORVAUString& out) const {
    if (index >= m_strings.size()) return -1;
    out = m_strings[index];
    return 0;
}

// Replacing a string may leave two equal entries; lookups give the first.
long KIVOCompressedStringTable::setString(uint16_t index, const NORVAUString& s) {
    if (index >= m_strings.size()) return -1;
    m_strings[index] = s;
    m_index.clear();
    for (size_t i = m_strings.size(); i-- > 0;) m_index[m_strings[i]] = static_cast<uint16_t>(i);
    return 0;
}

uint16_t KIVOCompressedStringTable::getNumberOfStrings() const { return static_cast<uint16_t>(m_strings.size()); }

void KIVOCompressedStringTable::reset() {
    m_strings.clear();
    m_index.clear();
}

std::unique_ptr<KIVOCompressedStringTable> KIVOCompressedStringTable::newCopy() const {
    auto copy = std::make_unique<KIVOCompressedStringTable>();
    copy->m_strings = m_strings;
    copy->m_index = m_index;
    return copy;
}
