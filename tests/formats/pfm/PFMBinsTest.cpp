// Bin addresses, positions, the one-record cache, rows and huge files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "PFMTestSupport.h"
#include "formats/pfm/pfm_bins.h"
#include "formats/pfm/pfm_error.h"
#include "formats/pfm/pfm_header.h"
#include "formats/pfm/pfm_huge.h"
#include "formats/pfm/pfm_open.h"

namespace {

int32_t openRead(const std::string& path) {
    PFM_OPEN_ARGS args;
    std::snprintf(args.list_path, sizeof args.list_path, "%s", path.c_str());
    args.read_only = true;
    return pfm_open_existing(&args);
}

TEST(PFMBinsTest, AddressesOfBins) {
    BIN_HEADER head;
    head.bin_width = 100;
    head.bin_height = 50;
    PFM_POSITIONS p;
    p.bin_record_bytes = 20;
    EXPECT_EQ(pfm_bin_address(head, p, 0, 0), 16384);
    EXPECT_EQ(pfm_bin_address(head, p, 1, 0), 16404);
    EXPECT_EQ(pfm_bin_address(head, p, 0, 1), 18384);
    EXPECT_EQ(pfm_bin_address(head, p, 99, 49), 16384 + (49 * 100 + 99) * 20);
    EXPECT_EQ(pfm_bin_address(head, p, 100, 0), -1);
    EXPECT_EQ(pfm_bin_address(head, p, 0, 50), -1);
    EXPECT_EQ(pfm_bin_address(head, p, -1, 0), -1);
    // 64-bit arithmetic for the largest grids.
    head.bin_width = head.bin_height = 100000000;
    EXPECT_EQ(pfm_bin_address(head, p, 99999999, 99999999), 16384 + (10000000000000000LL - 1) * 20);
}

TEST(PFMBinsTest, PositionsToBins) {
    BIN_HEADER projected;
    projected.projection = 1;
    projected.mbr_min_x = 1000.0;
    projected.mbr_min_y = 2000.0;
    projected.bin_size_xy = 10.0;
    BIN_HEADER geographic;
    geographic.projection = 0;
    geographic.mbr_min_x = -70.5;
    geographic.mbr_min_y = 42.25;
    geographic.x_bin_size_degrees = 0.25;
    geographic.y_bin_size_degrees = 0.5;
    struct Case {
        const BIN_HEADER* head;
        double x, y;
        int32_t column, row;
    };
    const Case cases[] = {
        {&projected, 1000.0, 2000.0, 0, 0},
        {&projected, 1015.0, 2029.9, 1, 2},
        {&projected, 995.0, 2000.0, 0, 0},   // half a bin west: truncation toward zero
        {&projected, 985.0, 1985.0, -1, -1},
        {&projected, 1100.0, 2050.0, 10, 5},  // the far corner is bin W, H
        {&projected, 1e300, -1e300, INT32_MAX, INT32_MIN},
        {&projected, NAN, 2000.0, INT32_MIN, 0},
        {&geographic, -70.4, 43.3, 0, 2},
        {&geographic, -70.0, 42.25, 2, 0},
    };
    for (const Case& c : cases) {
        int32_t column = 99, row = 99;
        position_to_bin(c.x, c.y, *c.head, &column, &row);
        EXPECT_EQ(column, c.column) << c.x;
        EXPECT_EQ(row, c.row) << c.y;
    }
}

class PFMBinsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        plan = pfmtest::projectedPlan();
        paths = pfmfixture::write(dir.path(), "bins.pfm", plan);
        handle = openRead(paths.handle);
        ASSERT_GE(handle, 0) << pfm_last_error_text();
    }
    void TearDown() override { pfm_close(handle); }
    // Overwrites the stored record of a bin, as another program would.
    void overwrite(int column, int row, const pfmfixture::Bin& bin) {
        const std::vector<uint8_t> record = pfmfixture::packRecord(plan, bin);
        std::fstream f(paths.bin + "/hugefile.000", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(16384 + (row * plan.width + column) * pfmfixture::recordBytes(plan));
        f.write(reinterpret_cast<const char*>(record.data()), static_cast<std::streamsize>(record.size()));
    }
    testsupport::ScratchDir dir;
    pfmfixture::Plan plan;
    pfmfixture::Paths paths;
    int32_t handle = -1;
};

TEST_F(PFMBinsFileTest, FetchDecodesWhatTheFixtureWrote) {
    for (const auto& entry : plan.bins) {
        BIN_RECORD r;
        ASSERT_EQ(fetch_bin_record(handle, entry.first.first, entry.first.second, &r), 0);
        EXPECT_EQ(r.num_soundings, entry.second.count);
        EXPECT_FLOAT_EQ(r.min_depth, static_cast<float>(entry.second.min));
        EXPECT_FLOAT_EQ(r.max_depth, static_cast<float>(entry.second.max));
        EXPECT_FLOAT_EQ(r.avg_depth, static_cast<float>(entry.second.avg));
        EXPECT_NEAR(r.standard_dev, entry.second.stdDev, 1e-6);
        EXPECT_EQ(r.validity, entry.second.validity);
        EXPECT_EQ(r.head, static_cast<int64_t>(entry.second.head));
        EXPECT_EQ(r.tail, static_cast<int64_t>(entry.second.tail));
        EXPECT_DOUBLE_EQ(r.xy_x, 1000.0 + (entry.first.first + 0.5) * 10.0);
        EXPECT_DOUBLE_EQ(r.xy_y, 2000.0 + (entry.first.second + 0.5) * 10.0);
    }
}

TEST_F(PFMBinsFileTest, BinsOutsideTheGridAreRefused) {
    BIN_RECORD r;
    // Bin (10, 0) would be bin (0, 1) read through the end of row 0.
    for (auto cr : {std::pair<int, int>{10, 0}, {0, 5}, {-1, 0}, {0, -1}, {INT32_MAX, INT32_MAX}}) {
        EXPECT_EQ(fetch_bin_record(handle, cr.first, cr.second, &r), PFM_READ_BIN_FILE_ERROR);
        EXPECT_STREQ(pfm_last_error_text(), "Error reading from bin file");
    }
    BIN_RECORD row[11];
    EXPECT_EQ(read_bin_row(handle, 11, 0, 0, row), PFM_READ_BIN_FILE_ERROR);
    EXPECT_EQ(read_bin_row(handle, 2, 0, 9, row), PFM_READ_BIN_FILE_ERROR);
    EXPECT_EQ(read_bin_row(handle, 1, 5, 0, row), PFM_READ_BIN_FILE_ERROR);
    EXPECT_EQ(read_bin_row(handle, 0, 0, 0, row), PFM_READ_BIN_FILE_ERROR);
    EXPECT_EQ(fetch_bin_record(77, 0, 0, &r), PFM_READ_BIN_FILE_ERROR);
}

TEST_F(PFMBinsFileTest, TheSameBinTwiceIsReadOnce) {
    BIN_RECORD first, second;
    ASSERT_EQ(fetch_bin_record(handle, 0, 0, &first), 0);
    pfmfixture::Bin changed;
    changed.count = 42;
    overwrite(0, 0, changed);
    ASSERT_EQ(fetch_bin_record(handle, 0, 0, &second), 0);
    EXPECT_EQ(second.num_soundings, 3U);  // served from the cache
    ASSERT_EQ(fetch_bin_record(handle, 1, 0, &second), 0);
    ASSERT_EQ(fetch_bin_record(handle, 0, 0, &second), 0);
    EXPECT_EQ(second.num_soundings, 42U);  // another bin in between: read again
}

TEST_F(PFMBinsFileTest, AFailedReadIsNotServedFromTheCacheLater) {
    BIN_RECORD r;
    ASSERT_EQ(fetch_bin_record(handle, 0, 0, &r), 0);
    // Cut the file inside bin (9, 4) after opening.
    const long cut = 16384 + (4 * plan.width + 9) * pfmfixture::recordBytes(plan) + 3;
    ASSERT_EQ(::truncate((paths.bin + "/hugefile.000").c_str(), cut), 0);
    EXPECT_EQ(fetch_bin_record(handle, 9, 4, &r), PFM_READ_BIN_FILE_ERROR);
    EXPECT_EQ(fetch_bin_record(handle, 9, 4, &r), PFM_READ_BIN_FILE_ERROR);
    BIN_RECORD row[10];
    EXPECT_EQ(read_bin_row(handle, 10, 4, 0, row), PFM_READ_BIN_FILE_ERROR);
    ASSERT_EQ(fetch_bin_record(handle, 0, 0, &r), 0);
    EXPECT_EQ(r.num_soundings, 3U);
}

TEST_F(PFMBinsFileTest, RowReadsLeaveNoStaleCache) {
    BIN_RECORD r;
    ASSERT_EQ(fetch_bin_record(handle, 0, 0, &r), 0);
    BIN_RECORD row[10];
    ASSERT_EQ(read_bin_row(handle, 10, 0, 0, row), 0);
    EXPECT_EQ(row[0].num_soundings, 3U);
    EXPECT_EQ(row[9].num_soundings, 5U);
    EXPECT_EQ(row[9].coord_x, 9);
    EXPECT_DOUBLE_EQ(row[9].xy_x, 1095.0);
    // The row read moved the last address to bin (9, 0); fetching it must give
    // that bin, not the record cached from (0, 0).
    ASSERT_EQ(fetch_bin_record(handle, 9, 0, &r), 0);
    EXPECT_EQ(r.num_soundings, 5U);
    EXPECT_FLOAT_EQ(r.min_depth, 20.0f);
    EXPECT_EQ(r.coord_x, 9);
}

TEST(PFMHugeFileTest, PositionsMapToPieces) {
    struct Case {
        int64_t position, piece, offset;
    };
    const int64_t size = 2147418111LL;
    const Case cases[] = {{0, 0, 0},
                          {size - 1, 0, size - 1},
                          {size, 1, 0},
                          {2 * size + 5, 2, 5},
                          {31 * size + 7, 31, 7}};
    for (const Case& c : cases) {
        const PFMHugePlace place = pfm_huge_place(c.position, PFM_HUGE_PIECE_SIZE);
        EXPECT_EQ(place.piece, c.piece);
        EXPECT_EQ(place.offset, c.offset);
    }
}

TEST(PFMHugeFileTest, ReadsAndWritesAcrossSmallPieces) {
    testsupport::ScratchDir dir;
    std::vector<uint8_t> bytes(1000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    pfmfixture::writeHugeFile(dir.file("h"), bytes, 64);
    pfm_huge_set_piece_size(64);
    const int32_t h = pfm_huge_open(dir.file("h").c_str(), true, false);
    pfm_huge_set_piece_size(0);
    ASSERT_GE(h, 0);
    EXPECT_EQ(pfm_huge_size(h), 1000);
    std::vector<uint8_t> got(300);
    ASSERT_EQ(pfm_huge_seek(h, 50, PFM_HUGE_SEEK_SET), 0);
    ASSERT_EQ(pfm_huge_read(h, got.data(), got.size()), got.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), bytes.begin() + 50));
    EXPECT_EQ(pfm_huge_tell(h), 350);
    ASSERT_EQ(pfm_huge_seek(h, -10, PFM_HUGE_SEEK_END), 0);
    EXPECT_EQ(pfm_huge_read(h, got.data(), got.size()), 10U);  // stops at the end
    EXPECT_EQ(pfm_huge_seek(h, -1, PFM_HUGE_SEEK_SET), -1);
    EXPECT_EQ(pfm_huge_seek(h, 0, 3), -1);
    // Writing past the end grows the file into new pieces; "config" follows at close.
    const uint8_t tail[100] = {9};
    ASSERT_EQ(pfm_huge_seek(h, 0, PFM_HUGE_SEEK_END), 0);
    EXPECT_EQ(pfm_huge_write(h, tail, sizeof tail), sizeof tail);
    EXPECT_EQ(pfm_huge_size(h), 1100);
    EXPECT_EQ(pfm_huge_close(h), 0);
    EXPECT_EQ(testsupport::readFile(dir.file("h/config")), "1100\n");
    EXPECT_TRUE(testsupport::fileExists(dir.file("h/hugefile.017")));
    // A "config" promising more than the pieces hold is cut to what they hold.
    testsupport::writeFile(dir.file("h/config"), "1500\n");
    pfm_huge_set_piece_size(64);
    const int32_t again = pfm_huge_open(dir.file("h").c_str(), false, false);
    pfm_huge_set_piece_size(0);
    EXPECT_EQ(pfm_huge_size(again), 1100);
    EXPECT_EQ(pfm_huge_write(again, tail, 1), 0U);  // read-only
    pfm_huge_close(again);
    // Damaged "config" files do not open.
    for (const char* text : {"", "-5\n", "abc\n", "999999999999999999\n"}) {
        testsupport::writeFile(dir.file("h/config"), text);
        EXPECT_EQ(pfm_huge_open(dir.file("h").c_str(), false, false), -1) << text;
    }
}

TEST(PFMHugeFileTest, ARecordCrossingTwoFullSizePieces) {
    // The first piece is a sparse file of the real piece size; the bin record
    // of interest starts 7 bytes before its end.
    testsupport::ScratchDir dir;
    pfmfixture::Plan plan = pfmtest::projectedPlan();
    const int recordBytes = pfmfixture::recordBytes(plan);
    const int64_t piece = 2147418111LL;
    // A grid wide enough for its bins to reach past the first piece.
    const int64_t needed = (piece - 16384) / recordBytes + 10;
    plan.width = static_cast<int32_t>(needed);
    plan.height = 1;
    plan.maxX = plan.minX + plan.width * plan.binSizeXY;
    plan.maxY = plan.minY + plan.binSizeXY;
    plan.bins.clear();
    const int64_t crossing = (piece - 16384 + recordBytes - 1) / recordBytes - 1;  // starts before the end
    const int64_t start = 16384 + crossing * recordBytes;
    ASSERT_LT(start, piece);
    ASSERT_GT(start + recordBytes, piece);
    pfmfixture::Bin bin;
    bin.count = 77;
    bin.min = 3.25;
    bin.max = 4.5;
    bin.avg = 4.0;
    bin.head = 12345678901ULL;  // needs the wide split in 36 bits
    const std::vector<uint8_t> record = pfmfixture::packRecord(plan, bin);
    const std::string header = pfmfixture::headerText(plan);
    const int64_t total = 16384 + plan.width * static_cast<int64_t>(recordBytes);

    const pfmfixture::Paths paths = pfmfixture::write(dir.path(), "huge.pfm", [&] {
        pfmfixture::Plan small = plan;  // structure files; the bin pieces follow by hand
        small.width = 1;
        return small;
    }());
    testsupport::writeFile(paths.bin + "/config", std::to_string(total) + "\n");
    {
        std::ofstream p0(paths.bin + "/hugefile.000", std::ios::binary | std::ios::trunc);
        p0.write(header.data(), static_cast<std::streamsize>(header.size()));
        p0.seekp(start);
        p0.write(reinterpret_cast<const char*>(record.data()), piece - start);
    }
    ASSERT_EQ(::truncate((paths.bin + "/hugefile.000").c_str(), piece), 0);
    {
        std::ofstream p1(paths.bin + "/hugefile.001", std::ios::binary | std::ios::trunc);
        p1.write(reinterpret_cast<const char*>(record.data()) + (piece - start),
                 static_cast<std::streamsize>(recordBytes - (piece - start)));
    }
    ASSERT_EQ(::truncate((paths.bin + "/hugefile.001").c_str(), total - piece), 0);

    const int32_t handle = openRead(paths.handle);
    ASSERT_GE(handle, 0) << pfm_last_error_text();
    BIN_RECORD r;
    ASSERT_EQ(fetch_bin_record(handle, static_cast<int32_t>(crossing), 0, &r), 0);
    EXPECT_EQ(r.num_soundings, 77U);
    EXPECT_FLOAT_EQ(r.min_depth, 3.25f);
    EXPECT_FLOAT_EQ(r.max_depth, 4.5f);
    EXPECT_EQ(r.head, 12345678901LL);
    BIN_RECORD row[3];
    ASSERT_EQ(read_bin_row(handle, 3, 0, static_cast<int32_t>(crossing - 1), row), 0);
    EXPECT_EQ(row[1].num_soundings, 77U);
    EXPECT_EQ(row[0].num_soundings, 0U);
    EXPECT_EQ(row[2].num_soundings, 0U);
    pfm_close(handle);
}

}  // namespace
