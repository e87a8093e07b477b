#include "multires/KestrinStringTableWrapper.h"

#include <string>

#include "multires/KestrinStatusCodes.h"

KestrinStringTableWrapper::KestrinStringTableWrapper(uint16_t count, uint16_t width, const char* chars,
                                                     size_t available) {
    if (chars == nullptr) return;
    const size_t whole = width == 0 ? count : available / width;
    const size_t n = whole < count ? whole : count;
    m_strings.reserve(n);
    for (size_t i = 0; i < n; ++i) m_strings.emplace_back(std::string(chars + i * width, width));
}

uint16_t KestrinStringTableWrapper::find(const NORVAUString& s) const {
    for (size_t i = 0; i < m_strings.size(); ++i)
        if (m_strings[i] == s) return static_cast<uint16_t>(i);
    return kInvalidIndex;
}

long KestrinStringTableWrapper::get(uint16_t index, NORVAUString& out) const {
    if (index >= m_strings.size()) return KestrinStatusCodes::INDEX_OUT_OF_RANGE;
    out = m_strings[index];
    return 0;
}

long KestrinStringTableWrapper::remove(uint16_t) { return KestrinStatusCodes::NOT_OFFERED; }

uint16_t KestrinStringTableWrapper::add(const NORVAUString&, long& status) {
    status = KestrinStatusCodes::NOT_OFFERED;
    return kInvalidIndex;
}

long KestrinStringTableWrapper::set(uint16_t, const NORVAUString&) { return KestrinStatusCodes::NOT_OFFERED; }

long KestrinStringTableWrapper::clear() { return KestrinStatusCodes::NOT_OFFERED; }
