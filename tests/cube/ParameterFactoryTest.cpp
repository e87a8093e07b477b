#include <gtest/gtest.h>

#include <cstdlib>

#include "CubeTestSupport.h"
#include "cube/CUBEParameterFactory.h"
#include "platform/core/NORVAXMLDocument.h"

using Configuration = CUBEParameterFactory::Configuration;

namespace {

Configuration tuned(const char* name) {
    Configuration c(name);
    c.m_description = "Shallow survey";
    c.m_distanceExponent = 2.25f;
    c.m_queueLength = 9;
    c.m_captureDistanceScale = 0.07f;
    c.m_localeRadius = 4;
    c.m_nullHypothesisRatio = 3.5f;
    c.m_enableNullHypothesis = true;
    return c;
}

}  // namespace

TEST(CubeParameterFactory, StoredSetsReadBackFieldByField) {
    cubetest::TempDir dir;
    const NORVAUString file = dir.file("params.xml");
    {
        CUBEParameterFactory factory(file);
        EXPECT_NE(0, factory.getStatus());
        EXPECT_TRUE(factory.add(tuned("Zeta")));
        EXPECT_TRUE(factory.add(Configuration("Alpha")));
        EXPECT_FALSE(factory.add(Configuration("Zeta")));
        EXPECT_TRUE(factory.isModified());
        EXPECT_TRUE(factory.store());
        EXPECT_FALSE(factory.isModified());
    }
    CUBEParameterFactory again(file);
    ASSERT_EQ(0, again.getStatus());
    std::vector<NORVAUString> names{"first"};
    again.getNames(names);
    ASSERT_EQ(3u, names.size());
    EXPECT_EQ(NORVAUString("Alpha"), names[1]);
    ASSERT_NE(nullptr, again.get("Zeta"));
    Configuration expected = tuned("Zeta");
    // Context sizes live only in engine blocks.
    EXPECT_EQ(expected, *again.get("Zeta"));
    EXPECT_EQ(Configuration("Alpha"), *again.get("Alpha"));

    Configuration changed = tuned("Alpha");
    EXPECT_TRUE(again.set(changed));
    EXPECT_EQ(NORVAUString("Alpha"), again.get("Alpha")->getName());
    EXPECT_EQ(2.25f, again.get("Alpha")->m_distanceExponent);
    EXPECT_FALSE(again.set(Configuration("Missing")));
    EXPECT_TRUE(again.remove("Zeta"));
    EXPECT_FALSE(again.remove("Zeta"));
}

TEST(CubeParameterFactory, OldSingleSetFilesDuplicatesAndFlags) {
    cubetest::TempDir dir;
    NORVAXMLDocument doc;
    doc.loadFromBuffer(NORVAUString("<NORVA_CUBE_Parameters version=\"1.0\"><Queue_Length value=\"7\"/>"
                                    "</NORVA_CUBE_Parameters>"));
    doc.save(dir.file("old.xml"));
    CUBEParameterFactory old(dir.file("old.xml"));
    ASSERT_EQ(0, old.getStatus());
    ASSERT_NE(nullptr, old.get("Default"));
    EXPECT_EQ(7, old.get("Default")->m_queueLength);

    doc.loadFromBuffer(NORVAUString(
        "<NORVA_CUBE_Parameters version=\"2.0\">"
        "<ParameterSet Configuration_Name=\"A\"><Queue_Length value=\"5\"/>"
        "<Enable_Null_Hypothesis value=\"true\"/></ParameterSet>"
        "<ParameterSet Configuration_Name=\"A\"><Queue_Length value=\"6\"/></ParameterSet>"
        "</NORVA_CUBE_Parameters>"));
    doc.save(dir.file("dup.xml"));
    CUBEParameterFactory dup(dir.file("dup.xml"));
    ASSERT_NE(nullptr, dup.get("A"));
    EXPECT_EQ(5, dup.get("A")->m_queueLength);
    EXPECT_FALSE(dup.get("A")->m_enableNullHypothesis);
}

TEST(CubeParameterFactory, ReadFailuresAndUnwritableFile) {
    cubetest::TempDir dir;
    EXPECT_EQ(-1, CUBEParameterFactory(NORVAUString()).getStatus());
    const std::pair<const char*, long> cases[] = {
        {"<Other version=\"2.0\"/>", -3}, {"<NORVA_CUBE_Parameters/>", -4}, {"<NORVA_CUBE_Parameters version=\"\"/>", -5}};
    for (const auto& c : cases) {
        NORVAXMLDocument doc;
        doc.loadFromBuffer(NORVAUString(c.first));
        doc.save(dir.file("bad.xml"));
        EXPECT_EQ(c.second, CUBEParameterFactory(dir.file("bad.xml")).getStatus()) << c.first;
    }
    CUBEParameterFactory factory(dir.file("none.xml"));
    factory.add(Configuration("A"));
    factory.setFileName(dir.file("no/such/folder/p.xml"));
    EXPECT_FALSE(factory.store());
    EXPECT_TRUE(factory.isModified());
}

TEST(CubeParameterConfiguration, EngineBlockAndProcessingBlockRoundTrips) {
    const Configuration source = tuned("Source");
    _cube_param* block = cube_init_param(0, 1.0, 1.0);
    ASSERT_TRUE(source.save(block));
    EXPECT_DOUBLE_EQ(1.0 / 2.25, block->inv_dist_exp);
    EXPECT_FLOAT_EQ(0.07f, block->capture_dist_scale);
    Configuration target("Target");
    ASSERT_TRUE(target.load(block));
    EXPECT_EQ(NORVAUString("Target"), target.getName());
    EXPECT_EQ(NORVAUString("Default values."), target.m_description);
    target.m_name = source.m_name;
    target.m_description = source.m_description;
    EXPECT_EQ(source, target);
    EXPECT_FALSE(target.load(static_cast<const _cube_param*>(nullptr)));
    std::free(block);

    KIVOProcessMetaData processing;
    ASSERT_TRUE(source.save(processing));
    NORVAUString scale;
    ASSERT_TRUE(processing.getValue("Capture_Distance_Scale", scale));
    Configuration back;
    ASSERT_TRUE(back.load(processing));
    EXPECT_EQ(source, back);
}
