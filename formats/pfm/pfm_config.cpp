#include "formats/pfm/pfm_config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "formats/pfm/pfm_files.h"

namespace {

std::vector<std::pair<std::string, std::string>> g_substitutes;

std::string trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    const size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

void readInt(const char* value, int32_t& out) {
    int v = 0;
    if (std::sscanf(value, "%d", &v) == 1) out = v;
}

void addSubstitute(const char* value) {
    if (g_substitutes.size() >= PFM_MAX_SUBSTITUTES) return;
    const std::string text = trim(value);
    const size_t comma = text.find(',');
    if (comma == std::string::npos) return;
    const std::string from = trim(text.substr(0, comma));
    const std::string to = trim(text.substr(comma + 1));
    if (from.empty()) return;
    g_substitutes.emplace_back(from, to);
}

void parseLine(const char* line, PFM_LAYOUT& layout) {
    const char* eq = std::strchr(line, '=');
    if (!eq) return;
    const std::string key(line, static_cast<size_t>(eq - line));
    const char* value = eq + 1;
    struct IntKey {
        const char* key;
        int32_t PFM_LAYOUT::*field;
    };
    static const IntKey ints[] = {
        {"[RECORD LENGTH]", &PFM_LAYOUT::record_length},
        {"[COUNT BITS]", &PFM_LAYOUT::count_bits},
        {"[STD BITS]", &PFM_LAYOUT::std_bits},
        {"[RECORD POINTER BITS]", &PFM_LAYOUT::record_pointer_bits},
        {"[FILE NUMBER BITS]", &PFM_LAYOUT::file_number_bits},
        {"[LINE NUMBER BITS]", &PFM_LAYOUT::line_number_bits},
        {"[PING NUMBER BITS]", &PFM_LAYOUT::ping_number_bits},
        {"[BEAM NUMBER BITS]", &PFM_LAYOUT::beam_number_bits},
        {"[OFFSET BITS]", &PFM_LAYOUT::offset_bits},
        {"[VALIDITY BITS]", &PFM_LAYOUT::validity_bits},
    };
    static const char* flags[PFM_FLAGS] = {"[EDITED FLAG BITS]", "[CHECKED FLAG BITS]", "[SUSPECT FLAG BITS]",
                                           "[DATA FLAG BITS]",   "[SELECTED FLAG BITS]", "[CLASS 1 FLAG BITS]",
                                           "[CLASS 2 FLAG BITS]"};
    for (const IntKey& k : ints)
        if (key.find(k.key) != std::string::npos) readInt(value, layout.*(k.field));
    for (int i = 0; i < PFM_FLAGS; ++i)
        if (key.find(flags[i]) != std::string::npos) readInt(value, layout.flag_bits[i]);
    if (key.find("[STD SCALE]") != std::string::npos) {
        float v = 0.0f;
        if (std::sscanf(value, "%f", &v) == 1) layout.std_scale = v;
    }
    if (key.find("[SUBSTITUTE PATH]") != std::string::npos) addSubstitute(value);
}

FILE* findConfig() {
    if (FILE* f = std::fopen(".pfm_cfg", "rb")) return f;
    if (const char* home = std::getenv("HOME")) {
        if (FILE* f = std::fopen((std::string(home) + "/.pfm_cfg").c_str(), "rb")) return f;
    }
    const char* path = std::getenv("PATH");
    if (!path) return nullptr;
    std::string folders(path, strnlen(path, 4096));
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        if (!folder.empty()) {
            if (FILE* f = std::fopen((folder + "/.pfm_cfg").c_str(), "rb")) return f;
        }
        start = end + 1;
    }
    return nullptr;
}

}  // namespace

void pfm_parse_config_text(const char* text, size_t size, PFM_LAYOUT& layout) {
    g_substitutes.clear();
    size_t pos = 0;
    while (text && pos < size) {
        size_t end = pos;
        while (end < size && text[end] != '\n' && end - pos < PFM_CONFIG_LINE - 1) ++end;
        std::string line(text + pos, end - pos);
        line = line.c_str();  // stop at an embedded zero byte
        parseLine(line.c_str(), layout);
        pos = end < size && text[end] == '\n' ? end + 1 : end;
    }
}

int32_t pfm_read_config(PFM_LAYOUT& layout) {
    g_substitutes.clear();
    FILE* f = findConfig();
    if (!f) return -1;
    std::string text;
    char chunk[4096];
    size_t n = 0;
    // ".pfm_cfg" is a few lines; a runaway file is cut off rather than read whole.
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0 && text.size() < (1U << 20)) text.append(chunk, n);
    std::fclose(f);
    pfm_parse_config_text(text.data(), text.size(), layout);
    return 0;
}

std::string pfm_substitute(const std::string& name) {
    std::string result = name;
    for (const auto& pair : g_substitutes) {
        const size_t at = result.find(pair.first);
        if (at == std::string::npos) continue;
        // Replaced where it occurs, so a path found inside a name keeps what precedes it.
        const std::string replaced = result.substr(0, at) + pair.second + result.substr(at + pair.first.size());
        if (replaced.size() >= PFM_PATH_SIZE) continue;
        result = replaced;
    }
    return result;
}

int pfm_substitute_count() { return static_cast<int>(g_substitutes.size()); }
