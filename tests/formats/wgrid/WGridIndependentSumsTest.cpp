// Node depths against sums and counts made by an independent tool: GMT's
// xyz2grd sums (-Az) and counts (-An) the same soundings per cell. Skipped
// where gmt is not installed.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "WGridTestSupport.h"
#include "formats/wgrid/KIVOWGridDataIO.h"

using namespace wgridtest;

namespace {

constexpr uint32_t kColumns = 10, kRows = 8;

// Cell values of a pixel-registered GMT grid listed by grd2xyz; NaN is 0.
bool readGrid(const std::string& path, std::vector<double>& cells) {
    cells.assign(kColumns * kRows, 0.0);
    std::ifstream in(path);
    std::string line;
    size_t n = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string xs, ys, zs;
        if (!(fields >> xs >> ys >> zs)) return false;
        const double x = std::strtod(xs.c_str(), nullptr), y = std::strtod(ys.c_str(), nullptr);
        const double z = std::strtod(zs.c_str(), nullptr);
        const int c = static_cast<int>(std::floor(x)), r = static_cast<int>(std::floor(y));
        if (c < 0 || r < 0 || c >= static_cast<int>(kColumns) || r >= static_cast<int>(kRows)) return false;
        cells[r * kColumns + c] = std::isnan(z) ? 0.0 : z;
        ++n;
    }
    return n == kColumns * kRows;
}

TEST(WGridIndependentSums, DepthIsGMTSumOverGMTCount) {
    if (std::system("gmt --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "gmt is not installed";
    TempFolder dir;
    const std::string folder = dir.path().toUTF8();

    // Soundings at exact decimals, so that both sides read the same numbers.
    std::vector<double> sum(kColumns * kRows, 0.0), count(kColumns * kRows, 0.0);
    uint32_t state = 12345;
    auto next = [&state](uint32_t range) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % range;
    };
    {
        std::ofstream xyz(folder + "/s.xyz");
        for (int i = 0; i < 500; ++i) {
            const uint32_t xi = next(kColumns * 1000), yi = next(kRows * 1000), zi = next(20000);
            char line[64];
            std::snprintf(line, sizeof line, "%u.%04u %u.%04u %u.%02u\n", xi / 1000, (xi % 1000) * 10 + 5,
                          yi / 1000, (yi % 1000) * 10 + 5, zi / 100, zi % 100);
            xyz << line;
            const size_t cell = (yi / 1000) * kColumns + xi / 1000;
            sum[cell] += zi / 100.0;
            count[cell] += 1.0;
        }
    }
    const std::string region = " -R0/10/0/8 -I1 -r ";
    const std::string cmd = "cd '" + folder + "' && gmt xyz2grd s.xyz" + region + "-Az -Gsum.nc && gmt xyz2grd s.xyz" +
                            region + "-An -Gcount.nc && gmt grd2xyz sum.nc > sum.txt && gmt grd2xyz count.nc > count.txt";
    ASSERT_EQ(std::system((cmd + " 2>/dev/null").c_str()), 0);
    std::vector<double> gmtSum, gmtCount;
    ASSERT_TRUE(readGrid(folder + "/sum.txt", gmtSum));
    ASSERT_TRUE(readGrid(folder + "/count.txt", gmtCount));
    ASSERT_EQ(gmtCount, count);

    GridShape g;
    g.nx = kColumns;
    g.ny = kRows;
    g.s = 4;
    g.resolution = 1.0;
    g.centerX = kColumns / 2.0;
    g.centerY = kRows / 2.0;
    g.cell = [&](uint32_t c, uint32_t r, float& s, float& w) {
        const bool inside = c < kColumns && r < kRows;
        s = inside ? static_cast<float>(gmtSum[r * kColumns + c]) : 0.0f;
        w = inside ? static_cast<float>(gmtCount[r * kColumns + c]) : 0.0f;
    };
    const std::string stem = folder + "/g";
    writeSurface(stem, g);
    KIVOWGridDataIO io(NORVAUString(stem + ".def"));
    ASSERT_EQ(io.getStatus(), 0);
    size_t withData = 0;
    for (uint32_t r = 0; r < kRows; ++r) {
        for (uint32_t c = 0; c < kColumns; ++c) {
            float depth = 0;
            ASSERT_EQ(io.getDepth(c, r, depth), 0);
            const size_t cell = r * kColumns + c;
            if (count[cell] == 0.0) {
                EXPECT_EQ(depth, FLT_MAX);
                continue;
            }
            ++withData;
            const double mean = sum[cell] / count[cell];
            EXPECT_NEAR(depth, mean, 1e-5 * std::fabs(mean) + 1e-4) << c << "," << r;
        }
    }
    EXPECT_GT(withData, 60u);
}

}  // namespace
