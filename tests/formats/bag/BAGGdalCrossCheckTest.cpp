// Our BAG reader against GDAL's command-line tools as an outside oracle: the
// same fixture files go through `gdal_translate -of XYZ` and through a
// full-cover box query, and every node must agree. Skips when GDAL's tools
// are not installed.
//
// GDAL's convention, found by running gdalinfo/gdal_translate on these
// fixtures: it treats each BAG node as the centre of a cell, so its geotransform
// origin is the south-west corner point minus half a spacing in x and plus half
// a spacing beyond the north corner in y, and its XYZ output prints cell
// centres, i.e. exactly the node positions (x0 + column * dx, y0 + row * dy)
// our iterator serves. Rows come out north first. The value printed is the
// stored elevation (not negated), so our depth is minus GDAL's value. Null
// nodes (1,000,000) are printed with that value, which GDAL reports as the
// band's nodata; our iterator leaves them out.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <utility>

#include "BagTestSupport.h"
#include "formats/bag/KIVOBAGDataIO.h"
#include "platform/frame/KIVOSurfaceUtils.h"

namespace {

using bagtest::Bag;
// A node position in hundredths of a metre, well inside the fixtures' spacing.
using Key = std::pair<long long, long long>;

Key keyOf(double x, double y) { return {std::llround(x * 100.0), std::llround(y * 100.0)}; }

bool gdalInstalled() { return std::system("command -v gdal_translate >/dev/null 2>&1") == 0; }

std::string quoted(const std::string& path) { return "'" + path + "'"; }

// Runs gdal_translate with its messages in a log beside the output; true on
// a zero exit status.
bool gdalTranslate(const std::string& arguments, const std::string& log) {
    const std::string command = "gdal_translate -q " + arguments + " >" + quoted(log) + " 2>&1";
    return std::system(command.c_str()) == 0;
}

// One band of a BAG as GDAL's XYZ text: position -> value.
std::map<Key, float> gdalBand(const std::string& bag, int band, const std::string& xyz) {
    std::map<Key, float> out;
    if (!gdalTranslate("-of XYZ -co SIGNIFICANT_DIGITS=9 -b " + std::to_string(band) + " " + quoted(bag) + " " +
                           quoted(xyz),
                       xyz + ".log")) {
        ADD_FAILURE() << "gdal_translate -of XYZ failed on " << bag;
        return out;
    }
    std::ifstream in(xyz);
    double x = 0, y = 0, v = 0;
    while (in >> x >> y >> v) out[keyOf(x, y)] = float(v);
    return out;
}

struct Served {
    float depth, uncertainty;
};

// Every node a full-cover box query serves, opened through the registry.
std::map<Key, Served> ourNodes(const std::string& bag) {
    std::map<Key, Served> out;
    NORVAType<KIVOSurfaceDataIO> io = KIVOSurfaceUtils::getDataIO(bag);
    if (!io || io->getStatus() != 0) {
        ADD_FAILURE() << "open failed: " << (io ? io->getStatus() : -1);
        return out;
    }
    EXPECT_NE(dynamic_cast<KIVOBAGDataIO*>(io.get()), nullptr);
    long status = 1;
    NORVAType<KIVOSurfaceIter> it = io->query(-DBL_MAX, -DBL_MAX, DBL_MAX, DBL_MAX, false, status, nullptr, DBL_MAX);
    if (!it || status != 0) {
        ADD_FAILURE() << "query failed: " << status;
        return out;
    }
    long done = 0;
    if (it->done(done)) return out;
    do {
        double x = 0, y = 0;
        it->getPosition(x, y, -1);
        Served s{0, 0};
        it->getAttributes()->getValue(0, s.depth);
        it->getAttributes()->getValue(1, s.uncertainty);
        EXPECT_TRUE(out.emplace(keyOf(x, y), s).second) << "node served twice at " << x << "," << y;
    } while (it->next(status));
    EXPECT_EQ(status, 0);
    return out;
}

class BAGGdalCrossCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!gdalInstalled()) GTEST_SKIP() << "gdal_translate is not on PATH";
        bagtest::useSchemaHome();
    }

    testsupport::ScratchDir dir;
};

// Elevations with a fractional part so that a rounding or float/double slip
// in either reader shows.
void fractionalise(Bag& b) {
    for (size_t i = 0; i < b.elevation.size(); ++i) b.elevation[i] -= 0.125f * float(i % 7);
}

TEST_F(BAGGdalCrossCheckTest, EveryNodeMatchesGdalXYZ) {
    struct Case {
        const char* name;
        uint32_t rows, columns;
        hsize_t chunkRows, chunkColumns;
        bagtest::Compression compression;
    };
    // The chunked grid is larger than the reader's 1,000-node blocks in both
    // directions, with chunk edges that never meet a block edge.
    const Case cases[] = {
        {"contiguous", 4, 5, 0, 0, bagtest::NONE},
        {"deflate-unaligned-chunks", 1031, 1213, 37, 53, bagtest::DEFLATE},
        {"small-chunks", 9, 7, 2, 3, bagtest::NONE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bag b = Bag::grid(c.rows, c.columns);
        b.chunkRows = c.chunkRows;
        b.chunkColumns = c.chunkColumns;
        b.compression = c.compression;
        fractionalise(b);
        // Nulls at both grid corners and one inside.
        b.at(b.elevation, 0, 0) = bagtest::kNull;
        b.at(b.elevation, c.rows - 1, c.columns - 1) = bagtest::kNull;
        b.at(b.elevation, c.rows / 2, c.columns / 3) = bagtest::kNull;
        b.computeRanges();
        const std::string bag = dir.file(std::string(c.name) + ".bag");
        ASSERT_TRUE(bagtest::writeBag(bag, b));

        const std::map<Key, float> elevation = gdalBand(bag, 1, dir.file(std::string(c.name) + "-1.xyz"));
        const std::map<Key, float> uncertainty = gdalBand(bag, 2, dir.file(std::string(c.name) + "-2.xyz"));
        ASSERT_EQ(elevation.size(), size_t(c.rows) * c.columns);
        ASSERT_EQ(uncertainty.size(), elevation.size());
        const std::map<Key, Served> ours = ourNodes(bag);

        size_t nulls = 0, mismatches = 0;
        for (const auto& g : elevation) {
            const auto it = ours.find(g.first);
            if (g.second == bagtest::kNull) {
                ++nulls;
                EXPECT_TRUE(it == ours.end()) << "null node served at " << g.first.first << "," << g.first.second;
                continue;
            }
            if (it == ours.end()) {
                if (++mismatches <= 5) ADD_FAILURE() << "node missing at " << g.first.first << "," << g.first.second;
                continue;
            }
            const float gdalUncertainty = uncertainty.at(g.first);
            if (it->second.depth != -g.second || it->second.uncertainty != gdalUncertainty) {
                if (++mismatches <= 5)
                    ADD_FAILURE() << "node at " << g.first.first << "," << g.first.second << ": depth "
                                  << it->second.depth << " vs GDAL " << -g.second << ", uncertainty "
                                  << it->second.uncertainty << " vs GDAL " << gdalUncertainty;
            }
        }
        EXPECT_EQ(mismatches, 0u);
        EXPECT_EQ(nulls, 3u);
        EXPECT_EQ(ours.size(), elevation.size() - nulls);
    }
}

// GDAL writes its BAGs with ISO 19115-2 metadata ("gmi:MI_Metadata"), not the
// smXML our reader validates: such a file is refused as invalid metadata,
// cleanly, both directly and through the registry.
TEST_F(BAGGdalCrossCheckTest, GdalWrittenBagIsRefusedAsInvalidMetadata) {
    const std::string xyz = dir.file("source.xyz"), bag = dir.file("gdal.bag");
    testsupport::writeFile(xyz,
                           "500000 5000020 -5\n500010 5000020 -6\n500020 5000020 -7\n"
                           "500000 5000010 -8\n500010 5000010 -9\n500020 5000010 -10\n");
    ASSERT_TRUE(gdalTranslate("-of BAG -a_srs EPSG:32631 " + quoted(xyz) + " " + quoted(bag), bag + ".log"))
        << testsupport::readFile(bag + ".log");
    ASSERT_NE(testsupport::readFile(bag).find("MI_Metadata"), std::string::npos);

    KIVOBAGDataIO direct(bag);
    EXPECT_EQ(direct.getStatus(), 125608);
    long status = 0;
    EXPECT_FALSE(direct.query(-DBL_MAX, -DBL_MAX, DBL_MAX, DBL_MAX, false, status, nullptr, DBL_MAX));
    EXPECT_EQ(status, 125608);

    NORVAType<KIVOSurfaceDataIO> viaRegistry = KIVOSurfaceUtils::getDataIO(bag);
    ASSERT_TRUE(viaRegistry);
    EXPECT_EQ(viaRegistry->getStatus(), 125608);
}

}  // namespace
