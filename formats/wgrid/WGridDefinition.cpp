#include "formats/wgrid/WGridDefinition.h"

#include <locale.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <list>
#include <utility>

#include <charconv>

#include "formats/wgrid/WGridKeywords.h"
#include "platform/core/NORVAAtomicFile.h"
#include "platform/core/NORVAFileUtils.h"

using namespace WGridKeywords;

namespace {

constexpr long kBad = WGridStatus::kBadDefinition;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// A whole finite number in the C notation, blanks around it allowed.
bool parseNumber(const std::string& text, double& out) {
    std::string t = trim(text);
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    if (t.empty()) return false;
    double v = 0.0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size() || !std::isfinite(v)) return false;
    out = v;
    return true;
}

// A whole number 0 .. INT32_MAX: what the writer's "%d" can give back.
bool parseCount(const std::string& text, uint32_t& out) {
    std::string t = trim(text);
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    if (t.empty()) return false;
    int64_t v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size() || v < 0 || v > std::numeric_limits<int32_t>::max())
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}

// The leading number of the text, 0 when there is none: for the values that
// opening replaces anyway (corners, dimensions).
double leadingNumber(const std::string& text) {
    std::string t = trim(text);
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    double v = 0.0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    return r.ec == std::errc() && std::isfinite(v) ? v : 0.0;
}

bool splitAt(const std::string& value, size_t comma, std::string& first, std::string& second) {
    if (comma == std::string::npos) return false;
    first = value.substr(0, comma);
    second = value.substr(comma + 1);
    return true;
}

bool parsePair(const std::string& value, double& a, double& b) {
    std::string first, second;
    double x = 0.0, y = 0.0;
    if (!splitAt(value, value.find(','), first, second) || !parseNumber(first, x) || !parseNumber(second, y))
        return false;
    a = x;
    b = y;
    return true;
}

bool equalsIgnoreCase(const std::string& a, const char* b) {
    const size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        const char x = (a[i] >= 'a' && a[i] <= 'z') ? static_cast<char>(a[i] - 32) : a[i];
        const char y = (b[i] >= 'a' && b[i] <= 'z') ? static_cast<char>(b[i] - 32) : b[i];
        if (x != y) return false;
    }
    return true;
}

// printf into a string, always in the C numeric locale.
class CLocaleFormatter {
public:
    CLocaleFormatter() : m_c(newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0))) {
        if (m_c) m_old = uselocale(m_c);
    }
    ~CLocaleFormatter() {
        if (m_c) {
            uselocale(m_old);
            freelocale(m_c);
        }
    }
    CLocaleFormatter(const CLocaleFormatter&) = delete;
    CLocaleFormatter& operator=(const CLocaleFormatter&) = delete;

    void add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char buf[4096];
        va_list args;
        va_start(args, format);
        const int n = std::vsnprintf(buf, sizeof buf, format, args);
        va_end(args);
        if (n < 0) return;
        if (static_cast<size_t>(n) < sizeof buf) {
            m_text.append(buf, static_cast<size_t>(n));
            return;
        }
        std::string big(static_cast<size_t>(n) + 1, '\0');
        va_start(args, format);
        std::vsnprintf(&big[0], big.size(), format, args);
        va_end(args);
        big.resize(static_cast<size_t>(n));
        m_text += big;
    }
    const std::string& text() const { return m_text; }

private:
    locale_t m_c;
    locale_t m_old = static_cast<locale_t>(0);
    std::string m_text;
};

}  // namespace

// Reading position in the definition text. Carriage returns that end a line
// (before its LF or at the end of the text) are dropped, so CR LF reads as LF.
class WGridDefinition::Cursor {
public:
    static constexpr int kEnd = -1;

    explicit Cursor(const std::string& text) {
        m_text.reserve(text.size());
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r') {
                size_t j = i;
                while (j < text.size() && text[j] == '\r') ++j;
                if (j == text.size() || text[j] == '\n') {
                    i = j - 1;
                    continue;
                }
            }
            m_text += text[i];
        }
    }
    int get() { return m_pos < m_text.size() ? static_cast<unsigned char>(m_text[m_pos++]) : kEnd; }
    void unget() {
        if (m_pos > 0) --m_pos;
    }
    int peek() const { return m_pos < m_text.size() ? static_cast<unsigned char>(m_text[m_pos]) : kEnd; }
    // The rest of the line without its LF; false when it is too long.
    bool restOfLine(std::string& line) {
        line.clear();
        for (int c = get(); c != kEnd && c != '\n'; c = get()) {
            if (line.size() >= kMaxLineLength) return false;
            line += static_cast<char>(c);
        }
        return true;
    }
    void skipLine() {
        for (int c = get(); c != kEnd && c != '\n'; c = get()) {
        }
    }

private:
    std::string m_text;
    size_t m_pos = 0;
};

long WGridDefinition::parseFile(const NORVAUString& path) {
    uint64_t size = 0;
    if (!NORVAFileUtils::isRegularFile(path) || !NORVAFileUtils::fileSize(path, size))
        return WGridStatus::kCannotOpenDef;
    if (size > kMaxFileSize) return kBad;
    FILE* f = NORVAFileUtils::openRegularFile(path);
    if (!f) return WGridStatus::kCannotOpenDef;
    std::string text(static_cast<size_t>(size), '\0');
    const size_t got = size ? std::fread(&text[0], 1, text.size(), f) : 0;
    const bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError) return WGridStatus::kCannotOpenDef;
    text.resize(got);
    return parseText(text);
}

long WGridDefinition::parseText(const std::string& text) {
    // A definition is plain text: a NUL byte would cut a key or value short
    // when it is written back.
    if (text.find('\0') != std::string::npos) return kBad;
    Cursor in(text);
    bool sawSection = false;
    for (;;) {
        const int c = in.get();
        if (c == Cursor::kEnd) return sawSection ? 0 : WGridStatus::kNoSection;
        if (c == '\n') continue;
        if (c == '#') {
            in.skipLine();
        } else if (c == '[') {
            const long status = readBlock(in, sawSection);
            if (status != 0) return status;
        } else if (c == 'V' || c == 'v') {
            // An old layout begins "Version 1": its reader is not offered,
            // and the file is refused. Any other such line ends the text.
            std::string rest;
            if (!in.restOfLine(rest)) return kBad;
            if (equalsIgnoreCase(rest, "ersion 1")) return kBad;
            return 0;
        } else {
            return kBad;
        }
    }
}

long WGridDefinition::readBlock(Cursor& in, bool& sawSection) {
    std::string name;
    for (int c = in.get();; c = in.get()) {
        if (c == Cursor::kEnd || c == '\n' || name.size() >= kMaxLineLength) return kBad;
        if (c == ']') break;
        name += static_cast<char>(c);
    }
    sawSection = true;
    if (name.compare(0, std::strlen(kHeader), kHeader) == 0) return readHeader(name);
    if (name == kLocation) return readLocationBlock(in);
    if (name == kParameters) return readParameterBlock(in);
    if (name == kData) return readDataBlock(in);
    if (name == kImageShading) return skipShadingBlock(in);
    if (name == kBeamWeighting) return readWeightingBlock(in);
    return kBad;
}

// "VARN WEIGHTED GRID DEFINITION VERSION 2.10": the words at their fixed
// places, and the version exactly the current one.
long WGridDefinition::readHeader(const std::string& name) {
    const size_t wordAt = std::strlen(kHeader) + 1;
    const size_t numberAt = wordAt + std::strlen(kVersionWord) + 1;
    if (name.size() <= numberAt || name.compare(wordAt, std::strlen(kVersionWord), kVersionWord) != 0) return kBad;
    double version = 0.0;
    if (!parseNumber(name.substr(numberAt), version)) return kBad;
    fileVersion = version;
    return version == currentVersion ? 0 : kBad;
}

long WGridDefinition::getTokenAndData(Cursor& in, std::string& key, std::string& value) {
    value.clear();
    for (;;) {
        key.clear();
        const int c = in.peek();
        if (c == Cursor::kEnd || c == '[') return 0;
        if (c == '\n') {
            in.get();
            continue;
        }
        if (c == '#') {
            in.skipLine();
            continue;
        }
        int k = in.get();
        for (; k != '=' && k != Cursor::kEnd && k != '\n'; k = in.get()) {
            if (key.size() >= kMaxLineLength) return kBad;
            key += static_cast<char>(k);
        }
        // A blank line is nothing; any other line without "=" is not a key line.
        if (k != '=') {
            if (trim(key).empty()) continue;
            return kBad;
        }
        while (!key.empty() && isBlank(key.back())) key.pop_back();
        if (key.empty() || key.size() > kMaxKeyLength) return kBad;
        while (in.peek() == ' ' || in.peek() == '\t') in.get();
        return in.restOfLine(value) ? 0 : kBad;
    }
}

long WGridDefinition::readLocationBlock(Cursor& in) {
    std::string key, value, first, second;
    for (;;) {
        const long status = getTokenAndData(in, key, value);
        if (status != 0) return status;
        if (key.empty()) return 0;
        switch (locationToken(key.c_str())) {
            case LOC_PROJECTION:
                if (!splitAt(value, value.find(','), first, second)) return kBad;
                projectionName = NORVAUString(first);
                projectionDetail = NORVAUString(second);
                break;
            case LOC_CENTER:
                if (!parsePair(value, centerX, centerY)) return kBad;
                break;
            case LOC_ROTATION:
                // Rotated grids are not supported: the rotation is always 0.
                rotation = 0.0;
                break;
            case LOC_DIMENSIONS:
                if (!splitAt(value, value.find(','), first, second)) return kBad;
                width = leadingNumber(first);
                height = leadingNumber(second);
                break;
            default:
                break;
        }
    }
}

long WGridDefinition::readParameterBlock(Cursor& in) {
    std::string key, value, first, second;
    for (;;) {
        const long status = getTokenAndData(in, key, value);
        if (status != 0) return status;
        if (key.empty()) return 0;
        switch (paramToken(key.c_str())) {
            case PARAM_RESOLUTION:
                if (!parseNumber(value, resolution)) return kBad;
                break;
            case PARAM_PIXEL_DIMENSIONS:
                if (!splitAt(value, value.find(','), first, second) || !parseCount(first, pixelsX) ||
                    !parseCount(second, pixelsY))
                    return kBad;
                break;
            case PARAM_FRAGMENT_SIZE:
                if (!parseCount(value, fragmentSize)) return kBad;
                break;
            default:
                break;
        }
    }
}

long WGridDefinition::readDataBlock(Cursor& in) {
    std::string key, value, first, second;
    for (;;) {
        const long status = getTokenAndData(in, key, value);
        if (status != 0) return status;
        if (key.empty()) return 0;
        switch (dataToken(key.c_str())) {
            case DATA_MIN_DEPTH:
                if (!parseNumber(value, minDepth)) return kBad;
                break;
            case DATA_MAX_DEPTH:
                if (!parseNumber(value, maxDepth)) return kBad;
                break;
            case DATA_AREA:
                if (!parseNumber(value, area)) return kBad;
                break;
            case DATA_SW_CORNER:
            case DATA_NE_CORNER: {
                double* corner = dataToken(key.c_str()) == DATA_SW_CORNER ? swCorner : neCorner;
                if (!splitAt(value, value.rfind(','), first, second)) return kBad;
                corner[0] = leadingNumber(first);
                corner[1] = leadingNumber(second);
                break;
            }
            case DATA_OUTDATED:
                outdated = equalsIgnoreCase(value, "TRUE");
                break;
            case DATA_REPRESENTATION:
                representation = NORVAUString(value);
                break;
            default:
                extraDataLines.push_back(key + " = " + value);
                break;
        }
    }
}

// Display settings are not kept; a section longer than the nine settings it
// can hold is not one this reader understands.
long WGridDefinition::skipShadingBlock(Cursor& in) {
    std::string key, value;
    for (uint32_t n = 0;; ++n) {
        const long status = getTokenAndData(in, key, value);
        if (status != 0) return status;
        if (key.empty()) return 0;
        if (n >= kShadingKeyLimit) return kBad;
    }
}

long WGridDefinition::readWeightingBlock(Cursor& in) {
    std::list<std::pair<double, double>> entries;
    std::string key, value;
    for (;;) {
        const long status = getTokenAndData(in, key, value);
        if (status != 0) return status;
        if (key.empty()) break;
        if (weightToken(key.c_str()) != WEIGHT_ANGLE) continue;
        double angle = 0.0, weight = 0.0;
        if (!parsePair(value, angle, weight)) return kBad;
        // Decreasing angle order; equal angles keep their file order, so
        // that storing and reading again changes nothing.
        auto at = entries.begin();
        while (at != entries.end() && at->first >= angle) ++at;
        entries.emplace(at, angle, weight);
    }
    if (!entries.empty()) {
        grazingAngles.clear();
        beamWeights.clear();
        for (const auto& e : entries) {
            grazingAngles.push_back(e.first);
            beamWeights.push_back(e.second);
        }
    }
    return 0;
}

std::string WGridDefinition::formatText() const {
    CLocaleFormatter out;
    out.add("[%s %s %2.2f]\n", kHeader, kVersionWord, currentVersion);
    out.add("# %s\n\n", kComment);

    out.add("[%s]\n", kLocation);
    if (!projectionName.isEmpty() && !projectionDetail.isEmpty())
        out.add("%s = %s,%s\n", kProjection, projectionName.toUTF8().c_str(), projectionDetail.toUTF8().c_str());
    out.add("%s = %9.9lf,%9.9lf\n", kCenter, centerX, centerY);
    out.add("%s = %4.6lf\n", kRotation, rotation);
    out.add("%s = %9.9lf,%9.9lf\n\n", kDimensions, width, height);

    out.add("[%s]\n", kParameters);
    out.add("%s = %4.6lf\n", kResolution, resolution);
    out.add("%s = %lld,%lld\n", kPixelDimensions, static_cast<long long>(pixelsX), static_cast<long long>(pixelsY));
    out.add("%s = %lld\n\n", kFragmentSize, static_cast<long long>(fragmentSize));

    out.add("[%s]\n", kData);
    if (minDepth != DBL_MAX) out.add("%s = %9.6lf\n", kMinDepth, minDepth);
    if (maxDepth != -DBL_MAX) out.add("%s = %9.6lf\n", kMaxDepth, maxDepth);
    if (area > 0.0) out.add("%s = %9.6lf\n", kArea, area);
    for (const std::string& line : extraDataLines) out.add("%s\n", line.c_str());
    out.add(outdated ? "%s = TRUE\n" : "%s = FALSE\n", kOutdated);
    if (!representation.isEmpty()) out.add("%s = %s\n", kRepresentation, representation.toUTF8().c_str());
    out.add("\n");

    if (!grazingAngles.empty()) {
        out.add("[%s]\n", kBeamWeighting);
        const size_t n = std::min(grazingAngles.size(), beamWeights.size());
        for (size_t i = 0; i < n; ++i) out.add("%s = %3.2lf,%2.2lf\n", kAngle, grazingAngles[i], beamWeights[i]);
        out.add("\n");
    }
    return out.text();
}

long WGridDefinition::writeMetaData(const NORVAUString& path) const {
    const std::string text = formatText();
    NORVAAtomicFile file;
    if (!file.open(path) || !file.write(text.data(), text.size()) || !file.commit())
        return WGridStatus::kCannotOpenDef;
    return 0;
}
