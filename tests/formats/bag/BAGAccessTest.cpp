// The BAG access library over files written through HDF5 directly.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "BagTestSupport.h"
#include "formats/bag/BagHandle.h"

namespace {

using bagtest::Bag;

class BAGAccessTest : public ::testing::Test {
protected:
    void SetUp() override { bagtest::useSchemaHome(); }

    std::string write(const Bag& b, const std::string& name = "grid.bag") {
        const std::string path = dir.file(name);
        EXPECT_TRUE(bagtest::writeBag(path, b));
        return path;
    }

    testsupport::ScratchDir dir;
};

TEST_F(BAGAccessTest, OpensAndReadsNodesRowsAndRegions) {
    Bag b = Bag::grid(4, 5);
    const std::string path = write(b);
    bagHandle* h = nullptr;
    ASSERT_EQ(bagOpen(&h, BAG_OPEN_READONLY, path.c_str()), BAG_SUCCESS);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->nrows, 4u);
    EXPECT_EQ(h->ncols, 5u);
    EXPECT_STREQ(h->version, "1.0.0");
    EXPECT_FLOAT_EQ(h->minElevation, -29.0f);
    EXPECT_FLOAT_EQ(h->maxElevation, -10.0f);
    EXPECT_TRUE(h->def.loaded);
    EXPECT_DOUBLE_EQ(h->def.nodeSpacingX, 2.0);
    EXPECT_DOUBLE_EQ(h->def.nodeSpacingY, 3.0);
    EXPECT_DOUBLE_EQ(h->def.swCornerX, 100.0);
    EXPECT_DOUBLE_EQ(h->def.neCornerY, 209.0);

    float v = 0.0f;
    EXPECT_EQ(bagReadValue(h, 3, 4, BAG_ELEVATION, &v), BAG_SUCCESS);
    EXPECT_FLOAT_EQ(v, -29.0f);
    EXPECT_EQ(bagReadValue(h, 2, 1, BAG_UNCERTAINTY, &v), BAG_SUCCESS);
    EXPECT_FLOAT_EQ(v, 0.6f);
    EXPECT_EQ(bagReadValue(h, 4, 0, BAG_ELEVATION, &v), BAG_HDF_ACCESS_EXTENTS_ERROR);
    EXPECT_EQ(bagReadValue(h, 0, 5, BAG_ELEVATION, &v), BAG_HDF_ACCESS_EXTENTS_ERROR);
    EXPECT_EQ(bagReadValue(h, 0, 0, 3, &v), BAG_HDF_TYPE_NOT_FOUND);
    EXPECT_EQ(bagReadValue(h, 0, 0, BAG_ELEVATION, nullptr), BAG_INVALID_FUNCTION_ARGUMENT);

    float row[5] = {};
    EXPECT_EQ(bagReadRow(h, 1, 1, 3, BAG_ELEVATION, row), BAG_SUCCESS);
    EXPECT_FLOAT_EQ(row[0], -16.0f);
    EXPECT_FLOAT_EQ(row[2], -18.0f);
    EXPECT_EQ(bagReadRow(h, 1, 3, 1, BAG_ELEVATION, row), BAG_HDF_ACCESS_EXTENTS_ERROR);
    EXPECT_EQ(bagReadRow(h, 1, 0, 5, BAG_ELEVATION, row), BAG_HDF_ACCESS_EXTENTS_ERROR);

    ASSERT_EQ(bagReadRegion(h, 1, 2, 3, 4, BAG_ELEVATION), BAG_SUCCESS);
    bagRegion* region = bagGetRegion(h, BAG_ELEVATION);
    EXPECT_EQ(region->nrows, 3u);
    EXPECT_EQ(region->ncols, 3u);
    EXPECT_FLOAT_EQ(region->rows[0][0], -17.0f);
    EXPECT_FLOAT_EQ(region->rows[2][2], -29.0f);
    // A second read replaces the first region; a 1 x 1 region is one node.
    ASSERT_EQ(bagReadRegion(h, 3, 4, 3, 4, BAG_ELEVATION), BAG_SUCCESS);
    EXPECT_EQ(region->nrows * region->ncols, 1u);
    EXPECT_FLOAT_EQ(region->rows[0][0], -29.0f);
    EXPECT_EQ(bagReadRegion(h, 0, 0, 4, 0, BAG_ELEVATION), BAG_HDF_ACCESS_EXTENTS_ERROR);
    EXPECT_EQ(bagFreeRegion(h, BAG_ELEVATION), BAG_SUCCESS);
    EXPECT_EQ(bagFreeRegion(h, BAG_ELEVATION), BAG_SUCCESS);
    EXPECT_TRUE(region->rows.empty());
    EXPECT_EQ(region->block, nullptr);
    EXPECT_EQ(bagClose(h), BAG_SUCCESS);
}

TEST_F(BAGAccessTest, NullHandleGivesFiveEverywhere) {
    float v = 0.0f;
    EXPECT_EQ(bagOpen(nullptr, 1, "x"), BAG_INVALID_BAG_HANDLE);
    EXPECT_EQ(bagClose(nullptr), BAG_INVALID_BAG_HANDLE);
    EXPECT_EQ(bagReadValue(nullptr, 0, 0, 1, &v), BAG_INVALID_BAG_HANDLE);
    EXPECT_EQ(bagReadRow(nullptr, 0, 0, 0, 1, &v), BAG_INVALID_BAG_HANDLE);
    EXPECT_EQ(bagReadRegion(nullptr, 0, 0, 0, 0, 1), BAG_INVALID_BAG_HANDLE);
    EXPECT_EQ(bagFreeRegion(nullptr, 1), BAG_INVALID_BAG_HANDLE);
    EXPECT_EQ(bagReadMetadataText(nullptr), BAG_INVALID_BAG_HANDLE);
    EXPECT_EQ(bagLoadMetadata(nullptr), BAG_INVALID_BAG_HANDLE);
}

TEST_F(BAGAccessTest, ErrorTexts) {
    struct Case {
        bagError code;
        bagError result;
        const char* text;
    };
    const Case cases[] = {
        {0, 0, "Bag returned a successful completion"},
        {605, 0, "HDF Bag's rank is incompatible with expected Rank of the Datasets: 2"},
        {414, 0, "Metadata The number of dimensions is incorrect (not equal to 2)"},
        {202, 0, "Crypto Bad signature block"},
        {624, 0, "HDF Unable to open File"},
        {802, 0, "Geotrans IO initiatlization error"},
        {999, 7, "An undefined bagError code was encountered"},
        {7, 7, "An undefined bagError code was encountered"},
    };
    for (const Case& c : cases) {
        const char* text = nullptr;
        EXPECT_EQ(bagErrorText(c.code, &text), c.result) << c.code;
        EXPECT_STREQ(text, c.text) << c.code;
    }
    EXPECT_EQ(bagErrorText(0, nullptr), BAG_INVALID_FUNCTION_ARGUMENT);
}

// Files the library refuses, each with its code and nothing left open.
TEST_F(BAGAccessTest, RefusedFiles) {
    struct Case {
        const char* name;
        void (*change)(Bag&);
        bagError code;
    };
    const Case cases[] = {
        {"rank 3", [](Bag& b) { b.rank = 3; }, BAG_HDF_RANK_INCOMPATIBLE},
        {"float64 grids", [](Bag& b) { b.float64 = true; }, BAG_HDF_TYPE_NOT_FOUND},
        {"variable-length version", [](Bag& b) { b.variableVersion = true; }, BAG_HDF_TYPE_NOT_FOUND},
        {"no tracking list", [](Bag& b) { b.tracking = false; }, BAG_HDF_DATASET_OPEN_FAILURE},
        {"metadata rows differ from the grid",
         [](Bag& b) {
             bagtest::Metadata m;
             m.rows = "7";
             b.metadata = bagtest::metadataXML(m);
         },
         BAG_HDF_DATASPACE_CORRUPTED},
        {"invalid metadata",
         [](Bag& b) {
             bagtest::Metadata m;
             m.dx = "two";
             b.metadata = bagtest::metadataXML(m);
         },
         BAG_METADTA_VALIDATE_FAILED},
        {"empty metadata", [](Bag& b) { b.metadata.clear(); }, BAG_METADTA_PARSE_EXCEPTION},
        {"metadata of a million characters", [](Bag& b) { b.metadata.assign(1000000, ' '); },
         BAG_METADTA_BUFFER_EXCEEDED},

    };
    for (const Case& c : cases) {
        Bag b = Bag::grid(4, 5);
        c.change(b);
        const std::string path = write(b, std::string(c.name) + ".bag");
        bagHandle* h = reinterpret_cast<bagHandle*>(0x1);
        EXPECT_EQ(bagOpen(&h, BAG_OPEN_READONLY, path.c_str()), c.code) << c.name;
        EXPECT_EQ(h, nullptr) << c.name;
    }
    bagHandle* h = nullptr;
    EXPECT_EQ(bagOpen(&h, BAG_OPEN_READONLY, dir.file("missing.bag").c_str()), BAG_HDF_FILE_OPEN_FAILURE);
    testsupport::writeFile(dir.file("text.bag"), "not an HDF5 file");
    EXPECT_EQ(bagOpen(&h, BAG_OPEN_READONLY, dir.file("text.bag").c_str()), BAG_HDF_FILE_OPEN_FAILURE);
    EXPECT_EQ(h, nullptr);
    // A FIFO would wait for a writer; the alarm ends the test if it does.
    ASSERT_EQ(0, ::mkfifo(dir.file("fifo.bag").c_str(), 0600));
    ::alarm(10);
    for (int32_t mode : {BAG_OPEN_READONLY, BAG_OPEN_READ_WRITE})
        EXPECT_EQ(bagOpen(&h, mode, dir.file("fifo.bag").c_str()), BAG_HDF_FILE_OPEN_FAILURE) << mode;
    ::alarm(0);
}

TEST_F(BAGAccessTest, ModeThreeNeedsNoMetadataNorSchema) {
    Bag b = Bag::grid(3, 3);
    b.metadata = "<broken";
    const std::string path = write(b);
    setenv("BAG_HOME", "/nonexistent/bag home", 1);
    bagHandle* h = nullptr;
    ASSERT_EQ(bagOpen(&h, BAG_OPEN_READ_WRITE_NO_METADATA, path.c_str()), BAG_SUCCESS);
    EXPECT_FALSE(h->def.loaded);
    float v = 0.0f;
    EXPECT_EQ(bagReadValue(h, 2, 2, BAG_ELEVATION, &v), BAG_SUCCESS);
    EXPECT_FLOAT_EQ(v, -18.0f);
    EXPECT_EQ(bagClose(h), BAG_SUCCESS);
}

// Compressed and chunked layouts, chunks not aligned to anything, give the
// same nodes as the contiguous file.
TEST_F(BAGAccessTest, ChunkedAndCompressedLayouts) {
    struct Case {
        const char* name;
        hsize_t chunkRows, chunkColumns;
        bagtest::Compression compression;
    };
    const Case cases[] = {
        {"contiguous", 0, 0, bagtest::NONE},
        {"chunked", 7, 13, bagtest::NONE},
        {"deflate", 5, 9, bagtest::DEFLATE},
        {"szip", 6, 11, bagtest::SZIP},
    };
    for (const Case& c : cases) {
        Bag b = Bag::grid(23, 31);
        b.chunkRows = c.chunkRows;
        b.chunkColumns = c.chunkColumns;
        b.compression = c.compression;
        const std::string path = write(b, std::string(c.name) + ".bag");
        bagHandle* h = nullptr;
        ASSERT_EQ(bagOpen(&h, BAG_OPEN_READONLY, path.c_str()), BAG_SUCCESS) << c.name;
        ASSERT_EQ(bagReadRegion(h, 0, 0, 22, 30, BAG_ELEVATION), BAG_SUCCESS) << c.name;
        bagRegion* region = bagGetRegion(h, BAG_ELEVATION);
        bool same = true;
        for (uint32_t r = 0; r < 23; ++r)
            for (uint32_t col = 0; col < 31; ++col) same = same && region->rows[r][col] == b.at(b.elevation, r, col);
        EXPECT_TRUE(same) << c.name;
        float v = 0.0f;
        EXPECT_EQ(bagReadValue(h, 22, 30, BAG_UNCERTAINTY, &v), BAG_SUCCESS);
        EXPECT_FLOAT_EQ(v, 3.5f) << c.name;
        EXPECT_EQ(bagClose(h), BAG_SUCCESS);
    }
}

TEST_F(BAGAccessTest, MetadataTextIsReadWhole) {
    Bag b = Bag::grid(2, 2);
    b.metadata += std::string(999999 - b.metadata.size(), ' ');
    const std::string path = write(b);
    bagHandle* h = nullptr;
    ASSERT_EQ(bagOpen(&h, BAG_OPEN_READ_WRITE_NO_METADATA, path.c_str()), BAG_SUCCESS);
    EXPECT_EQ(bagReadMetadataText(h), BAG_SUCCESS);
    EXPECT_EQ(h->metadata, b.metadata);
    EXPECT_EQ(bagClose(h), BAG_SUCCESS);
}

}  // namespace
