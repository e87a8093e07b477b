#pragma once
// The suite's Unicode string, the only string type of every interface.
// Paths are held in it too; their narrow form is UTF-8.
#include "platform/core/KIVOExport.h"
#include <unicode/unistr.h>

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

class KIVO_EXPORT NORVAUString {
public:
    NORVAUString() = default;
    NORVAUString(const char* utf8);
    NORVAUString(const std::string& utf8);
    NORVAUString(const icu::UnicodeString& s) : m_str(s) {}

    static NORVAUString fromUTF8(const std::string& utf8) { return NORVAUString(utf8); }
    std::string toUTF8() const;

    const icu::UnicodeString& unicode() const { return m_str; }
    int32_t length() const { return m_str.length(); }
    bool isEmpty() const { return m_str.isEmpty(); }
    char16_t at(int32_t i) const { return m_str.charAt(i); }

    NORVAUString& operator+=(const NORVAUString& o) { m_str += o.m_str; return *this; }
    friend NORVAUString operator+(NORVAUString a, const NORVAUString& b) { a += b; return a; }
    friend NORVAUString operator+(NORVAUString a, const char* b) { a += NORVAUString(b); return a; }
    friend NORVAUString operator+(const char* a, const NORVAUString& b) { return NORVAUString(a) + b; }

    // Copies share one buffer: the same buffer and length is the same text.
    bool operator==(const NORVAUString& o) const {
        return (!m_str.isBogus() && m_str.length() == o.m_str.length() && m_str.getBuffer() == o.m_str.getBuffer()) ||
               m_str == o.m_str;
    }
    bool operator!=(const NORVAUString& o) const { return !(*this == o); }
    // Code-unit order.
    bool operator<(const NORVAUString& o) const { return m_str.compare(o.m_str) < 0; }
    int compare(const NORVAUString& o) const { return m_str.compare(o.m_str); }
    // Full case folding; 0 when equal ignoring case.
    int caseCompare(const NORVAUString& o) const;
    bool equalsIgnoreCase(const NORVAUString& o) const { return caseCompare(o) == 0; }

    bool startsWith(const NORVAUString& s) const { return m_str.startsWith(s.m_str); }
    bool endsWith(const NORVAUString& s) const { return m_str.endsWith(s.m_str); }
    bool endsWithIgnoreCase(const NORVAUString& s) const;
    // -1 when absent.
    int32_t indexOf(const NORVAUString& s, int32_t from = 0) const { return m_str.indexOf(s.m_str, from); }
    int32_t indexOf(char16_t c, int32_t from = 0) const { return m_str.indexOf(c, from); }
    int32_t lastIndexOf(char16_t c) const { return m_str.lastIndexOf(c); }
    NORVAUString substring(int32_t start, int32_t len = INT32_MAX) const;
    NORVAUString& replaceAll(const NORVAUString& from, const NORVAUString& to);
    NORVAUString toLower() const;
    NORVAUString toUpper() const;
    NORVAUString trimmed() const;

    // Shortest decimal text that reads back as the same double ("45", "0.1",
    // "1e+300"); grouping inserts "," every three integer digits.
    static NORVAUString formatDouble(double value, bool grouping = false);
    static NORVAUString formatLong(long value);
    // A decimal pattern of '#' (optional digit), '0' (required digit), at most
    // one '.', and optional ',' grouping: "00" pads to two digits,
    // "##############0.0##" keeps one to three decimals.
    static NORVAUString formatPattern(double value, const NORVAUString& pattern);
    // Whole text must be a number (surrounding blanks allowed); false otherwise
    // and the output is left unchanged.
    bool parseDouble(double& out) const;
    bool parseLong(long& out) const;
    static bool parseDouble(const NORVAUString& s, double& out) { return s.parseDouble(out); }
    static bool parseLong(const NORVAUString& s, long& out) { return s.parseLong(out); }

private:
    icu::UnicodeString m_str;
};

KIVO_EXPORT std::ostream& operator<<(std::ostream& os, const NORVAUString& s);

namespace std {
template <> struct hash<NORVAUString> {
    size_t operator()(const NORVAUString& s) const { return static_cast<size_t>(s.unicode().hashCode()); }
};
}  // namespace std
