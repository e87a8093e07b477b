// Copying a CUBE surface, whose grids live in a folder named after it, by a
// bare name from its own folder.
#include <gtest/gtest.h>

#include <cfloat>

#include "CubeTestSupport.h"
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
