#include "platform/kestrin/KestrinStoreType.h"

#include <cfloat>
#include <cmath>
#include <limits>

namespace KestrinStoreType {

namespace {

struct Range {
    double low;
    double high;
    bool integer;
};

Range rangeOf(int32_t type) {
    switch (type) {
        case LONG: return {-2147483648.0, 2147483647.0, true};
        case UCHAR: return {0.0, 255.0, true};
        case FLOAT: return {-FLT_MAX, FLT_MAX, false};
        case USHORT: return {0.0, 65535.0, true};
        case SHORT: return {-32768.0, 32767.0, true};
        case ULONG: return {0.0, 4294967295.0, true};
        default: return {-DBL_MAX, DBL_MAX, false};
    }
}

}  // namespace

bool isValid(int32_t type) { return type >= DOUBLE && type < TYPE_COUNT; }

bool isText(int32_t type) { return type == FIXED_TEXT || type == TEXT || type == STRING; }

uint32_t fixedSize(int32_t type) {
    switch (type) {
        case LONG:
        case FLOAT:
        case ULONG:
        case TEXT:    // held as a 32-bit index into the attribute's string table
        case STRING: return 4;
        case UCHAR: return 1;
        case USHORT:
        case SHORT: return 2;
        case FIXED_TEXT: return 0;
        default: return 8;
    }
}

bool hasEmptyValue(int32_t type) { return isValid(type) && !isText(type); }

double emptyValue(int32_t type) {
    switch (type) {
        case LONG: return 2147483647.0;
        case UCHAR: return 255.0;
        case FLOAT: return FLT_MAX;
        case USHORT: return 65535.0;
        case SHORT: return 32767.0;
        case ULONG: return 4294967295.0;
        default: return DBL_MAX;
    }
}

bool fitsType(int32_t type, double value, double& held) {
    if (std::isnan(value)) return false;
    const Range r = rangeOf(type);
    const double v = r.integer ? std::trunc(value) : value;
    // Infinities stay allowed for the floating types, as the IEEE types hold them.
    if (!r.integer && std::isinf(v)) {
        held = v;
        return true;
    }
    if (!(v >= r.low && v <= r.high)) return false;
    held = v;
    return true;
}

double saturate(int32_t type, double value) {
    if (std::isnan(value)) return 0.0;
    const Range r = rangeOf(type);
    if (!r.integer && std::isinf(value)) return value;
    double v = r.integer ? std::trunc(value) : value;
    if (v < r.low) v = r.low;
    if (v > r.high) v = r.high;
    return v;
}

size_t fittedLength(const std::string& text, uint32_t size) {
    const size_t room = size > 0 ? size - 1 : 0;
    if (text.size() <= room) return text.size();
    size_t cut = room;
    // Back off over UTF-8 continuation bytes so no character is split.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

std::string fitText(const std::string& text, uint32_t size) { return text.substr(0, fittedLength(text, size)); }

}  // namespace KestrinStoreType
