// The ".def" reader and writer: the text both ways, refusals and the locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "WGridTestSupport.h"
#include "formats/wgrid/WGridDefinition.h"

namespace {

const std::string kHeader = "[VARN WEIGHTED GRID DEFINITION VERSION 2.10]\n";
const std::string kParams = "[PARAMETERS]\nRESOLUTION = 2.5\nPIXEL DIMENSIONS = 100,60\nFRAGMENT SIZE = 50\n";

struct ParseCase {
    const char* name;
    std::string text;
    long status;
};

TEST(WGridDefinition, ParseStatusTable) {
    const std::string tenShading = "[IMAGE SHADING]\nA = 1\nB = 1\nC = 1\nD = 1\nE = 1\nF = 1\nG = 1\nH = 1\nI = 1\n";
    const ParseCase cases[] = {
        {"current version", kHeader + kParams, 0},
        {"version 2.00", "[VARN WEIGHTED GRID DEFINITION VERSION 2.00]\n" + kParams, 146142},
        {"version 2.20", "[VARN WEIGHTED GRID DEFINITION VERSION 2.20]\n" + kParams, 146142},
        {"header without version", "[VARN WEIGHTED GRID DEFINITION]\n" + kParams, 146142},
        {"empty file", "", 146143},
        {"only comments", "# one\n\n# two\n\n", 146143},
        {"old Version 1 layout", "Version 1\nnote\n1 2\n", 146142},
        {"old layout, CR LF", "version 1\r\nnote\r\n", 146142},
        {"Version 2 line ends the text", kHeader + "Version 2\n[NONSENSE]\n", 0},
        {"stray line start", kHeader + "x\n", 146142},
        {"unclosed section", kHeader + "[DATA\nAREA = 1\n", 146142},
        {"section at end of file", kHeader + "[DATA", 146142},
        {"unknown section", kHeader + "[COLOURS]\n", 146142},
        {"projection without comma", kHeader + "[LOCATION]\nPROJECTION = UTM\n", 146142},
        {"centre without comma", kHeader + "[LOCATION]\nCENTER = 1\n", 146142},
        {"pixel dimensions without comma", kHeader + "[PARAMETERS]\nPIXEL DIMENSIONS = 100\n", 146142},
        {"corner without comma", kHeader + "[DATA]\nSW CORNER = 1\n", 146142},
        {"angle without comma", kHeader + "[BEAM WEIGHTING]\nANGLE = 10\n", 146142},
        // A key line without "=" would swallow the next line.
        {"key line without =", kHeader + "[PARAMETERS]\nFRAGMENT SIZE 50\nRESOLUTION = 2\n", 146142},
        {"key without = at end of file", kHeader + "[DATA]\nAREA", 146142},
        {"empty key", kHeader + "[DATA]\n = 5\n", 146142},
        {"blank line inside a block", kHeader + "[DATA]\n   \nAREA = 5\n", 0},
        {"nine shading keys", kHeader + tenShading + kParams, 0},
        {"ten shading keys", kHeader + tenShading + "J = 1\n" + kParams, 146142},
        {"fragment size not a number", kHeader + "[PARAMETERS]\nFRAGMENT SIZE = fifty\n", 146142},
        {"fragment size with trailing text", kHeader + "[PARAMETERS]\nFRAGMENT SIZE = 50x\n", 146142},
        {"negative pixel count", kHeader + "[PARAMETERS]\nPIXEL DIMENSIONS = -100,60\n", 146142},
        {"pixel count above 32 bits", kHeader + "[PARAMETERS]\nPIXEL DIMENSIONS = 4294967396,60\n", 146142},
        {"resolution not finite", kHeader + "[PARAMETERS]\nRESOLUTION = nan\n", 146142},
        {"resolution with a decimal comma", kHeader + "[PARAMETERS]\nRESOLUTION = 2,5\n", 146142},
        {"depth not a number", kHeader + "[DATA]\nMIN DEPTH = deep\n", 146142},
        {"key too long", kHeader + "[DATA]\n" + std::string(64, 'K') + " = 1\n", 146142},
        {"longest key, blanks before =", kHeader + "[DATA]\n" + std::string(63, 'K') + "   = 1\n", 0},
        {"value too long", kHeader + "[DATA]\nCOMMENT = " + std::string(3000, 'v') + "\n", 146142},
        {"NUL byte in a key", kHeader + "[DATA]\nCOM" + std::string(1, '\0') + "MENT = 1\n", 146142},
        {"section name too long", kHeader + "[" + std::string(3000, 'S') + "]\n", 146142},
    };
    for (const ParseCase& c : cases) {
        WGridDefinition d;
        EXPECT_EQ(d.parseText(c.text), c.status) << c.name;
    }
}

TEST(WGridDefinition, MissingFileIs146141) {
    TempFolder dir;
    WGridDefinition d;
    EXPECT_EQ(d.parseFile(dir.file("none.def")), 146141);
    EXPECT_EQ(d.parseFile(dir.path()), 146141);
}

TEST(WGridDefinition, CRLFReadsLikeLF) {
    const std::string text = kHeader + "# note\n\n[LOCATION]\nPROJECTION = UTM - WGS84,UTM-31N\nCENTER = 1.5,2.5\n\n" +
                             kParams + "\n[DATA]\nCOMMENT = hello\nOUTDATED = TRUE\nREPRESENTATION = Depth\n";
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    WGridDefinition lf, dos;
    ASSERT_EQ(lf.parseText(text), 0);
    ASSERT_EQ(dos.parseText(crlf), 0);
    EXPECT_EQ(dos.formatText(), lf.formatText());
    EXPECT_EQ(dos.projectionDetail.toUTF8(), "UTM-31N");
    EXPECT_EQ(dos.representation.toUTF8(), "Depth");
    EXPECT_TRUE(dos.outdated);
    ASSERT_EQ(dos.extraDataLines.size(), 1u);
    EXPECT_EQ(dos.extraDataLines[0], "COMMENT = hello");

    WGridDefinition cr;
    ASSERT_EQ(cr.parseText(kHeader + "[DATA]\nA = x\r\r\r\nB = y\r\nC = z\r"), 0);
    EXPECT_EQ(cr.extraDataLines, (std::vector<std::string>{"A = x", "B = y", "C = z"}));
}

TEST(WGridDefinition, ValuesAsRead) {
    const std::string text = kHeader +
                             "[LOCATION]\nCENTER = 10,20\nROTATION = 15\nDIMENSIONS = 3,4\nZONE = 31\n"
                             "[PARAMETERS]\nRESOLUTION = 2.5\nPIXEL DIMENSIONS = 100,60\nFRAGMENT SIZE = 50\nX = 1\n"
                             "[DATA]\nSW CORNER = 1,5,2\nNE CORNER = 7,8\nOUTDATED = true\nCOMMENT = hello\n"
                             "[BEAM WEIGHTING]\nANGLE = 10,1\nANGLE = 30,3\nANGLE = 20,2\nANGLE = 30,4\n"
                             "ANGLE = 20,5\nANGLE = 20,6\n";
    WGridDefinition d;
    ASSERT_EQ(d.parseText(text), 0);
    EXPECT_EQ(d.rotation, 0.0);
    EXPECT_EQ(d.centerX, 10.0);
    EXPECT_EQ(d.centerY, 20.0);
    EXPECT_EQ(d.resolution, 2.5);
    EXPECT_EQ(d.pixelsX, 100u);
    EXPECT_EQ(d.pixelsY, 60u);
    EXPECT_EQ(d.fragmentSize, 50u);
    EXPECT_EQ(d.swCorner[0], 1.0);  // "1,5" up to the last comma
    EXPECT_EQ(d.swCorner[1], 2.0);
    EXPECT_TRUE(d.outdated);
    ASSERT_EQ(d.extraDataLines.size(), 1u);  // unknown LOCATION and PARAMETERS keys are dropped
    // Decreasing angles; equal angles in file order.
    EXPECT_EQ(d.grazingAngles, (std::vector<double>{30, 30, 20, 20, 20, 10}));
    EXPECT_EQ(d.beamWeights, (std::vector<double>{3, 4, 2, 5, 6, 1}));
    WGridDefinition again;
    ASSERT_EQ(again.parseText(d.formatText()), 0);
    EXPECT_EQ(again.beamWeights, d.beamWeights);

    WGridDefinition yes;
    ASSERT_EQ(yes.parseText(kHeader + "[DATA]\nOUTDATED = yes\n"), 0);
    EXPECT_FALSE(yes.outdated);
}

TEST(WGridDefinition, WrittenTextAndRoundTrip) {
    WGridDefinition d;
    d.projectionName = "UTM - WGS84";
    d.projectionDetail = "UTM-31N";
    d.centerX = 500000.25;
    d.centerY = 6000000.5;
    d.rotation = 0.0;
    d.width = 250.0;
    d.height = 150.0;
    d.resolution = 2.5;
    d.pixelsX = 100;
    d.pixelsY = 60;
    d.fragmentSize = 50;
    d.maxDepth = 42.125;
    d.extraDataLines = {"COMMENT = hello"};
    d.representation = "Depth";
    d.grazingAngles = {30, 20, 10};
    d.beamWeights = {0.5, 0.25, 1};
    const std::string text = d.formatText();
    EXPECT_EQ(text,
              "[VARN WEIGHTED GRID DEFINITION VERSION 2.10]\n# WARNING: Do not edit this file.\n\n"
              "[LOCATION]\nPROJECTION = UTM - WGS84,UTM-31N\nCENTER = 500000.250000000,6000000.500000000\n"
              "ROTATION = 0.000000\nDIMENSIONS = 250.000000000,150.000000000\n\n"
              "[PARAMETERS]\nRESOLUTION = 2.500000\nPIXEL DIMENSIONS = 100,60\nFRAGMENT SIZE = 50\n\n"
              "[DATA]\nMAX DEPTH = 42.125000\nCOMMENT = hello\nOUTDATED = FALSE\nREPRESENTATION = Depth\n\n"
              "[BEAM WEIGHTING]\nANGLE = 30.00,0.50\nANGLE = 20.00,0.25\nANGLE = 10.00,1.00\n\n");

    TempFolder dir;
    ASSERT_EQ(d.writeMetaData(dir.file("s.def")), 0);
    WGridDefinition back;
    ASSERT_EQ(back.parseFile(dir.file("s.def")), 0);
    EXPECT_EQ(back.formatText(), text);
    EXPECT_EQ(back.minDepth, DBL_MAX);  // not written, not read
    EXPECT_EQ(back.fileVersion, 2.1);
}

TEST(WGridDefinition, FailedWriteIs146141AndKeepsTheOldFile) {
    TempFolder dir;
    WGridDefinition d;
    EXPECT_EQ(d.writeMetaData(dir.file("missing/s.def")), 146141);
    // A folder where the file should go cannot be replaced.
    ASSERT_TRUE(NORVAFileUtils::makeDirectory(dir.file("s.def")));
    EXPECT_EQ(d.writeMetaData(dir.file("s.def")), 146141);
    EXPECT_TRUE(NORVAFileUtils::isDirectory(dir.file("s.def")));
}

// A locale whose decimal mark is a comma, made for the test when the machine
// has the locale sources; empty when it cannot be had.
std::string commaLocale(const TempFolder& dir) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
        if (std::setlocale(LC_NUMERIC, name)) return name;
    const std::string folder = dir.path().toUTF8();
    const std::string cmd = "localedef -i de_DE -f UTF-8 '" + folder + "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return "";
    setenv("LOCPATH", folder.c_str(), 1);
    const char* got = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    unsetenv("LOCPATH");
    return got ? "de_DE.UTF-8" : "";
}

TEST(WGridDefinition, IndependentOfTheProcessLocale) {
    TempFolder dir;
    const std::string locale = commaLocale(dir);
    if (locale.empty() || std::localeconv()->decimal_point[0] != ',') {
        std::setlocale(LC_NUMERIC, "C");
        GTEST_SKIP() << "no locale with a decimal comma on this machine";
    }
    WGridDefinition d;
    d.resolution = 2.5;
    d.centerX = 1.25;
    const std::string text = d.formatText();
    WGridDefinition back;
    const long status = back.parseText(text);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_NE(text.find("RESOLUTION = 2.500000"), std::string::npos);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(back.resolution, 2.5);
    EXPECT_EQ(back.centerX, 1.25);
}

}  // namespace
