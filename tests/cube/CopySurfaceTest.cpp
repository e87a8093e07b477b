// Copying a CUBE surface, whose grids live in a folder named after it, by a
// bare name from its own folder.
#include <gtest/gtest.h>

#include <cfloat>

#include "CubeTestSupport.h"
#include "FolderSnapshot.h"
#include "GridLayerTestSupport.h"
#include "WorkingFolder.h"
#include "core/KIVOSurfaceOpen.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "cube_engine/cube_node.h"

TEST(CubeCopySurface, BareNamesFromTheSurfacesFolderKeepTheGridFolder) {
    cubetest::TempDir dir;
    ASSERT_EQ(0, cubetest::storedWithGrid(dir.file("S.vcs"), 1, 0));
    const std::vector<uint8_t> grid = cubetest::readAll(dir.file("S/S_1x0.vcg"));
    ASSERT_FALSE(grid.empty());

    WorkingFolder inside(dir.path().toUTF8());
    ASSERT_TRUE(inside.entered());
    ASSERT_EQ(0, KIVOSurfaceUtils::copySurface("S.vcs", "U.vcs"));
    EXPECT_EQ(grid, cubetest::readAll(dir.file("U/U_1x0.vcg")));
    EXPECT_FALSE(NORVAFileUtils::exists(dir.file("U_1x0.vcg")));
    EXPECT_EQ(cubetest::readAll(dir.file("S.vcs")), cubetest::readAll(dir.file("U.vcs")));

    KIVOSurfaceCUBEIO copy(dir.file("U.vcs"));
    ASSERT_EQ(0, copy.getStatus());
    const KIVOSourceRecord& record = copy.getMetaData()->getSourceRecord();
    ASSERT_EQ(1u, record.items.size());
    EXPECT_EQ(NORVAUString("KIVO"), record.items[0].key);
    EXPECT_EQ(NORVAUString("S.vcs"), record.items[0].value);
    EXPECT_EQ(DBL_MAX, record.firstTime);
    EXPECT_EQ(-DBL_MAX, record.lastTime);
    long status = 0;
    auto entry = copy.getGrid(copy.makeKey(1, 0), status, false, true);
    ASSERT_TRUE(entry) << status;
    const _cube_node* node = cube_grid_get_node(entry->grid, 0, 0);
    ASSERT_NE(0u, node->hypotheses);
    EXPECT_EQ(12.5f, cube_node_hyp(node, node->hypotheses)->depth);
}

// The copy's grid folder is its own: a symbolic link already standing under
// that name refuses the copy, and nothing lands where the link points.
TEST(CubeCopySurface, NeverWritesThroughALinkStandingAsTheCopysFolder) {
    cubetest::TempDir dir;
    ASSERT_EQ(0, cubetest::storedWithGrid(dir.file("S.vcs")));
    ASSERT_TRUE(NORVAFileUtils::makeDirectory(dir.file("elsewhere")));
    ASSERT_EQ(0, ::symlink(dir.file("elsewhere").toUTF8().c_str(), dir.file("U").toUTF8().c_str()));
    EXPECT_NE(0, KIVOSurfaceUtils::copySurface(dir.file("S.vcs"), dir.file("U.vcs")));
    std::vector<NORVAUString> names;
    ASSERT_TRUE(NORVAFileUtils::listDirectory(dir.file("elsewhere"), names));
    EXPECT_TRUE(names.empty());
}

// A copy onto a name whose grid-set folder already holds a set, left by an
// earlier surface of that name or the set of the CUBE surface copied over,
// with a grid the source's set lacks: the copy would read that grid as its
// own. Refused, with nothing changed; a set the copy replaces whole is no
// obstacle.
TEST(CubeCopySurface, NeverTakesAGridOfASetItDidNotCopy) {
    const struct {
        const char* what;
        bool targetHeader;  // the target's header and metadata are there
        bool extraGrid;     // the target's set holds a grid the source's lacks
    } cases[] = {{"left by an earlier surface", false, true},
                 {"of the target copied over", true, true},
                 {"replaced whole", true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        cubetest::TempDir dir;
        const NORVAUString source = dir.file("s.vcs"), target = dir.file("t.vcs");
        for (const NORVAUString& path : {source, target}) {
            ASSERT_EQ(0, cubetest::createStored(path, 19.0, 11.0, 1.0, 5));
            gridlayer::hostEdit(path);
        }
        if (c.extraGrid) cubetest::writeAll(dir.file("t_V2/1x1.vcg"), cubetest::readAll(dir.file("t_V2/0x0.vcg")));
        for (const char* file : {"t.vcs", "t.xml"}) {
            if (!c.targetHeader) {
                ASSERT_TRUE(NORVAFileUtils::removeFile(dir.file(file)));
            }
        }
        const foldersnapshot::Snapshot before = foldersnapshot::take(dir.path().toUTF8());
        testing::internal::CaptureStdout();
        const long status = KIVOSurfaceUtils::copySurface(source, target);
        testing::internal::GetCapturedStdout();
        if (c.extraGrid) {
            EXPECT_EQ(KIVOSurfaceUtils::kCopyFailed, status);
            EXPECT_TRUE(before == foldersnapshot::take(dir.path().toUTF8()));
        } else {
            EXPECT_EQ(0, status);
            EXPECT_EQ(gridlayer::kHostDepth, gridlayer::hostDepth(target));
        }
    }
}
