#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

#include "CubeTestSupport.h"
#include "GridLayerTestSupport.h"
#include "core/KIVOSurfaceOpen.h"
#include "cube/CUBEGrid.h"
#include "cube/CUBEGridSet.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "cube_engine/cube.h"
#include "cube_engine/cube_node.h"
#include "platform/core/NORVAFileTransaction.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOSurfaceUtils.h"

using cubetest::TempDir;
using Entry = std::shared_ptr<KIVOSurfaceCUBEIO::_cubeEntry>;

namespace {

// A 20 x 12 node surface at resolution 1 in 5-node tiles: 5 x 3 grids.
NORVAUString smallSurface(const TempDir& dir, const char* stem = "s1") {
    const NORVAUString path = dir.file(std::string(stem) + ".vcs");
    EXPECT_EQ(0, cubetest::createStored(path, 19.0, 11.0, 1.0, 5));
    return path;
}

// Adds a hypothesis at `depth` to the node at (row, column) and marks the grid modified.
void edit(KIVOSurfaceCUBEIO& s, uint16_t row, uint16_t column, float depth) {
    long status = 0;
    Entry e = s.getGrid(s.makeKey(row, column), status, true, true);
    ASSERT_TRUE(e) << status;
    ASSERT_EQ(1, cube_node_add_basic_hypothesis(cube_grid_get_node(e->grid, 1, 2), depth, 0.25f));
    e->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
}

// The depth of the edited node's hypothesis, or -1 when the grid or the hypothesis is missing.
float depthAt(KIVOSurfaceCUBEIO& s, uint16_t row, uint16_t column) {
    long status = 0;
    Entry e = s.getGrid(s.makeKey(row, column), status, false, true);
    if (!e) return -1.0f;
    const _cube_node* node = cube_grid_get_node(e->grid, 1, 2);
    return node->hypotheses != 0 ? cube_node_hyp(node, node->hypotheses)->depth : -1.0f;
}

// Every file under a folder by path, with its bytes.
std::map<std::string, std::vector<uint8_t>> snapshot(const NORVAUString& folder) {
    std::map<std::string, std::vector<uint8_t>> files;
    std::vector<NORVAUString> names;
    NORVAFileUtils::listDirectory(folder, names);
    for (const NORVAUString& name : names) {
        const NORVAUString path = folder + "/" + name;
        if (NORVAFileUtils::isDirectory(path)) {
            const auto inner = snapshot(path);
            files.insert(inner.begin(), inner.end());
        } else {
            files[path.toUTF8()] = cubetest::readAll(path);
        }
    }
    return files;
}

// Runs `body` in a child process; its exit status, or -1 when it did not exit.
int inChild(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// Grids of smallSurface that hold nodes: the fifth column of grids is empty.
constexpr uint16_t kNodeGrids = 12;

// What a reading process does: opens, reads the edited node of every grid
// (more grids than the edit cache holds), runs `between`, closes. Exit
// status 0 when every node read `depth` and close succeeded.
int readAllAndClose(const NORVAUString& path, float depth, const std::function<void()>& between) {
    int failures = 0;
    {
        KIVOSurfaceCUBEIO s(path);
        if (s.getStatus() != 0) return 100;
        for (uint16_t i = 0; i < kNodeGrids; ++i) failures += depthAt(s, i / 4, i % 4) != depth;
        between();
        failures += s.close() != 0 ? 50 : 0;
    }
    return std::min(failures, 99);
}

// Every hypothesis depth of the edited node, in ascending order.
std::vector<float> depthsAt(KIVOSurfaceCUBEIO& s, uint16_t row, uint16_t column) {
    long status = 0;
    Entry e = s.getGrid(s.makeKey(row, column), status, false, true);
    std::vector<float> depths;
    if (!e) return depths;
    const _cube_node* node = cube_grid_get_node(e->grid, 1, 2);
    for (uint32_t at = node->hypotheses; at != 0; at = cube_node_hyp(node, at)->next)
        depths.push_back(cube_node_hyp(node, at)->depth);
    std::sort(depths.begin(), depths.end());
    return depths;
}

class LimitGuard {
public:
    explicit LimitGuard(uint64_t bytes) : m_old(KIVOResourceManager::m_instance.getMemoryLimit()) {
        KIVOResourceManager::m_instance.setMemoryLimit(bytes);
    }
    ~LimitGuard() { KIVOResourceManager::m_instance.setMemoryLimit(m_old); }

private:
    uint64_t m_old;
};

}  // namespace

TEST(CubeSurface, OpensByNameThroughTheRegistryAndNamesItsFiles) {
    TempDir dir;
    const NORVAUString path = smallSurface(dir);
    long status = -7;
    NORVAType<KIVOSurface> opened = KIVOSurfaceUtils::open(path, status);
    EXPECT_EQ(0, status);
    EXPECT_TRUE(opened);

    KIVOSurfaceCUBEIO s(path);
    ASSERT_EQ(0, s.getStatus());
    EXPECT_EQ(path, s.getSourceName());
    EXPECT_EQ(dir.file("s1/s1"), s.getGridPrefix());
    unsigned long across = 0, down = 0;
    s.getPixelDim(across, down);
    EXPECT_EQ(20u, across);
    EXPECT_EQ(12u, down);
    std::vector<NORVAUString> files;
    s.getAssociatedFiles(files);
    EXPECT_EQ((std::vector<NORVAUString>{dir.file("s1.vcs"), dir.file("s1.xml")}), files);

    EXPECT_EQ(146006, KIVOSurfaceCUBEIO(dir.file("missing.vcs")).getStatus());
    NORVAFileUtils::removeFile(dir.file("s1.vcs"));
    EXPECT_EQ(146006, KIVOSurfaceCUBEIO(path).getStatus());
}

TEST(CubeSurface, CreatedSurfaceIsStoredAndReopens) {
    TempDir dir;
    const NORVAUString path = dir.file("member.vcs");
    NORVAArray<double> minimum, maximum;
    {
        auto meta = cubetest::cubeMetadata(path, 100.0, 200.0, 50.0, 30.0, 0.5);
        KIVOSurfaceCUBEIO created(path, meta, CUBEUtils::getParams(0, 0.5f));
        ASSERT_EQ(0, created.getStatus());
        EXPECT_FALSE(meta);
        EXPECT_FALSE(NORVAFileUtils::exists(path));
        minimum = created.getMinimum();
        maximum = created.getMaximum();
        EXPECT_EQ(0, created.store(nullptr));
    }
    KIVOSurfaceCUBEIO reopened(path);
    ASSERT_EQ(0, reopened.getStatus());
    EXPECT_EQ(minimum, reopened.getMinimum());
    EXPECT_EQ(maximum, reopened.getMaximum());
    EXPECT_EQ(0.5f, reopened.getResolution());

    NORVAType<KIVOSurfaceXMLMetaData> none;
    EXPECT_EQ(146004, KIVOSurfaceCUBEIO(path, none, CUBEUtils::getParams(0, 1.0f)).getStatus());
}

TEST(CubeSurface, GridsUnderPositionsAndTrimmedEdges) {
    TempDir dir;
    KIVOSurfaceCUBEIO s(smallSurface(dir));
    const NORVAArray<double> lo = s.getMinimum(), hi = s.getMaximum();
    long status = -7;
    EXPECT_FALSE(s.getGrid(lo[0] - 0.01, hi[1], status, true));
    EXPECT_EQ(0, status);
    EXPECT_FALSE(s.getGrid(lo[0] + 1, hi[1] - 1, status, false));
    EXPECT_EQ(0, status);
    Entry corner = s.getGrid(hi[0], lo[1], status, true);
    ASSERT_TRUE(corner);
    EXPECT_EQ(4, corner->column);
    EXPECT_EQ(2, corner->row);
    EXPECT_EQ(0u, corner->columns);  // 20 nodes fill exactly four tiles
    EXPECT_EQ(2u, corner->rows);
    // A grid without nodes has nothing to keep: no file that would not read back.
    corner->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
    EXPECT_EQ(0, s.flush());
    EXPECT_FALSE(NORVAFileUtils::exists(CUBEUtils::gridFileName(s.getGridPrefix(), 2, 4)));
    corner.reset();
    EXPECT_TRUE(s.getGrid(hi[0], lo[1], status, true));
    Entry west = s.getGrid(lo[0] + 0.5, lo[1] + 0.5, status, true);
    ASSERT_TRUE(west);
    EXPECT_EQ(5u, west->columns);
    EXPECT_EQ(2u, west->rows);
    ASSERT_NE(nullptr, s.getCubeNode(lo[0] + 0.5, lo[1] + 0.5, status, true));
    std::vector<KIVOSurfaceCUBEIO::_cubeGridIdx> keys;
    s.getGrids(keys, lo[0] + 4.5, lo[1], lo[0] + 5.5, hi[1] + 50, false);
    EXPECT_EQ(6u, keys.size());
    s.setModified(false);
}

TEST(CubeSurface, EleventhGridEvictsTheOldestThenTheLastOfEqualStamps) {
    TempDir dir;
    KIVOSurfaceCUBEIO s(smallSurface(dir));
    long status = 0;
    std::vector<Entry> held;
    for (uint16_t i = 0; i < 10; ++i) held.push_back(s.getGrid(s.makeKey(i / 5, i % 5), status, true, true));
    for (Entry& e : held) e->stamp = 1000;
    held[3]->stamp = 500;
    Entry newest = s.getGrid(s.makeKey(2, 0), status, true, true);
    ASSERT_TRUE(newest);
    // Stamps are whole seconds: the new grid may share the older ones' second.
    Entry again = s.getGrid(s.makeKey(0, 3), status, false, false);
    EXPECT_FALSE(again);
    for (Entry& e : held) e->stamp = 1000;
    ASSERT_TRUE(s.getGrid(s.makeKey(2, 1), status, true, true));
    EXPECT_FALSE(s.getGrid(s.makeKey(1, 4), status, false, false));
    EXPECT_TRUE(s.getGrid(s.makeKey(1, 3), status, false, false));
}

namespace {

bool isStaged(const std::string& path) { return path.find(".tmp-") != std::string::npos; }

// The files under a folder without the staged grids' temporaries.
std::map<std::string, std::vector<uint8_t>> committedFiles(const NORVAUString& folder) {
    auto files = snapshot(folder);
    for (auto it = files.begin(); it != files.end();) it = isStaged(it->first) ? files.erase(it) : std::next(it);
    return files;
}

size_t stagedCount(const NORVAUString& folder) {
    const auto files = snapshot(folder);
    return std::count_if(files.begin(), files.end(), [](const auto& file) { return isStaged(file.first); });
}

}  // namespace

TEST(CubeSurface, EvictedModifiedGridIsStagedAndReadsBackModifiedCleanOneIsNot) {
    TempDir dir;
    KIVOSurfaceCUBEIO s(smallSurface(dir));
    edit(s, 0, 0, 12.5f);
    long status = 0;
    Entry clean = s.getGrid(s.makeKey(0, 1), status, true, true);
    s.getGrid(s.makeKey(0, 0), status, false, true)->stamp = 1;
    clean->stamp = 2;
    for (uint16_t i = 2; i < 11; ++i) ASSERT_TRUE(s.getGrid(s.makeKey(i / 5, i % 5), status, true, true));
    const auto files = snapshot(dir.file("s1"));
    ASSERT_EQ(1u, files.size());
    const std::string staged = files.begin()->first;
    EXPECT_EQ(0u, staged.find(dir.file("s1/.s1_0x0.vcg.tmp-").toUTF8()));
    const std::vector<uint8_t>& bytes = files.begin()->second;
    ASSERT_GT(bytes.size(), 21u);
    EXPECT_EQ(std::vector<uint8_t>({1, 0, 1, 0, 1, 0, 0, 0}), std::vector<uint8_t>(bytes.begin() + 13, bytes.begin() + 21));
    Entry back = s.getGrid(s.makeKey(0, 0), status, false, true);
    ASSERT_TRUE(back);
    EXPECT_EQ(KIVOSurfaceCUBEIO::_cubeEntry::kModified, back->state);  // not committed yet
    EXPECT_EQ(12.5f, depthAt(s, 0, 0));
    EXPECT_FALSE(NORVAFileUtils::exists(NORVAUString(staged)));  // the cache holds its edits again
    s.setModified(true);
    s.setModified(false);
}

// However many grids are edited, the surface's files change only when it
// commits: until then edited grids that leave the cache wait in staged
// files, read back when asked for, carried by a rename, committed by a
// store, and removed when the edits are let go of.
TEST(CubeSurface, EditsBeyondTheCacheChangeNoFileUntilTheCommit) {
    const struct {
        const char* name;
        std::function<long(KIVOSurfaceCUBEIO&)> finish;
        const char* stem;  // reopened as
        bool kept;
    } cases[] = {
        {"store", [](KIVOSurfaceCUBEIO& s) { return s.store(nullptr); }, "s1", true},
        {"rename, then store",
         [](KIVOSurfaceCUBEIO& s) {
             const long renamed = s.rename("moved");
             return renamed != 0 ? renamed : s.store(nullptr);
         },
         "moved", true},
        {"store inside another surface's commit",
         [](KIVOSurfaceCUBEIO& s) {
             NORVAFileTransaction outer(s.getSourceName() + ".outer");
             const long stored = s.store(nullptr);
             return stored != 0 ? stored : outer.commit() ? 0L : -1L;
         },
         "s1", true},
        {"edits let go of",
         [](KIVOSurfaceCUBEIO& s) {
             s.setModified(true);
             s.setModified(false);
             return 0L;
         },
         "s1", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const NORVAUString path = smallSurface(dir);
        {
            KIVOSurfaceCUBEIO s(path);
            for (uint16_t i = 0; i < kNodeGrids; ++i) edit(s, i / 4, i % 4, 10.0f);
            ASSERT_EQ(0, s.store(nullptr));
        }
        const auto before = snapshot(dir.path());
        {
            KIVOSurfaceCUBEIO s(path);
            for (uint16_t i = 0; i < kNodeGrids; ++i) edit(s, i / 4, i % 4, 20.0f + i);
            EXPECT_GT(stagedCount(dir.path()), 0u);
            EXPECT_TRUE(before == committedFiles(dir.path()));
            for (uint16_t i = 0; i < kNodeGrids; ++i)
                EXPECT_EQ((std::vector<float>{10.0f, 20.0f + i}), depthsAt(s, i / 4, i % 4)) << i;
            EXPECT_TRUE(before == committedFiles(dir.path()));
            EXPECT_EQ(0, c.finish(s));
        }
        EXPECT_EQ(0u, stagedCount(dir.path()));
        if (!c.kept) {
            EXPECT_TRUE(before == snapshot(dir.path()));
            continue;
        }
        KIVOSurfaceCUBEIO reopened(dir.file(std::string(c.stem) + ".vcs"));
        ASSERT_EQ(0, reopened.getStatus());
        for (uint16_t i = 0; i < kNodeGrids; ++i)
            EXPECT_EQ((std::vector<float>{10.0f, 20.0f + i}), depthsAt(reopened, i / 4, i % 4)) << i;
    }
}

TEST(CubeSurface, EditsSurviveCloseAndDestructionUnlessMarkedClean) {
    TempDir dir;
    const NORVAUString path = smallSurface(dir);
    {
        KIVOSurfaceCUBEIO s(path);
        edit(s, 0, 0, 10.0f);
        EXPECT_EQ(0, s.close());
        EXPECT_EQ(10.0f, depthAt(s, 0, 0));
        edit(s, 1, 1, 11.0f);
        EXPECT_GT(s.getHeldBytes(), 0u);
        EXPECT_EQ(0, s.flush());
        EXPECT_GT(s.getHeldBytes(), 0u);  // written, and kept as clean
        EXPECT_EQ(0, s.flush());
        EXPECT_EQ(0u, s.getHeldBytes());
        edit(s, 2, 2, 12.0f);
    }
    {
        KIVOSurfaceCUBEIO s(path);
        EXPECT_EQ(10.0f, depthAt(s, 0, 0));
        EXPECT_EQ(11.0f, depthAt(s, 1, 1));
        EXPECT_EQ(12.0f, depthAt(s, 2, 2));
        edit(s, 2, 3, 13.0f);
        s.setModified(true);
        s.setModified(false);
        s.flush();
    }
    EXPECT_FALSE(NORVAFileUtils::exists(CUBEUtils::gridFileName(dir.file("s1/s1"), 2, 3)));
}

TEST(CubeSurface, DamagedOrOversizedGridFilesAreRefused) {
    TempDir dir;
    const NORVAUString path = smallSurface(dir);
    {
        KIVOSurfaceCUBEIO s(path);
        edit(s, 0, 0, 10.0f);
    }
    const NORVAUString grid = CUBEUtils::gridFileName(dir.file("s1/s1"), 0, 0);
    const std::vector<uint8_t> good = cubetest::readAll(grid);
    auto loadStatus = [&](const std::vector<uint8_t>& bytes) {
        cubetest::writeAll(grid, bytes);
        KIVOSurfaceCUBEIO s(path);
        long status = 0;
        Entry e = s.getGrid(s.makeKey(0, 0), status, true, true);
        return e ? 0L : status;
    };
    std::vector<uint8_t> v2 = good;
    v2[13] = 2;
    EXPECT_EQ(-1, loadStatus(v2));
    std::vector<uint8_t> wide = good;
    cubetest::putU32(wide, 21, 6);  // nx above the tile size
    EXPECT_EQ(-1, loadStatus(wide));
    std::vector<uint8_t> huge = good;
    cubetest::putU32(huge, 21, 5);
    cubetest::putU32(huge, 25, 5000000);  // more nodes than the file holds
    EXPECT_EQ(-1, loadStatus(huge));
    for (size_t n = 0; n < good.size(); n += 7)
        EXPECT_EQ(-1, loadStatus(std::vector<uint8_t>(good.begin(), good.begin() + n))) << n;
    EXPECT_EQ(0, loadStatus(good));
}

// The budget lets go of a surface's grids for whoever needs room. A grid the
// surface's own caller holds stays as it is, and an edited grid is not
// written into a commit that the asking thread has open for another
// surface: when that commit fails, the edit must still reach the file.
TEST(CubeSurface, BudgetFlushLeavesHeldGridsAndOtherSurfacesCommitsAlone) {
    TempDir dir;
    KIVOSurfaceCUBEIO s(smallSurface(dir));
    edit(s, 0, 0, 4.0f);
    long status = 0;
    Entry held = s.getGrid(s.makeKey(1, 1), status, true, true);
    ASSERT_TRUE(held) << status;
    ASSERT_EQ(1, cube_node_add_basic_hypothesis(cube_grid_get_node(held->grid, 1, 2), 6.0f, 0.25f));
    held->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
    testing::internal::CaptureStdout();
    {
        NORVAFileTransaction other(dir.file("other"));
        KIVOResourceManager::m_instance.flush(nullptr);
        other.fail();
    }
    EXPECT_EQ(KIVOSurfaceCUBEIO::_cubeEntry::kModified, held->state);
    held.reset();
    ASSERT_EQ(0, s.flush());
    testing::internal::GetCapturedStdout();
    KIVOSurfaceCUBEIO reopened(s.getSourceName());
    EXPECT_EQ(4.0f, depthAt(reopened, 0, 0));
    EXPECT_EQ(6.0f, depthAt(reopened, 1, 1));
}

TEST(CubeSurface, BudgetHoldingTwoGridsServesThreeSurfacesWithoutLosingEdits) {
    TempDir dir;
    const NORVAUString paths[3] = {smallSurface(dir, "a"), smallSurface(dir, "b"), smallSurface(dir, "c")};
    KIVOSurfaceCUBEIO a(paths[0]), b(paths[1]), c(paths[2]);
    _cube_param* p = a.getCubeParameters();
    const uint64_t need = uint64_t(cube_node_estimate_size(1.5f, p)) * 25;
    LimitGuard limit(2 * need + need / 2);
    KIVOSurfaceCUBEIO* surfaces[3] = {&a, &b, &c};
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 3; ++i) {
            edit(*surfaces[i], round, i, 5.0f + i);
            EXPECT_LE(a.getHeldBytes() + b.getHeldBytes() + c.getHeldBytes(), 2 * need + need / 2);
        }
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 3; ++i) EXPECT_EQ(5.0f + i, depthAt(*surfaces[i], round, i)) << round << i;
    {
        LimitGuard tiny(need / 2);
        long status = 0;
        EXPECT_FALSE(a.getGrid(a.makeKey(2, 4), status, true, true));
        EXPECT_EQ(146030, status);
    }
}

TEST(CubeSurface, RenameKeepsFolderFilesAndRefusesAnExistingTarget) {
    TempDir dir;
    const NORVAUString path = smallSurface(dir);
    smallSurface(dir, "taken");
    KIVOSurfaceCUBEIO s(path);
    edit(s, 1, 2, 3.0f);
    s.flush();
    cubetest::writeAll(CUBEUtils::layerFileName(s.getGridPrefix(), "Depth", 1, 2), {1, 2, 3});
    EXPECT_EQ(146006, s.rename("taken"));
    EXPECT_EQ(path, s.getSourceName());
    EXPECT_TRUE(NORVAFileUtils::exists(path));
    ASSERT_EQ(0, s.rename("moved"));
    EXPECT_FALSE(NORVAFileUtils::exists(path));
    EXPECT_FALSE(NORVAFileUtils::exists(dir.file("s1")));
    std::vector<NORVAUString> files;
    s.getAssociatedFiles(files);
    EXPECT_EQ((std::vector<NORVAUString>{dir.file("moved/moved_1x2.vcg"), dir.file("moved/moved_1x2_Depth.vcc"),
                                         dir.file("moved.vcs"), dir.file("moved.xml")}),
              files);
    EXPECT_EQ(3.0f, depthAt(s, 1, 2));
    KIVOSurfaceCUBEIO reopened(dir.file("moved.vcs"));
    EXPECT_EQ(0, reopened.getStatus());
}

TEST(CubeSurface, DeleteAllFilesLeavesNothingToWriteBack) {
    TempDir dir;
    const NORVAUString path = smallSurface(dir);
    {
        KIVOSurfaceCUBEIO s(path);
        edit(s, 0, 0, 1.0f);
        s.flush();
        for (uint16_t i = 1; i < kNodeGrids; ++i) edit(s, i / 4, i % 4, 2.0f);  // some of them staged
        EXPECT_EQ(0, s.deleteAllFiles(true));
        EXPECT_EQ(0u, s.getHeldBytes());
    }
    std::vector<NORVAUString> left;
    NORVAFileUtils::listDirectory(dir.path(), left);
    EXPECT_TRUE(left.empty());
}

namespace {

using gridlayer::hostDepth;
using gridlayer::hostEdit;
using gridlayer::kHostDepth;

std::vector<NORVAUString> namesIn(const NORVAUString& folder) {
    std::vector<NORVAUString> names;
    NORVAFileUtils::listDirectory(folder, names);
    return names;
}

}  // namespace

// The grid set a host edited is the surface's: it goes with the surface's
// delete, moves with its rename, is copied with it, and is never read as a
// surface made under the name later. A file of the host's own stays.
TEST(CubeSurface, TheHostsGridSetGoesWhereTheSurfaceGoes) {
    const struct {
        const char* how;
        bool hostFile;
        std::function<bool(const NORVAUString&)> remove;
    } cases[] = {
        {"deleteAllFiles", true, [](const NORVAUString& p) { return KIVOSurfaceCUBEIO(p).deleteAllFiles(true) == 0; }},
        {"deleteFiles", false, [](const NORVAUString& p) { return KIVOSurfaceUtils::deleteFiles(p); }},
        // As deletes left a surface before: every file of it (this one has no
        // grid folder) but the set.
        {"left by an older delete", true,
         [](const NORVAUString& p) {
             const NORVAUString base = p.substring(0, p.length() - 4);
             return NORVAFileUtils::removeFile(p) && NORVAFileUtils::removeFile(base + ".xml");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        TempDir dir;
        const NORVAUString path = smallSurface(dir);
        hostEdit(path);
        ASSERT_EQ(kHostDepth, hostDepth(path));
        if (c.hostFile) cubetest::writeAll(dir.file("s1_V2/notes.txt"), {1});
        ASSERT_TRUE(c.remove(path));
        smallSurface(dir);  // a new surface under the name
        EXPECT_EQ(-1.0, hostDepth(path));
        EXPECT_EQ(c.hostFile ? std::vector<NORVAUString>{"notes.txt"} : std::vector<NORVAUString>{},
                  namesIn(dir.file("s1_V2")));
        EXPECT_EQ(c.hostFile, NORVAFileUtils::isDirectory(dir.file("s1_V2")));
    }

    TempDir dir;
    const NORVAUString path = smallSurface(dir);
    hostEdit(path);
    ASSERT_EQ(0, KIVOSurfaceUtils::copySurface(path, dir.file("copy.vcs")));
    EXPECT_EQ(kHostDepth, hostDepth(dir.file("copy.vcs")));
    // A rename does not merge the set into a folder of the new name's.
    ASSERT_TRUE(NORVAFileUtils::makeDirectory(dir.file("taken_V2")));
    EXPECT_EQ(146006, KIVOSurfaceCUBEIO(path).rename("taken"));
    EXPECT_TRUE(namesIn(dir.file("taken_V2")).empty());
    ASSERT_EQ(0, KIVOSurfaceCUBEIO(path).rename("moved"));
    EXPECT_FALSE(NORVAFileUtils::exists(dir.file("s1_V2")));
    EXPECT_EQ(kHostDepth, hostDepth(dir.file("moved.vcs")));
}

// A folder holding a file stands where the file was: no unlink takes it, not even root's.
TEST(CubeSurface, AFileThatCannotBeDeletedIsReported) {
    const struct {
        const char* file;
        bool cachesOnly;
    } cases[] = {{"s1/s1_1x2.vcg", false}, {"s1/s1_1x2_Depth.vcc", false}, {"s1.xml", false},
                 {"s1/s1_1x2_Depth.vcc", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.cachesOnly ? " caches" : " all"));
        TempDir dir;
        KIVOSurfaceCUBEIO s(smallSurface(dir));
        edit(s, 1, 2, 3.0f);
        ASSERT_EQ(0, s.flush());
        cubetest::writeAll(CUBEUtils::layerFileName(s.getGridPrefix(), "Depth", 1, 2), {1, 2, 3});
        NORVAFileUtils::removeFile(dir.file(c.file));
        ASSERT_TRUE(NORVAFileUtils::makeDirectory(dir.file(c.file)));
        cubetest::writeAll(dir.file(std::string(c.file) + "/held"), {1});
        EXPECT_EQ(146006, c.cachesOnly ? s.deleteCacheFiles() : s.deleteAllFiles(true));
    }
}

// Grids another object staged are that object's: a delete goes ahead beside
// them, and what is left of the surface goes with that object.
TEST(CubeSurface, ADeleteBesideAnotherObjectsStagedGridsRemovesTheSurface) {
    TempDir dir;
    const NORVAUString path = smallSurface(dir);
    auto other = std::make_unique<KIVOSurfaceCUBEIO>(path);
    for (uint16_t i = 0; i < kNodeGrids; ++i) edit(*other, i / 4, i % 4, 2.0f);  // some of them staged
    EXPECT_EQ(0, KIVOSurfaceCUBEIO(path).deleteAllFiles(true));
    EXPECT_FALSE(NORVAFileUtils::exists(path));
    EXPECT_EQ(NORVASurfacePin::kChanged, other->store(nullptr));
    other.reset();
    EXPECT_TRUE(namesIn(dir.path()).empty());
}

TEST(CubeSurface, DisambiguationMethodIsWrittenOnlyWhenChangedAndWritable) {
    TempDir dir;
    unsetenv("VARN_CUBE_PARAMETERS");
    const NORVAUString path = smallSurface(dir);
    const std::vector<uint8_t> before = cubetest::readAll(path);
    KIVOSurfaceCUBEIO s(path);
    const CubeExtractor current = s.getDisambiguationType();
    EXPECT_FALSE(s.setDisambiguationType(current));
    EXPECT_EQ(before.size(), cubetest::readAll(path).size());

    // A header that cannot be replaced: the surface says so.
    NORVAFileUtils::renameFile(path, dir.file("aside"));
    NORVAFileUtils::makeDirectory(path);
    cubetest::writeAll(path + "/keep", {1});
    EXPECT_FALSE(s.setDisambiguationType(CUBE_LOCALE));
    NORVAFileUtils::removeDirectory(path, true);
    NORVAFileUtils::renameFile(dir.file("aside"), path);

    EXPECT_TRUE(s.setDisambiguationType(CUBE_DENSITY_LIKELIHOOD));
    EXPECT_EQ(CUBE_DENSITY_LIKELIHOOD, KIVOSurfaceCUBEIO(path).getDisambiguationType());
    s.setModified(true);
    EXPECT_TRUE(s.setDisambiguationType(CUBE_DENSITY));
    EXPECT_EQ(CUBE_DENSITY_LIKELIHOOD, KIVOSurfaceCUBEIO(path).getDisambiguationType());
}

namespace {

// Well-separated soundings each start a hypothesis of their own.
void crowd(_cube_node* node, const _cube_param* params, int soundings) {
    for (int i = 0; i < soundings; ++i) cube_node_update(node, 10.0f * i, 0.01f, 10.0f * i, 0.01f, params);
}

size_t hypothesesOf(const _cube_node* node) {
    size_t n = 0;
    for (uint32_t at = node->hypotheses; at != 0; at = cube_node_hyp(node, at)->next) ++n;
    return n;
}

}  // namespace

TEST(CubeSurface, CrowdedNodeReadsBackThroughTheGridFileReaders) {
    TempDir dir;
    const NORVAUString path = smallSurface(dir);
    FILE* quiet = std::fopen("/dev/null", "w");
    cube_set_error_stream(quiet);
    {
        KIVOSurfaceCUBEIO s(path);
        long status = 0;
        Entry e = s.getGrid(s.makeKey(0, 0), status, true, true);
        ASSERT_TRUE(e);
        crowd(cube_grid_get_node(e->grid, 1, 2), s.getCubeParameters(), 1005);
        e->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
    }
    {
        KIVOSurfaceCUBEIO s(path);
        long status = 0;
        Entry e = s.getGrid(s.makeKey(0, 0), status, false, true);
        ASSERT_TRUE(e) << status;
        EXPECT_EQ(1000u, hypothesesOf(cube_grid_get_node(e->grid, 1, 2)));
    }
    // The grid layer writes its own version of grid file.
    _cube_param* params = cube_init_param(0, 1.0, 1.0);
    const NORVAUString gridFile = dir.file("crowded.vcg");
    {
        CUBE::Grid grid(params, CUBE::Grid::Index(3, 2), NORVAnPoint<double, 2>(1.0, 1.0));
        crowd(cube_grid_get_node(grid.getGrid(), 1, 1), params, 1001);
        EXPECT_EQ(0, grid.save(&gridFile));
    }
    CUBE::Grid back(params);
    EXPECT_EQ(0, back.load(gridFile));
    ASSERT_NE(nullptr, back.getGrid());
    EXPECT_EQ(1000u, hypothesesOf(cube_grid_get_node(back.getGrid(), 1, 1)));
    std::free(params);
    cube_set_error_stream(nullptr);
    std::fclose(quiet);
}

TEST(CubeSurface, GridNeedIsChargedInFullForTheLargestTiles) {
    TempDir dir;
    const NORVAUString path = smallSurface(dir);
    // Queue length 3 makes a node's estimate 115 bytes; 115 x tile x tile
    // wraps 64 bits to about 233 MB for this tile.
    std::vector<uint8_t> bytes = cubetest::readAll(path);
    cubetest::putU32(bytes, 53, 2335341514u);
    cubetest::putU32(bytes, 65 + 4 * 20, 3);
    cubetest::writeAll(path, bytes);
    KIVOSurfaceCUBEIO s(path);
    ASSERT_EQ(0, s.getStatus());
    long status = 0;
    EXPECT_FALSE(s.getGrid(s.makeKey(0, 0), status, true, true));
    EXPECT_EQ(146030, status);
}

TEST(CubeSurface, HeldGridStaysTheCachedOneThroughFlushesByOtherSurfacesAndLayerReads) {
    TempDir dir;
    const NORVAUString pathA = smallSurface(dir, "a"), pathB = smallSurface(dir, "b");
    {
        KIVOSurfaceCUBEIO a(pathA), b(pathB);
        const uint64_t need = uint64_t(cube_node_estimate_size(1.5f, a.getCubeParameters())) * 25;
        // Two grids and a layer's worth less a few bytes.
        LimitGuard limit(2 * need + 50);
        long status = 0;
        Entry held = a.getGrid(a.makeKey(0, 0), status, true, true);
        ASSERT_TRUE(held);
        ASSERT_TRUE(a.getGrid(a.makeKey(0, 1), status, true, true));  // clean, not held: flushed away
        _cube_node* node = cube_grid_get_node(held->grid, 1, 2);
        ASSERT_EQ(1, cube_node_add_basic_hypothesis(node, 10.0f, 0.25f));
        held->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;

        edit(b, 0, 0, 1.0f);  // b's budget claim flushes a
        EXPECT_EQ(held.get(), a.getGrid(a.makeKey(0, 0), status, false, false).get());
        EXPECT_GE(a.getHeldBytes(), held->bytes);
        // A layer read on a flushes every cache when the budget is short.
        std::vector<uint8_t> layer = {0x89, 'N', 'O', 'R', 'V', 'A', 'V', 'C', 'C', '\r', '\n', 0x1A, '\n', 1, 0,
                                      0,    0,   0,   0,   0,   0,   5,   0,   0,   0,    5,    0,    0,    0};
        layer.resize(layer.size() + 100, 0);
        cubetest::writeAll(CUBEUtils::layerFileName(a.getGridPrefix(), "Depth", 0, 0), layer);
        const NORVAArray<double> lo = a.getMinimum(), hi = a.getMaximum();
        EXPECT_TRUE(a.query(lo[0], hi[1] - 4.0, lo[0] + 4.0, hi[1], false, status, nullptr, 0.0));
        a.flush();
        EXPECT_EQ(held.get(), a.getGrid(a.makeKey(0, 0), status, false, false).get());

        ASSERT_EQ(1, cube_node_add_basic_hypothesis(node, 20.0f, 0.25f));
        held->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
        EXPECT_EQ(0, a.close());
    }
    KIVOSurfaceCUBEIO reopened(pathA);
    EXPECT_EQ((std::vector<float>{10.0f, 20.0f}), depthsAt(reopened, 0, 0));
}

TEST(CubeSurface, EvictionLetsAnUnheldGridGoBeforeAHeldOne) {
    TempDir dir;
    KIVOSurfaceCUBEIO s(smallSurface(dir));
    long status = 0;
    Entry held = s.getGrid(s.makeKey(0, 0), status, true, true);
    ASSERT_TRUE(held);
    held->stamp = 1;  // the oldest by far
    for (uint16_t i = 1; i < 11; ++i) ASSERT_TRUE(s.getGrid(s.makeKey(i / 5, i % 5), status, true, true));
    EXPECT_EQ(held.get(), s.getGrid(s.makeKey(0, 0), status, false, false).get());
    EXPECT_EQ(10u, s.getHeldBytes() / held->bytes);
}

// Every position of the cover, its far edges and the tiles' seams included,
// has a node, whatever the cover's relation to the resolution.
TEST(CubeSurface, EveryPositionOfTheCoverHasANode) {
    struct Case {
        double x0, y0, width, height, resolution;
    } cases[] = {
        {0.0, 0.0, 9.7, 9.7, 1.0},
        {-3.3, -7.25, 9.7, 7.15, 0.5},
        {-1000.5, 20.1, 9.9, 4.9, 0.3},
        {500000.3, 5700000.0, 61.6, 40.7, 2.0},
    };
    constexpr uint32_t kTile = 4;
    for (const Case& c : cases) {
        TempDir dir;
        const NORVAUString path = dir.file("cover.vcs");
        ASSERT_EQ(0, cubetest::createStored(path, c.width, c.height, c.resolution, kTile, c.x0, c.y0));
        KIVOSurfaceCUBEIO s(path);
        ASSERT_EQ(0, s.getStatus());
        const double x1 = c.x0 + c.width, y1 = c.y0 + c.height;
        std::vector<std::pair<double, double>> positions = {
            {c.x0, c.y0}, {x1, c.y0}, {c.x0, y1}, {x1, y1}, {std::nextafter(x1, c.x0), std::nextafter(y1, c.y0)}};
        const double seam = kTile * static_cast<double>(static_cast<float>(c.resolution));
        for (double x = c.x0; x <= x1; x += seam) positions.emplace_back(x, y1 - (x - c.x0) * c.height / c.width);
        for (double y = y1; y >= c.y0; y -= seam) positions.emplace_back(c.x0 + (y1 - y) * c.width / c.height, y);
        for (int i = 0; i <= 40; ++i)
            positions.emplace_back(std::min(x1, c.x0 + c.width * i / 40.0), std::min(y1, c.y0 + c.height * (i % 7) / 6.0));
        for (const auto& p : positions) {
            long status = 0;
            EXPECT_NE(nullptr, s.getCubeNode(p.first, p.second, status, true))
                << c.x0 << " + " << c.width << " at " << p.first << ", " << p.second;
            EXPECT_EQ(0, status);
        }
        s.setModified(false);
    }
}

TEST(CubeSurface, ReaderProcessWritesNothingAndNeverUndoesAWritersStore) {
    TempDir dir;
    const NORVAUString path = smallSurface(dir);
    {
        KIVOSurfaceCUBEIO writer(path);
        for (uint16_t i = 0; i < kNodeGrids; ++i) edit(writer, i / 4, i % 4, 10.0f);
    }
    const auto before = snapshot(dir.path());
    int toReader[2], toWriter[2];
    ASSERT_EQ(0, pipe(toReader));
    ASSERT_EQ(0, pipe(toWriter));
    std::fflush(nullptr);
    const pid_t reader = fork();
    if (reader == 0) {
        _exit(readAllAndClose(path, 10.0f, [&] {
            char c = 0;
            if (write(toWriter[1], "r", 1) != 1 || read(toReader[0], &c, 1) != 1) _exit(101);
        }));
    }
    ASSERT_GT(reader, 0);
    char c = 0;
    ASSERT_EQ(1, read(toWriter[0], &c, 1));
    {
        KIVOSurfaceCUBEIO writer(path);  // stores while the reader holds every grid it read
        edit(writer, 0, 0, 20.0f);
        EXPECT_EQ(0, writer.close());
    }
    const NORVAUString stored = CUBEUtils::gridFileName(dir.file("s1/s1"), 0, 0);
    const std::vector<uint8_t> storedBytes = cubetest::readAll(stored);
    ASSERT_EQ(1, write(toReader[1], "w", 1));
    int status = 0;
    ASSERT_EQ(reader, waitpid(reader, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    for (int fd : {toReader[0], toReader[1], toWriter[0], toWriter[1]}) close(fd);

    auto after = snapshot(dir.path());
    EXPECT_EQ(storedBytes, after[stored.toUTF8()]);
    after[stored.toUTF8()] = before.at(stored.toUTF8());
    EXPECT_TRUE(before == after);  // no other byte changed, no file came or went
    KIVOSurfaceCUBEIO reopened(path);
    EXPECT_EQ((std::vector<float>{10.0f, 20.0f}), depthsAt(reopened, 0, 0));
}

TEST(CubeSurface, ReaderOnAReadOnlyFolderClosesWithSuccess) {
    TempDir dir;
    const NORVAUString path = smallSurface(dir);
    {
        KIVOSurfaceCUBEIO writer(path);
        for (uint16_t i = 0; i < kNodeGrids; ++i) edit(writer, i / 4, i % 4, 10.0f);
    }
    const auto before = snapshot(dir.path());
    const std::string folder = dir.path().toUTF8(), grids = dir.file("s1").toUTF8();
    for (const auto& file : before) ASSERT_EQ(0, chmod(file.first.c_str(), 0444));
    ASSERT_EQ(0, chmod(grids.c_str(), 0555));
    ASSERT_EQ(0, chmod(folder.c_str(), 0555));
    const int status = inChild([&] {
        // The superuser writes anywhere: read as nobody, as a reader would.
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 102;
        return readAllAndClose(path, 10.0f, [] {});
    });
    chmod(folder.c_str(), 0755);
    chmod(grids.c_str(), 0755);
    EXPECT_EQ(0, status);
    EXPECT_TRUE(before == snapshot(dir.path()));
}

TEST(CubeSurface, LoadedGridIsChargedWhatItHoldsInMemory) {
    TempDir dir;
    const NORVAUString path = smallSurface(dir);
    {
        KIVOSurfaceCUBEIO writer(path);
        long status = 0;
        for (uint16_t column = 0; column < 3; ++column) {
            Entry e = writer.getGrid(writer.makeKey(0, column), status, true, true);
            ASSERT_TRUE(e) << status;
            for (uint32_t i = 0; i < 25; ++i) {
                _cube_node* node = cube_grid_get_node(e->grid, i / 5, i % 5);
                for (int h = 0; h < 3; ++h) cube_node_add_basic_hypothesis(node, 10.0f + h, 0.25f);
                ASSERT_EQ(1, cube_node_new_queue(node, writer.getCubeParameters(), 0));
                node->queue[0] = {1.0f, 2.0f, 3.0f, 4.0f};
                node->queue_count = 1;
            }
            e->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
        }
    }
    KIVOSurfaceCUBEIO s(path);
    long status = 0;
    const auto heapInUse = [] {
        const struct mallinfo2 info = mallinfo2();
        return info.uordblks + info.hblkhd;
    };
    [[maybe_unused]] const size_t heapBefore = heapInUse();
    Entry first = s.getGrid(s.makeKey(0, 0), status, false, true);
    [[maybe_unused]] const size_t heapAfter = heapInUse();
    ASSERT_TRUE(first) << status;
    uint64_t fileBytes = 0;
    ASSERT_TRUE(NORVAFileUtils::fileSize(CUBEUtils::gridFileName(s.getGridPrefix(), 0, 0), fileBytes));
    const uint64_t resident = first->residentBytes(s.getCubeParameters());
    EXPECT_GT(resident, 4 * fileBytes);
    EXPECT_EQ(resident, first->bytes);
#if !defined(__SANITIZE_ADDRESS__)
    // The model of the heap's blocks meets what the heap reports, within the
    // cache's own bookkeeping.
    EXPECT_NEAR(double(resident), double(heapAfter - heapBefore), 2048.0);
#endif
    first.reset();
    // Room for two loaded grids: the third load lets the oldest go.
    LimitGuard limit(2 * resident + resident / 2);
    for (uint16_t column = 1; column < 3; ++column) {
        ASSERT_TRUE(s.getGrid(s.makeKey(0, column), status, false, true)) << status;
        EXPECT_LE(s.getHeldBytes(), 2 * resident + resident / 2);
    }
    EXPECT_EQ(2 * resident, s.getHeldBytes());
}

// A CUBE node holds hypotheses, not attribute values: a generic edit is
// refused, directly and through the surface, and leaves the files as they were.
TEST(CubeSurface, AGenericNodeEditIsRefused) {
    TempDir dir;
    const NORVAUString path = smallSurface(dir);
    const auto before = snapshot(dir.path());
    long status = -7;
    NORVAType<KIVOSurface> surface = KIVOSurfaceUtils::open(path, status);
    ASSERT_EQ(0, status);
    const KIVODescriptor& d = surface->getAttributeInfo()->getDescriptor();
    KIVOMemAttributeSet node(d);
    node.setValue(0, 12.5);
    EXPECT_EQ(-1, surface->set(3.0, 4.0, node, d, 1.0));
    KIVOSurfaceCUBEIO io(path);
    EXPECT_EQ(-1, io.set(3.0, 4.0, node, d, 1.0));
    surface.reset();
    EXPECT_EQ(before, snapshot(dir.path()));
}

// Another object's renames bring the surface back under its name: an
// object that read it before finds it changed, for a rename and a store
// alike, and the surface stays whole.
TEST(CubeSurface, AnObjectOvertakenByARenameRoundTripIsRefused) {
    TempDir dir;
    const NORVAUString path = smallSurface(dir);
    hostEdit(path);
    for (const bool renaming : {true, false}) {
        SCOPED_TRACE(renaming ? "rename" : "store");
        KIVOSurfaceCUBEIO stale(path);
        if (!renaming) edit(stale, 0, 0, 5.0f);
        ASSERT_EQ(0, KIVOSurfaceCUBEIO(path).rename("away"));
        ASSERT_EQ(0, KIVOSurfaceCUBEIO(dir.file("away.vcs")).rename("s1"));
        EXPECT_EQ(NORVASurfacePin::kChanged, renaming ? stale.rename("other") : stale.store(nullptr));
        EXPECT_EQ(kHostDepth, hostDepth(path));
        EXPECT_EQ((std::vector<NORVAUString>{"s1.vcs", "s1.xml", "s1_V2"}), [&] {
            std::vector<NORVAUString> names = namesIn(dir.path());
            std::sort(names.begin(), names.end());
            return names;
        }());
    }
}

// A folder named like the grid set's that holds no set is someone else's,
// empty or not: neither a new surface's first store nor a delete takes it.
TEST(CubeSurface, AFolderNamedLikeTheSetWithoutOneStays) {
    TempDir dir;
    ASSERT_TRUE(NORVAFileUtils::makeDirectory(dir.file("s1_V2")));
    const NORVAUString path = smallSurface(dir);
    EXPECT_TRUE(NORVAFileUtils::isDirectory(dir.file("s1_V2")));
    EXPECT_EQ(0, KIVOSurfaceCUBEIO(path).deleteAllFiles(true));
    EXPECT_TRUE(NORVAFileUtils::isDirectory(dir.file("s1_V2")));
}
