#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "TempFolder.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOSurfaceXMLMetaData.h"
#include "platform/proj/NORVACoordSystem.h"

namespace {

using Entry = KIVODescriptor::AttribEntry;
using Doc = NORVAXMLDocument;

std::vector<Entry> entries() {
    Entry depth("Depth", KIVODataType::FLOAT);
    depth.modName = "Weight";
    depth.modIndex = 1;
    depth.trueXName = "Depth_TrueX";
    depth.trueXIndex = 5;
    depth.trueYName = "Depth_TrueY";
    depth.trueYIndex = 6;
    depth.unitKey = "m";
    depth.unitDirection = "DEPTH";
    depth.kind = 1;
    depth.extra = "x<&\"'>y";
    Entry contributor("Contributor", KIVODataType::STRING);
    Entry label("Label", KIVODataType::TEXT);
    label.length = 8;
    return {depth, contributor, label};
}

NORVAType<KIVOSurfaceXMLMetaData> newMetadata(const NORVAUString& path) {
    KIVOMetaAttribute meta{KIVOMemDescriptor(entries())};
    meta.getMinimum().setValue(0, -12.5);
    meta.getMaximum().setValue(0, 0.1);
    meta.getMinimum().setValue(1, NORVAUString("alpha"));
    meta.getMaximum().setValue(1, NORVAUString("omega"));
    return makeNORVAType<KIVOSurfaceXMLMetaData>(makeNORVAType<KIVOSurfaceAttributeTable>(meta), path);
}

// Fills every field with values that catch lost precision and escaping.
void fill(KIVOSurfaceXMLMetaData& m) {
    NORVAUString s1, s2, s3;
    NORVACoordSystem("EPSG:32631", "UTM 31N").toStrings(s1, s2, s3);
    ASSERT_EQ(0, m.setCoordSystemString(s1, s2, s3));
    ASSERT_EQ(0, m.setLowerLeft(0.1 + 0.2, -1.0 / 3.0));
    ASSERT_EQ(0, m.setDimensions(100.0 / 7.0, 4.9e-324));
    ASSERT_EQ(0, m.setResolution(0.3));
    ASSERT_EQ(0, m.setResolutionTable("Depth", {{{0.0, 10.0}, 0.5f}, {{10.0, 100.5}, 2.1f}}));
    m.setAreaCoverage(2.0 / 3.0);
    KIVOSourceRecord source;
    source.items = {{"SurveyLine", "line \"one\"", 0.1}, {"KIVO", "/a/b c.vns", -DBL_MAX}};
    source.firstTime = 1234567890.123456789;
    source.lastTime = DBL_MAX;
    m.setSourceRecord(source);
    m.setProcessRecord({"Replace", {{"Replace_Type", "Shoalest"}, {"k", "v & w"}}});
    m.setDescriptiveFields({"07-12-2024", "04:29:00", "t1", "line1\nline2\ttab", "<t3>", "comments\r\n"});
    m.getProcessMetaData().setValue("Configuration_Name", "Default");
    m.getProcessMetaData().setValue("Capture_Distance_Scale", "5");
    m.setMetaBlocks({{"Block A", {{"item", {{"k1", "v1"}, {"k2", ""}}}, {"empty", {}}}}, {"Block B", {}}});
    xmlNodePtr display = Doc::addChild(m.getXMLDocument().getRoot(), "DisplayParameters");
    xmlNodePtr colour = Doc::addChild(Doc::addChild(display, "Depth"), "ColourMap");
    Doc::setAttribute(colour, "value", "Rainbow");
}

void expectSame(const KIVOSurfaceXMLMetaData& a, const KIVOSurfaceXMLMetaData& b) {
    const KIVODescriptor& da = a.getAttributeTable()->getDescriptor();
    const KIVODescriptor& db = b.getAttributeTable()->getDescriptor();
    ASSERT_EQ(da.getNumberOfAttributes(), db.getNumberOfAttributes());
    EXPECT_TRUE(da.getAttributeEntries() == db.getAttributeEntries());
    for (long i = 0; i < 2; ++i) {
        NORVAUString lo, hi;
        EXPECT_EQ(0, b.getAttributeTable()->getMetaAttribute().getMinimum().getValue(i, lo));
        EXPECT_EQ(0, b.getAttributeTable()->getMetaAttribute().getMaximum().getValue(i, hi));
    }
    double v = 0.0;
    b.getAttributeTable()->getMetaAttribute().getMinimum().getValue(0, v);
    EXPECT_EQ(-12.5, v);
    NORVAUString text;
    b.getAttributeTable()->getMetaAttribute().getMaximum().getValue(1, text);
    EXPECT_EQ(NORVAUString("omega"), text);
    EXPECT_FALSE(b.getAttributeTable()->getMetaAttribute().getMinimum().isSet(2));

    NORVAUString a1, a2, a3, b1, b2, b3;
    a.getCoordSystemString(a1, a2, a3);
    b.getCoordSystemString(b1, b2, b3);
    EXPECT_TRUE(a1 == b1 && a2 == b2 && a3 == b3);
    double ax, ay, bx, by;
    a.getLowerLeft(ax, ay);
    b.getLowerLeft(bx, by);
    EXPECT_EQ(ax, bx);
    EXPECT_EQ(ay, by);
    a.getDimensions(ax, ay);
    b.getDimensions(bx, by);
    EXPECT_EQ(ax, bx);
    EXPECT_EQ(ay, by);
    a.getResolution(ax, ay);
    b.getResolution(bx, by);
    EXPECT_EQ(ax, bx);
    NORVAUString an, bn;
    KIVOResolutionTable at, bt;
    a.getResolutionTable(an, at);
    b.getResolutionTable(bn, bt);
    EXPECT_EQ(an, bn);
    EXPECT_EQ(at, bt);
    EXPECT_EQ(a.getAreaCoverage(), b.getAreaCoverage());
    EXPECT_EQ(a.getSourceRecord(), b.getSourceRecord());
    EXPECT_EQ(a.getProcessRecord(), b.getProcessRecord());
    EXPECT_EQ(a.getDescriptiveFields(), b.getDescriptiveFields());
    EXPECT_EQ(a.getProcessMetaData(), b.getProcessMetaData());
    EXPECT_EQ(a.getMetaBlocks(), b.getMetaBlocks());
}

NORVAUString colourOf(const KIVOSurfaceXMLMetaData& m) {
    xmlNodePtr display = Doc::getFirstChild(m.getXMLDocument().getRoot(), "DisplayParameters");
    NORVAUString v;
    Doc::getAttribute(Doc::getFirstChild(Doc::getFirstChild(display, "Depth"), "ColourMap"), "value", v);
    return v;
}

std::string readAll(const NORVAUString& path) {
    std::ifstream in(path.toUTF8(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeAll(const NORVAUString& path, const std::string& bytes) {
    std::ofstream out(path.toUTF8(), std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace

TEST(XMLMetaData, EveryFieldAndDisplayBlockRoundTrip) {
    TempFolder dir;
    auto written = newMetadata(dir.file("s.vns"));
    ASSERT_EQ(0, written->getStatus());
    EXPECT_EQ(dir.file("s.xml"), written->getFileName());
    fill(*written);
    ASSERT_EQ(0, written->store());

    KIVOSurfaceXMLMetaData read(dir.file("s.vns"));
    ASSERT_EQ(0, read.getStatus());
    expectSame(*written, read);
    EXPECT_EQ(NORVAUString("Rainbow"), colourOf(read));
    long status = -9;
    const NORVACoordSystem* cs = read.getCoordSystem(status);
    ASSERT_NE(nullptr, cs);
    EXPECT_EQ(0, status);
    EXPECT_TRUE(cs->isEqual(NORVACoordSystem("EPSG:32631")));
    double minX, minY, maxX, maxY;
    read.getCover(minX, minY, maxX, maxY);
    EXPECT_EQ(0.1 + 0.2, minX);
    EXPECT_EQ(0.1 + 0.2 + 100.0 / 7.0, maxX);
    EXPECT_EQ(-1.0 / 3.0 + 4.9e-324, maxY);

    // A second store of what was read neither loses nor doubles a section.
    ASSERT_EQ(0, read.store());
    KIVOSurfaceXMLMetaData again(dir.file("s.xml"));
    ASSERT_EQ(0, again.getStatus());
    expectSame(*written, again);
    EXPECT_EQ(1u, Doc::getChildren(again.getXMLDocument().getRoot(), "DisplayParameters").size());
    EXPECT_EQ(1u, Doc::getChildren(again.getXMLDocument().getRoot(), "AttributeTable").size());
}

TEST(XMLMetaData, CopyKeepsFieldsAndDocument) {
    TempFolder dir;
    auto original = newMetadata(dir.file("s.xml"));
    fill(*original);
    auto copy = original->newCopy();
    expectSame(*original, *copy);
    EXPECT_EQ(NORVAUString("Rainbow"), colourOf(*copy));
    // The copy's document is its own.
    Doc::removeNode(Doc::getFirstChild(copy->getXMLDocument().getRoot(), "DisplayParameters"));
    EXPECT_EQ(NORVAUString("Rainbow"), colourOf(*original));
}

TEST(XMLMetaData, RefusedSettersChangeNothing) {
    TempFolder dir;
    auto m = newMetadata(dir.file("s.xml"));
    fill(*m);
    NORVAUString before1, before2, before3, after1, after2, after3;
    m->getCoordSystemString(before1, before2, before3);
    EXPECT_NE(0, m->setCoordSystemString("name", "not a coordinate system", ""));
    m->getCoordSystemString(after1, after2, after3);
    EXPECT_EQ(before2, after2);
    long status = 0;
    EXPECT_NE(nullptr, m->getCoordSystem(status));
    EXPECT_NE(0, m->setDimensions(-1.0, 1.0));
    EXPECT_NE(0, m->setResolution(std::nan("")));
    double w = 0, h = 0;
    m->getDimensions(w, h);
    EXPECT_EQ(100.0 / 7.0, w);
}

TEST(XMLMetaData, UnreadableFilesGiveStatusNotCrash) {
    TempFolder dir;
    EXPECT_EQ(146006, KIVOSurfaceXMLMetaData(dir.file("missing.vns")).getStatus());

    const std::pair<const char*, const char*> bad[] = {
        {"empty", ""},
        {"garbage", "\x01\x02 not xml at all"},
        {"other root", "<?xml version=\"1.0\"?><Other version=\"1\"/>"},
        {"future layout", "<KIVOSurfaceMetaData version=\"2\"/>"},
        {"no sections", "<KIVOSurfaceMetaData version=\"1\"/>"},
        {"entity bomb", "<!DOCTYPE r [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
                        "<KIVOSurfaceMetaData version=\"1\">&b;</KIVOSurfaceMetaData>"},
    };
    for (const auto& b : bad) {
        writeAll(dir.file("bad.xml"), b.second);
        EXPECT_EQ(146021, KIVOSurfaceXMLMetaData(dir.file("bad.xml")).getStatus()) << b.first;
    }

    auto m = newMetadata(dir.file("good.xml"));
    fill(*m);
    ASSERT_EQ(0, m->store());
    const std::string good = readAll(dir.file("good.xml"));
    // Every cut of the file short of its final newline is malformed.
    for (size_t n = 0; n + 1 < good.size(); ++n) {
        writeAll(dir.file("cut.xml"), good.substr(0, n));
        ASSERT_NE(0, KIVOSurfaceXMLMetaData(dir.file("cut.xml")).getStatus()) << n;
    }
    // A field that does not parse is reported, not guessed.
    std::string wrongType = good;
    wrongType.replace(wrongType.find("type=\"0\""), 8, "type=\"x\"");
    writeAll(dir.file("type.xml"), wrongType);
    EXPECT_EQ(146021, KIVOSurfaceXMLMetaData(dir.file("type.xml")).getStatus());
    std::string wrongNumber = good;
    wrongNumber.replace(wrongNumber.find("resolution=\""), 12, "resolution=\"1.5q");
    writeAll(dir.file("number.xml"), wrongNumber);
    EXPECT_EQ(146021, KIVOSurfaceXMLMetaData(dir.file("number.xml")).getStatus());
}
