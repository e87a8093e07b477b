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
#include <string>
#include <utility>
#include <vector>

#include "BagTestSupport.h"
#include "formats/bag/KIVOBAGDataIO.h"
#include "platform/frame/KIVOSurfaceUtils.h"

namespace {

using bagtest::Bag;

// Values by node, row-major from the south, NaN where no value was given.
// Positions are mapped to nodes through the fixtures' geometry (south-west
// node at 100,200, spacing 2 x 3) and must lie within 1 mm of a node.
struct NodeGrid {
    uint32_t rows = 0, columns = 0;
    std::vector<float> values;
    size_t placed = 0, offGrid = 0, twice = 0;

    NodeGrid(uint32_t r, uint32_t c) : rows(r), columns(c), values(size_t(r) * c, NAN) {}

    void place(double x, double y, float value) {
        const double column = (x - 100.0) / 2.0, row = (y - 200.0) / 3.0;
        const double c = std::round(column), r = std::round(row);
        if (std::fabs(column - c) * 2.0 > 1e-3 || std::fabs(row - r) * 3.0 > 1e-3 || c < 0 || r < 0 ||
            c >= columns || r >= rows) {
            if (++offGrid <= 5) ADD_FAILURE() << "position off the grid: " << x << "," << y;
            return;
        }
        float& slot = values[size_t(r) * columns + size_t(c)];
        if (!std::isnan(slot)) ++twice;
        slot = value;
        ++placed;
    }
    float at(size_t i) const { return values[i]; }
};

bool gdalInstalled() { return std::system("command -v gdal_translate >/dev/null 2>&1") == 0; }

std::string quoted(const std::string& path) { return "'" + path + "'"; }

// Runs gdal_translate with its messages in a log beside the output; true on
// a zero exit status.
bool gdalTranslate(const std::string& arguments, const std::string& log) {
    const std::string command = "gdal_translate -q " + arguments + " >" + quoted(log) + " 2>&1";
    return std::system(command.c_str()) == 0;
}

// One band of a BAG as GDAL's XYZ text.
NodeGrid gdalBand(const std::string& bag, const Bag& b, int band, const std::string& xyz) {
    NodeGrid out(b.rows, b.columns);
    if (!gdalTranslate("-of XYZ -co SIGNIFICANT_DIGITS=9 -b " + std::to_string(band) + " " + quoted(bag) + " " +
                           quoted(xyz),
                       xyz + ".log")) {
        ADD_FAILURE() << "gdal_translate -of XYZ failed on " << bag;
        return out;
    }
    FILE* in = std::fopen(xyz.c_str(), "r");
    if (!in) return out;
    double x = 0, y = 0, v = 0;
    while (std::fscanf(in, "%lf %lf %lf", &x, &y, &v) == 3) out.place(x, y, float(v));
    std::fclose(in);
    return out;
}

// Every node a full-cover box query serves, opened through the registry:
// depths and uncertainties.
std::pair<NodeGrid, NodeGrid> ourNodes(const std::string& bag, const Bag& b) {
    std::pair<NodeGrid, NodeGrid> out{NodeGrid(b.rows, b.columns), NodeGrid(b.rows, b.columns)};
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
        float depth = 0, uncertainty = 0;
        it->getAttributes()->getValue(0, depth);
        it->getAttributes()->getValue(1, uncertainty);
        out.first.place(x, y, depth);
        out.second.place(x, y, uncertainty);
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

        const NodeGrid elevation = gdalBand(bag, b, 1, dir.file(std::string(c.name) + "-1.xyz"));
        const NodeGrid uncertainty = gdalBand(bag, b, 2, dir.file(std::string(c.name) + "-2.xyz"));
        ASSERT_EQ(elevation.placed, size_t(c.rows) * c.columns);
        ASSERT_EQ(uncertainty.placed, elevation.placed);
        ASSERT_EQ(elevation.twice + elevation.offGrid, 0u);
        const std::pair<NodeGrid, NodeGrid> ours = ourNodes(bag, b);
        EXPECT_EQ(ours.first.twice + ours.first.offGrid, 0u) << "nodes served twice or off the grid";

        size_t nulls = 0, mismatches = 0;
        for (size_t i = 0; i < elevation.values.size(); ++i) {
            const uint32_t row = uint32_t(i / c.columns), column = uint32_t(i % c.columns);
            const float depth = ours.first.at(i), ourUncertainty = ours.second.at(i);
            if (elevation.at(i) == bagtest::kNull) {
                ++nulls;
                EXPECT_TRUE(std::isnan(depth)) << "null node served at row " << row << ", column " << column;
                continue;
            }
            if (depth != -elevation.at(i) || ourUncertainty != uncertainty.at(i)) {
                if (++mismatches <= 5)
                    ADD_FAILURE() << "row " << row << ", column " << column << ": depth " << depth << " vs GDAL "
                                  << -elevation.at(i) << ", uncertainty " << ourUncertainty << " vs GDAL "
                                  << uncertainty.at(i);
            }
        }
        EXPECT_EQ(mismatches, 0u);
        EXPECT_EQ(nulls, 3u);
        EXPECT_EQ(ours.first.placed, elevation.placed - nulls);
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
