#include "platform/plugio/ioprocclass.h"

#include <cstdio>
#include <ostream>

#include "platform/core/NORVAFileUtils.h"

namespace {

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

bool nextLine(const std::string& text, size_t& pos, std::string& line) {
    if (pos >= text.size()) return false;
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    pos = end + 1;
    return true;
}

}  // namespace

long ioprocclass::open() {
    m_opened = false;
    m_parsed = false;
    m_values.clear();
    uint64_t size = 0;
    if (!NORVAFileUtils::isRegularFile(m_path) || !NORVAFileUtils::fileSize(m_path, size) || size > kMaxSize)
        return m_status = IOPROC_CANNOT_OPEN;
    FILE* f = NORVAFileUtils::openRegularFile(m_path);
    if (!f) return m_status = IOPROC_CANNOT_OPEN;
    m_text.assign(static_cast<size_t>(size), '\0');
    const size_t got = size ? std::fread(&m_text[0], 1, m_text.size(), f) : 0;
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return m_status = IOPROC_CANNOT_OPEN;
    m_text.resize(got);
    m_opened = true;
    return m_status = IOPROC_OK;
}

long ioprocclass::getHeader() {
    if (!m_opened) return m_status = IOPROC_NOT_READ;
    m_values.clear();
    m_parsed = false;
    size_t pos = 0;
    std::string line;
    if (!nextLine(m_text, pos, line) || trim(line) != std::string(kMagic) + " " + std::to_string(kVersion))
        return m_status = IOPROC_BAD_HEADER;
    while (nextLine(m_text, pos, line)) {
        const std::string t = trim(line);
        if (t.empty() || t[0] == '#') continue;
        const size_t eq = t.find('=');
        if (eq == std::string::npos) return m_status = IOPROC_BAD_HEADER;
        const std::string key = trim(t.substr(0, eq));
        if (key.empty() || !m_values.emplace(key, trim(t.substr(eq + 1))).second) return m_status = IOPROC_BAD_HEADER;
    }
    m_parsed = true;
    return m_status = IOPROC_OK;
}

NORVAType<NORVACoordSystem> ioprocclass::makeCosys(long& status) const {
    if (!m_parsed) {
        status = IOPROC_NOT_READ;
        return NORVAType<NORVACoordSystem>();
    }
    const NORVAUString definition = getValue("COORDINATE SYSTEM");
    if (definition.isEmpty()) {
        status = IOPROC_BAD_COSYS;
        return NORVAType<NORVACoordSystem>();
    }
    auto cosys = makeNORVAType<NORVACoordSystem>(definition, getValue("NAME"));
    if (!cosys->isValid()) {
        status = IOPROC_BAD_COSYS;
        return NORVAType<NORVACoordSystem>();
    }
    status = IOPROC_OK;
    return cosys;
}

long ioprocclass::close() {
    m_text.clear();
    m_text.shrink_to_fit();
    m_opened = false;
    return IOPROC_OK;
}

NORVAUString ioprocclass::getValue(const std::string& key) const {
    const auto it = m_values.find(key);
    return it == m_values.end() ? NORVAUString() : NORVAUString(it->second);
}

void ioprocclass::print(std::ostream& os) const {
    os << "ioprocclass(" << m_path << ", status " << m_status << ")";
}
