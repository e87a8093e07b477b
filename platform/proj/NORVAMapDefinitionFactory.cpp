#include "platform/proj/NORVAMapDefinitionFactory.h"

#include <cstdio>
#include <string>

#include "platform/core/NORVAFileUtils.h"

namespace {

std::string num(const char* key, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, " +%s=%.17g", key, v);
    return buf;
}

// The projection part of a PROJ string, empty for an unknown kind.
std::string projectionText(int projection, const double* p) {
    using F = NORVAMapDefinitionFactory;
    const double lon0 = p[F::CENTRAL_MERIDIAN], lat0 = p[F::ORIGIN_LATITUDE];
    const double k = p[F::SCALE_FACTOR], lat1 = p[F::STANDARD_PARALLEL], latc = p[F::CENTRE_LATITUDE];
    const std::string offsets = num("x_0", p[F::FALSE_EASTING]) + num("y_0", p[F::FALSE_NORTHING]);
    const std::string origin = num("lat_0", lat0) + num("lon_0", lon0);
    switch (projection) {
        case F::PROJ_GEOGRAPHIC: return "+proj=longlat";
        case F::PROJ_CASSINI: return "+proj=cass" + origin + offsets;
        case F::PROJ_GNOMONIC: return "+proj=gnom" + origin + offsets;
        case F::PROJ_OBLIQUE_MERCATOR:
            return "+proj=omerc" + num("lat_0", latc) + num("lonc", lon0) + num("alpha", p[F::UNUSED_PARAMETER]) +
                   num("k_0", k != 0.0 ? k : 1.0) + offsets;
        case F::PROJ_LAMBERT_CONFORMAL_CONIC:
            return "+proj=lcc" + num("lat_1", lat1) + num("lat_2", lat1) + origin + offsets;
        case F::PROJ_MERCATOR:
            return "+proj=merc" + num("lon_0", lon0) +
                   (lat1 != 0.0 ? num("lat_ts", lat1) : num("k_0", k != 0.0 ? k : 1.0)) + offsets;
        case F::PROJ_POLYCONIC: return "+proj=poly" + origin + offsets;
        case F::PROJ_POLAR_STEREOGRAPHIC: {
            const double pole = (lat1 < 0.0 || (lat1 == 0.0 && lat0 < 0.0)) ? -90.0 : 90.0;
            return "+proj=stere" + num("lat_0", pole) + num("lon_0", lon0) +
                   (lat1 != 0.0 ? num("lat_ts", lat1) : num("k_0", k != 0.0 ? k : 1.0)) + offsets;
        }
        case F::PROJ_STEREOGRAPHIC: return "+proj=stere" + origin + num("k_0", k != 0.0 ? k : 1.0) + offsets;
        case F::PROJ_TRANSVERSE_MERCATOR: return "+proj=tmerc" + origin + num("k_0", k != 0.0 ? k : 1.0) + offsets;
        case F::PROJ_UTM: return "+proj=tmerc" + origin + num("k_0", k != 0.0 ? k : 0.9996) + offsets;
        default: return std::string();
    }
}

}  // namespace

NORVAMapDefinitionFactory::NORVAMapDefinitionFactory(const NORVAUString& fileName) : m_fileName(fileName) {
    if (fileName.isEmpty()) return;
    FILE* f = NORVAFileUtils::openRegularFile(fileName);
    if (!f) {
        m_status = MAPDEF_FILE_UNREADABLE;
        return;
    }
    std::fclose(f);
}

NORVAType<NORVACoordSystem> NORVAMapDefinitionFactory::makeCoSys(const NORVAUString& name, int kind,
                                                                 const NORVAEllipsoid& ellipsoid, int projection,
                                                                 const double parameters[PARAMETER_COUNT],
                                                                 const NORVAScaler& scaler, int chartAlignment,
                                                                 long& status) const {
    status = m_status;
    if (status != 0) return NORVAType<NORVACoordSystem>();
    status = ellipsoid.getStatus();
    if (status != 0) return NORVAType<NORVACoordSystem>();
    const bool kindOk = kind == KIND_PROJECTED || (kind == KIND_GEOGRAPHIC && projection == PROJ_GEOGRAPHIC);
    const double zeros[PARAMETER_COUNT] = {};
    const std::string proj = projectionText(projection, parameters ? parameters : zeros);
    if (!kindOk || proj.empty() || chartAlignment != 0) {
        status = MAPDEF_UNSUPPORTED;
        return NORVAType<NORVACoordSystem>();
    }
    const std::string def =
        proj + " +ellps=" + ellipsoid.getProjName() + (projection == PROJ_GEOGRAPHIC ? "" : " +units=m") +
        " +no_defs +type=crs";
    auto cs = makeNORVAType<NORVACoordSystem>(NORVAUString(def), name, scaler);
    status = cs->getStatus();
    if (status != 0) return NORVAType<NORVACoordSystem>();
    return cs;
}

long NORVAMapDefinitionFactory::toStrings(const NORVACoordSystem& cs, NORVAUString& s1, NORVAUString& s2,
                                          NORVAUString& s3) const {
    if (m_status != 0) return m_status;
    return cs.toStrings(s1, s2, s3);
}

NORVAType<NORVACoordSystem> NORVAMapDefinitionFactory::fromStrings(const NORVAUString& s1, const NORVAUString& s2,
                                                                   const NORVAUString& s3, long& status) const {
    status = m_status;
    if (status != 0) return NORVAType<NORVACoordSystem>();
    auto cs = makeNORVAType<NORVACoordSystem>(s1, s2, s3);
    status = cs->getStatus();
    if (status != 0) return NORVAType<NORVACoordSystem>();
    return cs;
}
