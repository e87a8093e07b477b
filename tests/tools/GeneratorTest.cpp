// The surface builder: attribute layouts, metadata, data-source edits,
// gridded and compound outputs and the run of the replace tool.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <regex>

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
