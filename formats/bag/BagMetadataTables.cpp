#include "formats/bag/BagMetadataTables.h"

#include <strings.h>

#include <cstring>

namespace {

const char* const kCoordinateTypes[] = {
    "Geodetic", "GEOREF", "Geocentric", "Local_Cartesian", "MGRS", "UTM", "UPS", "Albers_Equal_Area_Conic",
    "Azimuthal_Equidistant", "BNG", "Bonne", "Cassini", "Cylindrical_Equal_Area", "Eckert4", "Eckert6",
    "Equidistant_Cylindrical", "Gnomonic", "Lambert_Conformal_Conic", "Mercator", "Miller_Cylindrical", "Mollweide",
    "Neys", "NZMG", "Oblique_Mercator", "Orthographic", "Polar_Stereo", "Polyconic", "Sinusoidal", "Stereographic",
    "Transverse_Cylindrical_Equal_Area", "Transverse_Mercator", "Van_der_Grinten",
};

const char* const kDatums[] = {"WGS84", "WGS72", "NAD83"};

const char* const kUncertaintyTypes[] = {"Raw Std Dev", "CUBE Std Dev", "Product Uncert", "Historical Std Dev"};

template <size_t N>
int32_t prefixLookup(const char* const (&table)[N], const char* text) {
    if (!text) return -1;
    for (size_t i = 0; i < N; ++i)
        if (std::strncmp(text, table[i], std::strlen(table[i])) == 0) return int32_t(i);
    return -1;
}

}  // namespace

namespace BagMetadataTables {

int32_t coordinateType(const char* text) { return prefixLookup(kCoordinateTypes, text); }

int32_t datum(const char* text) { return prefixLookup(kDatums, text); }

int32_t verticalUncertaintyType(const char* text) {
    if (!text) return 0;
    for (size_t i = 0; i < sizeof kUncertaintyTypes / sizeof *kUncertaintyTypes; ++i)
        if (strcasecmp(text, kUncertaintyTypes[i]) == 0) return int32_t(i) + 1;
    return 0;
}

}  // namespace BagMetadataTables
