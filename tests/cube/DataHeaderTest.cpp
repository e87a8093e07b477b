#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "CubeTestSupport.h"
#include "platform/core/NORVAByteIO.h"
#include "cube/KIVOCUBEDataHeader.h"
#include "cube_engine/cube_grid.h"

using cubetest::TempDir;

namespace {

class EnvGuard {
public:
    explicit EnvGuard(const char* value) {
        if (value) setenv("CUBE_MEMORY_LIMIT", value, 1); else unsetenv("CUBE_MEMORY_LIMIT");
    }
    ~EnvGuard() { unsetenv("CUBE_MEMORY_LIMIT"); }
};

KIVOCUBEDataHeader build(double x0, double y0, double x1, double y1, float resolution) {
    return KIVOCUBEDataHeader(NORVAArray<double>{x0, y0}, NORVAArray<double>{x1, y1}, resolution,
                              cube_init_param(0, resolution, resolution));
}

std::vector<uint8_t> storedBytes(const KIVOCUBEDataHeader& header, const NORVAUString& path) {
    FILE* f = std::fopen(path.toUTF8().c_str(), "wb");
    EXPECT_EQ(0, header.store(f));
    std::fclose(f);
    return cubetest::readAll(path);
}

long readStatus(const NORVAUString& path, const std::vector<uint8_t>& bytes) {
    cubetest::writeAll(path, bytes);
    FILE* f = std::fopen(path.toUTF8().c_str(), "rb");
    KIVOCUBEDataHeader header(f);
    std::fclose(f);
    return header.getStatus();
}

}  // namespace

TEST(CubeHeader, NodeCountsAddANodeForAFractionThatRoundsUp) {
    EnvGuard env(nullptr);
    KIVOCUBEDataHeader exact = build(10.0, 20.0, 110.0, 70.0, 1.0f);
    ASSERT_EQ(0, exact.getStatus());
    EXPECT_EQ(101u, exact.getNumXPixels());
    EXPECT_EQ(51u, exact.getNumYPixels());
    EXPECT_DOUBLE_EQ(111.0, exact.getMaximum()[0]);
    EXPECT_EQ(101u, build(0.0, 0.0, 100.4, 1.0, 1.0f).getNumXPixels());
    EXPECT_EQ(102u, build(0.0, 0.0, 100.6, 1.0, 1.0f).getNumXPixels());
}

TEST(CubeHeader, NorthWestCornerStaysAndNodesCoverTheExtentAtFractionalResolutions) {
    EnvGuard env(nullptr);
    for (double extent : {1.0, 10.0, 33.3, 100.0, 761.2}) {
        KIVOCUBEDataHeader h = build(500000.1, 6000000.3, 500000.1 + extent, 6000000.3 + extent, 0.1f);
        ASSERT_EQ(0, h.getStatus()) << extent;
        EXPECT_EQ(500000.1, h.getMinimum()[0]);
        EXPECT_EQ(6000000.3 + extent, h.getMaximum()[1]);
        EXPECT_GE(h.getMaximum()[0], 500000.1 + extent);
        EXPECT_LE(h.getMinimum()[1], 6000000.3);
        EXPECT_EQ(h.getNumXPixels(), h.getNumYPixels());
    }
}

TEST(CubeHeader, TileSizeFollowsTheMemoryLimit) {
    _cube_param* p = cube_init_param(0, 1.0, 1.0);
    EXPECT_EQ(721u, cube_grid_max_tile_dim(134217728u, 1.0f, 1.0f, p));
    std::free(p);
    {
        EnvGuard env(nullptr);
        EXPECT_EQ(761u, build(0, 0, 10, 10, 1.0f).getGridSize());
    }
    for (const char* low : {"64", "abc", "-5"}) {
        EnvGuard env(low);
        EXPECT_EQ(761u, build(0, 0, 10, 10, 1.0f).getGridSize()) << low;
    }
    uint32_t at512 = 0, atMax = 0;
    {
        EnvGuard env("512");
        at512 = build(0, 0, 10, 10, 1.0f).getGridSize();
    }
    {
        EnvGuard env("99999999999");
        atMax = build(0, 0, 10, 10, 1.0f).getGridSize();
    }
    EXPECT_GT(at512, 761u);
    EXPECT_GT(atMax, at512);
    // The bytes of one tile must still fit the 32-bit need of the edit cache.
    _cube_param* q = cube_init_param(0, 1.0, 1.0);
    EXPECT_LT(uint64_t(cube_node_estimate_size(1.5f, q)) * atMax * atMax, uint64_t(1) << 32);
    std::free(q);
}

TEST(CubeHeader, RefusesBoundsThatDescribeNoSurface) {
    EnvGuard env(nullptr);
    EXPECT_NE(0, build(0, 0, 10, 10, 0.0f).getStatus());
    EXPECT_NE(0, build(0, 0, 10, 10, -1.0f).getStatus());
    EXPECT_NE(0, build(0, 0, NAN, 10, 1.0f).getStatus());
    EXPECT_NE(0, build(0, 0, 1e12, 10, 1.0f).getStatus());
    EXPECT_NE(0, KIVOCUBEDataHeader(NORVAArray<double>{0, 0}, NORVAArray<double>{1, 1}, 1.0f, nullptr).getStatus());
}

TEST(CubeHeader, StoredHeaderReadsBackAndCopiesOwnTheirBlock) {
    EnvGuard env(nullptr);
    TempDir dir;
    KIVOCUBEDataHeader h = build(0.0, 0.0, 2000.0, 900.0, 0.5f);
    h.getCubeParams()->mthd = 4;
    const std::vector<uint8_t> bytes = storedBytes(h, dir.file("h.vcs"));
    ASSERT_EQ(65u + CUBE_PARAM_BYTES, bytes.size());
    FILE* f = std::fopen(dir.file("h.vcs").toUTF8().c_str(), "rb");
    KIVOCUBEDataHeader r(f);
    std::fclose(f);
    ASSERT_EQ(0, r.getStatus());
    EXPECT_EQ(h.getMinimum(), r.getMinimum());
    EXPECT_EQ(h.getMaximum(), r.getMaximum());
    EXPECT_EQ(h.getGridSize(), r.getGridSize());
    EXPECT_EQ(h.getGridsAcross(), r.getGridsAcross());
    EXPECT_EQ(h.getGridsDown(), r.getGridsDown());
    EXPECT_EQ(0u, r.getNumGrids());
    EXPECT_EQ(0, std::memcmp(h.getCubeParams(), r.getCubeParams(), sizeof(_cube_param)));

    KIVOCUBEDataHeader copy = r;
    copy = h;
    EXPECT_NE(copy.getCubeParams(), h.getCubeParams());
    EXPECT_EQ(4u, copy.getCubeParams()->mthd);

    std::vector<uint8_t> v0 = bytes;
    v0[13] = 0;
    EXPECT_EQ(0, readStatus(dir.file("v0.vcs"), v0));
}

TEST(CubeHeader, RefusesDamagedFiles) {
    EnvGuard env(nullptr);
    TempDir dir;
    const std::vector<uint8_t> good = storedBytes(build(0.0, 0.0, 100.0, 50.0, 1.0f), dir.file("h.vcs"));
    const NORVAUString bad = dir.file("bad.vcs");
    auto patched = [&](size_t at, std::vector<uint8_t> patch) {
        std::vector<uint8_t> b = good;
        std::copy(patch.begin(), patch.end(), b.begin() + at);
        return readStatus(bad, b);
    };
    EXPECT_EQ(146021, patched(1, {'X'}));
    EXPECT_EQ(146007, patched(13, {2, 0}));
    EXPECT_EQ(146008, patched(15, {1, 0}));
    EXPECT_EQ(146021, patched(53, {0, 0, 0, 0}));              // tile size 0
    EXPECT_EQ(146021, patched(49, {0, 0, 0xC0, 0x7F}));        // NaN resolution
    EXPECT_EQ(146021, patched(57, {0xFF, 0xFF, 0xFF, 0x0F}));  // nodes across against the extent
    // Cut anywhere before the parameter block; cuts inside it keep the defaults.
    for (size_t n = 0; n < 65; ++n)
        EXPECT_NE(0, readStatus(bad, std::vector<uint8_t>(good.begin(), good.begin() + n))) << n;
    EXPECT_EQ(146021, readStatus(bad, std::vector<uint8_t>(good.begin(), good.begin() + 53)));
}

TEST(CubeHeader, StoreReportsAFailedWrite) {
    EnvGuard env(nullptr);
    TempDir dir;
    cubetest::writeAll(dir.file("ro.vcs"), {1});
    FILE* f = std::fopen(dir.file("ro.vcs").toUTF8().c_str(), "rb");
    EXPECT_EQ(146020, build(0, 0, 10, 10, 1.0f).store(f));
    std::fclose(f);
    EXPECT_EQ(-1, build(0, 0, 10, 10, 1.0f).store(nullptr));
}

TEST(CubeHeader, GridCountLimitHoldsForTheLargestNodeCounts) {
    EnvGuard env(nullptr);
    TempDir dir;
    const NORVAUString path = dir.file("wide.vcs");
    _cube_param* params = cube_init_param(0, 1.0, 1.0);
    uint8_t block[CUBE_PARAM_BYTES];
    cube_param_encode(params, block);
    std::free(params);
    const struct {
        uint32_t tile, across, down;
        long status;
    } cases[] = {
        {1, 0xFFFFFFFFu, 10, 146021},  // grids across would wrap to 0
        {1, 10, 0xFFFFFFFFu, 146021},
        {1, 65534, 10, 0},             // 65535 grids across, the most a key holds
        {1, 65535, 10, 146021},
        {0x10002u, 0xFFFFFFFFu, 10, 0},  // 65534 + 1 grids across
    };
    for (const auto& c : cases) {
        // Extents that match the node counts exactly at resolution 1.
        NORVAByteIO::Buffer b;
        const uint8_t magic[13] = {0x89, 'N', 'O', 'R', 'V', 'A', 'V', 'C', 'S', '\r', '\n', 0x1A, '\n'};
        NORVAByteIO::putBytes(b, magic, sizeof magic);
        NORVAByteIO::putU16(b, 1);
        NORVAByteIO::putU16(b, 0);
        for (double v : {0.0, 0.0, static_cast<double>(c.across), static_cast<double>(c.down)})
            NORVAByteIO::putF64(b, v);
        NORVAByteIO::putF32(b, 1.0f);
        for (uint32_t v : {c.tile, c.across, c.down}) NORVAByteIO::putU32(b, v);
        NORVAByteIO::putBytes(b, block, sizeof block);
        EXPECT_EQ(c.status, readStatus(path, b)) << c.tile << " " << c.across << " " << c.down;
    }
}

TEST(CubeHeader, ShortParameterBlocksReadWithTheDefaultsBehindThem) {
    EnvGuard env(nullptr);
    TempDir dir;
    KIVOCUBEDataHeader built = build(0.0, 0.0, 100.0, 50.0, 1.0f);
    built.getCubeParams()->median_length = 7;  // word 20, bytes 80..83 of the block
    const std::vector<uint8_t> good = storedBytes(built, dir.file("h.vcs"));
    const NORVAUString path = dir.file("short.vcs");
    const struct {
        size_t blockBytes;
        uint32_t queueLength;
    } cases[] = {{0, 11}, {84, 7}, {80, 11}, {100, 7}, {167, 7}};
    for (const auto& c : cases) {
        cubetest::writeAll(path, std::vector<uint8_t>(good.begin(), good.begin() + 65 + c.blockBytes));
        FILE* f = std::fopen(path.toUTF8().c_str(), "rb");
        KIVOCUBEDataHeader header(f);
        std::fclose(f);
        ASSERT_EQ(0, header.getStatus()) << c.blockBytes;
        ASSERT_NE(nullptr, header.getCubeParams());
        EXPECT_EQ(c.queueLength, header.getCubeParams()->median_length) << c.blockBytes;
    }
}
