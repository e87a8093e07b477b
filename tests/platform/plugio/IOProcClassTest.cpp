// The raster header reader: its text format and its refusals.
#include <gtest/gtest.h>

#include <string>

#include "TempFolder.h"
#include "TestSupport.h"
#include "platform/plugio/ioprocclass.h"

namespace {

struct HeaderCase {
    const char* name;
    std::string text;
    long headerStatus;
    long cosysStatus;
};

TEST(IOProcClass, HeaderTable) {
    const std::string magic = "NORVA RASTER HEADER 1\n";
    const HeaderCase cases[] = {
        {"authority code", magic + "COORDINATE SYSTEM = EPSG:4326\n", 0, 0},
        {"CR LF, comments, name, unknown key",
         "NORVA RASTER HEADER 1\r\n# note\r\n\r\nNAME = Lat/Lon\r\nCOORDINATE SYSTEM = EPSG:4326\r\nCOLOUR = red\r\n", 0, 0},
        {"PROJ string", magic + "COORDINATE SYSTEM = +proj=utm +zone=31 +datum=WGS84\n", 0, 0},
        {"no coordinate system", magic + "NAME = x\n", 0, ioprocclass::IOPROC_BAD_COSYS},
        {"one PROJ refuses", magic + "COORDINATE SYSTEM = nowhere\n", 0, ioprocclass::IOPROC_BAD_COSYS},
        {"other version", "NORVA RASTER HEADER 2\nCOORDINATE SYSTEM = EPSG:4326\n", ioprocclass::IOPROC_BAD_HEADER,
         ioprocclass::IOPROC_NOT_READ},
        {"not a header", "hello\n", ioprocclass::IOPROC_BAD_HEADER, ioprocclass::IOPROC_NOT_READ},
        {"empty file", "", ioprocclass::IOPROC_BAD_HEADER, ioprocclass::IOPROC_NOT_READ},
        {"line without =", magic + "COORDINATE SYSTEM EPSG:4326\n", ioprocclass::IOPROC_BAD_HEADER,
         ioprocclass::IOPROC_NOT_READ},
        {"key given twice", magic + "NAME = a\nNAME = b\nCOORDINATE SYSTEM = EPSG:4326\n",
         ioprocclass::IOPROC_BAD_HEADER, ioprocclass::IOPROC_NOT_READ},
    };
    TempFolder dir;
    for (const HeaderCase& c : cases) {
        testsupport::writeFile(dir.file("r.des").toUTF8(), c.text);
        ioprocclass header(dir.file("r.des"));
        ASSERT_EQ(header.open(), 0) << c.name;
        EXPECT_EQ(header.getHeader(), c.headerStatus) << c.name;
        long status = 1;
        NORVAType<NORVACoordSystem> cosys = header.makeCosys(status);
        EXPECT_EQ(status, c.cosysStatus) << c.name;
        EXPECT_EQ(static_cast<bool>(cosys), c.cosysStatus == 0) << c.name;
        EXPECT_EQ(header.close(), 0);
    }
}

TEST(IOProcClass, NameAndOpenFailures) {
    TempFolder dir;
    testsupport::writeFile(dir.file("r.des").toUTF8(),
                           "NORVA RASTER HEADER 1\nNAME = Lat/Lon\nCOORDINATE SYSTEM = EPSG:4326\n");
    ioprocclass header(dir.file("r.des"));
    ASSERT_EQ(header.open(), 0);
    ASSERT_EQ(header.getHeader(), 0);
    long status = 1;
    NORVAType<NORVACoordSystem> cosys = header.makeCosys(status);
    ASSERT_TRUE(cosys);
    EXPECT_EQ(cosys->getName().toUTF8(), "Lat/Lon");
    EXPECT_TRUE(cosys->isGeographic());

    EXPECT_EQ(ioprocclass(dir.file("none.des")).open(), ioprocclass::IOPROC_CANNOT_OPEN);
    EXPECT_EQ(ioprocclass(dir.path()).open(), ioprocclass::IOPROC_CANNOT_OPEN);
    testsupport::writeFile(dir.file("big.des").toUTF8(), std::string(ioprocclass::kMaxSize + 1, '#'));
    EXPECT_EQ(ioprocclass(dir.file("big.des")).open(), ioprocclass::IOPROC_CANNOT_OPEN);
    ioprocclass unopened(dir.file("r.des"));
    EXPECT_EQ(unopened.getHeader(), ioprocclass::IOPROC_NOT_READ);
}

}  // namespace
