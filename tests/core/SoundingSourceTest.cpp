#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>

#include "core/CoreTestSupport.h"
#include "core/KIVOSoundingSource.h"
#include "core/SoundingSourceTestSupport.h"
#include "platform/exprkit/ExpressionEvaluator.h"

using namespace soundingtest;
using Box = KIVOSoundingSource::Box;
using Set = KIVOSoundingSource::SoundingSet;
using Atts = std::vector<KIVOSoundingSource::SoundingWithAttsStruct>;

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();

Box box(double x0, double y0, double x1, double y1) { return Box(NORVAPoint2D(x0, y0), NORVAPoint2D(x1, y1)); }
const Box kAll = box(0, 0, 10, 10);

// Three nodes and two designated soundings, one of them on the edge x = 10.
std::vector<Node> someNodes() {
    return {{1, 1, {{"Depth", 11}}}, {2, 2, {{"Depth", 12}, {"Weight", 3}}}, {3, 3, {{"Depth", 13}}}};
}
std::vector<Designated> someDesignated() { return {{10, 5, 20.5, 19.0}, {5, 5, 21.0, kNaN}}; }

// Depths of the served records, in order; the reference words into `refs`.
std::vector<double> depthsOf(const Set& set, std::vector<uintptr_t>* refs = nullptr) {
    std::vector<double> depths;
    for (size_t k = 0; k < set.size(); ++k) {
        double x, y, z;
        set.getPosition(k, x, y, z);
        depths.push_back(z);
        if (refs) refs->push_back(set[k].reference);
    }
    return depths;
}

std::vector<double> depthsOf(const Atts& atts) {
    std::vector<double> depths;
    for (const auto& s : atts) depths.push_back(s.position.z);
    return depths;
}

using Depths = std::vector<double>;
}  // namespace

TEST(SoundingSource, GroupsWithAndWithoutDesignatedSoundings) {
    struct Case {
        bool designated;
        unsigned long group;
        Depths expected;
    };
    const Case cases[] = {{true, 0, {20.5, 21.0}}, {true, 1, {11, 12, 13}}, {true, 2, {}},
                          {false, 0, {11, 12, 13}}, {false, 1, {}},         {false, 2, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "designated " << c.designated << " group " << c.group);
        TestSurface t(someNodes(), someDesignated());
        KIVOSoundingSource source(t.surface, "Depth", c.designated, nullptr);
        EXPECT_EQ(source.getNumSoundingGroups(), c.designated ? 2u : 1u);
        Set set(NORVAScaler(0.01));
        EXPECT_EQ(source.getSoundings(c.group, kAll, set), 0);
        std::vector<uintptr_t> refs;
        EXPECT_EQ(depthsOf(set, &refs), c.expected);
        for (uintptr_t r : refs) EXPECT_EQ(r, c.group) << "the group number is the reference word";
        Atts atts(2);  // whatever the vector held is replaced
        EXPECT_EQ(source.getSoundings(c.group, kAll, atts), 0);
        EXPECT_EQ(depthsOf(atts), c.expected) << "attribute form";
    }
}

TEST(SoundingSource, BoxEdgesIncludedAndZeroWidthBox) {
    struct Case {
        Box window;
        unsigned long group;
        Depths expected;
    };
    const Case cases[] = {{box(10, 5, 12, 6), 0, {20.5}},      // designated exactly on the edge
                          {box(10.001, 0, 12, 10), 0, {}},
                          {box(2, 0, 2, 10), 1, {12}},          // zero width through a node
                          {box(0, 0, 1, 1), 1, {11}},           // node on the corner
                          {Box(), 1, {}},                       // empty box: nothing, not everything
                          {box(5, 5, 4, 4), 0, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.group);
        TestSurface t(someNodes(), someDesignated());
        KIVOSoundingSource source(t.surface, "Depth", true, nullptr);
        Set set(NORVAScaler(0.01));
        EXPECT_EQ(source.getSoundings(c.group, c.window, set), 0);
        EXPECT_EQ(depthsOf(set), c.expected);
        Atts atts;
        EXPECT_EQ(source.getSoundings(c.group, c.window, atts), 0);
        EXPECT_EQ(depthsOf(atts), c.expected);
    }
}

TEST(SoundingSource, RejectedNodesAndSoundingsAreNeverServed) {
    std::vector<Node> nodes = {{1, 1, {{"Depth", 1}, {"Status", -1}}},
                               {2, 2, {{"Depth", 2}, {"Status", -0.5}}},
                               {3, 3, {{"Depth", 3}, {"Status", 1073741824}}},
                               {4, 4, {{"Depth", 4}, {"Status", -70000}}},
                               {5, 5, {{"Depth", 5}, {"Status", 0}}}};
    std::vector<Designated> designated = {{1, 1, 31, 1, {{"Status", -2}}}, {2, 2, 32, 1, {{"Status", 0}}}};
    TestSurface t(nodes, designated);
    KIVOSoundingSource source(t.surface, "Depth", true, nullptr);
    Set set;
    ASSERT_EQ(source.getSoundings(1, kAll, set), 0);
    EXPECT_EQ(depthsOf(set), (Depths{2, 3, 5}));
    Atts atts;
    ASSERT_EQ(source.getSoundings(1, kAll, atts), 0);
    EXPECT_EQ(depthsOf(atts), (Depths{2, 3, 5})) << "attribute form too";
    Set designatedSet;
    ASSERT_EQ(source.getSoundings(0, kAll, designatedSet), 0);
    EXPECT_EQ(depthsOf(designatedSet), (Depths{32}));
    ASSERT_EQ(source.getSoundings(0, kAll, atts), 0);
    EXPECT_EQ(depthsOf(atts), (Depths{32}));
}

TEST(SoundingSource, NodesWithoutTheActiveValueOrAnyAttributeSetAreSkipped) {
    std::vector<Node> nodes = {{1, 1, {{"Depth", 1}}},
                               {2, 2, {}, false},  // no attribute set at all
                               {3, 3, {{"Weight", 7}}},
                               {4, 4, {{"Depth", 4}}}};
    TestSurface t(nodes);
    for (bool filtered : {false, true}) {
        KIVOSoundingSource source(t.surface, "Depth", false, nullptr);
        if (filtered) source.setFilterExpression("Depth > 0 || Weight > 0");
        Set set;
        EXPECT_EQ(source.getSoundings(0, kAll, set), 0);
        EXPECT_EQ(depthsOf(set), (Depths{1, 4}));
        Atts atts;
        EXPECT_EQ(source.getSoundings(0, kAll, atts), 0);
        EXPECT_EQ(depthsOf(atts), (Depths{1, 4}));
        source.setExactCountFlag(true);
        long status = -1;
        EXPECT_EQ(source.getSoundingCount(kAll, status), 2u);
        EXPECT_EQ(status, 0);
    }
}

TEST(SoundingSource, BadFilterExpressionFailsEveryTimeAndChangesTakeEffect) {
    TestSurface t(someNodes(), someDesignated());
    KIVOSoundingSource source(t.surface, "Depth", true, nullptr);
    for (const char* bad : {"Depth >", "NoSuchAttribute > 1"}) {
        SCOPED_TRACE(bad);
        source.setFilterExpression(bad);
        for (int attempt = 0; attempt < 2; ++attempt) {
            Set set;
            EXPECT_NE(source.getSoundings(1, kAll, set), 0) << "attempt " << attempt;
            EXPECT_EQ(set.size(), 0u);
            Atts atts = {{}};
            EXPECT_NE(source.getSoundings(0, kAll, atts), 0);
            EXPECT_EQ(atts.size(), 1u) << "a failed call leaves the output alone";
        }
    }
    struct Step {
        const char* expression;
        Depths nodes, designated;
    };
    const Step steps[] = {{"Depth > 11.5", {12, 13}, {}},  // designated soundings have no set: no value, no pass
                          {"Depth < 12.5", {11, 12}, {}},
                          {"", {11, 12, 13}, {20.5, 21.0}}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.expression);
        source.setFilterExpression(s.expression);
        Set set;
        EXPECT_EQ(source.getSoundings(1, kAll, set), 0);
        EXPECT_EQ(depthsOf(set), s.nodes);
        Set designated(NORVAScaler(0.01));
        EXPECT_EQ(source.getSoundings(0, kAll, designated), 0);
        EXPECT_EQ(depthsOf(designated), s.designated);
    }
}

TEST(SoundingSource, FilterSeesTheAttributesOfDesignatedSoundings) {
    std::vector<Designated> designated = {{1, 1, 31, 1, {{"Weight", 5}}}, {2, 2, 32, 1, {{"Weight", 1}}}};
    TestSurface t({}, designated);
    KIVOSoundingSource source(t.surface, "Depth", true, nullptr);
    source.setFilterExpression("Weight > 2");
    Set set;
    ASSERT_EQ(source.getSoundings(0, kAll, set), 0);
    EXPECT_EQ(depthsOf(set), (Depths{31}));
}

TEST(SoundingSource, EstimateFromTheResolution) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        Box window;
        double rx, ry;
        unsigned long expected;
    };
    const Case cases[] = {
        {box(0, 0, 10, 4), 1, 2, 11 * 3},
        {box(2, 0, 2, 9), 1, 3, 1 * 4},           // zero width
        {box(0, 0, 2.5, 2.5), 1, 1, 12},          // truncated toward zero: 3.5 * 3.5
        {box(0, 0, 10, 10), 0, 1, 0},             // resolution 0
        {box(0, 0, 10, 10), -1, 1, 0},
        {box(0, 0, 10, 10), 1, kNaN, 0},
        {box(0, 0, 10, 10), inf, 1, 0},
        {Box(), 1, 1, 1},
        // Far beyond 32 bits: no wrap-around, and the product saturates.
        {box(0, 0, 1e6, 1e6), 1, 1, 1000002000001ul},
        {box(-1e300, -1e300, 1e300, 1e300), 1e-10, 1e-10, ULONG_MAX},
        {box(-DBL_MAX, 0, DBL_MAX, 1), 1, 1, ULONG_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rx << " " << c.ry << " " << c.expected);
        TestSurface t({});
        t.io->meta.resolutionX = c.rx;
        t.io->meta.resolutionY = c.ry;
        KIVOSoundingSource source(t.surface, "Depth", false, nullptr);
        long status = -1;
        EXPECT_EQ(source.getSoundingCount(c.window, status), c.expected);
        EXPECT_EQ(status, 0);
    }
}

TEST(SoundingSource, ReservationAgainstTheResourceManager) {
    KIVOResourceManager& budget = KIVOResourceManager::m_instance;
    const uint64_t limit = budget.getMemoryLimit();
    const uint64_t record = sizeof(ORTIN_3_12_0::SoundingRecord);
    struct Case {
        double rx, ry;   // the estimate for kAll is (10 / rx + 1) * (10 / ry + 1)
        uint64_t held;   // what the surface's cache holds
        int releases;    // how often the budget asked it to let go
        uint64_t taken;
    };
    const Case cases[] = {
        {1, 1, 0, 0, 121 * record},
        {0.1, 0.1, 1000000 - 101 * 101 * record / 2, 1, 101 * 101 * record},  // room after one release
        {0.001, 0.001, 0, 2, 0},                                                // never room: served all the same
        // 2^29 soundings: their bytes are a multiple of 2^32, so a 32-bit
        // product would take nothing and never make room.
        {10.0 / 16383, 10.0 / 32767, 0, 2, 0},
        {1e-9, 1e-9, 0, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rx);
        TestSurface t(someNodes());
        t.io->meta.resolutionX = c.rx;
        t.io->meta.resolutionY = c.ry;
        t.io->held = c.held;
        budget.add(t.io);
        budget.setMemoryLimit(1000000);
        const uint32_t before = budget.m_available;
        KIVOSoundingSource source(t.surface, "Depth", false, nullptr);
        Set set;
        EXPECT_EQ(source.getSoundings(0, kAll, set), 0);
        EXPECT_EQ(set.size(), 3u);
        EXPECT_EQ(t.io->releases, c.releases);
        const uint64_t room = c.releases ? 1000000 : before;
        EXPECT_EQ(budget.m_available, c.releases == 2 ? room : room - c.taken);
        budget.remove(t.io);
    }
    budget.setMemoryLimit(limit);
}

TEST(SoundingSource, ExactCountAndFailedQueries) {
    TestSurface t(someNodes(), someDesignated());
    KIVOSoundingSource source(t.surface, "Depth", true, nullptr);
    source.setExactCountFlag(true);
    long status = -1;
    EXPECT_EQ(source.getSoundingCount(box(1, 1, 2, 2), status), 2u);
    EXPECT_EQ(source.getSoundingCount(box(2.5, 0, 2.5, 10), status), 0u);

    t.io->queryStatus = 146006;
    EXPECT_EQ(source.getSoundingCount(kAll, status), 0u);
    EXPECT_EQ(status, 146006);
    Set set;
    EXPECT_EQ(source.getSoundings(1, kAll, set), 146006);
    Atts atts;
    EXPECT_EQ(source.getSoundings(1, kAll, atts), 146006) << "a failed query is not an empty success";
    EXPECT_EQ(source.getSoundings(0, kAll, set), 0) << "designated soundings need no query";
    EXPECT_EQ(set.size(), 2u);

    t.io->meta.designatedStatus = 77;
    EXPECT_EQ(source.getSoundings(0, kAll, set), 77);
    t.io->meta.designatedStatus = 0;
    t.io->meta.designatedStatusWord = 78;
    EXPECT_EQ(source.getSoundings(0, kAll, atts), 78);
}

TEST(SoundingSource, AttributeFormCarriesExtraValuesAndOriginalDepths) {
    TestSurface t(someNodes(), someDesignated());
    KIVOSoundingSource source(t.surface, "NoSuchName", true, nullptr);
    EXPECT_EQ(source.getActiveIndex(), 0) << "an unknown active attribute falls back to the first";
    source.setExtraAtts({"Weight", "Nope", "Depth"});
    source.setExtraAtts({"Uncertainty"});
    EXPECT_EQ(source.getExtraIndices(), (std::vector<long>{3, 0, 1}));
    Atts atts;
    ASSERT_EQ(source.getSoundings(1, kAll, atts), 0);
    ASSERT_EQ(atts.size(), 3u);
    EXPECT_EQ(atts[1].position, NORVACompGeom::NORVAVector3D(2, 2, 12));
    EXPECT_EQ(atts[1].extra, (std::vector<double>{3, 12, 0}));
    EXPECT_EQ(atts[0].extra, (std::vector<double>{0, 11, 0})) << "a value that does not read stays 0";
    EXPECT_EQ(atts[0].originalDepth, DBL_MAX);
    ASSERT_EQ(source.getSoundings(0, kAll, atts), 0);
    ASSERT_EQ(atts.size(), 2u);
    EXPECT_EQ(atts[0].originalDepth, 19.0);
    EXPECT_EQ(atts[1].originalDepth, DBL_MAX);
    EXPECT_EQ(atts[0].extra, (std::vector<double>{0, 0, 0}));
}

TEST(SoundingSource, ManyNodesInTheAttributeForm) {
    std::vector<Node> nodes;
    for (int i = 0; i < 25000; ++i) nodes.push_back({i * 1e-4, 0, {{"Depth", double(i)}}});
    TestSurface t(nodes);
    KIVOSoundingSource source(t.surface, "Depth", false, nullptr);
    Atts atts;
    ASSERT_EQ(source.getSoundings(0, kAll, atts), 0);
    ASSERT_EQ(atts.size(), 25000u);
    EXPECT_EQ(atts.back().position.z, 24999.0);
}

TEST(SoundingSource, CoverAndCopies) {
    TestSurface t(someNodes(), someDesignated());
    KIVOSoundingSource plain(t.surface, "Depth", false, nullptr);
    EXPECT_EQ(plain.getCover(), box(0, 0, 10, 10));
    NORVACover cover(-5, 2, 6, 20);
    KIVOSoundingSource source(t.surface, "Depth", true, &cover);
    EXPECT_EQ(source.getStatus(), 0);
    EXPECT_EQ(source.getCover(), box(0, 2, 6, 10));
    source.setFilterExpression("Depth > 11");
    source.setExtraAtts({"Weight"});
    source.setExactCountFlag(true);

    NORVAType<ORTIN_3_12_0::NORVASoundingSource> handle = source.newCopy();
    auto& copy = dynamic_cast<KIVOSoundingSource&>(*handle);
    EXPECT_EQ(&copy.getSurface(), &t.surface);
    EXPECT_EQ(copy.getActiveAttribute(), NORVAUString("Depth"));
    EXPECT_EQ(copy.getCover(), box(0, 2, 6, 10));
    EXPECT_TRUE(copy.getExactCountFlag());
    EXPECT_EQ(copy.getNumSoundingGroups(), 2u);
    EXPECT_EQ(copy.getFilterExpression(), NORVAUString("Depth > 11"));
    Atts atts;
    ASSERT_EQ(copy.getSoundings(1, kAll, atts), 0);
    EXPECT_EQ(depthsOf(atts), (Depths{12, 13}));
    EXPECT_EQ(atts[0].extra, (std::vector<double>{3}));
}

TEST(SoundingSource, SoundingsTheSetCannotHoldAreLeftOut) {
    TestSurface t({{1, 1, {{"Depth", 1}}}, {2, 2, {{"Depth", 1e12}}}, {3, 3, {{"Depth", 3}}}});
    KIVOSoundingSource source(t.surface, "Depth", false, nullptr);
    Set set(NORVAScaler(0.01));
    ASSERT_EQ(source.getSoundings(0, kAll, set), 0);
    EXPECT_EQ(depthsOf(set), (Depths{1, 3}));
}

// The framework's gridded surface, whose unwritten nodes hold no value.
TEST(SoundingSource, OverAGriddedSurface) {
    coretest::TempDir dir;
    KIVOSurface surface = coretest::makeGridded(dir.file("s.vns"),
                                                coretest::descriptorOf({"Depth", "Uncertainty", "Status"}), 4, 3);
    ASSERT_EQ(coretest::setNode(surface, 0, 0, {{"Depth", 1.0}, {"Uncertainty", 0.5}}), 0);
    ASSERT_EQ(coretest::setNode(surface, 3, 2, {{"Depth", 2.0}, {"Status", -1.0}}), 0);
    ASSERT_EQ(coretest::setNode(surface, 2, 1, {{"Uncertainty", 0.25}}), 0);
    KIVOSoundingSource source(surface, "Depth", false, nullptr);
    source.setExtraAtts({"Uncertainty"});
    EXPECT_EQ(source.getCover(), box(0, 0, 3, 2));
    long status = -1;
    EXPECT_EQ(source.getSoundingCount(source.getCover(), status), 12u);
    source.setExactCountFlag(true);
    EXPECT_EQ(source.getSoundingCount(source.getCover(), status), 2u);
    Set set;
    ASSERT_EQ(source.getSoundings(0, source.getCover(), set), 0);
    EXPECT_EQ(depthsOf(set), (Depths{1}));
    Atts atts;
    ASSERT_EQ(source.getSoundings(0, source.getCover(), atts), 0);
    ASSERT_EQ(atts.size(), 1u);
    EXPECT_EQ(atts[0].position, NORVACompGeom::NORVAVector3D(0, 0, 1));
    EXPECT_EQ(atts[0].extra, (std::vector<double>{0.5}));
}
