#pragma once
// Commit journals written by hand, for tests and fuzz targets that forge
// them: the given lines between the first line and a sealing end line
// (entry count and FNV-1a 64 of every byte before it), as a reader checks.
#include <cinttypes>
#include <cstdio>
#include <string>

inline std::string sealJournal(const std::string& lines) {
    const std::string body = "KIVO commit journal 1\n" + lines;
    size_t entries = 0;
    uint64_t h = 14695981039346656037ull;
    for (size_t i = 0; i < body.size(); ++i) {
        const bool lineStart = i == 0 || body[i - 1] == '\n';
        entries += lineStart && i + 1 < body.size() && (body[i] == 'M' || body[i] == 'D') && body[i + 1] == ' ';
        h = (h ^ static_cast<unsigned char>(body[i])) * 1099511628211ull;
    }
    char end[64];
    std::snprintf(end, sizeof end, "E %zu %016" PRIx64 "\n", entries, h);
    return body + end;
}
