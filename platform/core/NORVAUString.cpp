#include "platform/core/NORVAUString.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>

NORVAUString::NORVAUString(const char* utf8)
    : m_str(icu::UnicodeString::fromUTF8(utf8 ? icu::StringPiece(utf8) : icu::StringPiece(""))) {}

NORVAUString::NORVAUString(const std::string& utf8)
    : m_str(icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())))) {}

std::string NORVAUString::toUTF8() const {
    std::string out;
    m_str.toUTF8String(out);
    return out;
}

int NORVAUString::caseCompare(const NORVAUString& o) const {
    return m_str.caseCompare(o.m_str, U_FOLD_CASE_DEFAULT);
}

bool NORVAUString::endsWithIgnoreCase(const NORVAUString& s) const {
    if (s.length() > length()) return false;
    return substring(length() - s.length()).equalsIgnoreCase(s);
}

NORVAUString NORVAUString::substring(int32_t start, int32_t len) const {
    icu::UnicodeString out;
    m_str.extract(start, len, out);
    return NORVAUString(out);
}

NORVAUString& NORVAUString::replaceAll(const NORVAUString& from, const NORVAUString& to) {
    if (!from.isEmpty()) m_str.findAndReplace(from.m_str, to.m_str);
    return *this;
}

namespace {

// In the root locale: names and keys change case alike whatever the
// process's locale, and ICU takes no process-wide lock for it (the default
// locale is read under one, which a child forked meanwhile would inherit
// held). Made as the library loads, so that no fork finds it half made.
const icu::Locale& caseLocale() {
    static const icu::Locale& root = icu::Locale::getRoot();
    return root;
}
const bool kCaseLocaleMade = (caseLocale(), true);

}  // namespace

NORVAUString NORVAUString::toLower() const {
    icu::UnicodeString c(m_str);
    c.toLower(caseLocale());
    return NORVAUString(c);
}

NORVAUString NORVAUString::toUpper() const {
    icu::UnicodeString c(m_str);
    c.toUpper(caseLocale());
    return NORVAUString(c);
}

NORVAUString NORVAUString::trimmed() const {
    icu::UnicodeString c(m_str);
    c.trim();
    return NORVAUString(c);
}

namespace {

std::string groupDigits(const std::string& text) {
    size_t start = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    size_t end = start;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    std::string digits = text.substr(start, end - start);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return text.substr(0, start) + grouped + text.substr(end);
}

}  // namespace

NORVAUString NORVAUString::formatDouble(double value, bool grouping) {
    if (std::isnan(value)) return NORVAUString("NaN");
    if (std::isinf(value)) return NORVAUString(value > 0 ? "Infinity" : "-Infinity");
    char buf[64];
    int precision = 1;
    for (; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, value);
        if (std::strtod(buf, nullptr) == value) break;
    }
    precision = std::min(precision, 17);
    // %g turns 100 into "1e+02"; whole numbers and moderate magnitudes read
    // better in positional notation, which is equally exact.
    const char* e = std::strchr(buf, 'e');
    const int exponent = e ? std::atoi(e + 1) : 0;
    if (e && exponent >= 0 && exponent < 17)
        std::snprintf(buf, sizeof buf, "%.*f", std::max(0, precision - 1 - exponent), value);
    std::string text(buf);
    return NORVAUString(grouping ? groupDigits(text) : text);
}

NORVAUString NORVAUString::formatLong(long value) {
    return NORVAUString(std::to_string(value));
}

NORVAUString NORVAUString::formatPattern(double value, const NORVAUString& pattern) {
    std::string p = pattern.toUTF8();
    size_t dot = p.find('.');
    std::string intPart = p.substr(0, dot);
    std::string fracPart = dot == std::string::npos ? "" : p.substr(dot + 1);
    bool grouping = intPart.find(',') != std::string::npos;
    int minInt = 0, minFrac = 0, maxFrac = 0;
    for (char c : intPart) minInt += (c == '0');
    for (char c : fracPart) {
        if (c == '0') ++minFrac;
        if (c == '0' || c == '#') ++maxFrac;
    }
    if (std::isnan(value) || std::isinf(value)) return formatDouble(value);
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", maxFrac, std::fabs(value));
    std::string text(buf);
    std::string whole = text.substr(0, text.find('.'));
    std::string frac = maxFrac > 0 ? text.substr(text.find('.') + 1) : "";
    while (static_cast<int>(frac.size()) > minFrac && !frac.empty() && frac.back() == '0') frac.pop_back();
    if (whole == "0" && minInt == 0 && !frac.empty()) whole.clear();
    else if (whole == "0" && minInt == 0 && frac.empty()) whole = "0";
    while (static_cast<int>(whole.size()) < minInt) whole.insert(whole.begin(), '0');
    if (grouping) whole = groupDigits(whole);
    bool negative = value < 0 && (std::strtod(text.c_str(), nullptr) != 0.0);
    std::string out = (negative ? "-" : "") + whole + (frac.empty() ? "" : "." + frac);
    return NORVAUString(out);
}

bool NORVAUString::parseDouble(double& out) const {
    std::string s = trimmed().toUTF8();
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size()) return false;
    // ERANGE also flags a subnormal result, which is exact enough to keep;
    // overflow and underflow to zero are refused.
    if (errno == ERANGE && (std::isinf(v) || v == 0.0)) return false;
    out = v;
    return true;
}

bool NORVAUString::parseLong(long& out) const {
    std::string s = trimmed().toUTF8();
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (end != s.c_str() + s.size() || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<long>(v);
    return true;
}

std::ostream& operator<<(std::ostream& os, const NORVAUString& s) { return os << s.toUTF8(); }
