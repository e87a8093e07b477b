// Every truncation and every single-byte corruption of a small valid
// surface gives a status, never a crash, a hang or an oversized allocation.
#include <gtest/gtest.h>

#include <cfloat>
#include <set>

#include "WGridTestSupport.h"
#include "formats/wgrid/KIVOWGridDataIO.h"
#include "formats/wgrid/WGridDefinition.h"

using namespace wgridtest;

namespace {

GridShape smallGrid() {
    GridShape g;
    g.nx = 5;
    g.ny = 4;
    g.s = 3;
    g.resolution = 1.0;
    g.centerX = 2.5;
    g.centerY = 2.0;
    g.emptyFragments = {3};
    return g;
}

// A header PROJ reads without its database: thousands of openings stay quick.
void writeQuickSurface(const std::string& stem, const GridShape& g) {
    writeSurface(stem, g);
    testsupport::writeFile(stem + ".des", "NORVA RASTER HEADER 1\nCOORDINATE SYSTEM = +proj=utm +zone=31 +datum=WGS84\n");
}

// Opens the surface and reads everything it offers; returns the open status.
long exercise(const std::string& stem, size_t& served) {
    KIVOWGridDataIO io(NORVAUString(stem + ".def"));
    served = 0;
    if (io.getStatus() != 0) return io.getStatus();
    long status = 0;
    NORVAType<KIVOSurfaceIter> iter = io.query(-1e6, -1e6, 1e6, 1e6, false, status, nullptr, DBL_MAX);
    const std::set<long> queryStatuses = {0, -1, 146142, 146145, 146033};
    EXPECT_TRUE(queryStatuses.count(status)) << status;
    if (iter) {
        long s = 0;
        for (int guard = 0; !iter->done(s) && guard < 100000; ++guard) {
            double x, y;
            EXPECT_EQ(iter->getPosition(x, y, -1), 0);
            EXPECT_TRUE(iter->getAttributes() && iter->getAttributes()->isSet(0));
            ++served;
            iter->next(s);
        }
    }
    for (uint32_t r = 0; r < io.getNumPixY() && r < 64; ++r)
        for (uint32_t c = 0; c < io.getNumPixX() && c < 64; ++c) {
            float v;
            const long got = io.getDepth(c, r, v);
            EXPECT_TRUE(got == 0 || got == -1);
        }
    return 0;
}

struct DataFile {
    const char* extension;
};

TEST(WGridDamagedFiles, EveryTruncationAndCorruptionOfTheDataFiles) {
    const GridShape g = smallGrid();
    TempFolder dir;
    const std::string stem = dir.file("d").toUTF8();
    writeQuickSurface(stem, g);
    size_t intact = 0;
    ASSERT_EQ(exercise(stem, intact), 0);
    ASSERT_EQ(intact, 20u - 2u);  // fragment 3 holds pixels (3..4, 3) and has no data

    for (const char* ext : {".weight", ".sum"}) {
        const std::vector<uint8_t> original = readBytes(stem + ext);
        for (size_t n = 0; n < original.size(); ++n) {
            writeBytes(stem + ext, std::vector<uint8_t>(original.begin(), original.begin() + n));
            size_t served = 0;
            const long status = exercise(stem, served);
            EXPECT_TRUE(status == 0 || (status == 146142 && n < 8 * 6)) << ext << " cut at " << n;
            EXPECT_LE(served, intact);
        }
        for (size_t at = 0; at < original.size(); ++at) {
            for (uint8_t value : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x7F), uint8_t(original[at] ^ 0x80)}) {
                std::vector<uint8_t> bytes = original;
                bytes[at] = value;
                writeBytes(stem + ext, bytes);
                size_t served = 0;
                EXPECT_EQ(exercise(stem, served), 0) << ext << " byte " << at;
                EXPECT_LE(served, 5u * 4u);
            }
        }
        writeBytes(stem + ext, original);
    }
}

TEST(WGridDamagedFiles, EveryTruncationAndCorruptionOfTheDefinition) {
    const GridShape g = smallGrid();
    TempFolder dir;
    const std::string stem = dir.file("d").toUTF8();
    writeQuickSurface(stem, g);
    // The library's own writer makes the definition under test.
    {
        WGridDefinition d;
        ASSERT_EQ(d.parseFile(NORVAUString(stem + ".def")), 0);
        d.extraDataLines.push_back("COMMENT = x");
        d.grazingAngles = {20, 10};
        d.beamWeights = {1, 0.5};
        ASSERT_EQ(d.writeMetaData(NORVAUString(stem + ".def")), 0);
    }
    size_t served = 0;
    ASSERT_EQ(exercise(stem, served), 0);
    const std::string original = testsupport::readFile(stem + ".def");
    const std::set<long> openStatuses = {0, 146141, 146142, 146143};
    for (size_t n = 0; n < original.size(); ++n) {
        testsupport::writeFile(stem + ".def", original.substr(0, n));
        const long status = exercise(stem, served);
        EXPECT_TRUE(openStatuses.count(status)) << "cut at " << n << ": " << status;
    }
    for (size_t at = 0; at < original.size(); ++at) {
        for (char value : {'\n', '[', '=', ',', '-', 'V', '\0'}) {
            std::string text = original;
            text[at] = value;
            testsupport::writeFile(stem + ".def", text);
            const long status = exercise(stem, served);
            EXPECT_TRUE(openStatuses.count(status)) << "byte " << at << ": " << status;
        }
    }
}

}  // namespace
