#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "platform/proj/NORVACoordSystem.h"
#include "platform/proj/NORVAEllipsoid.h"
#include "platform/proj/NORVAMapDefinitionFactory.h"
#include "platform/proj/NORVAScaler.h"
#include "platform/shapes/NORVACover.h"

namespace {
const char* kUtm31 = "EPSG:32631";
}

TEST(CoordSystem, EqualityGoesThroughProj) {
    NORVACoordSystem wgs("EPSG:4326");
    ASSERT_EQ(wgs.getStatus(), 0);
    EXPECT_TRUE(wgs.isGeographic());
    NORVACoordSystem utm(kUtm31);
    ASSERT_EQ(utm.getStatus(), 0);
    EXPECT_FALSE(utm.isGeographic());
    EXPECT_FALSE(wgs.isEqual(utm));

    // The same system written differently.
    NORVACoordSystem utmProj("+proj=utm +zone=31 +datum=WGS84 +units=m +no_defs");
    ASSERT_EQ(utmProj.getStatus(), 0);
    EXPECT_TRUE(utm.isEqual(utmProj));
    EXPECT_TRUE(utmProj.isEqual(utm));

    NORVACoordSystem scaled(kUtm31, "", NORVAScaler(0, 0, 0, 0.01, 0.01, 0.001));
    EXPECT_TRUE(utm.isEqual(scaled));
    EXPECT_FALSE(utm.isEqual(scaled, true));

    NORVACoordSystem bad("EPSG:999999");
    EXPECT_NE(bad.getStatus(), 0);
    NORVACoordSystem garbage("this is not a crs");
    EXPECT_NE(garbage.getStatus(), 0);
    double x = 1, y = 2;
    EXPECT_NE(bad.transform(wgs, x, y), 0);
    EXPECT_EQ(x, 1);
}

TEST(CoordSystem, TransformGeographicToUtmAndBack) {
    NORVACoordSystem wgs("EPSG:4326");
    NORVACoordSystem utm(kUtm31);
    // Longitude first, whatever the EPSG axis order says.
    double x = 3.0, y = 0.0;  // the zone's central meridian on the equator
    ASSERT_EQ(wgs.transform(utm, x, y), 0);
    EXPECT_NEAR(x, 500000.0, 1e-3);
    EXPECT_NEAR(y, 0.0, 1e-3);

    x = 2.5;
    y = 51.0;
    ASSERT_EQ(wgs.transform(utm, x, y), 0);
    const double e = x, n = y;
    EXPECT_NEAR(e, 465000, 2000);
    EXPECT_NEAR(n, 5650000, 10000);
    ASSERT_EQ(utm.transform(wgs, x, y), 0);
    EXPECT_NEAR(x, 2.5, 1e-9);
    EXPECT_NEAR(y, 51.0, 1e-9);

    // A copy has its own PROJ state and gives the same answer.
    NORVACoordSystem copy(wgs);
    double cx = 2.5, cy = 51.0;
    ASSERT_EQ(copy.transform(utm, cx, cy), 0);
    EXPECT_EQ(cx, e);
    EXPECT_EQ(cy, n);
    // And it outlives the system it was copied from.
    auto source = std::make_unique<NORVACoordSystem>(wgs);
    NORVACoordSystem kept(*source);
    source.reset();
    double kx = 2.5, ky = 51.0;
    ASSERT_EQ(kept.transform(utm, kx, ky), 0);
    EXPECT_EQ(kx, e);
    EXPECT_TRUE(kept.isEqual(wgs));

    double nx = NAN, ny = 0;
    EXPECT_NE(wgs.transform(utm, nx, ny), 0);
}

TEST(CoordSystem, ThreeStringsRoundTrip) {
    NORVACoordSystem cs(kUtm31, "UTM 31 \xc3\xa9", NORVAScaler(100.5, -3, 0, 0.01, 0.01, 0.001));
    NORVAUString s1, s2, s3;
    ASSERT_EQ(cs.toStrings(s1, s2, s3), 0);
    NORVACoordSystem back(s1, s2, s3);
    ASSERT_EQ(back.getStatus(), 0);
    EXPECT_TRUE(back.isEqual(cs, true));
    EXPECT_EQ(back.getName(), cs.getName());
    EXPECT_EQ(back.getScaler().getOffset(0), 100.5);
    EXPECT_EQ(back.getScaler().getScale(2), 0.001);

    NORVACoordSystem bad("n", "EPSG:4326", "1 0 0 0 -1 1 1");  // negative scale
    EXPECT_NE(bad.getStatus(), 0);
    NORVACoordSystem none;
    EXPECT_NE(none.toStrings(s1, s2, s3), 0);
}

TEST(Scaler, DiskUnitsAndSnap) {
    NORVAScaler s(1000, 2000, 0, 0.01, 0.01, 0.001);
    int32_t dx, dy, dz;
    ASSERT_EQ(s.userToDisk(1000.014, 1999.996, -12.3456, dx, dy, dz), 0);
    EXPECT_EQ(dx, 1);
    EXPECT_EQ(dy, 0);
    EXPECT_EQ(dz, -12346);
    double x, y, z;
    s.diskToUser(dx, dy, dz, x, y, z);
    EXPECT_NEAR(x, 1000.01, 1e-9);
    EXPECT_NEAR(z, -12.346, 1e-9);
    EXPECT_NE(s.userToDisk(1000 + 3e7, 0, 0, dx, dy, dz), 0);  // beyond 32 bits
    EXPECT_EQ(dx, 1);
    x = 1000.0149;
    y = 2000.0051;
    ASSERT_EQ(s.snap(x, y), 0);
    EXPECT_NEAR(x, 1000.01, 1e-9);
    EXPECT_NEAR(y, 2000.01, 1e-9);
    EXPECT_NE(NORVAScaler(0.0).snap(x, y), 0);
}

TEST(MapDefinitionFactory, BuildsSystemsFromProjectionKinds) {
    NORVAMapDefinitionFactory f("");
    ASSERT_EQ(f.getStatus(), 0);
    EXPECT_NE(NORVAMapDefinitionFactory("/no/such/mapdef").getStatus(), 0);
    NORVAEllipsoid wgs84("WG84");
    ASSERT_EQ(wgs84.getStatus(), 0);
    EXPECT_NE(NORVAEllipsoid("XX99").getStatus(), 0);

    long status = -9;
    const double zeros[8] = {};
    auto geo = f.makeCoSys("Geographic", 1, wgs84, 15, zeros, NORVAScaler(1e-9), 0, status);
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(geo);
    EXPECT_TRUE(geo->isGeographic());

    const double utm31[8] = {3, 0, 500000, 0, 0.9996, 0, 0, 0};
    auto utm = f.makeCoSys("BAG Coord System", 2, wgs84, 14, utm31, NORVAScaler(0, 0, 0, 0.01, 0.01, 0.001), 0,
                           status);
    ASSERT_EQ(status, 0);
    double x = 2.5, y = 51.0, ex = 2.5, ey = 51.0;
    ASSERT_EQ(geo->transform(*utm, x, y), 0);
    ASSERT_EQ(NORVACoordSystem("EPSG:4326").transform(NORVACoordSystem(kUtm31), ex, ey), 0);
    EXPECT_NEAR(x, ex, 0.01);
    EXPECT_NEAR(y, ey, 0.01);

    NORVAUString s1, s2, s3;
    ASSERT_EQ(f.toStrings(*utm, s1, s2, s3), 0);
    auto back = f.fromStrings(s1, s2, s3, status);
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(back->isEqual(*utm, true));

    for (int kind : {2, 4, 6, 7, 9, 10, 12, 13}) {
        const double p[8] = {-70, 40, 0, 0, 1, 45, 40, 0};
        auto cs = f.makeCoSys("", 2, NORVAEllipsoid("NA83"), kind, p, NORVAScaler(), 0, status);
        EXPECT_EQ(status, 0) << kind;
    }
    EXPECT_FALSE(f.makeCoSys("", 2, wgs84, 99, zeros, NORVAScaler(), 0, status));
    EXPECT_NE(status, 0);
    EXPECT_FALSE(f.makeCoSys("", 1, wgs84, 14, utm31, NORVAScaler(), 0, status));  // geographic kind, projected
    EXPECT_NE(status, 0);
}

TEST(Cover, TransformToFollowsTheOutline) {
    NORVACoordSystem wgs("EPSG:4326");
    NORVACoordSystem utm(kUtm31);
    NORVACover c(2.0, 50.0, 4.0, 52.0, wgs);
    double a, b, cc, d;
    c.getCover(a, b, cc, d);
    EXPECT_EQ(a, 2.0);
    EXPECT_EQ(b, 50.0);
    EXPECT_EQ(cc, 4.0);
    EXPECT_EQ(d, 52.0);
    EXPECT_EQ(c.getWidth(), 2.0);

    long status = -1;
    auto t = c.transformTo(utm, status);
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(t);
    double minX, minY, maxX, maxY;
    t->getCover(minX, minY, maxX, maxY);
    // The edges bulge: the 50th parallel reaches further north at the central
    // meridian than at the corners; the box must still hold every edge point.
    for (int i = 0; i <= 20; ++i) {
        double x = 2.0 + 0.1 * i, y = 50.0;
        ASSERT_EQ(wgs.transform(utm, x, y), 0);
        EXPECT_GE(x, minX - 1e-6);
        EXPECT_LE(x, maxX + 1e-6);
        EXPECT_GE(y, minY - 1e-6);
        EXPECT_LE(y, maxY + 1e-6);
    }
    EXPECT_TRUE(t->getCoordSystem()->isEqual(utm));
    EXPECT_GT(t->getWidth(), 100000);

    NORVACover plain(1, 2, 3, 4);  // no system: copied unchanged
    auto same = plain.transformTo(utm, status);
    ASSERT_EQ(status, 0);
    same->getCover(a, b, cc, d);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(d, 4);

    NORVACover bad(2.0, 50.0, 4.0, 95.0, wgs);  // latitude beyond the pole
    EXPECT_FALSE(bad.transformTo(utm, status));
    EXPECT_NE(status, 0);
}
