// The replace tool over gridded surfaces: operators at their boundaries,
// filling, running statistics and additional attributes.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>

#include "ToolsTestSupport.h"
#include "core/KIVOSurfaceOpen.h"
#include "multires/KestrinSurfaceTestSupport.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/kestrin/KestrinLockHolder.h"
#include "platform/kestrin/KestrinStatus.h"
#include "platform/kestrin/NORVAKestrinDatabase.h"
#include "tools/KIVOReplaceTool.h"

using namespace toolstest;

namespace {

std::vector<KIVODescriptor::AttribEntry> fullLayout() {
    return {entry("Depth", KIVODataType::FLOAT, "Weight"), entry("Weight", KIVODataType::FLOAT),
            entry("Uncertainty", KIVODataType::FLOAT),    entry("Density", KIVODataType::LONG),
            entry("Std_Dev", KIVODataType::FLOAT),        entry("Mean", KIVODataType::FLOAT, "Density"),
            entry("Shoal", KIVODataType::FLOAT),          entry("Deep", KIVODataType::FLOAT),
            entry("Depth_TrueX", KIVODataType::DOUBLE),   entry("Depth_TrueY", KIVODataType::DOUBLE)};
}

std::unique_ptr<KIVOReplaceTool> makeTool(KIVOSurface& surface, KIVOReplaceTool::ReplaceOperator op) {
    auto tool = std::make_unique<KIVOReplaceTool>(surface, "Depth", "Uncertainty", "Density", "Shoal", "Deep", "Mean",
                                                  "Std_Dev", "Depth_TrueX", "Depth_TrueY", "Shoal_TrueX",
                                                  "Shoal_TrueY", "Deep_TrueX", "Deep_TrueY", false);
    tool->setOperator(op);
    return tool;
}

// Runs every sounding through the tool as the surface generator would.
void feed(KIVOReplaceTool& tool, VectorPointIter& soundings) {
    long status = 0;
    while (!soundings.done(status)) {
        ASSERT_EQ(0, tool.generate(soundings));
        soundings.next(status);
    }
}

// A gridded surface reached only through its queries, as a surface of a
// format the tool has no shortcut for would be.
class QueriedOnly : public KIVOSurfaceDataIO {
public:
    explicit QueriedOnly(KIVOGriddedDataIO& grid) : m_grid(grid) {}
    using KIVOSurfaceDataIO::query;
    NORVAUString getSourceName() const override { return m_grid.getSourceName(); }
    KIVOSurfaceMetaData* getMetaData() override { return m_grid.getMetaData(); }
    const KIVOSurfaceMetaData* getMetaData() const override { return m_grid.getMetaData(); }
    NORVAType<KIVOSurfaceIter> query(double x0, double y0, double x1, double y1, bool create, long& status,
                                     NORVAProgress* progress, double resolution) override {
        return m_grid.query(x0, y0, x1, y1, create, status, progress, resolution);
    }
    NORVAType<KIVOSurfaceIter> query(const NORVAGeometry& geometry, bool create, long& status,
                                     NORVAProgress* progress, double resolution) override {
        return m_grid.query(geometry, create, status, progress, resolution);
    }

private:
    KIVOGriddedDataIO& m_grid;
};

struct Fixture {
    TempFolder dir;
    KIVOSurface surface = makeGridded(dir.file("s.vns"), fullLayout());
};

}  // namespace

TEST(ReplaceToolTest, OperatorsAtTheirBoundaries) {
    struct Case {
        KIVOReplaceTool::ReplaceOperator op;
        double first, second;
        bool replaces;
    } cases[] = {
        {KIVOReplaceTool::LT, 10.0, 10.0, false},       {KIVOReplaceTool::LT, 10.0, 9.5, true},
        {KIVOReplaceTool::GT, 10.0, 10.0, false},       {KIVOReplaceTool::GT, 10.0, 10.5, true},
        {KIVOReplaceTool::LT_EQ, 10.0, 10.0, true},     {KIVOReplaceTool::LT_EQ, 10.0, 10.5, false},
        {KIVOReplaceTool::GT_EQ, 10.0, 10.0, true},     {KIVOReplaceTool::GT_EQ, 10.0, 9.5, false},
        {KIVOReplaceTool::EQUAL, 10.0, 10.0, true},     {KIVOReplaceTool::EQUAL, 10.0, 10.25, false},
        {KIVOReplaceTool::ALL, 10.0, 12.0, true},
        {static_cast<KIVOReplaceTool::ReplaceOperator>(6), 10.0, 9.0, false},
    };
    for (const Case& c : cases) {
        Fixture f;
        auto tool = makeTool(f.surface, c.op);
        VectorPointIter soundings({{1, 1, c.first, 0.5}, {1, 1, c.second, 0.25}});
        feed(*tool, soundings);
        const double expected = c.replaces ? c.second : c.first;
        EXPECT_DOUBLE_EQ(expected, nodeValue(f.surface, 1, 1, "Depth")) << "operator " << c.op;
        EXPECT_DOUBLE_EQ(c.replaces ? 0.25 : 0.5, nodeValue(f.surface, 1, 1, "Uncertainty")) << "operator " << c.op;
    }
}

// The tolerance compares the float sounding widened to double with the
// stored node depth; a sounding at 0.0 makes a difference of exactly 1e-10
// representable.
TEST(ReplaceToolTest, EqualityToleranceIsInclusive) {
    struct Case {
        double nodeDepth;
        bool replaces;
    } cases[] = {{1e-10, true}, {-1e-10, true}, {1.5e-10, false}, {-1.5e-10, false}};
    for (const Case& c : cases) {
        TempFolder dir;
        auto layout = fullLayout();
        layout[0].type = KIVODataType::DOUBLE;
        KIVOSurface surface = makeGridded(dir.file("s.vns"), layout);
        const KIVODescriptor& d = surface.getAttributeInfo()->getDescriptor();
        KIVOMemAttributeSet set(d);
        set.setValue(d.getAttributeIndex("Depth"), c.nodeDepth);
        ASSERT_EQ(0, surface.set(2, 2, set, d, 1.0));
        auto tool = makeTool(surface, KIVOReplaceTool::EQUAL);
        VectorPointIter soundings({{2, 2, 0.0, 0.1}});
        feed(*tool, soundings);
        EXPECT_EQ(c.replaces, tool->hasReplaced()) << c.nodeDepth;
        EXPECT_EQ(c.replaces ? 0.0 : c.nodeDepth, nodeValue(surface, 2, 2, "Depth"));
    }
}

TEST(ReplaceToolTest, RejectedSoundingStillUpdatesStatistics) {
    Fixture f;
    auto tool = makeTool(f.surface, KIVOReplaceTool::LT);
    VectorPointIter soundings({{1, 1, 10.0}, {1, 1, 12.0}});
    feed(*tool, soundings);
    EXPECT_DOUBLE_EQ(10.0, nodeValue(f.surface, 1, 1, "Depth"));
    EXPECT_DOUBLE_EQ(10.0, nodeValue(f.surface, 1, 1, "Shoal"));
    EXPECT_DOUBLE_EQ(12.0, nodeValue(f.surface, 1, 1, "Deep"));
    EXPECT_DOUBLE_EQ(2.0, nodeValue(f.surface, 1, 1, "Density"));
    EXPECT_DOUBLE_EQ(22.0, nodeValue(f.surface, 1, 1, "Mean"));
    EXPECT_NEAR(2.0 / std::sqrt(2.0), nodeValue(f.surface, 1, 1, "Std_Dev"), 1e-6);
}

TEST(ReplaceToolTest, AllRefillsTheNode) {
    Fixture f;
    auto tool = makeTool(f.surface, KIVOReplaceTool::ALL);
    VectorPointIter soundings({{1, 1, 10.0}, {1, 1, 14.0}, {1, 1, 12.0}});
    feed(*tool, soundings);
    EXPECT_DOUBLE_EQ(1.0, nodeValue(f.surface, 1, 1, "Density"));
    EXPECT_DOUBLE_EQ(0.0, nodeValue(f.surface, 1, 1, "Std_Dev"));
    EXPECT_DOUBLE_EQ(12.0, nodeValue(f.surface, 1, 1, "Mean"));
    EXPECT_DOUBLE_EQ(12.0, nodeValue(f.surface, 1, 1, "Shoal"));
    EXPECT_DOUBLE_EQ(1.0, nodeValue(f.surface, 1, 1, "Weight"));
}

TEST(ReplaceToolTest, ThousandSoundingsMatchTwoPassStatistics) {
    Fixture f;
    std::mt19937 random(7);
    std::normal_distribution<double> noise(25.0, 0.75);
    std::vector<Sounding> list;
    std::vector<float> depths;
    for (int i = 0; i < 1000; ++i) {
        const float d = static_cast<float>(noise(random));
        depths.push_back(d);
        list.push_back({2.1, 1.9, d});
    }
    auto tool = makeTool(f.surface, KIVOReplaceTool::GT_EQ);
    VectorPointIter soundings(list);
    feed(*tool, soundings);

    double sum = 0.0;
    for (float d : depths) sum += d;
    const double mean = sum / depths.size();
    double squares = 0.0;
    for (float d : depths) squares += (d - mean) * (d - mean);
    const double sampleDeviation = std::sqrt(squares / (depths.size() - 1));

    EXPECT_DOUBLE_EQ(1000.0, nodeValue(f.surface, 2, 2, "Density"));
    EXPECT_NEAR(sum, nodeValue(f.surface, 2, 2, "Mean"), sum * 1e-5);
    EXPECT_NEAR(sampleDeviation, nodeValue(f.surface, 2, 2, "Std_Dev"), sampleDeviation * 1e-3);
}

TEST(ReplaceToolTest, CountStartsAgainOnASetNodeWithoutCount) {
    Fixture f;
    const KIVODescriptor& d = f.surface.getAttributeInfo()->getDescriptor();
    KIVOMemAttributeSet set(d);
    set.setValue(d.getAttributeIndex("Depth"), 8.0);
    set.setValue(d.getAttributeIndex("Mean"), 5.0);
    set.setValue(d.getAttributeIndex("Density"), 0L);
    ASSERT_EQ(0, f.surface.set(3, 3, set, d, 1.0));
    auto tool = makeTool(f.surface, KIVOReplaceTool::GT);
    VectorPointIter soundings({{3, 3, 9.0}});
    feed(*tool, soundings);
    EXPECT_DOUBLE_EQ(1.0, nodeValue(f.surface, 3, 3, "Density"));
    EXPECT_DOUBLE_EQ(0.0, nodeValue(f.surface, 3, 3, "Std_Dev"));
    EXPECT_DOUBLE_EQ(14.0, nodeValue(f.surface, 3, 3, "Mean"));
}

TEST(ReplaceToolTest, WithoutDensityNoCountSumOrDeviation) {
    TempFolder dir;
    KIVOSurface surface = makeGridded(dir.file("s.vns"), {entry("Depth", KIVODataType::FLOAT),
                                                         entry("Mean", KIVODataType::FLOAT),
                                                         entry("Std_Dev", KIVODataType::FLOAT)});
    auto tool = makeTool(surface, KIVOReplaceTool::LT);
    VectorPointIter soundings({{1, 1, 10.0}, {1, 1, 11.0}, {1, 1, 9.0}});
    feed(*tool, soundings);
    EXPECT_DOUBLE_EQ(9.0, nodeValue(surface, 1, 1, "Depth"));
    EXPECT_DOUBLE_EQ(10.0, nodeValue(surface, 1, 1, "Mean"));  // only the fill wrote it
    EXPECT_DOUBLE_EQ(0.0, nodeValue(surface, 1, 1, "Std_Dev"));
}

TEST(ReplaceToolTest, SoundingsWithoutDepthOrOutsideAreSkipped) {
    Fixture f;
    auto tool = makeTool(f.surface, KIVOReplaceTool::ALL);
    // The first sounding has no depth: it must not become a 0.0 node, and
    // the depth field found later is still used.
    VectorPointIter soundings({{1, 1, NAN}, {50, 50, 3.0}, {2, 2, 4.0}});
    feed(*tool, soundings);
    EXPECT_TRUE(std::isnan(nodeValue(f.surface, 1, 1, "Depth")));
    EXPECT_DOUBLE_EQ(4.0, nodeValue(f.surface, 2, 2, "Depth"));
    EXPECT_TRUE(f.surface.getDataIO()->isModified());
}

TEST(ReplaceToolTest, AdditionalAttributesCopiedWithTypeDefaults) {
    TempFolder dir;
    auto layout = fullLayout();
    layout.push_back(entry("Beam_Number", KIVODataType::USHORT));
    layout.push_back(entry("Quality", KIVODataType::FLOAT));
    KIVOSurface surface = makeGridded(dir.file("s.vns"), layout);
    auto tool = makeTool(surface, KIVOReplaceTool::ALL);
    Sounding withBeam{1, 1, 5.0};
    withBeam.extra["Beam_Number"] = 17;
    VectorPointIter soundings({withBeam, {2, 2, 6.0}}, {"Beam_Number", "Quality", "Unknown"});
    feed(*tool, soundings);
    EXPECT_DOUBLE_EQ(17.0, nodeValue(surface, 1, 1, "Beam_Number"));
    EXPECT_DOUBLE_EQ(65535.0, nodeValue(surface, 2, 2, "Beam_Number"));
    EXPECT_FLOAT_EQ(FLT_MAX, static_cast<float>(nodeValue(surface, 2, 2, "Quality")));
    EXPECT_DOUBLE_EQ(2.0, nodeValue(surface, 2, 2, "Depth_TrueX"));
}

// Gridded surfaces are written node by node without a query per sounding;
// the nodes, the statistics and the tally are those of the query path.
TEST(ReplaceToolTest, GriddedShortcutMatchesTheQueryPath) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> position(-0.7, 3.7), depth(10.0, 12.0);
    std::vector<Sounding> list;
    for (int i = 0; i < 400; ++i) list.emplace_back(position(random), position(random), depth(random), 0.1 * (i % 5));
    list.emplace_back(1.0, 1.0, NAN);
    for (const auto op : {KIVOReplaceTool::LT, KIVOReplaceTool::GT_EQ, KIVOReplaceTool::ALL}) {
        TempFolder dir;
        KIVOSurface direct = makeGridded(dir.file("direct.vns"), fullLayout());
        KIVOGriddedDataIO grid(dir.file("queried.vns"), gridMetaData(dir.file("queried.vns"), fullLayout(), 4, 4));
        KIVOSurface queried(NORVAType<KIVOSurfaceDataIO>(new QueriedOnly(grid)));
        auto directTool = makeTool(direct, op);
        auto queriedTool = makeTool(queried, op);
        VectorPointIter a(list), b(list);
        feed(*directTool, a);
        feed(*queriedTool, b);
        EXPECT_EQ(queriedTool->getTally().placed, directTool->getTally().placed) << op;
        EXPECT_EQ(queriedTool->getTally().outside, directTool->getTally().outside) << op;
        EXPECT_EQ(1, directTool->getTally().noDepth) << op;
        EXPECT_LT(0, directTool->getTally().outside) << op;
        for (const auto& e : fullLayout())
            for (int x = 0; x < 4; ++x)
                for (int y = 0; y < 4; ++y) {
                    const double want = nodeValue(queried, x, y, e.name.toUTF8().c_str());
                    const double got = nodeValue(direct, x, y, e.name.toUTF8().c_str());
                    EXPECT_TRUE(want == got || (std::isnan(want) && std::isnan(got)))
                        << op << " " << e.name.toUTF8() << " at " << x << ", " << y << ": " << got << " vs " << want;
                }
    }
}

// A node of a tile store another process holds locked takes no sounding:
// the tool reports the store's failure and the node keeps its depth.
TEST(ReplaceToolTest, ASoundingTheTileStoreCannotWriteIsReported) {
    const int timeout = NORVAKestrinDatabase::getBusyTimeout();
    NORVAKestrinDatabase::setBusyTimeout(50);
    TempFolder dir;
    const NORVAUString path = dir.file("s.kps");
    {
        auto io = kestrinsurface::created(path, {entry("Depth", KIVODataType::FLOAT)}, 1.0);
        kestrinsurface::forEachNode(*io, 1, 1, 1, 1, true, [](KIVOSurfaceIter& it) {
            it.getAttributes()->setValue(0, 7.0f);
        });
        ASSERT_EQ(0, io->store(nullptr));
    }
    long status = 0;
    NORVAType<KIVOSurface> surface = KIVOSurfaceUtils::open(path, status);
    ASSERT_EQ(0, status);
    auto tool = makeTool(*surface, KIVOReplaceTool::ALL);
    VectorPointIter soundings({Sounding(1.0, 1.0, 5.0)});
    {
        kestrintest::LockHolder holder(dir.file("s.ktf").toUTF8(), "BEGIN IMMEDIATE");
        ASSERT_TRUE(holder.locked());
        EXPECT_EQ(KestrinStatus::WRITE_FAILED, tool->generate(soundings));
    }
    NORVAKestrinDatabase::setBusyTimeout(timeout);
    EXPECT_DOUBLE_EQ(7.0, nodeValue(*surface, 1, 1, "Depth"));
    EXPECT_FALSE(tool->hasReplaced());
    EXPECT_EQ(0, tool->generate(soundings));
    EXPECT_DOUBLE_EQ(5.0, nodeValue(*surface, 1, 1, "Depth"));
}
