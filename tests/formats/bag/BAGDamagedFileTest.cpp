// Damaged BAG files: bytes changed one at a time, and the file cut short at
// many lengths. Each must give a status (or read as a valid surface), never
// a crash or a hang.
#include <gtest/gtest.h>

#include <cfloat>

#include "BagTestSupport.h"
#include "formats/bag/BagHandle.h"
#include "formats/bag/KIVOBAGDataIO.h"

// HDF5 trusts sizes it reads and asks for allocations of many gigabytes,
// which fail cleanly (and HDF5 reports an error) everywhere but under
// AddressSanitizer, which aborts instead unless told to fail them. On some
// error paths over damaged files HDF5 also loses memory it allocated itself;
// those leaks (allocated inside HDF5) are not the library's.
#if defined(__SANITIZE_ADDRESS__)
extern "C" __attribute__((weak)) const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=4096";
}
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() { return "leak:libhdf5"; }
#endif

namespace {

using bagtest::Bag;

class BAGDamagedFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        bagtest::useSchemaHome();
        Bag b = Bag::grid(3, 4);
        b.chunkRows = 2;
        b.chunkColumns = 3;
        b.compression = bagtest::DEFLATE;
        const std::string path = dir.file("valid.bag");
        ASSERT_TRUE(bagtest::writeBag(path, b));
        valid = testsupport::readFile(path) + bagtest::signatureBlock(3, {"sig"});
        damaged = dir.file("damaged.bag");
        bagtest::saveFuzzSeed("BAGReaderFuzz", "deflate-signed.bag", valid);
        bagtest::saveFuzzSeed("BAGMetadataFuzz", "metadata.xml", b.metadata);
    }

    // Opens the bytes every way the library offers and reads what it can;
    // false when a result is neither success nor a library status.
    bool exercise(const std::string& bytes) {
        testsupport::writeFile(damaged, bytes);
        bool sane = true;
        {
            KIVOBAGDataIO io(damaged);
            const long status = io.getStatus();
            sane = sane && (status == 0 || status == -1 || (status > 125200 && status < 126100));
            if (status == 0) {
                long s = 0;
                NORVAType<KIVOSurfaceIter> it = io.query(-1e9, -1e9, 1e9, 1e9, false, s, nullptr, DBL_MAX);
                long n = 0;
                if (it) {
                    long done = 0;
                    if (!it->done(done))
                        while (it->next(s) && n < 1000) ++n;
                }
                KIVOSurfaceDataIO::rasterizeConfig cfg;
                cfg.attribute = "Uncertainty";
                cfg.maxX = cfg.maxY = 1e6;
                io.rasterize(cfg);
            }
        }
        bagHandle* h = nullptr;
        const bagError rc = bagOpen(&h, BAG_OPEN_READ_WRITE_NO_METADATA, damaged.c_str());
        sane = sane && (rc == BAG_SUCCESS) == (h != nullptr);
        if (h) {
            if (h->nrows > 0 && h->ncols > 0)
                bagReadRegion(h, 0, 0, std::min(h->nrows, 50u) - 1, std::min(h->ncols, 50u) - 1, BAG_ELEVATION);
            bagReadMetadataText(h);
            bagClose(h);
        }
        // Whatever failed, nothing of the file is left open.
        sane = sane && H5Fget_obj_count(H5F_OBJ_ALL, H5F_OBJ_ALL) == 0;
        return sane;
    }

    testsupport::ScratchDir dir;
    std::string valid;
    std::string damaged;
};

TEST_F(BAGDamagedFileTest, BytesChangedOneAtATime) {
    ASSERT_TRUE(exercise(valid));
    size_t insane = 0;
    // Every third byte keeps the run short; the fuzz target covers the rest.
    // The layouts of both grids lie on this phase.
    for (size_t i = 1; i < valid.size(); i += 3) {
        std::string bytes = valid;
        bytes[i] = char(bytes[i] ^ 0xA5);
        if (!exercise(bytes)) {
            ADD_FAILURE() << "byte " << i;
            ++insane;
        }
    }
    EXPECT_EQ(insane, 0u);
}

// Three zeroed bytes turn a contiguous dataset's layout message (version 3,
// class 1, then the data's address) into a compact one holding no bytes:
// reading that dataset must be refused, never crash inside HDF5.
TEST_F(BAGDamagedFileTest, CompactLayoutsWithoutTheirElementsAreRefused) {
    Bag b = Bag::grid(3, 4);
    b.metadataChunk = 0;
    const std::string path = dir.file("contiguous.bag");
    ASSERT_TRUE(bagtest::writeBag(path, b));
    const std::string plain = testsupport::readFile(path);
    struct Case {
        const char* dataset;
        bagError openWithMetadata, elevation, uncertainty, metadataText;
        long dataIOStatus;
    };
    const bagError R = BAG_HDF_READ_FAILURE, OK = BAG_SUCCESS;
    const Case cases[] = {
        {"elevation", OK, R, OK, OK, 0},
        {"uncertainty", OK, OK, R, OK, 0},
        {"metadata", R, OK, OK, R, 125200 + R},
    };
    for (const Case& c : cases) {
        hid_t file = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
        hid_t dataset = H5Dopen2(file, (std::string("/BAG_root/") + c.dataset).c_str(), H5P_DEFAULT);
        const haddr_t address = H5Dget_offset(dataset);
        H5Dclose(dataset);
        H5Fclose(file);
        std::string layout("\x03\x01", 2);
        for (int i = 0; i < 8; ++i) layout += char(address >> (8 * i));
        const size_t at = plain.find(layout);
        ASSERT_NE(at, std::string::npos) << c.dataset;
        std::string bytes = plain;
        bytes.replace(at + 1, 3, std::string(3, '\0'));
        bagtest::saveFuzzSeed("BAGReaderFuzz", std::string("compact-empty-") + c.dataset, bytes);
        ASSERT_TRUE(exercise(bytes)) << c.dataset;

        bagHandle* h = nullptr;
        EXPECT_EQ(bagOpen(&h, BAG_OPEN_READONLY, damaged.c_str()), c.openWithMetadata) << c.dataset;
        if (h) bagClose(h);
        ASSERT_EQ(bagOpen(&h, BAG_OPEN_READ_WRITE_NO_METADATA, damaged.c_str()), OK) << c.dataset;
        EXPECT_EQ(bagReadRegion(h, 0, 0, 2, 3, BAG_ELEVATION), c.elevation) << c.dataset;
        EXPECT_EQ(bagReadRegion(h, 0, 0, 2, 3, BAG_UNCERTAINTY), c.uncertainty) << c.dataset;
        float value = 0.0f;
        EXPECT_EQ(bagReadValue(h, 1, 1, BAG_ELEVATION, &value), c.elevation) << c.dataset;
        EXPECT_EQ(bagReadMetadataText(h), c.metadataText) << c.dataset;
        EXPECT_EQ(bagClose(h), OK);

        KIVOBAGDataIO io(damaged);
        EXPECT_EQ(io.getStatus(), c.dataIOStatus) << c.dataset;
        if (io.getStatus() != 0) continue;
        KIVOSurfaceDataIO::rasterizeConfig cfg;
        cfg.attribute = c.elevation == R ? "Depth" : "Uncertainty";
        cfg.maxX = cfg.maxY = 1e6;
        EXPECT_EQ(io.rasterize(cfg), 125200 + R) << c.dataset;
    }
}

TEST_F(BAGDamagedFileTest, CutShort) {
    size_t insane = 0;
    for (size_t length = 0; length < valid.size(); length += length < 2048 ? 7 : 97)
        if (!exercise(valid.substr(0, length))) ++insane;
    EXPECT_EQ(insane, 0u);
}

}  // namespace
