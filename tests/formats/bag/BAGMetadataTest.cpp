// Parsing the ISO metadata text into a grid definition.
#include <gtest/gtest.h>

#include <functional>

#include "BagTestSupport.h"
#include "formats/bag/BagHandle.h"

namespace {

using bagtest::Metadata;

class BAGMetadataTest : public ::testing::Test {
protected:
    void SetUp() override { bagtest::useSchemaHome(); }

    static bagError parse(const std::string& text, bagHandle& h) {
        return bagParseMetadataBuffer(&h, text.data(), text.size());
    }
};

TEST_F(BAGMetadataTest, FillsTheDefinition) {
    Metadata m;
    m.extraParameters =
        "<longitudeOfCentralMeridian>-69</longitudeOfCentralMeridian><falseEasting>500000</falseEasting>"
        "<scaleFactorAtProjectionOrigin>0.9996</scaleFactorAtProjectionOrigin>";
    bagHandle h;
    ASSERT_EQ(parse(bagtest::metadataXML(m), h), BAG_SUCCESS);
    const bagDefinition& d = h.def;
    EXPECT_TRUE(d.loaded);
    EXPECT_EQ(d.nrows, 4u);
    EXPECT_EQ(d.ncols, 5u);
    EXPECT_DOUBLE_EQ(d.nodeSpacingX, 2.0);
    EXPECT_DOUBLE_EQ(d.nodeSpacingY, 3.0);
    EXPECT_DOUBLE_EQ(d.swCornerX, 100.0);
    EXPECT_DOUBLE_EQ(d.swCornerY, 200.0);
    EXPECT_DOUBLE_EQ(d.neCornerX, 108.0);
    EXPECT_DOUBLE_EQ(d.neCornerY, 209.0);
    EXPECT_EQ(d.coordSys, 5);
    EXPECT_EQ(d.datum, 0);
    EXPECT_EQ(d.zone, 19);
    EXPECT_DOUBLE_EQ(d.longitudeOfCentralMeridian, -69.0);
    EXPECT_DOUBLE_EQ(d.falseEasting, 500000.0);
    EXPECT_DOUBLE_EQ(d.scaleFactor, 0.0);  // only Mercator, TM and polar stereographic keep one
    EXPECT_EQ(d.verticalUncertType, 1);
    EXPECT_EQ(h.metadata, bagtest::metadataXML(m));
}

// One field changed from a valid text: the code and what lands in the record.
TEST_F(BAGMetadataTest, FieldsAndFailures) {
    struct Case {
        const char* name;
        std::function<void(Metadata&)> change;
        bagError code;
        std::function<void(const bagDefinition&)> check;
    };
    const auto none = [](const bagDefinition&) {};
    const Case cases[] = {
        {"projection prefix", [](Metadata& m) { m.projection = "UTM zone 19N"; }, 0,
         [](const bagDefinition& d) { EXPECT_EQ(d.coordSys, 5); }},
        {"projection in words", [](Metadata& m) { m.projection = "Universal Transverse Mercator"; }, 0,
         [](const bagDefinition& d) { EXPECT_EQ(d.coordSys, -1); }},
        {"Mercator scale",
         [](Metadata& m) {
             m.projection = "Mercator";
             m.extraParameters = "<scaleFactorAtEquator>0.99</scaleFactorAtEquator>";
         },
         0,
         [](const bagDefinition& d) {
             EXPECT_EQ(d.coordSys, 18);
             EXPECT_DOUBLE_EQ(d.scaleFactor, 0.99);
         }},
        {"polar stereographic scale",
         [](Metadata& m) {
             m.projection = "Polar_Stereo";
             m.extraParameters = "<scaleFactorAtProjectionOrigin>0.994</scaleFactorAtProjectionOrigin>"
                                 "<straightVerticalLongitudeFromPole>-45</straightVerticalLongitudeFromPole>";
         },
         0,
         [](const bagDefinition& d) {
             EXPECT_EQ(d.coordSys, 25);
             EXPECT_DOUBLE_EQ(d.scaleFactor, 0.994);
             EXPECT_DOUBLE_EQ(d.straightVerticalLongitudeFromPole, -45.0);
         }},
        {"Van der Grinten", [](Metadata& m) { m.projection = "Van_der_Grinten"; }, 0,
         [](const bagDefinition& d) { EXPECT_EQ(d.coordSys, 31); }},
        {"datum NAD83", [](Metadata& m) { m.datum = "NAD83 (2011)"; }, 0,
         [](const bagDefinition& d) { EXPECT_EQ(d.datum, 2); }},
        {"unknown datum", [](Metadata& m) { m.datum = "ED50"; }, 0,
         [](const bagDefinition& d) { EXPECT_EQ(d.datum, -1); }},
        {"no datum", [](Metadata& m) { m.datum.clear(); }, 0,
         [](const bagDefinition& d) { EXPECT_EQ(d.datum, -1); }},
        {"CUBE in lower case", [](Metadata& m) { m.uncertainty = "cube std dev"; }, 0,
         [](const bagDefinition& d) { EXPECT_EQ(d.verticalUncertType, 2); }},
        {"historical", [](Metadata& m) { m.uncertainty = "Historical Std Dev"; }, 0,
         [](const bagDefinition& d) { EXPECT_EQ(d.verticalUncertType, 4); }},
        {"unknown uncertainty", [](Metadata& m) { m.uncertainty = "Guessed"; }, 0,
         [](const bagDefinition& d) { EXPECT_EQ(d.verticalUncertType, 0); }},
        {"no uncertainty", [](Metadata& m) { m.uncertainty.clear(); }, BAG_METADTA_UNCRT_MISSING, none},
        {"three dimensions", [](Metadata& m) { m.dimensions = "3"; }, BAG_METADTA_INVLID_DIMENSIONS, none},
        {"no dimension count", [](Metadata& m) { m.dimensions.clear(); }, BAG_METADTA_INVLID_DIMENSIONS, none},
        {"no projection",
         [](Metadata& m) {
             m.projection.clear();
             m.datum.clear();
         },
         0, [](const bagDefinition& d) { EXPECT_EQ(d.coordSys, -1); }},
        {"no corners", [](Metadata& m) { m.corners.clear(); }, BAG_METADTA_INCOMPLETE_COVER, none},
        {"corner at the largest double", [](Metadata& m) { m.corners = "1.7976931348623157e308,0 1,1"; },
         BAG_METADTA_INCOMPLETE_COVER, none},
        {"corners without pairs", [](Metadata& m) { m.corners = "100 200"; }, BAG_METADTA_VALIDATE_FAILED, none},
        {"no spacing", [](Metadata& m) { m.dx.clear(); }, BAG_METADTA_INCOMPLETE_COVER, none},
        {"zero spacing", [](Metadata& m) { m.dy = "0"; }, BAG_METADTA_INCOMPLETE_COVER, none},
        {"text spacing", [](Metadata& m) { m.dy = "three"; }, BAG_METADTA_VALIDATE_FAILED, none},
        {"negative size", [](Metadata& m) { m.rows = "-4"; }, BAG_METADTA_VALIDATE_FAILED, none},
        {"text zone", [](Metadata& m) { m.zone = "nineteen"; }, BAG_METADTA_VALIDATE_FAILED, none},
    };
    for (const Case& c : cases) {
        Metadata m;
        c.change(m);
        bagHandle h;
        EXPECT_EQ(parse(bagtest::metadataXML(m), h), c.code) << c.name;
        if (c.code == 0) c.check(h.def);
        if (c.code != 0) {
            EXPECT_FALSE(h.def.loaded) << c.name;
        }
    }
}

TEST_F(BAGMetadataTest, NoProjectionInformationAtAll) {
    std::string text = bagtest::metadataXML(Metadata());
    const size_t from = text.find("<referenceSystemInfo>");
    const size_t to = text.find("</referenceSystemInfo>") + std::string("</referenceSystemInfo>").size();
    text.erase(from, to - from);
    bagHandle h;
    EXPECT_EQ(parse(text, h), BAG_METADTA_NO_PROJECTION_INFO);
}

TEST_F(BAGMetadataTest, MalformedAndForeignTexts) {
    struct Case {
        const char* name;
        std::string text;
        bagError code;
    };
    const std::string valid = bagtest::metadataXML(Metadata());
    const Case cases[] = {
        {"not XML", "just words", BAG_METADTA_PARSE_EXCEPTION},
        {"cut short", valid.substr(0, valid.size() / 2), BAG_METADTA_PARSE_EXCEPTION},
        {"unknown root", "<?xml version=\"1.0\"?><root/>", BAG_METADTA_VALIDATE_FAILED},
        {"entity expansion",
         "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
         "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;\">]><r>&d;&d;&d;</r>",
         BAG_METADTA_PARSE_EXCEPTION},
        {"external entity",
         "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"/etc/passwd\">]><r>&x;</r>",
         BAG_METADTA_VALIDATE_FAILED},
        {"remote schema hint",
         "<?xml version=\"1.0\"?><x:r xmlns:x=\"urn:other\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xsi:schemaLocation=\"urn:other http://example.invalid/other.xsd\"/>",
         BAG_METADTA_VALIDATE_FAILED},
    };
    for (const Case& c : cases) {
        bagHandle h;
        const bagError rc = parse(c.text, h);
        EXPECT_NE(rc, BAG_SUCCESS) << c.name;
        if (c.code == BAG_METADTA_VALIDATE_FAILED)
            EXPECT_TRUE(rc == BAG_METADTA_VALIDATE_FAILED || rc == BAG_METADTA_PARSE_EXCEPTION) << c.name << rc;
        else
            EXPECT_EQ(rc, c.code) << c.name;
    }
    bagHandle h;
    EXPECT_EQ(bagParseMetadataBuffer(&h, nullptr, 10), BAG_SUCCESS);
    EXPECT_EQ(bagParseMetadataBuffer(nullptr, "x", 1), BAG_SUCCESS);
    EXPECT_EQ(bagParseMetadataBuffer(&h, "x", 1000000), BAG_METADTA_BUFFER_EXCEEDED);
}

TEST_F(BAGMetadataTest, SchemaFolderFromBagHome) {
    const std::string text = bagtest::metadataXML(Metadata()) + "<!-- schema folder -->";
    bagHandle h;
    setenv("BAG_HOME", "/nonexistent/bag home", 1);
    EXPECT_EQ(parse(text, h), BAG_METADTA_SCHEMA_FILE_MISSING);
    testsupport::ScratchDir dir;
    setenv("BAG_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(parse(text, h), BAG_METADTA_SCHEMA_FILE_MISSING);
    // Unset, the copy beside the library or else the source tree's is used.
    unsetenv("BAG_HOME");
    EXPECT_EQ(parse(text, h), BAG_SUCCESS);
    bagtest::useSchemaHome();
}

// A parsed text is kept: parsing it again needs no schema. Twenty texts are
// kept; the twenty-first replaces the first.
TEST_F(BAGMetadataTest, ParsedDocumentsAreCached) {
    std::vector<std::string> texts;
    for (int i = 0; i < 21; ++i) texts.push_back(bagtest::metadataXML(Metadata()) + "<!-- " + std::to_string(i) + " cache -->");
    bagHandle h;
    // A text that fails extraction empties the cache.
    Metadata incomplete;
    incomplete.uncertainty.clear();
    ASSERT_EQ(parse(bagtest::metadataXML(incomplete), h), BAG_METADTA_UNCRT_MISSING);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(parse(texts[size_t(i)], h), BAG_SUCCESS);
    setenv("BAG_HOME", "/nonexistent/bag home", 1);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(parse(texts[size_t(i)], h), BAG_SUCCESS) << i;
    bagtest::useSchemaHome();
    ASSERT_EQ(parse(texts[20], h), BAG_SUCCESS);
    setenv("BAG_HOME", "/nonexistent/bag home", 1);
    EXPECT_EQ(parse(texts[20], h), BAG_SUCCESS);
    EXPECT_EQ(parse(texts[1], h), BAG_SUCCESS);
    EXPECT_EQ(parse(texts[0], h), BAG_METADTA_SCHEMA_FILE_MISSING);
    bagtest::useSchemaHome();
}

}  // namespace
