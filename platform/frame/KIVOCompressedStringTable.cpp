#include "platform/frame/KIVOCompressedStringTable.h"

uint16_t KIVOCompressedStringTable::append(const NORVAUString& s) {
    uint16_t found = getIndexOfString(s);
    if (found != kInvalidIndex) return found;
    // kInvalidIndex itself is never handed out as an index.
    if (m_strings.size() >= kInvalidIndex) return kInvalidIndex;
    m_strings.push_back(s);
    return static_cast<uint16_t>(m_strings.size() - 1);
}

uint16_t KIVOCompressedStringTable::getIndexOfString(const NORVAUString& s) const {
    for (size_t i = 0; i < m_strings.size(); ++i)
        if (m_strings[i] == s) return static_cast<uint16_t>(i);
    return kInvalidIndex;
}

long KIVOCompressedStringTable::getString(uint16_t index, NORVAUString& out) const {
    if (index >= m_strings.size()) return -1;
    out = m_strings[index];
    return 0;
}

long KIVOCompressedStringTable::setString(uint16_t index, const NORVAUString& s) {
    if (index >= m_strings.size()) return -1;
    m_strings[index] = s;
    return 0;
}

uint16_t KIVOCompressedStringTable::getNumberOfStrings() const { return static_cast<uint16_t>(m_strings.size()); }

void KIVOCompressedStringTable::reset() { m_strings.clear(); }

std::unique_ptr<KIVOCompressedStringTable> KIVOCompressedStringTable::newCopy() const {
    auto copy = std::make_unique<KIVOCompressedStringTable>();
    copy->m_strings = m_strings;
    return copy;
}
