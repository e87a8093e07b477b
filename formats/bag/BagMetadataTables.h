#pragma once
// Names the ISO metadata gives coordinate types and datums, matched as
// prefixes in table order.
#include <cstdint>

namespace BagMetadataTables {

enum CoordinateType : int32_t {
    GEODETIC = 0,
    UTM = 5,
    CASSINI = 11,
    GNOMONIC = 16,
    LAMBERT_CONFORMAL_CONIC = 17,
    MERCATOR = 18,
    OBLIQUE_MERCATOR = 23,
    POLAR_STEREO = 25,
    POLYCONIC = 26,
    STEREOGRAPHIC = 28,
    TRANSVERSE_MERCATOR = 30,
    VAN_DER_GRINTEN = 31,
};

enum Datum : int32_t { WGS84 = 0, WGS72 = 1, NAD83 = 2 };

// -1 when no name is a prefix of the text.
int32_t coordinateType(const char* text);
int32_t datum(const char* text);
// 0 when the text names no kind (compared without regard to case).
int32_t verticalUncertaintyType(const char* text);

}  // namespace BagMetadataTables
