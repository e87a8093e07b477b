// Damaged structures: every byte of the list file, the text header, the bin
// records and the size files corrupted or cut one at a time. Each must end in
// a status, never a crash, a hang or a leaked handle.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cfloat>
#include <string>

#include "PFMTestSupport.h"
#include "formats/pfm/KIVOPFMDataIO.h"
#include "formats/pfm/pfm_handles.h"

namespace {

// Runs every road of the surface over the structure; returns the data-IO status.
long exercise(const std::string& handlePath) {
    KIVOPFMDataIO io{NORVAUString(handlePath)};
    long status = 0;
    auto iter = io.query(-DBL_MAX, -DBL_MAX, DBL_MAX, DBL_MAX, false, status, nullptr, DBL_MAX);
    EXPECT_EQ(status, 0);
    long steps = 0;
    while (iter && !iter->done(status) && steps++ < 100) {
        float v = 0.0f;
        iter->getAttributes()->getValue(0, v);
        if (!iter->next(status)) break;
    }
    EXPECT_LT(steps, 100);
    KIVOSurfaceDataIO::rasterizeConfig config;
    config.attribute = NORVAUString("Depth");
    config.minX = config.minY = -1e12;
    config.maxX = config.maxY = 1e12;
    const long r = io.rasterize(config);
    EXPECT_TRUE(r == 0 || r == -1) << r;
    EXPECT_LE(config.output.size(), 10000U);  // never more cells than the bins justify
    return io.getStatus();
}

void expectNoOpenHandles(const std::string& what) {
    for (int32_t i = 0; i < PFM_MAX_FILES; ++i) ASSERT_EQ(pfm_handle_table(i), -1) << what;
}

class PFMDamagedTest : public ::testing::Test {
protected:
    void SetUp() override {
        plan = pfmtest::projectedPlan();
        plan.attrNames = {"Tide", "", ""};
        plan.attrBits = {10, 0, 0};
        plan.inputFiles = {"/no/such/input.gsf"};
        paths = pfmfixture::write(dir.path(), "d.pfm", plan);
        ASSERT_EQ(exercise(paths.handle), 0);
        testing::internal::CaptureStdout();
    }
    void TearDown() override { testing::internal::GetCapturedStdout(); }

    // Each byte of [first, last) set to each value in turn (or, rotating, to
    // one value after another along the bytes), then restored.
    void corruptBytes(const std::string& file, size_t first, size_t last, const std::string& values,
                      bool rotate = false) {
        const std::string original = testsupport::readFile(file);
        last = std::min(last, original.size());
        for (size_t at = first; at < last; ++at) {
            for (size_t v = 0; v < values.size(); ++v) {
                const char value = values[rotate ? at % values.size() : v];
                if (rotate && v > 0) break;
                if (original[at] == value) continue;
                std::string damaged = original;
                damaged[at] = value;
                testsupport::writeFile(file, damaged);
                exercise(paths.handle);
                expectNoOpenHandles(file + " byte " + std::to_string(at));
            }
        }
        testsupport::writeFile(file, original);
    }
    // The file cut at each length of [first, last), then restored.
    void truncateAt(const std::string& file, size_t first, size_t last, size_t step = 1) {
        const std::string original = testsupport::readFile(file);
        last = std::min(last, original.size());
        for (size_t length = first; length < last; length += step) {
            testsupport::writeFile(file, original.substr(0, length));
            exercise(paths.handle);
            expectNoOpenHandles(file + " cut at " + std::to_string(length));
        }
        testsupport::writeFile(file, original);
    }
    size_t headerTextLength() const {
        const std::string bin = testsupport::readFile(paths.bin + "/hugefile.000");
        return bin.find('\0');
    }

    testsupport::ScratchDir dir;
    pfmfixture::Plan plan;
    pfmfixture::Paths paths;
};

TEST_F(PFMDamagedTest, HandleAndListFiles) {
    corruptBytes(paths.handle, 0, 40, std::string("\0\xff\n", 3));
    truncateAt(paths.handle, 0, 40);
    corruptBytes(paths.list, 0, 1000, std::string("\0\xff\n9/", 5));
    truncateAt(paths.list, 0, 1000);
}

TEST_F(PFMDamagedTest, TextHeader) {
    const std::string bin = paths.bin + "/hugefile.000";
    corruptBytes(bin, 0, headerTextLength() + 2, std::string("\0" "9\n" "-", 4), true);
}

TEST_F(PFMDamagedTest, BinRecordsAndSizeFiles) {
    const std::string bin = paths.bin + "/hugefile.000";
    const size_t size = testsupport::readFile(bin).size();
    // Records share one layout: the first three and the last stand for all.
    const size_t record = static_cast<size_t>(pfmfixture::recordBytes(plan));
    corruptBytes(bin, 16384, 16384 + 3 * record, std::string("\xff\x80", 2));
    corruptBytes(bin, size - record, size, std::string("\xff\x80", 2));
    truncateAt(bin, 0, size, 97);
    truncateAt(bin, 16384, size, 7);
    corruptBytes(paths.bin + "/config", 0, 10, std::string("\0\xff" "9-\n", 5));
    corruptBytes(paths.index + "/config", 0, 10, std::string("\0\xff" "9-\n", 5));
    truncateAt(paths.bin + "/config", 0, 10);
}

}  // namespace
