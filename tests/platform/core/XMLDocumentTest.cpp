#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ForkBeside.h"
#include "TempFolder.h"
#include "platform/core/NORVAXMLDocument.h"

TEST(XMLDocument, BuildSaveLoadRoundTrip) {
    TempFolder tmp;
    NORVAXMLDocument doc("Surface");
    ASSERT_EQ(doc.getStatus(), 0);
    xmlNodePtr params = NORVAXMLDocument::addChild(doc.getRoot(), "Params");
    xmlNodePtr d = NORVAXMLDocument::addChild(params, "Distance_Exponent");
    ASSERT_EQ(NORVAXMLDocument::setAttribute(d, "value", "2.5"), 0);
    xmlNodePtr text = NORVAXMLDocument::addChild(params, "Comment");
    ASSERT_EQ(NORVAXMLDocument::setText(text, "a < b & \xc3\xa9"), 0);
    NORVAXMLDocument::addChild(params, "Distance_Exponent");

    const NORVAUString path = tmp.file("meta\xc3\xa9.xml");
    ASSERT_EQ(doc.save(path, "UTF-8"), 0);
    ASSERT_EQ(doc.save(tmp.file("latin.xml"), "ISO-8859-1"), 0);

    for (const char* name : {"meta\xc3\xa9.xml", "latin.xml"}) {
        NORVAXMLDocument back;
        ASSERT_EQ(back.load(tmp.file(name)), 0) << name;
        xmlNodePtr p = NORVAXMLDocument::getFirstChild(back.getRoot(), "Params");
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(NORVAXMLDocument::getChildren(p, "Distance_Exponent").size(), 2u);
        NORVAUString value;
        ASSERT_EQ(NORVAXMLDocument::getProperty(NORVAXMLDocument::getFirstChild(p, "Distance_Exponent"), "value",
                                                value), 0);
        EXPECT_EQ(value.toUTF8(), "2.5");
        EXPECT_EQ(NORVAXMLDocument::getText(NORVAXMLDocument::getFirstChild(p, "Comment")).toUTF8(),
                  "a < b & \xc3\xa9");
        EXPECT_NE(NORVAXMLDocument::getAttribute(p, "value", value), 0);  // absent
        EXPECT_EQ(value.toUTF8(), "2.5");                                 // unchanged
    }

    // Nodes may be removed with libxml2 directly.
    xmlNodePtr c = NORVAXMLDocument::getFirstChild(params, "Comment");
    xmlUnlinkNode(c);
    xmlFreeNode(c);
    EXPECT_EQ(NORVAXMLDocument::getFirstChild(params, "Comment"), nullptr);
    NORVAUString out;
    ASSERT_EQ(doc.saveToString(out), 0);
    EXPECT_EQ(out.indexOf(NORVAUString("Comment")), -1);
}

TEST(XMLDocument, MalformedInputGivesStatus) {
    NORVAXMLDocument doc("Keep");
    for (const char* bad : {"", "<a>", "<a></b>", "not xml", "<a x='1' x='2'/>", "<?xml version='1.0'?>"}) {
        EXPECT_NE(doc.loadFromBuffer(NORVAUString(bad)), 0) << bad;
        EXPECT_NE(doc.loadFromBuffer(bad, std::string(bad).size()), 0) << bad;
    }
    const char invalidUtf8[] = "<a>\xff\xfe</a>";
    EXPECT_NE(doc.loadFromBuffer(invalidUtf8, sizeof invalidUtf8 - 1), 0);
    // A failed load keeps the previous document.
    EXPECT_EQ(NORVAXMLDocument::getName(doc.getRoot()).toUTF8(), "Keep");
    EXPECT_NE(doc.load("/nonexistent/file.xml"), 0);
    EXPECT_NE(doc.loadFromBuffer(nullptr, 10), 0);
    EXPECT_EQ(NORVAXMLDocument::addChild(nullptr, "x"), nullptr);
    EXPECT_NE(NORVAXMLDocument::setAttribute(nullptr, "x", "y"), 0);
    EXPECT_EQ(NORVAXMLDocument::getFirstChild(nullptr, "x"), nullptr);
    NORVAXMLDocument empty;
    EXPECT_EQ(empty.getRoot(), nullptr);
    EXPECT_NE(empty.save("/tmp/never-written.xml"), 0);
}

TEST(XMLDocument, EntitiesAreNotExpandedNorFetched) {
    TempFolder tmp;
    const std::string secret = tmp.file("secret.txt").toUTF8();
    FILE* f = std::fopen(secret.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("TOPSECRET", f);
    std::fclose(f);
    const std::string text = "<?xml version='1.0'?><!DOCTYPE r [<!ENTITY x SYSTEM 'file://" + secret +
                             "'><!ENTITY y 'yy'>]><r>&x;&y;</r>";
    NORVAXMLDocument doc;
    if (doc.loadFromBuffer(NORVAUString(text)) == 0) {
        NORVAUString out;
        ASSERT_EQ(doc.saveToString(out), 0);
        EXPECT_EQ(out.indexOf(NORVAUString("TOPSECRET")), -1);
        EXPECT_EQ(NORVAXMLDocument::getText(doc.getRoot()).indexOf(NORVAUString("TOPSECRET")), -1);
    }
    // A billion-laughs document must neither hang nor blow up memory.
    std::string bomb = "<?xml version='1.0'?><!DOCTYPE r [<!ENTITY a0 'aaaaaaaaaa'>";
    for (int i = 1; i < 10; ++i)
        bomb += "<!ENTITY a" + std::to_string(i) + " '" + std::string() +
                [&] {
                    std::string s;
                    for (int k = 0; k < 10; ++k) s += "&a" + std::to_string(i - 1) + ";";
                    return s;
                }() + "'>";
    bomb += "]><r>&a9;</r>";
    NORVAXMLDocument b;
    if (b.loadFromBuffer(NORVAUString(bomb)) == 0) {
        EXPECT_LT(NORVAXMLDocument::getText(b.getRoot()).length(), 100000);
    }
}

// A child forked while another thread reads and frees documents reads
// documents too: no lock the reading thread held is inherited held.
TEST(XMLDocument, AChildForkedBesideAReadingThreadReadsDocuments) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's allocator does not survive a fork beside a thread that allocates";
#endif
    const std::string text = "<Root a=\"1\"><Child>text</Child></Root>";
    EXPECT_EQ(0, testsupport::childrenFailingBeside(
                     [&] { NORVAXMLDocument().loadFromBuffer(text.data(), text.size()); },
                     [&] { return NORVAXMLDocument().loadFromBuffer(text.data(), text.size()) == 0; }));
}
