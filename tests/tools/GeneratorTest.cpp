// The surface builder: attribute layouts, metadata, data-source edits,
// gridded and compound outputs and the run of the replace tool.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <random>
#include <regex>

#include "FolderSnapshot.h"
#include "TempFolder.h"
#include "ToolsTestSupport.h"
#include "multires/KIVOCompoundIO.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/proj/NORVACoordSystem.h"
#include "platform/shapes/NORVACover.h"
#include "core/KIVOSurfaceOpen.h"
#include "tools/KIVOGenerator.h"

using namespace toolstest;

namespace {

struct Scene {
    NORVACoordSystem cs{"EPSG:32633"};
    NORVACover cover{0.0, 0.0, 9.0, 9.0};
    TempFolder dir;
};

std::vector<std::string> namesOf(const std::list<KIVODescriptor::AttribEntry>& list) {
    std::vector<std::string> out;
    for (const auto& e : list) out.push_back(e.name.toUTF8());
    return out;
}

std::vector<Sounding> slope() {
    std::vector<Sounding> list;
    for (int i = 0; i < 10; ++i) list.emplace_back(i, i, 10.0 + 3.0 * i, 0.1);
    list.emplace_back(2.0, 2.1, 15.0, 0.2);  // a second sounding on node (2, 2)
    return list;
}

}  // namespace

TEST(GeneratorTest, AttributeLayoutFollowsTheFlags) {
    struct Case {
        const char* what;
        std::function<void(KIVOGenerator&)> configure;
        std::vector<std::string> names;
    } cases[] = {
        {"nothing included", [](KIVOGenerator&) {}, {"Depth", "Weight"}},
        {"replace weighting", [](KIVOGenerator& g) { g.setWeightingMethod(KIVOGenerator::REPLACE); },
         {"Depth", "Beam_Number"}},
        {"uncertainty weighting", [](KIVOGenerator& g) { g.setWeightingMethod(KIVOGenerator::UNCERTAINTY_WEIGHTING); },
         {"Depth", "Weight", "Uncertainty"}},
        {"deviation without density", [](KIVOGenerator& g) { g.setIncStdDevAttrib(true); g.setIncMeanAttrib(true); },
         {"Depth", "Weight"}},
        {"density, deviation and mean",
         [](KIVOGenerator& g) { g.setIncDensityAttrib(true); g.setIncStdDevAttrib(true); g.setIncMeanAttrib(true); },
         {"Depth", "Weight", "Density", "Std_Dev", "Mean"}},
        {"shoal with and deep without positions",
         [](KIVOGenerator& g) { g.setIncShoalAttrib(true, true); g.setIncDeepAttrib(true, false); },
         {"Depth", "Weight", "Shoal", "Shoal_TrueX", "Shoal_TrueY", "Deep"}},
        {"deep positions without deep", [](KIVOGenerator& g) { g.setIncDeepAttrib(false, true); },
         {"Depth", "Weight"}},
        {"true position", [](KIVOGenerator& g) { g.setIncTruePos(true); },
         {"Depth", "Depth_TrueX", "Depth_TrueY", "Weight"}},
    };
    for (const Case& c : cases) {
        Scene s;
        VectorPointIter soundings(slope(), {"Beam_Number", "Depth"});
        KIVOGenerator g(soundings, s.cs, s.cover, "Depth", "m", "");
        c.configure(g);
        EXPECT_EQ(c.names, namesOf(g.buildAttributeList())) << c.what;
    }
}

TEST(GeneratorTest, EnvironmentAddsHorizontalUncertaintyAndTimeOnlyUnderUncertaintyWeighting) {
    setenv("KIVO_INC_HZ_UNCERT", "yes", 1);
    setenv("KIVO_INC_TIME", "Yes", 1);
    Scene s;
    VectorPointIter soundings(slope());
    KIVOGenerator g(soundings, s.cs, s.cover, "Depth", "m", "");
    unsetenv("KIVO_INC_HZ_UNCERT");
    unsetenv("KIVO_INC_TIME");
    EXPECT_EQ((std::vector<std::string>{"Depth", "Weight"}), namesOf(g.buildAttributeList()));
    g.setWeightingMethod(KIVOGenerator::UNCERTAINTY_WEIGHTING);
    EXPECT_EQ((std::vector<std::string>{"Depth", "Weight", "Uncertainty", "Weight_Hz_Uncert", "Horiz_Uncert",
                                        "Min_Time", "Max_Time"}),
              namesOf(g.buildAttributeList()));
}

TEST(GeneratorTest, DepthDirectionAndSettersThatInteract) {
    Scene s;
    VectorPointIter soundings(slope());
    KIVOGenerator empty(soundings, s.cs, s.cover, "Depth", "m", "");
    KIVOGenerator given(soundings, s.cs, s.cover, "Depth", "m", "up");
    EXPECT_NE(empty.buildAttributeList().front().unitDirection, given.buildAttributeList().front().unitDirection);

    KIVOResolutionTable table;
    table[KIVORangeEntry(0.0, 20.0)] = 1.0f;
    empty.setResolution(2.0);
    empty.setResolutionTable(table);
    EXPECT_EQ(0.0, empty.getResolution());
    empty.setResolution(3.0);
    EXPECT_TRUE(empty.getResolutionTable().empty());
    empty.setDataSourceType("Survey Line A");
    EXPECT_EQ(NORVAUString("Survey_Line_A"), empty.getDataSourceType());
}

TEST(GeneratorTest, WithoutFieldGeneratorTheSurfaceIsMadeButNotStored) {
    Scene s;
    VectorPointIter soundings(slope());
    KIVOGenerator g(soundings, s.cs, s.cover, "Depth", "m", "");
    g.setName(s.dir.file("out.vns"));
    g.setResolution(1.0);
    EXPECT_EQ(146070, g.generate("a", "b", "c", nullptr, nullptr));
    EXPECT_NE(nullptr, g.getSurface());
    EXPECT_FALSE(NORVAFileUtils::exists(s.dir.file("out.vns")));

    KIVOGenerator unnamed(soundings, s.cs, s.cover, "Depth", "m", "");
    EXPECT_EQ(-1, unnamed.generate("a", "b", "c", nullptr, nullptr));
    EXPECT_EQ(nullptr, unnamed.getSurface());
}

TEST(GeneratorTest, ReplaceBuildsAndStoresAGriddedSurface) {
    Scene s;
    VectorPointIter soundings(slope());
    KIVOGenerator g(soundings, s.cs, s.cover, "Depth", "m", "");
    g.setName(s.dir.file("out.vns"));
    g.setResolution(1.0);
    g.setWeightingMethod(KIVOGenerator::REPLACE);
    g.setReplaceType(KIVOGenerator::LT);
    g.setIncDensityAttrib(true);
    g.setIncMeanAttrib(true);
    g.setIncStdDevAttrib(true);
    g.setIncShoalAttrib(true, false);
    g.setDataSources({"line1", "line2"}, true, true, true);
    g.setComments("note");
    ASSERT_EQ(0, g.generate("s1", "s2", "s3", nullptr, nullptr));

    long status = 0;
    NORVAType<KIVOSurface> surface = KIVOSurfaceUtils::open(s.dir.file("out.vns"), status);
    ASSERT_EQ(0, status);
    EXPECT_DOUBLE_EQ(15.0, nodeValue(*surface, 2, 2, "Depth"));
    EXPECT_DOUBLE_EQ(15.0, nodeValue(*surface, 2, 2, "Shoal"));
    EXPECT_DOUBLE_EQ(2.0, nodeValue(*surface, 2, 2, "Density"));
    EXPECT_DOUBLE_EQ(31.0, nodeValue(*surface, 2, 2, "Mean"));
    EXPECT_DOUBLE_EQ(37.0, nodeValue(*surface, 9, 9, "Depth"));

    const KIVOSurfaceMetaData* meta = surface->getMetaData();
    EXPECT_EQ(NORVAUString("Replace"), meta->getProcessRecord().name);
    ASSERT_EQ(1u, meta->getProcessRecord().pairs.size());
    EXPECT_EQ(NORVAUString("LT"), meta->getProcessRecord().pairs[0].second);
    const KIVODescriptiveFields& f = meta->getDescriptiveFields();
    EXPECT_TRUE(std::regex_match(f.creationDate.toUTF8(), std::regex("[0-3][0-9]-[01][0-9]-20[0-9][0-9]")));
    EXPECT_TRUE(std::regex_match(f.creationTime.toUTF8(), std::regex("[0-2][0-9]:[0-5][0-9]:[0-5][0-9]")));
    EXPECT_EQ(NORVAUString("s3"), f.text1);
    EXPECT_EQ(NORVAUString("s1"), f.text2);
    EXPECT_EQ(NORVAUString("s2"), f.text3);
    EXPECT_EQ(NORVAUString("note"), f.comments);
    ASSERT_EQ(2u, meta->getSourceRecord().items.size());
    EXPECT_EQ(NORVAUString("SurveyLine"), meta->getSourceRecord().items[1].key);
    EXPECT_EQ(NORVAUString("line2"), meta->getSourceRecord().items[1].value);
}

TEST(GeneratorTest, ResolutionTableBuildsACompound) {
    Scene s;
    VectorPointIter soundings(slope());
    KIVOGenerator g(soundings, s.cs, s.cover, "Depth", "m", "");
    g.setName(s.dir.file("multi.vns"));
    KIVOResolutionTable table;
    table[KIVORangeEntry(0.0, 20.0)] = 1.0f;
    table[KIVORangeEntry(20.0, 30.0)] = 2.0f;
    table[KIVORangeEntry(30.0, 60.0)] = 3.0f;
    g.setResolutionTable(table);
    g.setWeightingMethod(KIVOGenerator::REPLACE);
    ASSERT_EQ(0, g.generate("", "", "", nullptr, nullptr));
    KIVOCompoundIO io(s.dir.file("multi.kms"));
    ASSERT_EQ(0, io.getStatus());
    ASSERT_EQ(3u, io.getEntries().size());
    // 10, 13, 15, 16 and 19 m go to the finest member.
    long status = 0;
    NORVAType<KIVOSurfaceIter> iter =
        io.getEntries()[0].dataIO->query(-1.0, -1.0, 10.0, 10.0, false, status, nullptr, DBL_MAX);
    long n = 0;
    for (; iter && !iter->done(status); iter->next(status)) ++n;
    EXPECT_EQ(4, n);  // (2, 2) holds two soundings
}

TEST(GeneratorTest, UpdatingAndRemovingDataSources) {
    Scene s;
    auto run = [&](KIVOGenerator::OperationType op, const char* type, std::vector<NORVAUString> sources,
                   KIVOGenerator::ReplaceType replace) {
        VectorPointIter soundings(slope());
        KIVOGenerator g(soundings, s.cs, s.cover, "Depth", "m", "");
        g.setName(s.dir.file("out.vns"));
        g.setResolution(1.0);
        g.setWeightingMethod(KIVOGenerator::REPLACE);
        g.setReplaceType(replace);
        g.setOperationType(op);
        g.setDataSourceType(type);
        g.setDataSources(sources, true, true, true);
        testing::internal::CaptureStdout();
        const long status = g.generate("", "", "", nullptr, nullptr);
        testing::internal::GetCapturedStdout();
        return status;
    };
    auto items = [&]() {
        KIVOSurfaceXMLMetaData meta(s.dir.file("out.xml"));
        std::vector<std::string> out;
        for (const auto& i : meta.getSourceRecord().items) out.push_back(i.key.toUTF8() + ":" + i.value.toUTF8());
        return out;
    };
    auto replaceWord = [&]() {
        KIVOSurfaceXMLMetaData meta(s.dir.file("out.xml"));
        return meta.getProcessRecord().pairs.empty() ? std::string() : meta.getProcessRecord().pairs[0].second.toUTF8();
    };
    ASSERT_EQ(0, run(KIVOGenerator::NEW_SURFACE, "SurveyLine", {"a", "b"}, KIVOGenerator::ALL));
    ASSERT_EQ(0, run(KIVOGenerator::UPDATE_SURFACE, "SurveyLine", {"b", "c"}, KIVOGenerator::GT));
    EXPECT_EQ((std::vector<std::string>{"SurveyLine:a", "SurveyLine:b", "SurveyLine:c"}), items());
    EXPECT_EQ("GT", replaceWord());

    const std::string before = testsupport::readFile(s.dir.file("out.xml").toUTF8());
    EXPECT_EQ(146060, run(KIVOGenerator::REMOVE_FROM_SURFACE, "PointStore", {"a"}, KIVOGenerator::LT));
    EXPECT_EQ(146060, run(KIVOGenerator::REMOVE_FROM_SURFACE, "SurveyLine", {"a", "zz"}, KIVOGenerator::LT));
    EXPECT_EQ(before, testsupport::readFile(s.dir.file("out.xml").toUTF8()));

    ASSERT_EQ(0, run(KIVOGenerator::REMOVE_FROM_SURFACE, "SurveyLine", {"b"}, KIVOGenerator::LT));
    EXPECT_EQ((std::vector<std::string>{"SurveyLine:a", "SurveyLine:c"}), items());
    EXPECT_EQ("GT", replaceWord());  // remove-from records no operator
}

namespace {

struct CoverCase {
    const char* what;
    double minX, minY, maxX, maxY;
    double resolution;  // 0: the compound table below
};

// Corners, edge midpoints, points a hair inside the far edges and a spread
// of positions inside; depths walk through the compound table's ranges,
// their ends included.
std::vector<Sounding> acrossCover(const CoverCase& c) {
    const double midX = 0.5 * (c.minX + c.maxX), midY = 0.5 * (c.minY + c.maxY);
    const double nearX = std::nextafter(c.maxX, c.minX), nearY = std::nextafter(c.maxY, c.minY);
    const double xs[] = {c.minX, c.maxX, c.minX, c.maxX, midX, midX, c.minX, c.maxX, nearX, midX, nearX};
    const double ys[] = {c.minY, c.minY, c.maxY, c.maxY, c.minY, c.maxY, midY, midY, midY, nearY, nearY};
    const double depths[] = {-10.0, -4.0, 0.0, 3.0, 10.0, 12.0, 30.0, 25.0, -9.5, 29.9};
    std::vector<Sounding> list;
    for (size_t i = 0; i < std::size(xs); ++i) list.emplace_back(xs[i], ys[i], depths[i % std::size(depths)]);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int i = 0; i < 60; ++i)
        list.emplace_back(c.minX + u(random) * (c.maxX - c.minX), c.minY + u(random) * (c.maxY - c.minY),
                          depths[i % std::size(depths)]);
    return list;
}

// Calls `visit` with every node that holds a value.
void forEachNode(KIVOSurfaceDataIO& io, const std::function<void(KIVOSurfaceIter&)>& visit) {
    long status = 0;
    NORVAType<KIVOSurfaceIter> iter = io.query(-1e12, -1e12, 1e12, 1e12, false, status, nullptr, DBL_MAX);
    for (; iter && !iter->done(status); iter->next(status)) visit(*iter);
}

// Sum of "Density" over every node of a data-IO.
double densityTotal(KIVOSurfaceDataIO& io) {
    double total = 0.0;
    forEachNode(io, [&](KIVOSurfaceIter& iter) {
        const long index = iter.getAttributeDescriptor().getAttributeIndex("Density");
        double v = 0.0;
        if (index >= 0 && iter.getAttributes()->getDoubleValue(index, v, false) == 0) total += v;
    });
    return total;
}

}  // namespace

// Every sounding inside the cover reaches a node, whatever the cover's
// relation to the resolution and wherever the sounding lies in it.
TEST(GeneratorTest, EverySoundingInsideTheCoverReachesANode) {
    const CoverCase cases[] = {
        {"cover not a multiple of the resolution", 0.0, 0.0, 9.7, 9.7, 1.0},
        {"negative origin, half-metre nodes", -3.3, -7.25, 6.4, -0.1, 0.5},
        {"fraction just under a half", -1000.5, 20.1, -990.6, 25.0, 0.3},
        {"whole multiple", 0.0, 0.0, 10.0, 10.0, 2.5},
        {"projected coordinates", 500000.3, 5700000.0, 500061.9, 5700040.7, 2.0},
        {"compound, cover not a multiple", 0.0, 0.0, 9.7, 9.7, 0.0},
        {"compound, negative origin", -3.3, -7.25, 6.4, -0.1, 0.0},
        {"compound, projected coordinates", 500000.3, 5700000.0, 500061.9, 5700040.7, 0.0},
    };
    for (const CoverCase& c : cases) {
        Scene s;
        const NORVACover cover(c.minX, c.minY, c.maxX, c.maxY);
        const std::vector<Sounding> list = acrossCover(c);
        VectorPointIter soundings(list);
        KIVOGenerator g(soundings, s.cs, cover, "Depth", "m", "");
        g.setName(s.dir.file("out.vns"));
        if (c.resolution > 0.0) {
            g.setResolution(c.resolution);
        } else {
            KIVOResolutionTable table;
            table[KIVORangeEntry(-10.0, 0.0)] = 0.7f;
            table[KIVORangeEntry(0.0, 10.0)] = 1.0f;
            table[KIVORangeEntry(10.0, 30.0)] = 2.0f;
            g.setResolutionTable(table);
        }
        g.setWeightingMethod(KIVOGenerator::REPLACE);
        g.setReplaceType(KIVOGenerator::LT);
        g.setIncDensityAttrib(true);
        ASSERT_EQ(0, g.generate("", "", "", nullptr, nullptr)) << c.what;
        EXPECT_EQ(static_cast<long>(list.size()), g.getSoundingCounts().placed) << c.what;
        EXPECT_EQ(0, g.getSoundingCounts().lost) << c.what;

        if (c.resolution > 0.0) {
            long status = 0;
            NORVAType<KIVOSurface> surface = KIVOSurfaceUtils::open(s.dir.file("out.vns"), status);
            ASSERT_EQ(0, status) << c.what;
            EXPECT_EQ(static_cast<double>(list.size()), densityTotal(*surface->getDataIO())) << c.what;
            for (const Sounding& p : list)
                EXPECT_LE(1.0, nodeValue(*surface, p.x, p.y, "Density")) << c.what << " at " << p.x << ", " << p.y;
        } else {
            KIVOCompoundIO io(s.dir.file("out.kms"));
            ASSERT_EQ(0, io.getStatus()) << c.what;
            double total = 0.0;
            for (const auto& member : io.getEntries()) total += densityTotal(*member.dataIO);
            EXPECT_EQ(static_cast<double>(list.size()), total) << c.what;
        }
    }
}

// Soundings the surface cannot hold are counted and the run says so.
TEST(GeneratorTest, SoundingsLeftOutAreCountedAndReported) {
    struct Case {
        const char* what;
        std::vector<Sounding> soundings;
        double tableLow;  // compound table (tableLow, 30); NaN: gridded
        long status;
        long placed, outside, lost;
    } cases[] = {
        {"no soundings at all", {}, NAN, KIVOGenerator::kNoSoundingPlaced, 0, 0, 0},
        {"all beyond the cover", {{20.0, 5.0, 3.0}, {5.0, -2.0, 3.0}}, NAN, KIVOGenerator::kNoSoundingPlaced, 0, 2,
         0},
        {"some beyond the cover", {{20.0, 5.0, 3.0}, {5.0, 5.0, 3.0}}, NAN, 0, 1, 1, 0},
        {"a depth no member takes", {{5.0, 5.0, 3.0}, {5.0, 5.0, 50.0}}, 0.0, KIVOGenerator::kSoundingsLost, 1, 0, 1},
    };
    for (Case& c : cases) {
        Scene s;
        VectorPointIter soundings(c.soundings);
        KIVOGenerator g(soundings, s.cs, s.cover, "Depth", "m", "");
        g.setName(s.dir.file("out.vns"));
        if (std::isnan(c.tableLow)) {
            g.setResolution(1.0);
        } else {
            KIVOResolutionTable table;
            table[KIVORangeEntry(c.tableLow, 30.0)] = 1.0f;
            g.setResolutionTable(table);
        }
        g.setWeightingMethod(KIVOGenerator::REPLACE);
        testing::internal::CaptureStdout();
        EXPECT_EQ(c.status, g.generate("", "", "", nullptr, nullptr)) << c.what;
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(c.placed, g.getSoundingCounts().placed) << c.what;
        EXPECT_EQ(c.outside, g.getSoundingCounts().outside) << c.what;
        EXPECT_EQ(c.lost, g.getSoundingCounts().lost) << c.what;
        EXPECT_EQ(c.lost > 0, out.find("reached no node") != std::string::npos) << c.what;
        EXPECT_EQ(c.outside > 0, out.find("beyond the surface") != std::string::npos) << c.what;
        EXPECT_EQ(c.status == KIVOGenerator::kNoSoundingPlaced, out.find("not stored") != std::string::npos)
            << c.what;
        // A run that placed nothing stores nothing.
        EXPECT_EQ(c.status != KIVOGenerator::kNoSoundingPlaced,
                  NORVAFileUtils::exists(s.dir.file(std::isnan(c.tableLow) ? "out.vns" : "out.kms")))
            << c.what;
    }
}

// Soundings given in geographic coordinates land where their projected
// positions lie; a position that cannot be projected is left out.
TEST(GeneratorTest, SoundingsInAnotherSystemAreTransformed) {
    const NORVACoordSystem wgs84("EPSG:4326");
    const NORVACoordSystem utm("EPSG:32631");
    // Around 3 E 51 N, inside zone 31.
    double x0 = 3.0, y0 = 51.0, x1 = 3.0003, y1 = 51.0002;
    ASSERT_EQ(0, wgs84.transform(utm, x0, y0));
    ASSERT_EQ(0, wgs84.transform(utm, x1, y1));
    struct Case {
        const char* what;
        std::vector<Sounding> soundings;
        long status;
        long placed, notTransformed;
    } cases[] = {
        {"all transform", {{3.0001, 51.0001, 12.0}, {3.0002, 51.00005, 14.0}}, 0, 2, 0},
        {"one beyond any projection", {{3.0001, 51.0001, 12.0}, {3.0001, 95.0, 14.0}}, 0, 1, 1},
        {"none transforms", {{3.0, 95.0, 12.0}, {3.0, -95.0, 14.0}}, KIVOGenerator::kNoSoundingPlaced, 0, 2},
        {"no soundings", {}, KIVOGenerator::kNoSoundingPlaced, 0, 0},
    };
    for (Case& c : cases) {
        TempFolder dir;
        const NORVACover cover(std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1));
        VectorPointIter soundings(c.soundings);
        soundings.setCoordSystem(&wgs84);
        KIVOGenerator g(soundings, utm, cover, "Depth", "m", "");
        g.setName(dir.file("out.vns"));
        g.setResolution(1.0);
        g.setWeightingMethod(KIVOGenerator::REPLACE);
        testing::internal::CaptureStdout();
        EXPECT_EQ(c.status, g.generate("", "", "", nullptr, nullptr)) << c.what;
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(c.placed, g.getSoundingCounts().placed) << c.what;
        EXPECT_EQ(c.notTransformed, g.getSoundingCounts().notTransformed) << c.what;
        EXPECT_EQ(c.notTransformed > 0, out.find("could not be transformed") != std::string::npos) << c.what;
        if (c.status == KIVOGenerator::kNoSoundingPlaced) continue;  // nothing stored

        long status = 0;
        NORVAType<KIVOSurface> surface = KIVOSurfaceUtils::open(dir.file("out.vns"), status);
        ASSERT_EQ(0, status) << c.what;
        for (const Sounding& p : c.soundings) {
            double x = p.x, y = p.y;
            if (wgs84.transform(utm, x, y) != 0) continue;
            EXPECT_DOUBLE_EQ(p.depth, nodeValue(*surface, x, y, "Depth")) << c.what;
        }
    }
}

namespace {

// Nodes holding a value in the gridded "out.vns" or the compound "out.kms".
long nodesHeld(const TempFolder& dir, bool compound) {
    long n = 0;
    auto count = [&](KIVOSurfaceDataIO& io) { forEachNode(io, [&](KIVOSurfaceIter&) { ++n; }); };
    if (!compound) {
        KIVOGriddedDataIO io(dir.file("out.vns"));
        if (io.getStatus() == 0) count(io);
        return n;
    }
    KIVOCompoundIO io(dir.file("out.kms"));
    if (io.getStatus() == 0)
        for (const auto& member : io.getEntries()) count(*member.dataIO);
    return n;
}

}  // namespace

// A rebuild that places no sounding stores nothing: the surface already
// under the name keeps every file as it was, byte for byte.
TEST(GeneratorTest, ARebuildThatPlacesNoSoundingLeavesTheSurfaceAsItWas) {
    std::vector<Sounding> everyNode;
    for (int i = 0; i < 400; ++i) everyNode.emplace_back(i % 20, i / 20, 5.0 + i % 7);
    struct Case {
        const char* what;
        std::vector<Sounding> soundings;
        bool exhausted;  // the iterator is walked to its end first
    } cases[] = {
        {"no soundings", {}, false},
        {"an exhausted iterator", everyNode, true},
        {"every depth missing", {{3.0, 4.0, NAN}, {7.0, 7.0, NAN}}, false},
        {"every sounding beyond the cover", {{50.0, 5.0, 3.0}, {5.0, -9.0, 3.0}}, false},
    };
    for (const bool compound : {false, true}) {
        for (const Case& c : cases) {
            const std::string what = std::string(c.what) + (compound ? ", compound" : ", gridded");
            Scene s;
            const NORVACover cover(0.0, 0.0, 19.0, 19.0);
            auto rebuild = [&](VectorPointIter& soundings) {
                KIVOGenerator g(soundings, s.cs, cover, "Depth", "m", "");
                g.setName(s.dir.file("out.vns"));
                KIVOResolutionTable table;
                table[KIVORangeEntry(0.0, 30.0)] = 1.0f;
                if (compound) g.setResolutionTable(table);
                else g.setResolution(1.0);
                g.setWeightingMethod(KIVOGenerator::REPLACE);
                testing::internal::CaptureStdout();
                const long status = g.generate("", "", "", nullptr, nullptr);
                const std::string out = testing::internal::GetCapturedStdout();
                EXPECT_EQ(status == KIVOGenerator::kNoSoundingPlaced, out.find("not stored") != std::string::npos)
                    << what;
                return status;
            };
            VectorPointIter first(everyNode);
            ASSERT_EQ(0, rebuild(first)) << what;
            ASSERT_EQ(400, nodesHeld(s.dir, compound)) << what;
            const foldersnapshot::Snapshot before = foldersnapshot::take(s.dir.path().toUTF8());

            VectorPointIter soundings(c.soundings);
            long status = 0;
            while (c.exhausted && !soundings.done(status)) soundings.next(status);
            EXPECT_EQ(KIVOGenerator::kNoSoundingPlaced, rebuild(soundings)) << what;
            EXPECT_EQ(400, nodesHeld(s.dir, compound)) << what;
            EXPECT_TRUE(before == foldersnapshot::take(s.dir.path().toUTF8())) << what;
        }
    }
}
