// Surface names that hold dots: only a registered extension ends a name, so
// "survey.2020" and "my.survey" are whole names for every kind, through
// creating, storing, opening by name, renaming and copying.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "CompoundTestSupport.h"
#include "core/KIVOSurfaceOpen.h"
#include "cube/CubeTestSupport.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "cube_engine/cube_node.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOExtendDataIO.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOSurfaceUtils.h"

using namespace multirestest;

namespace {

constexpr double kDepth = 15.0;

// Makes and stores a surface "<name><extension>" holding kDepth at (2, 2).
using Maker = std::function<void(const TempFolder&, const std::string&)>;

void makeGridded(const TempFolder& dir, const std::string& name) {
    KIVOResolutionTable none;
    auto meta = compoundMetaData(dir.file(name + ".xml"), none);
    meta->setResolution(1.0);
    KIVOGriddedDataIO io(dir.file(name + ".vns"), std::move(meta));
    ASSERT_EQ(0, io.getStatus());
    setDepth(io, 2.0, 2.0, kDepth, DBL_MAX);
    ASSERT_EQ(0, io.store(nullptr));
}

void editCubeNode(KIVOSurfaceCUBEIO& cube) {
    long status = 0;
    auto entry = cube.getGrid(2.0, 2.0, status, true);
    ASSERT_TRUE(entry) << status;
    _cube_node* node = cube.getCubeNode(2.0, 2.0, status, false);
    ASSERT_NE(nullptr, node);
    ASSERT_EQ(1, cube_node_add_basic_hypothesis(node, static_cast<float>(kDepth), 0.25f));
    entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
}

void makeCube(const TempFolder& dir, const std::string& name) {
    const NORVAUString path = dir.file(name + ".vcs");
    auto meta = cubetest::cubeMetadata(path, 0.0, 0.0, 8.0, 8.0, 1.0);
    KIVOSurfaceCUBEIO cube(path, meta, CUBEUtils::getParams(0, 1.0f));
    ASSERT_EQ(0, cube.getStatus());
    ASSERT_EQ(0, cube.store(nullptr));
    editCubeNode(cube);
    ASSERT_EQ(0, cube.flush());
}

void makeGriddedCompound(const TempFolder& dir, const std::string& name) {
    auto meta = compoundMetaData(dir.file(name + ".xml"), twoRanges());
    KIVOCompoundIO io(dir.file(name + ".kms"), meta);
    ASSERT_EQ(0, io.getStatus());
    setDepth(io, 2.0, 2.0, kDepth, kDepth);
    ASSERT_EQ(0, io.store(nullptr));
}

void makeCubeCompound(const TempFolder& dir, const std::string& name) {
    auto io = cubeCompound(dir, name);
    ASSERT_TRUE(io);
    ASSERT_EQ(0, io->getStatus());
    ASSERT_EQ(0, io->store(nullptr));
    auto* cube = dynamic_cast<KIVOSurfaceCUBEIO*>(io->getEntries()[0].dataIO.get());
    ASSERT_NE(nullptr, cube);
    editCubeNode(*cube);
    ASSERT_EQ(0, io->flush());
}

// The depths a single surface holds at (2, 2): a CUBE node's hypothesis, or
// what a query over the cover serves.
std::vector<double> depthsOf(KIVOSurfaceDataIO& io) {
    if (auto* cube = dynamic_cast<KIVOSurfaceCUBEIO*>(&io)) {
        long status = 0;
        const _cube_node* node = cube->getCubeNode(2.0, 2.0, status, false);
        if (node == nullptr || node->hypotheses == 0) return {};
        return {cube_node_hyp(node, node->hypotheses)->depth};
    }
    return memberDepths(io);
}

// Opens "<name><extension>" by name and returns the depths it holds; a
// compound must come back with both members, the first holding the node.
std::vector<double> reopen(const TempFolder& dir, const std::string& file, bool compound) {
    long status = 0;
    NORVAType<KIVOSurface> surface = KIVOSurfaceUtils::open(dir.file(file), status);
    EXPECT_EQ(0, status) << file;
    if (!surface) return {};
    KIVOSurfaceDataIO* io = surface->getDataIO();
    if (auto* extended = dynamic_cast<KIVOExtendDataIO*>(io)) io = extended->getDataIO();
    if (!compound) return depthsOf(*io);
    auto* multi = dynamic_cast<KIVOCompoundIO*>(io);
    if (multi == nullptr) return {};
    EXPECT_EQ(2u, multi->getEntries().size()) << file;
    if (multi->getEntries().empty()) return {};
    return depthsOf(*multi->getEntries()[0].dataIO);
}

long renameByName(const TempFolder& dir, const std::string& file, const std::string& newName) {
    NORVAType<KIVOSurfaceDataIO> io = KIVOSurfaceUtils::getDataIO(dir.file(file));
    if (!io || io->getStatus() != 0) return -1;
    return io->rename(NORVAUString(newName));
}

// The CUBE classes report on stdout; kept quiet while a row runs unless the
// row fails (gtest reports its failures there too).
struct QuietStdout {
    QuietStdout() { testing::internal::CaptureStdout(); }
    ~QuietStdout() {
        const std::string printed = testing::internal::GetCapturedStdout();
        if (testing::Test::HasFailure()) std::fputs(printed.c_str(), stdout);
    }
};

struct Row {
    const char* kind;
    Maker make;
    const char* extension;
    bool compound;
};

}  // namespace

TEST(DottedNames, EveryKindCreatesStoresOpensRenamesAndCopies) {
    const Row rows[] = {
        {"gridded", makeGridded, ".vns", false},
        {"CUBE", makeCube, ".vcs", false},
        {"gridded compound", makeGriddedCompound, ".kms", true},
        {"CUBE compound", makeCubeCompound, ".kms", true},
    };
    const std::vector<double> expected{kDepth};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.kind);
        TempFolder dir;
        const std::string ext = row.extension;
        QuietStdout quiet;
        row.make(dir, "survey.2020");
        EXPECT_EQ(expected, reopen(dir, "survey.2020" + ext, row.compound));
        if (!row.compound) {  // a single surface opens by its bare name too
            EXPECT_EQ(expected, reopen(dir, "survey.2020", false));
        }

        // From a dotted name to a dotted name, to a plain one and back.
        const char* names[] = {"survey.2020", "survey.v2", "plain", "my.survey"};
        for (size_t i = 1; i < 4; ++i) {
            SCOPED_TRACE(names[i]);
            ASSERT_EQ(0, renameByName(dir, names[i - 1] + ext, names[i]));
            EXPECT_FALSE(NORVAFileUtils::exists(dir.file(names[i - 1] + ext)));
            EXPECT_TRUE(NORVAFileUtils::isRegularFile(dir.file(names[i] + ext)));
            EXPECT_TRUE(NORVAFileUtils::isRegularFile(dir.file(std::string(names[i]) + ".xml")));
            EXPECT_EQ(expected, reopen(dir, names[i] + ext, row.compound));
        }

        ASSERT_EQ(0, KIVOSurfaceUtils::copySurface(dir.file("my.survey" + ext), dir.file("copy.of.survey" + ext)));
        EXPECT_EQ(expected, reopen(dir, "copy.of.survey" + ext, row.compound));
        EXPECT_EQ(expected, reopen(dir, "my.survey" + ext, row.compound));
    }
}
