#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <functional>

#include "KestrinPointTestSupport.h"
#include "TempFolder.h"
#include "multires/KestrinPointIter.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/shapes/NORVAAreaGeometry.h"

namespace {

using namespace kestrinpoints;
using KestrinStoreType::DOUBLE;
using KestrinStoreType::FIXED_TEXT;
using KestrinStoreType::FLOAT;
using KestrinStoreType::LONG;
using KestrinStoreType::USHORT;

std::vector<std::pair<double, double>> positions(KestrinPointIter& it) {
    std::vector<std::pair<double, double>> out;
    long s = 0;
    for (bool more = !it.done(s); more; more = it.next(s)) {
        double x = 0, y = 0;
        EXPECT_EQ(0, it.getPosition(x, y));
        out.emplace_back(x, y);
    }
    return out;
}

// "Depth" in the middle of the record, "Status" after it, and a name with blanks.
const std::vector<Field> kMixed{{"Line Name", FIXED_TEXT, 8}, {"Depth", DOUBLE}, {"Beam", USHORT},
                                {"Status", LONG},            {"Time", DOUBLE}};

TEST(KestrinPointIter, AdditionalAttributesSkipDepthAndStatusWhereverTheySit) {
    auto s = store(kMixed, {{3, 4, {"L1", 12.5, 7.0, 0.0, 99.25}}});
    KestrinPointIter it(*s, makeNORVAType<KestrinPointIter::Polygon>(NORVAAreaGeometry::rectangle(0, 0, 50, 50)),
                        true);
    ASSERT_EQ(0, it.getStatus());
    std::vector<NORVAUString> names;
    it.getAdditionalAttributes(names);
    EXPECT_EQ((std::vector<NORVAUString>{"Line_Name", "Beam", "Time", "Interpolated"}), names);

    KIVOAttributeSet* set = nullptr;
    const KIVODescriptor* descriptor = nullptr;
    ASSERT_EQ(0, it.getAdditionalAttributes(set, descriptor));
    ASSERT_NE(nullptr, set);
    EXPECT_EQ(KIVODataType::TEXT, descriptor->getAttributeType(0));
    EXPECT_EQ(KIVODataType::UCHAR, descriptor->getAttributeType(3));
    NORVAUString text;
    EXPECT_EQ(0, set->getValue(0, text));
    EXPECT_EQ(NORVAUString("L1"), text);
    unsigned short beam = 0;
    EXPECT_EQ(0, set->getValue(1, beam));
    EXPECT_EQ(7, beam);
    double time = 0;
    EXPECT_EQ(0, set->getValue(2, time));
    EXPECT_EQ(99.25, time);
    long outside = 0;
    EXPECT_NE(0, set->getValue(4, outside));
    EXPECT_NE(0, set->setValue(1, static_cast<unsigned short>(3)));  // the view is read-only
    EXPECT_EQ(0, set->newCopy()->getValue(1, beam));
    EXPECT_EQ(7, beam);
}

TEST(KestrinPointIter, InterpolatedReadsZeroFromEveryGetter) {
    auto s = store(kMixed, {{3, 4, {"L1", 12.5, 7.0, 0.0, 99.25}}});
    KestrinPointIter it(*s, makeNORVAType<KestrinPointIter::Polygon>(NORVAAreaGeometry::rectangle(0, 0, 50, 50)),
                        true);
    KIVOAttributeSet* set = nullptr;
    const KIVODescriptor* descriptor = nullptr;
    ASSERT_EQ(0, it.getAdditionalAttributes(set, descriptor));
    const long i = descriptor->getAttributeIndex("Interpolated");
    ASSERT_EQ(3, i);
    unsigned char uc = 9;
    long l = 9;
    unsigned long ul = 9;
    short sh = 9;
    unsigned short us = 9;
    double d = 9;
    float f = 9;
    NORVAUString text;
    EXPECT_EQ(0, set->getValue(i, uc));
    EXPECT_EQ(0, set->getValue(i, l));
    EXPECT_EQ(0, set->getValue(i, ul));
    EXPECT_EQ(0, set->getValue(i, sh));
    EXPECT_EQ(0, set->getValue(i, us));
    EXPECT_EQ(0, set->getValue(i, d));
    EXPECT_EQ(0, set->getValue(i, f));
    EXPECT_EQ(0, set->getDoubleValue(i, d, false));
    EXPECT_EQ(0, set->getStringValue(i, text, false));
    EXPECT_EQ(0, uc);
    EXPECT_EQ(0, l);
    EXPECT_EQ(0u, ul);
    EXPECT_EQ(0, sh);
    EXPECT_EQ(0, us);
    EXPECT_EQ(0.0, d);
    EXPECT_EQ(0.0f, f);
    EXPECT_EQ(NORVAUString("0"), text);
    EXPECT_TRUE(set->isSet(i));

    std::vector<NORVAUString> available;
    it.getAvailable(available);
    EXPECT_EQ((std::vector<NORVAUString>{"Depth", "Uncertainty"}), available);
}

TEST(KestrinPointIter, RenamedAttributesAreReportedUnderTheirNewName) {
    auto s = store(kMixed, {});
    KestrinPointIter it(*s);
    it.additionalAttsConvert("Beam", "Beam Number");
    std::vector<NORVAUString> names;
    it.getAdditionalAttributes(names);
    EXPECT_EQ((std::vector<NORVAUString>{"Line_Name", "Beam_Number", "Time"}), names);
    std::vector<NORVAUString> available;
    it.getAvailable(available);
    EXPECT_EQ((std::vector<NORVAUString>{"Depth"}), available);
}

TEST(KestrinPointIter, RejectedPointsAreNeverServed) {
    struct Case {
        const char* what;
        std::vector<Field> fields;
        std::vector<double> statuses;
        size_t served;
    };
    const std::vector<Case> cases{
        {"status 0 and positive served, negative not", depthAndStatus(), {0, -1, 5, INT32_MIN, 0x40000000}, 3},
        {"a leading rejected point is passed over", depthAndStatus(), {-3, -2, 0}, 1},
        {"only rejected points", depthAndStatus(), {-3, -2}, 0},
        {"without Status nothing is rejected", {{"Depth", DOUBLE}, {"Flag", LONG}}, {-3, -2, 0}, 3},
    };
    for (const Case& c : cases) {
        auto s = store(c.fields, byStatus(c.statuses));
        KestrinPointIter it(*s);
        EXPECT_EQ(0, it.getStatus()) << c.what;
        long status = 0;
        EXPECT_EQ(c.served == 0, it.done(status)) << c.what;
        EXPECT_EQ(c.served, positions(it).size()) << c.what;
    }
}

TEST(KestrinPointIter, SelectsByBoxOrPolygonWithEdgesInside) {
    std::vector<Point> points;
    for (int x = 0; x <= 10; ++x)
        for (int y = 0; y <= 10; ++y) points.push_back({double(x), double(y), {1.0, 0.0}});
    auto s = store(depthAndStatus(), points);
    struct Case {
        const char* what;
        std::function<std::unique_ptr<KestrinPointIter>()> make;
        size_t served;
        bool approximate;
    };
    // The triangle (0,0) (4,0) (0,4) holds 15 grid points, its edges included.
    const NORVAAreaGeometry::Ring triangle{{0, 0}, {4, 0}, {0, 4}};
    const NORVAAreaGeometry::Ring offGrid{{0.1234567, 0.1234567}, {4.1234567, 0.1234567}, {0.1234567, 4.1234567}};
    const std::vector<Case> cases{
        {"everything", [&] { return std::make_unique<KestrinPointIter>(*s); }, 121, false},
        {"box", [&] { return std::make_unique<KestrinPointIter>(*s, NORVAArray<double>{2, 2}, NORVAArray<double>{4, 3}); },
         6, false},
        {"triangle on the grid: tolerant test",
         [&] { return std::make_unique<KestrinPointIter>(*s, makeNORVAType<KestrinPointIter::Polygon>(NORVAAreaGeometry(triangle)), false); },
         15, true},
        {"triangle off the grid: exact test",
         [&] { return std::make_unique<KestrinPointIter>(*s, makeNORVAType<KestrinPointIter::Polygon>(NORVAAreaGeometry(offGrid)), false); },
         6, false},
        {"empty polygon", [&] { return std::make_unique<KestrinPointIter>(*s, makeNORVAType<KestrinPointIter::Polygon>(), false); },
         0, true},
    };
    for (const Case& c : cases) {
        auto it = c.make();
        EXPECT_EQ(0, it->getStatus()) << c.what;
        EXPECT_EQ(c.served, positions(*it).size()) << c.what;
        EXPECT_EQ(c.approximate, it->usesApproximatePolygonTest()) << c.what;
    }
}

TEST(KestrinPointIter, ValuesByStoreIndexAndWhatIsLeftWhenDone) {
    auto s = store(kMixed, {{3, 4, {"L1", 12.5, 7.0, 0.0, 99.25}}});
    KestrinPointIter it(*s);
    long depth = -1;
    KIVODataType::DATA_TYPE type = KIVODataType::FLOAT;
    ASSERT_TRUE(it.indexOf("Depth", depth, type));
    EXPECT_EQ(1, depth);
    EXPECT_EQ(KIVODataType::DOUBLE, type);
    long missing = 5;
    EXPECT_TRUE(it.indexOf("Uncertainty", missing, type));  // an answer: not there
    EXPECT_EQ(-1, missing);
    EXPECT_EQ(KIVODataType::TEXT, it.getType(0));
    EXPECT_EQ(KIVODataType::USHORT, it.getType(2));
    EXPECT_EQ(1, it.count());

    double d = 0;
    long l = 0;
    NORVAUString text;
    EXPECT_EQ(0, it.get(1, d));
    EXPECT_EQ(12.5, d);
    EXPECT_EQ(0, it.getAsDouble(1, d));
    EXPECT_EQ(12.5, d);
    EXPECT_EQ(0, it.get(1, l));
    EXPECT_EQ(12, l);
    EXPECT_EQ(0, it.get(0, text));
    EXPECT_EQ(NORVAUString("L1"), text);
    EXPECT_EQ(0, it.get(4, text));
    EXPECT_EQ(NORVAUString("99.250"), text);
    EXPECT_NE(0, it.get(9, d));  // not an attribute of the store

    long status = 0;
    EXPECT_FALSE(it.next(status));
    EXPECT_TRUE(it.done(status));
    double x = 7, y = 8;
    EXPECT_NE(0, it.getPosition(x, y));
    EXPECT_EQ(7.0, x);
    EXPECT_EQ(0, it.get(1, d));
    EXPECT_EQ(DBL_MAX, d);
    EXPECT_EQ(0, it.get(1, l));
    EXPECT_EQ(INT32_MAX, l);
    EXPECT_EQ(0, it.get(0, text));
    EXPECT_TRUE(text.isEmpty());
    EXPECT_NE(0, it.getAsDouble(1, d));
    EXPECT_EQ(DBL_MAX, d);
    KIVOAttributeSet* set = reinterpret_cast<KIVOAttributeSet*>(&x);
    const KIVODescriptor* descriptor = nullptr;
    EXPECT_NE(0, it.getAdditionalAttributes(set, descriptor));
    EXPECT_EQ(nullptr, set);
    EXPECT_FALSE(it.next(status));
}

TEST(KestrinPointIter, EmptyValuesOfWideFieldsReadAsTheLargestWholeNumber) {
    auto s = store(depthAndStatus(), {{1, 1, {DBL_MAX, 0.0}}});
    KestrinPointIter it(*s);
    long l = 0;
    EXPECT_EQ(0, it.get(0, l));
    EXPECT_EQ(LONG_MAX, l);
}

TEST(KestrinPointIter, OpensTileAndCellStoresByFileName) {
    TempFolder dir;
    auto s = store(depthAndStatus(), byStatus({0, -1, 0}));
    for (const char* name : {"points.kps", "points.KCS", "points.kcs"}) {
        ASSERT_EQ(0, s->store(dir.file(name))) << name;
        KestrinPointIter it(dir.file(name));
        EXPECT_EQ(0, it.getStatus()) << name;
        EXPECT_EQ(dir.file(name), it.getPath());
        EXPECT_EQ(2u, positions(it).size()) << name;
        ASSERT_NE(nullptr, it.getCoordSystem());
    }
    KestrinPointIter box(dir.file("points.kps"), NORVAArray<double>{0, 0}, NORVAArray<double>{1, 1});
    EXPECT_EQ(1u, positions(box).size());
}

TEST(KestrinPointIter, ConstructionFailuresLeaveTheStatusAndADoneIterator) {
    TempFolder dir;
    KestrinPointIter missing(dir.file("none.kps"));
    EXPECT_NE(0, missing.getStatus());
    long status = 0;
    EXPECT_TRUE(missing.done(status));
    EXPECT_EQ(0, missing.count());

    auto noCoordinates = store(depthAndStatus(), byStatus({0}), false);
    KestrinPointIter it(*noCoordinates);
    EXPECT_NE(0, it.getStatus());
    EXPECT_TRUE(it.done(status));
}

// Runs the iterator's set-up again, as a subclass with its own rule does.
class Rerun : public KestrinPointIter {
public:
    using KestrinPointIter::KestrinPointIter;
    long again() { return initialize(); }
};

TEST(KestrinPointIter, RunningTheSetUpAgainKeepsTheOpenStore) {
    TempFolder dir;
    const NORVAUString path = dir.file("kept.kps");
    ASSERT_EQ(0, store(depthAndStatus(), byStatus({0, 0, -1}))->store(path));
    Rerun it(path);
    ASSERT_EQ(0, it.getStatus());
    NORVAKestrinTileStore* opened = it.getStore();
    // Gone from disk: a second opening would fail.
    ASSERT_TRUE(NORVAFileUtils::removeFile(path));
    EXPECT_EQ(0, it.again());
    EXPECT_EQ(opened, it.getStore());
    EXPECT_EQ(2u, positions(it).size());
}

}  // namespace
