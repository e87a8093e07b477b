#pragma once
// Builds coordinate systems from an ellipsoid, a projection kind and its
// parameters, and turns them into their three strings. It may be given a
// map-definition file (the configuration key "vrqXmapdef"); an empty name
// is allowed, a named file must be readable.
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAObject.h"
#include "platform/core/NORVAType.h"
#include "platform/core/NORVAUString.h"
#include "platform/proj/NORVACoordSystem.h"
#include "platform/proj/NORVAEllipsoid.h"
#include "platform/proj/NORVAScaler.h"

class KIVO_EXPORT NORVAMapDefinitionFactory : public NORVAObject {
public:
    enum Kind { KIND_GEOGRAPHIC = 1, KIND_PROJECTED = 2 };
    enum Projection {
        PROJ_CASSINI = 2,
        PROJ_GNOMONIC = 4,
        PROJ_OBLIQUE_MERCATOR = 5,
        PROJ_LAMBERT_CONFORMAL_CONIC = 6,
        PROJ_MERCATOR = 7,
        PROJ_POLYCONIC = 9,
        PROJ_POLAR_STEREOGRAPHIC = 10,
        PROJ_STEREOGRAPHIC = 12,
        PROJ_TRANSVERSE_MERCATOR = 13,
        PROJ_UTM = 14,
        PROJ_GEOGRAPHIC = 15,
    };
    // The eight projection values, in this order.
    enum Parameter {
        CENTRAL_MERIDIAN = 0,
        ORIGIN_LATITUDE,
        FALSE_EASTING,
        FALSE_NORTHING,
        SCALE_FACTOR,
        STANDARD_PARALLEL,
        CENTRE_LATITUDE,
        UNUSED_PARAMETER,
        PARAMETER_COUNT
    };
    enum Status : long { MAPDEF_FILE_UNREADABLE = -1, MAPDEF_UNSUPPORTED = -2 };

    explicit NORVAMapDefinitionFactory(const NORVAUString& fileName = NORVAUString());

    // Projection kind PROJ_GEOGRAPHIC gives geographic coordinates on the
    // ellipsoid whatever `kind` says. Unknown kinds, a bad ellipsoid or
    // values PROJ refuses give a non-zero status and an empty handle.
    NORVAType<NORVACoordSystem> makeCoSys(const NORVAUString& name, int kind, const NORVAEllipsoid& ellipsoid,
                                          int projection, const double parameters[PARAMETER_COUNT],
                                          const NORVAScaler& scaler, int chartAlignment, long& status) const;

    long toStrings(const NORVACoordSystem& cs, NORVAUString& s1, NORVAUString& s2, NORVAUString& s3) const;
    NORVAType<NORVACoordSystem> fromStrings(const NORVAUString& s1, const NORVAUString& s2, const NORVAUString& s3,
                                            long& status) const;

    const NORVAUString& getFileName() const { return m_fileName; }

private:
    NORVAUString m_fileName;
};
