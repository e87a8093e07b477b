// Stores, renames and deletions of surfaces made of several files, while one
// write, flush, sync, rename or removal after another fails: the call
// reports the failure or leaves the new state, and once the surface's stems
// are recovered (as the next open does) the files are all old or all new,
// with no temporary or journal left.
#include <gtest/gtest.h>

#include <cfloat>
#include <functional>
#include <string>
#include <vector>

#include "CompoundTestSupport.h"
#include "FolderSnapshot.h"
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

struct Scenario {
    const char* name;
    std::function<long(const TempFolder&)> setUp;      // the old state
    std::function<long(const TempFolder&)> operation;  // 0 when the new state is made
    std::vector<const char*> stems;                    // recovered afterwards
};

std::vector<Scenario> scenarios() {
    const auto gridded = [](const TempFolder& d) { return storeGridded(d, false, 5.0); };
    const auto compound = [](const TempFolder& d) { return storeCompound(d); };
    const auto wgrid = [](const TempFolder& d) {
        wgridtest::writeSurface(d.file("w").toUTF8(), wgridtest::GridSpec());
        return 0L;
    };
    return {
        {"gridded store with a new attribute set", gridded,
         [](const TempFolder& d) { return storeGridded(d, true, 7.0); }, {"g"}},
        {"gridded rename", gridded,
         [](const TempFolder& d) {
             KIVOGriddedDataIO grid(d.file("g.vns"));
             return grid.getStatus() != 0 ? grid.getStatus() : grid.rename("h");
         },
         {"g", "h"}},
        {"gridded delete", gridded,
         [](const TempFolder& d) {
             KIVOGriddedDataIO grid(d.file("g.vns"));
             return grid.getStatus() != 0 ? grid.getStatus() : grid.deleteAllFiles(true);
         },
         {"g"}},
        {"compound store", compound,
         [](const TempFolder& d) {
             KIVOCompoundIO c(d.file("c.kms"));
             if (c.getStatus() != 0) return c.getStatus();
             multirestest::setDepth(c, 2.0, 2.0, 25.0, DBL_MAX);
             c.getMetaData()->setSourceRecord(recordOf("line 9"));
             return c.store(nullptr);
         },
         {"c"}},
        {"compound rename", compound,
         [](const TempFolder& d) {
             KIVOCompoundIO c(d.file("c.kms"));
             return c.getStatus() != 0 ? c.getStatus() : c.rename("d");
         },
         {"c", "d"}},
        {"weighted-grid rename", wgrid,
         [](const TempFolder& d) {
             KIVOWGridDataIO w(d.file("w.def"), "Depth");
             return w.getStatus() != 0 ? w.getStatus() : w.rename("v");
         },
         {"w", "v"}},
    };
}

::testing::AssertionResult oldOrNew(const Snapshot& now, const Snapshot& before, const Snapshot& after) {
    if (now == before || now == after) return ::testing::AssertionSuccess();
    auto result = ::testing::AssertionFailure() << "neither old nor new:";
    for (const auto& file : now) result << " " << file.first;
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
                for (const char* stem : scenario.stems) {
                    EXPECT_TRUE(NORVAFileTransaction::recover(dir.file(stem)));
                    EXPECT_TRUE(NORVAFileTransaction::leftovers(dir.file(stem)).empty());
                }
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
