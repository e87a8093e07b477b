#include <gtest/gtest.h>

#include <cstdlib>
#include <list>
#include <set>
#include <string>

#include "core/CoreTestSupport.h"
#include "core/KIVODisplaySettings.h"
#include "platform/core/NORVAXMLDocument.h"

namespace {
using Entry = KIVODescriptor::AttribEntry;
using X = NORVAXMLDocument;

std::list<Entry> attributes() {
    return {Entry("Depth", KIVODataType::FLOAT),      Entry("Std Dev", KIVODataType::FLOAT),
            Entry("Weight", KIVODataType::FLOAT),     Entry("Depth_TrueX", KIVODataType::DOUBLE),
            Entry("Label", KIVODataType::TEXT),       Entry("bad<name", KIVODataType::FLOAT),
            Entry("a:b", KIVODataType::FLOAT),        Entry("Guide_Depth", KIVODataType::FLOAT),
            Entry("Uncertainty", KIVODataType::FLOAT)};
}

NORVAUString valueAt(xmlNodePtr element, std::initializer_list<const char*> path) {
    for (const char* name : path) element = element ? X::getFirstChild(element, name) : nullptr;
    NORVAUString value("<missing>");
    if (element) X::getAttribute(element, "value", value);
    return value;
}

xmlNodePtr displayOf(KIVOSurfaceXMLMetaData& meta) {
    return X::getFirstChild(meta.getXMLDocument().getRoot(), "DisplayParameters");
}

std::set<NORVAUString> blockNames(KIVOSurfaceXMLMetaData& meta) {
    std::set<NORVAUString> names;
    for (xmlNodePtr n : X::getChildren(displayOf(meta))) names.insert(X::getName(n));
    return names;
}
}  // namespace

TEST(DisplaySettings, WrittenTwiceKeepsUserChangesAndStoresValidXml) {
    coretest::TempDir dir;
    NORVAUString path = dir.file("d.xml");
    KIVOMemDescriptor layout = coretest::descriptorOf({"Depth"});
    KIVOSurfaceXMLMetaData meta(makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(layout)), path);
    const std::set<NORVAUString> skip{"Guide_Depth", "Weight"};

    KIVOSurfaceUtils::addDisplaySettings(meta, attributes(), skip, "Rainbow");
    EXPECT_EQ(blockNames(meta), (std::set<NORVAUString>{"Depth", "Std_Dev", "Uncertainty"}));
    xmlNodePtr depth = X::getFirstChild(displayOf(meta), "Depth");
    EXPECT_EQ(valueAt(depth, {"ColourMap"}), "Rainbow");
    EXPECT_EQ(valueAt(depth, {"Shading", "Enable"}), "true");
    EXPECT_EQ(valueAt(depth, {"Shading", "SunAzimuth"}), "45");
    EXPECT_EQ(valueAt(depth, {"Shading", "SunElevation"}), "45");
    EXPECT_EQ(valueAt(depth, {"Shading", "VerticalExaggeration"}), "1");
    EXPECT_EQ(valueAt(depth, {"Shading", "GreyScale"}), "false");
    EXPECT_EQ(valueAt(X::getFirstChild(displayOf(meta), "Uncertainty"), {"Shading", "Enable"}), "false");

    X::setAttribute(X::getFirstChild(X::getFirstChild(depth, "Shading"), "GreyScale"), "value", "true");
    KIVOSurfaceUtils::addDisplaySettings(meta, attributes(), {}, "Grey");
    EXPECT_EQ(valueAt(depth, {"Shading", "GreyScale"}), "true");
    EXPECT_EQ(valueAt(depth, {"ColourMap"}), "Rainbow");
    EXPECT_EQ(X::getChildren(depth).size(), 2u) << "no duplicate blocks";
    EXPECT_EQ(blockNames(meta).count("Guide_Depth"), 1u) << "skipped only while the caller asked";
    EXPECT_EQ(blockNames(meta).count("Weight"), 0u);

    ASSERT_EQ(meta.store(), 0);
    std::string command = "xmllint --noout '" + path.toUTF8() + "' 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    KIVOSurfaceXMLMetaData reread(path);
    ASSERT_EQ(reread.getStatus(), 0);
    EXPECT_EQ(valueAt(X::getFirstChild(displayOf(reread), "Depth"), {"Shading", "GreyScale"}), "true");
}

TEST(DisplaySettings, RemoveTakesTheElementNameAndIgnoresOtherMetadata) {
    coretest::TempDir dir;
    KIVOMemDescriptor layout = coretest::descriptorOf({"Depth"});
    KIVOSurfaceXMLMetaData meta(makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(layout)),
                                dir.file("r.xml"));
    KIVOSurfaceUtils::addDisplaySettings(meta, attributes(), {}, "Rainbow");

    KIVOSurfaceUtils::removeDisplaySettings(meta, "Std Dev");
    KIVOSurfaceUtils::removeDisplaySettings(meta, "Density");
    KIVOSurfaceUtils::removeDisplaySettings(meta, "");
    EXPECT_EQ(blockNames(meta).count("Std_Dev"), 1u);
    EXPECT_EQ(blockNames(meta).size(), 4u);
    KIVOSurfaceUtils::removeDisplaySettings(meta, "Std_Dev");
    EXPECT_EQ(blockNames(meta), (std::set<NORVAUString>{"Depth", "Guide_Depth", "Uncertainty"}));

    coretest::StubMetaData plain(layout);
    KIVOSurfaceUtils::addDisplaySettings(plain, attributes(), {}, "Rainbow");
    KIVOSurfaceUtils::removeDisplaySettings(plain, "Depth");
}
