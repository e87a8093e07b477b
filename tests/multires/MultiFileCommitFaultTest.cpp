// Stores, renames and deletions of surfaces made of several files, while one
// write, flush, sync, rename or removal after another fails: the call
// reports the failure or leaves the new state, and once the surface's stems
// are recovered (as the next open does) the files are all old or all new,
// with no temporary or journal left.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cfloat>
#include <functional>
#include <string>
#include <vector>

#include "CompoundTestSupport.h"
#include "FolderSnapshot.h"
#include "cube/CubeTestSupport.h"
#include "QuietOutput.h"
#include "formats/wgrid/KIVOWGridDataIO.h"
#include "formats/wgrid/WGridTestSupport.h"
#include "platform/core/NORVAAtomicFile.h"
#include "platform/core/NORVAAtomicFileFaults.h"
#include "platform/core/NORVAFileTransaction.h"
#include "platform/frame/KIVOGriddedDataIO.h"

namespace faults = NORVAAtomicFileFaults;
using foldersnapshot::Snapshot;

namespace {

KIVOSourceRecord recordOf(const char* line) {
    KIVOSourceRecord record;
    record.items.push_back(KIVOSourceItem{NORVAUString("SurveyLine"), NORVAUString(line), 0.0});
    return record;
}

// A gridded surface "g" of 5 x 4 nodes; with `wide` a second attribute.
long storeGridded(const TempFolder& dir, bool wide, double depth) {
    std::vector<KIVODescriptor::AttribEntry> entries{KIVODescriptor::AttribEntry("Depth", KIVODataType::FLOAT)};
    if (wide) entries.emplace_back("Uncertainty", KIVODataType::FLOAT);
    auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(
        makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(KIVOMemDescriptor(entries))), dir.file("g.xml"));
    meta->setLowerLeft(0.0, 0.0);
    meta->setDimensions(4.0, 3.0);
    meta->setResolution(1.0);
    meta->setSourceRecord(recordOf(wide ? "wide" : "narrow"));
    KIVOGriddedDataIO grid(dir.file("g.vns"), std::move(meta));
    if (grid.getStatus() != 0) return grid.getStatus();
    for (uint64_t node = 0; node < grid.getNodeCount(); node += 3) grid.setNodeNumber(node, 0, depth);
    return grid.store(nullptr);
}

long storeCompound(const TempFolder& dir) {
    auto meta = multirestest::compoundMetaData(dir.file("c.xml"), multirestest::twoRanges());
    KIVOCompoundIO compound(dir.file("c.kms"), meta);
    multirestest::setDepth(compound, 1.0, 1.0, 15.0, DBL_MAX);
    return compound.getStatus() != 0 ? compound.getStatus() : compound.store(nullptr);
}

using Quiet = QuietOutput;

long storeCubeCompound(const TempFolder& dir) {
    Quiet quiet;
    auto compound = multirestest::cubeCompound(dir, "c");
    return !compound ? -1L : compound->getStatus() != 0 ? compound->getStatus() : compound->store(nullptr);
}

// New source records in the compound's and in a CUBE member's metadata,
// stored. (Grids edited through a member's edit cache reach their files
// whenever the cache lets them go, a store or not, so they are left out.)
long editCubeCompound(const TempFolder& dir) {
    Quiet quiet;
    KIVOCompoundIO c(dir.file("c.kms"));
    if (c.getStatus() != 0) return c.getStatus();
    c.getMetaData()->setSourceRecord(recordOf("line 10"));
    c.getEntries()[1].dataIO->getMetaData()->setSourceRecord(recordOf("line 11"));
    return c.store(nullptr);
}

// A CUBE surface of 11 grids of 5 x 5 nodes in a row, one more than the edit
// cache holds, every grid edited and stored: most of them leave the cache before
// the store. A failed store lets the edits go unwritten.
long storeCubeGrids(const TempFolder& dir, float depth, const char* line) {
    Quiet quiet;
    KIVOSurfaceCUBEIO s(dir.file("k.vcs"));
    if (s.getStatus() != 0) return s.getStatus();
    for (uint16_t i = 0; i < 11; ++i) {
        long status = 0;
        auto entry = s.getGrid(s.makeKey(0, i), status, true, true);
        if (!entry) {
            s.setModified(true);
            s.setModified(false);
            return status != 0 ? status : -1;
        }
        cube_grid_get_node(entry->grid, 1, 2)->guide_depth = depth;
        entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
    }
    s.getMetaData()->setSourceRecord(recordOf(line));
    const long status = s.store(nullptr);
    if (status != 0) {
        s.setModified(true);
        s.setModified(false);
    }
    return status;
}

struct Scenario {
    const char* name;
    std::function<long(const TempFolder&)> setUp;      // the old state
    std::function<long(const TempFolder&)> operation;  // 0 when the new state is made
    const char* extension;                             // of the file a user opens
    std::vector<const char*> stems;                    // old name, then new name
};

std::vector<Scenario> scenarios() {
    const auto gridded = [](const TempFolder& d) { return storeGridded(d, false, 5.0); };
    const auto compound = [](const TempFolder& d) { return storeCompound(d); };
    const auto wgrid = [](const TempFolder& d) {
        wgridtest::writeSurface(d.file("w").toUTF8(), wgridtest::GridShape());
        return 0L;
    };
    return {
        {"gridded store with a new attribute set", gridded,
         [](const TempFolder& d) { return storeGridded(d, true, 7.0); }, ".vns", {"g"}},
        {"gridded rename", gridded,
         [](const TempFolder& d) {
             KIVOGriddedDataIO grid(d.file("g.vns"));
             return grid.getStatus() != 0 ? grid.getStatus() : grid.rename("h");
         },
         ".vns", {"g", "h"}},
        {"gridded delete", gridded,
         [](const TempFolder& d) {
             KIVOGriddedDataIO grid(d.file("g.vns"));
             return grid.getStatus() != 0 ? grid.getStatus() : grid.deleteAllFiles(true);
         },
         ".vns", {"g"}},
        {"compound store", compound,
         [](const TempFolder& d) {
             KIVOCompoundIO c(d.file("c.kms"));
             if (c.getStatus() != 0) return c.getStatus();
             multirestest::setDepth(c, 2.0, 2.0, 25.0, DBL_MAX);
             c.getMetaData()->setSourceRecord(recordOf("line 9"));
             return c.store(nullptr);
         },
         ".kms", {"c"}},
        {"compound rename", compound,
         [](const TempFolder& d) {
             KIVOCompoundIO c(d.file("c.kms"));
             return c.getStatus() != 0 ? c.getStatus() : c.rename("d");
         },
         ".kms", {"c", "d"}},
        {"compound of CUBE members store", storeCubeCompound, editCubeCompound, ".kms", {"c"}},
        {"compound of CUBE members rename", storeCubeCompound,
         [](const TempFolder& d) {
             Quiet quiet;
             KIVOCompoundIO c(d.file("c.kms"));
             return c.getStatus() != 0 ? c.getStatus() : c.rename("d");
         },
         ".kms", {"c", "d"}},
        {"CUBE store of more grids than the edit cache holds",
         [](const TempFolder& d) {
             const long created = cubetest::createStored(d.file("k.vcs"), 54.0, 4.0, 1.0, 5);
             return created != 0 ? created : storeCubeGrids(d, 1.0f, "line 1");
         },
         [](const TempFolder& d) { return storeCubeGrids(d, 2.0f, "line 2"); }, ".vcs", {"k"}},
        {"weighted-grid rename", wgrid,
         [](const TempFolder& d) {
             KIVOWGridDataIO w(d.file("w.def"), "Depth");
             return w.getStatus() != 0 ? w.getStatus() : w.rename("v");
         },
         ".def", {"w", "v"}},
    };
}

// Room for only `bytes` more: either files may grow to that size
// (RLIMIT_FSIZE), or, when KIVO_FULL_DISK_DIR names a small file system the
// test runs on (scripts/full-disk-test.sh), a filler leaves that much free.
class DiskLimit {
public:
    DiskLimit(const std::string& root, uint64_t bytes) {
        if (std::getenv("KIVO_FULL_DISK_DIR")) {
            m_filler = root + "/../filler-" + std::to_string(::getpid());
            struct statvfs fs;
            if (::statvfs(root.c_str(), &fs) != 0) return;
            const uint64_t free = static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
            const int fd = ::open(m_filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd >= 0 && free > bytes) (void)::posix_fallocate(fd, 0, static_cast<off_t>(free - bytes));
            if (fd >= 0) ::close(fd);
            return;
        }
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~DiskLimit() {
        if (!m_filler.empty())
            ::unlink(m_filler.c_str());
        else
            ::setrlimit(RLIMIT_FSIZE, &m_old);
    }

private:
    std::string m_filler;
    rlimit m_old{};
};

// What a user's next open does: recovers the surface under its old name,
// and when that name is gone (a rename was finished), under the new one.
void reopen(const TempFolder& dir, const Scenario& scenario) {
    for (const char* stem : scenario.stems) {
        EXPECT_TRUE(NORVAFileTransaction::recover(dir.file(stem)));
        if (NORVAFileUtils::exists(dir.file(stem) + scenario.extension)) return;
    }
}

// Without empty folders: a folder made for files that never came (a CUBE
// member's grid folder) holds no content of either state.
Snapshot content(const Snapshot& s) {
    Snapshot out;
    for (const auto& [name, bytes] : s) {
        const auto next = s.upper_bound(name);
        const bool empty = bytes == foldersnapshot::kFolder &&
                           (next == s.end() || next->first.compare(0, name.size() + 1, name + "/") != 0);
        if (!empty) out[name] = bytes;
    }
    return out;
}

::testing::AssertionResult oldOrNew(const Snapshot& now, const Snapshot& before, const Snapshot& after) {
    if (content(now) == content(before) || content(now) == content(after)) return ::testing::AssertionSuccess();
    auto result = ::testing::AssertionFailure() << "neither old nor new:";
    for (const auto& file : now) {
        const auto old = before.find(file.first), fresh = after.find(file.first);
        const bool isOld = old != before.end() && old->second == file.second;
        const bool isNew = fresh != after.end() && fresh->second == file.second;
        result << " " << file.first << (isOld && isNew ? "" : isOld ? "(old)" : isNew ? "(new)" : "(other)");
    }
    return result;
}

}  // namespace

TEST(MultiFileCommitFaults, EveryFailedStepLeavesTheSurfaceOldOrNew) {
    for (const Scenario& scenario : scenarios()) {
        SCOPED_TRACE(scenario.name);
        TempFolder dir;
        const std::string root = dir.path().toUTF8();
        ASSERT_EQ(0, scenario.setUp(dir));
        const Snapshot before = foldersnapshot::take(root);
        ASSERT_EQ(0, scenario.operation(dir));
        const Snapshot after = foldersnapshot::take(root);
        ASSERT_NE(before, after);
        unsigned failedCalls = 0, injected = 0;
        for (int s = 0; s < faults::STEP_COUNT; ++s) {
            for (unsigned n = 1;; ++n) {
                SCOPED_TRACE("step " + std::to_string(s) + " #" + std::to_string(n));
                foldersnapshot::restore(root, before);
                faults::failNth(static_cast<faults::Step>(s), n);
                const long status = scenario.operation(dir);
                const bool fired = faults::fired();
                faults::clear();
                if (!fired) break;
                ++injected;
                failedCalls += status != 0;
                if (status == 0) {
                    EXPECT_EQ(after, foldersnapshot::take(root));
                }
                reopen(dir, scenario);
                EXPECT_TRUE(oldOrNew(foldersnapshot::take(root), before, after));
                if (::testing::Test::HasFailure()) return;
            }
        }
        EXPECT_GT(failedCalls, 3u);  // the sweep did reach the files
        std::printf("fault sweep, %s: %u faults injected, %u reported, all old or new\n", scenario.name, injected,
                    failedCalls);
    }
}

// Temporaries and a journal a crash left beside a surface and in its member
// folder: deleting the surface removes them, and says so when it cannot.
TEST(MultiFileCommitFaults, DeleteRemovesWhatACrashLeftAndReportsWhatRemains) {
    TempFolder dir;
    ASSERT_EQ(0, storeCompound(dir));
    const std::string root = dir.path().toUTF8();
    for (const char* leftover : {".c.kms.tmp-aaaaaa", "c/.c_0.vns.tmp-bbbbbb", "..c.journal.tmp-cccccc"})
        testsupport::writeFile(root + "/" + leftover, "left by a crash");
    {
        KIVOCompoundIO c(dir.file("c.kms"));
        ASSERT_EQ(0, c.getStatus());
        EXPECT_TRUE(NORVAFileTransaction::leftovers(dir.file("c")).empty());  // opening cleaned them
        testsupport::writeFile(root + "/.c.xml.tmp-dddddd", "left by a crash");
        EXPECT_EQ(0, c.deleteAllFiles(true));
    }
    EXPECT_TRUE(foldersnapshot::take(root).empty());

    ASSERT_EQ(0, storeGridded(dir, false, 5.0));
    KIVOGriddedDataIO grid(dir.file("g.vns"));
    ASSERT_EQ(0, grid.getStatus());
    NORVAAtomicFile held(dir.file("g.xml"));  // a live writer's temporary stays
    ASSERT_TRUE(held.isOpen());
    EXPECT_NE(0, grid.deleteAllFiles(true));
    held.discard();
    EXPECT_TRUE(foldersnapshot::take(root).empty());
}

// The process dies at each step in turn (a forked child ends there, as if
// killed): recovering the stems gives the old or the new surface.
TEST(MultiFileCommitFaults, DeathAtEveryStepLeavesTheSurfaceOldOrNew) {
    for (const Scenario& scenario : scenarios()) {
        SCOPED_TRACE(scenario.name);
        TempFolder dir;
        const std::string root = dir.path().toUTF8();
        ASSERT_EQ(0, scenario.setUp(dir));
        const Snapshot before = foldersnapshot::take(root);
        ASSERT_EQ(0, scenario.operation(dir));
        const Snapshot after = foldersnapshot::take(root);
        unsigned deaths = 0;
        for (int s = 0; s < faults::STEP_COUNT; ++s) {
            for (unsigned n = 1;; ++n) {
                SCOPED_TRACE("step " + std::to_string(s) + " #" + std::to_string(n));
                foldersnapshot::restore(root, before);
                const pid_t child = ::fork();
                ASSERT_GE(child, 0);
                if (child == 0) {
                    faults::exitAtNth(static_cast<faults::Step>(s), n);
                    ::_exit(scenario.operation(dir) == 0 ? 0 : 1);
                }
                int status = 0;
                ASSERT_EQ(child, ::waitpid(child, &status, 0));
                const bool died = WIFEXITED(status) && WEXITSTATUS(status) == faults::kExitCode;
                deaths += died;
                reopen(dir, scenario);
                EXPECT_TRUE(oldOrNew(foldersnapshot::take(root), before, after));
                if (!died || ::testing::Test::HasFailure()) break;
            }
        }
        EXPECT_GT(deaths, 3u);
        std::printf("death at every step, %s: %u deaths, all old or new\n", scenario.name, deaths);
    }
}

// A full disk at several sizes of room left: every operation reports the
// failure or makes the new state, and the surface is old or new.
TEST(MultiFileCommitFaults, FullDiskReportsFailureAndKeepsOldFiles) {
    const uint64_t rooms[] = {0, 512, 1024, 2048, 4096, 65536};
    for (const Scenario& scenario : scenarios()) {
        SCOPED_TRACE(scenario.name);
        TempFolder dir;
        const std::string root = dir.path().toUTF8();
        ASSERT_EQ(0, scenario.setUp(dir));
        const Snapshot before = foldersnapshot::take(root);
        ASSERT_EQ(0, scenario.operation(dir));
        const Snapshot after = foldersnapshot::take(root);
        unsigned reported = 0;
        for (const uint64_t room : rooms) {
            SCOPED_TRACE(room);
            foldersnapshot::restore(root, before);
            long status = 0;
            {
                DiskLimit limit(root, room);
                status = scenario.operation(dir);
            }
            reported += status != 0;
            if (status == 0) {
                EXPECT_EQ(after, foldersnapshot::take(root));
            }
            reopen(dir, scenario);
            const Snapshot now = foldersnapshot::take(root);
            EXPECT_TRUE(oldOrNew(now, before, after));
            if (status != 0) {
                EXPECT_EQ(content(before), content(now));  // a failure changes nothing
            }
        }
        std::printf("full disk, %s: %u of %zu rooms reported a failure, old files intact\n", scenario.name, reported,
                    sizeof rooms / sizeof rooms[0]);
    }
}
