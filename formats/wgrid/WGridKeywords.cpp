#include "formats/wgrid/WGridKeywords.h"

#include <cstring>

namespace WGridKeywords {

namespace {
bool same(const char* a, const char* b) { return std::strcmp(a, b) == 0; }
}  // namespace

int locationToken(const char* key) {
    if (same(key, kProjection)) return LOC_PROJECTION;
    if (same(key, kCenter)) return LOC_CENTER;
    if (same(key, kRotation)) return LOC_ROTATION;
    if (same(key, kDimensions)) return LOC_DIMENSIONS;
    return LOC_UNKNOWN;
}

int paramToken(const char* key) {
    if (same(key, kResolution)) return PARAM_RESOLUTION;
    if (same(key, kPixelDimensions)) return PARAM_PIXEL_DIMENSIONS;
    if (same(key, kFragmentSize)) return PARAM_FRAGMENT_SIZE;
    return PARAM_UNKNOWN;
}

int dataToken(const char* key) {
    if (same(key, kMinDepth)) return DATA_MIN_DEPTH;
    if (same(key, kMaxDepth)) return DATA_MAX_DEPTH;
    if (same(key, kArea)) return DATA_AREA;
    if (same(key, kSWCorner)) return DATA_SW_CORNER;
    if (same(key, kNECorner)) return DATA_NE_CORNER;
    if (same(key, kOutdated)) return DATA_OUTDATED;
    if (same(key, kRepresentation)) return DATA_REPRESENTATION;
    return DATA_UNKNOWN;
}

int weightToken(const char* key) { return same(key, kAngle) ? WEIGHT_ANGLE : WEIGHT_UNKNOWN; }

}  // namespace WGridKeywords
