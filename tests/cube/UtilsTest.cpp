#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "CubeTestSupport.h"
#include "cube/CUBEUtils.h"
#include "cube_engine/cube_node.h"
#include "platform/core/NORVAXMLDocument.h"

TEST(CubeUtils, MethodNames) {
    CubeExtractor method = CUBE_DENSITY;
    EXPECT_TRUE(CUBEUtils::stringToDisamType("locale", method));
    EXPECT_EQ(CUBE_UNKNOWN, method);
    CUBEUtils::stringToDisamType("Density and Locale", method);
    EXPECT_EQ(CUBE_DENSITY_LOCALE, method);
    NORVAUString name;
    CUBEUtils::disamTypeToString(static_cast<CubeExtractor>(7), name);
    EXPECT_EQ(NORVAUString("Unknown"), name);
    CUBEUtils::disamTypeToString(CUBE_INITIALIZATION_SURFACE, name);
    EXPECT_EQ(NORVAUString("Initialization Surface"), name);
}

TEST(CubeUtils, FileNamesFromTheGridPrefix) {
    EXPECT_EQ(NORVAUString("/data/s1/s1_2x10.vcg"), CUBEUtils::gridFileName("/data/s1/s1", 2, 10));
    EXPECT_EQ(NORVAUString("/data/s1/s1_0x0.vcg"), CUBEUtils::gridFileName("/data/s1/s1", 0, 0));
    EXPECT_EQ(NORVAUString("/data/s1/s1_2x10_Depth.vcc"), CUBEUtils::layerFileName("/data/s1/s1", "Depth", 2, 10));
    // A name that would not stay inside the grid folder names no file.
    for (const char* name : {"../x", "a/b", "..", ".", ""})
        EXPECT_TRUE(CUBEUtils::layerFileName("/data/s1/s1", name, 2, 10).isEmpty()) << name;
    cubetest::TempDir dir;
    EXPECT_TRUE(CUBEUtils::makeGridFolder(dir.file("s/s")));
    EXPECT_TRUE(CUBEUtils::makeGridFolder(dir.file("s/s")));
    EXPECT_TRUE(NORVAFileUtils::isDirectory(dir.file("s")));
    EXPECT_FALSE(CUBEUtils::makeGridFolder(dir.file("missing/s/s")));
}

TEST(CubeUtils, ReadsAndPrintsTheParameterElement) {
    NORVAXMLDocument doc;
    ASSERT_EQ(0, doc.loadFromBuffer(NORVAUString(
                     "<ParameterSet><Capture_Distance_Scale value=\"5\"/><Queue_Length value=\"abc\"/>"
                     "<Enable_Null_Hypothesis value=\"true\"/><Locale_Radius value=\"3\"/>"
                     "<Distance_Exponent value=\"2.5\"/></ParameterSet>")));
    _cube_param* p = cube_init_param(0, 1.0, 1.0);
    p->enable_null_hypothesis = 1;
    CUBEUtils::readParams(p, *doc.getRoot());
    EXPECT_FLOAT_EQ(0.05f, p->capture_dist_scale);
    EXPECT_EQ(11u, p->median_length);
    EXPECT_EQ(0u, p->enable_null_hypothesis);
    EXPECT_EQ(3u, p->locale_radius);
    EXPECT_DOUBLE_EQ(2.5, p->dist_exp);
    NORVAUString text;
    CUBEUtils::paramsToString(p, text);
    const std::string s = text.toUTF8();
    EXPECT_EQ(0u, s.find("Distance_Exponent = 2.5; Queue_Length = 11; "));
    EXPECT_NE(std::string::npos, s.find("Capture_Distance_Scale = 5"));
    EXPECT_NE(std::string::npos, s.find("Locale_Radius = 3; "));
    const std::string tail = "; Enable_Null_Hypothesis = False;";
    EXPECT_EQ(tail, s.substr(s.size() - tail.size()));
    std::free(p);
}

TEST(CubeUtils, ParametersForAnOrderAndResolution) {
    unsetenv("VARN_CUBE_PARAMETERS");
    _cube_param* a = CUBEUtils::getParams(7, 0.5f);
    _cube_param* b = CUBEUtils::getParams(0, 0.5f);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(0, std::memcmp(a, b, sizeof(_cube_param)));
    EXPECT_FLOAT_EQ(0.5f, a->min_context);
    std::free(a);
    std::free(b);

    cubetest::TempDir dir;
    cubetest::writeAll(dir.file("p.xml"), {});
    NORVAXMLDocument doc;
    doc.loadFromBuffer(NORVAUString("<NORVA_CUBE_Parameters><Locale_Radius value=\"4\"/></NORVA_CUBE_Parameters>"));
    doc.save(dir.file("p.xml"));
    setenv("VARN_CUBE_PARAMETERS", dir.file("p.xml").toUTF8().c_str(), 1);
    _cube_param* c = CUBEUtils::getParams(1, 1.0f);
    unsetenv("VARN_CUBE_PARAMETERS");
    EXPECT_EQ(4u, c->locale_radius);
    std::free(c);
}

TEST(CubeUtils, EstimateCountsNodesIn64Bits) {
    _cube_param* p = CUBEUtils::getParams(1, 1.0f);
    const uint64_t perNode = cube_node_estimate_size(1.0f, p) + 4;
    std::free(p);
    EXPECT_EQ(perNode * 101 * 51, CUBEUtils::estimateSize(100.0, 50.0, 1.0));
    EXPECT_EQ(perNode * 100001 * 100001, CUBEUtils::estimateSize(100000.0, 100000.0, 1.0));
    EXPECT_EQ(0u, CUBEUtils::estimateSize(-5.0, 10.0, 1.0));
    EXPECT_EQ(0u, CUBEUtils::estimateSize(10.0, 10.0, NAN));
}

TEST(CubeUtils, DescriptorWithAndWithoutGuide) {
    auto plain = CUBEUtils::getDescriptor(false);
    auto guided = CUBEUtils::getDescriptor(true);
    ASSERT_EQ(8, plain->getNumberOfAttributes());
    ASSERT_EQ(10, guided->getNumberOfAttributes());
    EXPECT_EQ(8, guided->getAttributeIndex("Guide_Depth"));
    EXPECT_EQ(NORVAUString("Hypothesis_Count"), plain->getAttributeName(5));
    EXPECT_EQ(KIVODataType::USHORT, plain->getAttributeType(5));
    EXPECT_EQ(KIVODataType::LONG, plain->getAttributeType(6));
    EXPECT_EQ(KIVODataType::UCHAR, plain->getAttributeType(7));
    EXPECT_EQ(NORVAUString("DEPTH"), plain->getUnitDirection(0));
    EXPECT_TRUE(plain->getUnitKey(4).isEmpty());
}
