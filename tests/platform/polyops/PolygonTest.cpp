#include <gtest/gtest.h>

#include <cmath>

#include "platform/polyops/NORVACompGeom.h"
#include "platform/polyops/NORVAPolygonPrimitive.h"
#include "platform/shapes/NORVAAreaGeometry.h"
#include "platform/shapes/NORVACollectionGeometry.h"
#include "platform/shapes/NORVALineGeometry.h"
#include "platform/shapes/NORVAPointGeometry.h"

using NORVACompGeom::NORVAPolygonPrimitive;

namespace {

NORVAPolygonPrimitive poly(const NORVAAreaGeometry::Ring& r) { return NORVAPolygonPrimitive(NORVAAreaGeometry(r)); }

// A "U" shape: concave, the notch open to the north between x = 1 and x = 2.
NORVAAreaGeometry uShape() {
    return NORVAAreaGeometry(NORVAAreaGeometry::Ring{{0, 0}, {3, 0}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}});
}

struct Case {
    double x, y;
    bool inside;
};

void checkBoth(const NORVAPolygonPrimitive& p, const Case& c) {
    long s1 = -7, s2 = -7;
    EXPECT_EQ(p.isPointInPolygon(c.x, c.y, s1, false), c.inside) << c.x << "," << c.y;
    EXPECT_EQ(p.isPointInPolygonExact(c.x, c.y, s2, 1), c.inside) << c.x << "," << c.y;
    EXPECT_EQ(s1, 0);
    EXPECT_EQ(s2, 0);
}

}  // namespace

TEST(Polygon, VertexEdgeOutsideConcave) {
    NORVAPolygonPrimitive p(uShape());
    const Case cases[] = {
        {0.5, 0.5, true},   {2.5, 2.5, true},   {1.5, 2.0, false},  // inside the notch
        {1.5, 1.0, true},                                            // notch floor (edge)
        {0, 0, true},       {2, 3, true},       {1, 1, true},       // vertices, one reflex
        {3, 1.5, true},     {1.5, 0, true},                         // edges
        {-0.1, 0.5, false}, {3.5, 3, false},    {1.5, 3, false},    // outside, on the notch's open line
        {4, 0, false},      {-1, 3, false},                         // on lines through horizontal edges
        {1.5, 0.5, true},                                            // ray passes the reflex vertices' level
    };
    for (const Case& c : cases) checkBoth(p, c);
    long s;
    EXPECT_FALSE(p.isPointInPolygon(0, 0, s, true));  // boundary excluded on request
    EXPECT_FALSE(p.isPointInPolygonExact(0, 0, s, 0));
}

TEST(Polygon, HolesAndClosedRings) {
    // Closing vertex repeated, and a hole.
    NORVAAreaGeometry area(NORVAAreaGeometry::Ring{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}});
    area.addRing({{4, 4}, {6, 4}, {6, 6}, {4, 6}});
    NORVAPolygonPrimitive p(area);
    checkBoth(p, {5, 5, false});
    checkBoth(p, {2, 5, true});
    checkBoth(p, {4, 5, true});  // the hole's edge is boundary
}

TEST(Polygon, ExactTestResolvesTinyOffsets) {
    // A slanted edge through large coordinates: points a hair off the edge.
    const double x0 = 500000.125, y0 = 5600000.25;
    NORVAPolygonPrimitive p = poly(NORVAAreaGeometry::Ring{{x0, y0}, {x0 + 3, y0 + 1}, {x0, y0 + 1}});
    long s;
    const double mx = x0 + 1.5, my = y0 + 0.5;  // exactly on the slanted edge
    EXPECT_TRUE(p.isPointInPolygonExact(mx, my, s, 1));
    EXPECT_FALSE(p.isPointInPolygonExact(mx, my, s, 0));
    EXPECT_TRUE(p.isPointInPolygonExact(mx, std::nextafter(my, 1e300), s, 0));   // above: inside
    EXPECT_FALSE(p.isPointInPolygonExact(mx, std::nextafter(my, -1e300), s, 1));  // below: outside
}

TEST(Polygon, BadInputGivesStatus) {
    long s = 0;
    NORVAPolygonPrimitive empty;
    EXPECT_FALSE(empty.isPointInPolygon(0, 0, s, false));
    EXPECT_NE(s, 0);
    NORVAPolygonPrimitive degenerate = poly(NORVAAreaGeometry::Ring{{0, 0}, {1, 1}, {0, 0}});
    EXPECT_TRUE(degenerate.isEmpty());
    NORVAPolygonPrimitive nanRing = poly(NORVAAreaGeometry::Ring{{0, 0}, {NAN, 1}, {1, 0}});
    EXPECT_TRUE(nanRing.isEmpty());
    NORVAPolygonPrimitive p(uShape());
    EXPECT_FALSE(p.isPointInPolygon(NAN, 0, s, false));
    EXPECT_NE(s, 0);
    EXPECT_FALSE(p.isPointInPolygonExact(0, INFINITY, s, 1));
    EXPECT_NE(s, 0);
}

TEST(Polygon, Snap) {
    double x = 10.26, y = -3.74;
    ASSERT_EQ(NORVACompGeom::snap(x, y, 0.5), 0);
    EXPECT_EQ(x, 10.5);
    EXPECT_EQ(y, -3.5);
    EXPECT_NE(NORVACompGeom::snap(x, y, 0.0), 0);
    EXPECT_NE(NORVACompGeom::snap(x, y, -1.0), 0);
    EXPECT_EQ(x, 10.5);
    double nx = NAN;
    EXPECT_NE(NORVACompGeom::snap(nx, y, 1.0), 0);

    NORVAPolygonPrimitive p = poly(NORVAAreaGeometry::Ring{{0.1, 0.1}, {2.9, 0.2}, {3.1, 2.8}});
    ASSERT_EQ(NORVACompGeom::snap(p, 1.0), 0);
    EXPECT_EQ(p.getFirstVertex(), NORVAPoint2D(0, 0));
    long s;
    EXPECT_TRUE(p.isPointInPolygonExact(3, 3, s, 1));
}

TEST(Geometry, BoundingBoxesAndCopies) {
    NORVACollectionGeometry coll;
    coll.add(NORVAPointGeometry(5, -1));
    coll.add(NORVAAreaGeometry::rectangle(0, 0, 2, 3));
    NORVALineGeometry line;
    EXPECT_TRUE(line.getBoundingBox().isEmpty());
    line.addPoint(-4, 1);
    coll.add(line);
    const NORVABox2D box = coll.getBoundingBox();
    EXPECT_EQ(box.getMinimum(), NORVAPoint2D(-4, -1));
    EXPECT_EQ(box.getMaximum(), NORVAPoint2D(5, 3));

    NORVAType<NORVAGeometry> copy = coll.newCopy();
    coll = NORVACollectionGeometry();  // the copy owns its own members
    ASSERT_EQ(copy->getType(), NORVAGeometry::COLLECTION);
    const auto& c = static_cast<const NORVACollectionGeometry&>(*copy);
    ASSERT_EQ(c.getCount(), 3u);
    EXPECT_EQ(c.get(1).getType(), NORVAGeometry::AREA);
    EXPECT_NE(dynamic_cast<const NORVAAreaGeometry*>(&c.get(1)), nullptr);
}
