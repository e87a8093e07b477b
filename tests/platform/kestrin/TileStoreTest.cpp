#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "KestrinTestSupport.h"
#include "TempFolder.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/kestrin/KestrinStatus.h"
#include "platform/kestrin/NORVAKestrinCellDataIO.h"
#include "platform/kestrin/NORVAKestrinTileDataIO.h"

namespace {

using namespace kestrintest;

std::unique_ptr<NORVAKestrinTileStore> openStore(const NORVAUString& path, int mode) {
    NORVAType<NORVAKestrinDataIO> io(new NORVAKestrinTileDataIO(path, mode));
    return std::make_unique<NORVAKestrinTileStore>(io);
}

std::vector<std::pair<double, double>> grid(int n, double spacing) {
    std::vector<std::pair<double, double>> at;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) at.emplace_back(10.0 + i * spacing, 10.0 + j * spacing);
    return at;
}

TEST(KestrinTileStore, StoredPointsComeBackWithTheirRecordsAndLayout) {
    TempFolder dir;
    const NORVAUString path = dir.file("s.kps");
    {
        NORVAKestrinTileStore store(config(), false, true);
        ASSERT_EQ(0, store.getStatus());
        ASSERT_EQ(0, addGrid(store, grid(3, 1.0)));
        ASSERT_EQ(0, store.store(path));
    }
    std::vector<NORVAUString> files;
    NORVAFileUtils::listDirectory(dir.path(), files);
    EXPECT_EQ((std::vector<NORVAUString>{"s.kps", "s.ktf"}), files);  // nothing else beside the surface

    auto store = openStore(path, NORVAKestrinDataIO::READ);
    ASSERT_EQ(0, store->getStatus());
    EXPECT_TRUE(*store->getPointDataConfig() == config());
    NORVAKestrinDataIO& io = *store->getDataIO(0);
    EXPECT_EQ(nullptr, store->getDataIO(1));
    EXPECT_EQ(9, io.getNumRecords());
    const auto all = pointsIn(io, box(0, 0, 100, 100));
    ASSERT_EQ(9u, all.size());
    EXPECT_EQ(10.0, all[0].getX());
    EXPECT_EQ(10.0 + 10.0 / 1000.0, all[0].getData().getAttributeAsDouble(0));
    EXPECT_EQ(0.0, all[0].getData().getAttributeAsDouble(1));
    EXPECT_EQ(10.01, io.getMinAttValue(0));
    EXPECT_EQ(12.012, io.getMaxAttValue(0));
    long status = -5;
    auto cs = NORVAKestrinDataIO::getCoordSystem(io, status);
    ASSERT_EQ(0, status);
    EXPECT_TRUE(cs->isEqual(NORVACoordSystem("EPSG:32631")));
}

TEST(KestrinTileStore, QueriesSelectByBoxEdgesAndByHalfTheResolution) {
    NORVAKestrinTileStore store(config(2.0), false, true);
    ASSERT_EQ(0, addGrid(store, grid(5, 2.0)));  // 10, 12, ..., 18
    NORVAKestrinDataIO& io = *store.getDataIO(0);
    struct Row {
        NORVAKestrinQuery query;
        size_t expected;
    };
    const Row rows[] = {
        {box(10, 10, 18, 18), 25},
        {box(12, 12, 14, 14), 4},                               // edges count
        {box(12.0001, 12.0001, 13.9999, 13.9999), 0},
        {NORVAKestrinQuery(NORVAArray<double>{13.0, 13.0}), 4},  // reaches 12 and 14 exactly
        {NORVAKestrinQuery(NORVAArray<double>{12.9, 12.0}), 1},
        {NORVAKestrinQuery(NORVAArray<double>{50.0, 50.0}), 0},
        {box(std::nan(""), 0, 100, 100), 0},
        // Boxes over very many or endless row bands of the index.
        {box(-1e300, -1e300, 1e300, 1e300), 25},
        {box(-HUGE_VAL, 13.0, HUGE_VAL, HUGE_VAL), 15},
        {box(11, -1e6, 11.5, 1e6), 0},
        {box(18, 18, 10, 10), 0},
    };
    for (const Row& r : rows) EXPECT_EQ(r.expected, pointsIn(io, r.query).size());
}

TEST(KestrinTileStore, IteratorsKeepTheirSnapshotWhilePointsAreAdded) {
    NORVAKestrinTileStore store(config(), false, true);
    ASSERT_EQ(0, addGrid(store, grid(2, 1.0)));
    auto it = store.getDataIO(0)->createPointIterator(box(0, 0, 100, 100), -1);
    ASSERT_EQ(0, addGrid(store, grid(4, 1.0)));
    size_t seen = 0;
    for (; !it->isAtEnd(); it->advance()) ++seen;
    EXPECT_EQ(4u, seen);
    it->reset();
    EXPECT_FALSE(it->isAtEnd());
    EXPECT_EQ(20, store.getDataIO(0)->getNumRecords());
}

TEST(KestrinTileStore, IteratorsServeEditsMadeAfterTheyStarted) {
    NORVAKestrinTileStore store(config(), false, true);
    ASSERT_EQ(0, addGrid(store, grid(2, 1.0)));
    NORVAKestrinDataIO& io = *store.getDataIO(0);
    const NORVAKestrinPoint last = pointsIn(io, box(0, 0, 100, 100)).back();
    auto it = io.createPointIterator(box(0, 0, 100, 100), -1);
    NORVAKestrinGenericDataObject r = last.getData();
    r.setAttribute(0, -99.0, true);
    ASSERT_EQ(0, store.modifyPoint(last, r));
    while (it->current().getKestrinPoint().getId() != last.getId()) it->advance();
    EXPECT_EQ(-99.0, it->current().getKestrinPoint().getData().getAttributeAsDouble(0));
}

// Batches of every size around the rows written per statement: each point
// gets the id of its own row.
TEST(KestrinTileStore, EveryPointOfABatchGetsTheIdOfItsRow) {
    NORVAKestrinTileStore store(config(), false, true);
    ASSERT_EQ(0, addGrid(store, grid(2, 1.0)));
    NORVAKestrinDataIO& io = *store.getDataIO(0);
    for (size_t n : {1u, 31u, 32u, 33u, 100u}) {
        SCOPED_TRACE(n);
        NORVAKestrinPointCollection batch;
        batch.setSize(n);
        for (size_t i = 0; i < n; ++i)
            batch.setPoint(i, NORVAArray<double>{double(i % 50), n + i / 50.0}, record(io, double(i), 0), 0);
        ASSERT_EQ(0, store.addPoints(batch, true, 0, 0));
        for (size_t i = 0; i < n; ++i) {
            NORVAKestrinPoint loaded;
            ASSERT_EQ(0, io.loadPoint(batch.getPoint(i)->getId(), loaded));
            EXPECT_EQ(batch.getPoint(i)->getX(), loaded.getX());
            EXPECT_EQ(batch.getPoint(i)->getY(), loaded.getY());
            EXPECT_EQ(double(i), loaded.getData().getAttributeAsDouble(0));
        }
    }
}

// Points read one after another by id serve every edit made meanwhile,
// whether the point was read before or not.
TEST(KestrinTileStore, PointsReadInIdOrderServeEditsMadeMeanwhile) {
    NORVAKestrinTileStore store(config(), false, true);
    ASSERT_EQ(0, addGrid(store, grid(10, 1.0)));
    NORVAKestrinDataIO& io = *store.getDataIO(0);
    const std::vector<NORVAKestrinPoint> stored = pointsIn(io, box(0, 0, 100, 100));
    ASSERT_EQ(100u, stored.size());
    std::vector<double> expected;
    for (const NORVAKestrinPoint& p : stored) expected.push_back(p.getData().getAttributeAsDouble(0));
    for (int pass = 0; pass < 2; ++pass)
        for (size_t i = 0; i < stored.size(); ++i) {
            NORVAKestrinPoint p;
            ASSERT_EQ(0, io.loadPoint(stored[i].getId(), p));
            EXPECT_EQ(expected[i], p.getData().getAttributeAsDouble(0)) << "pass " << pass << ", point " << i;
            // The next point, already read ahead, changes before it is asked for.
            const size_t next = (i + 1) % stored.size();
            expected[next] = -1.0 - double(next) - 1000.0 * pass;
            NORVAKestrinGenericDataObject r = stored[next].getData();
            r.setAttribute(0, expected[next], true);
            ASSERT_EQ(0, store.modifyPoint(stored[next], r));
        }
}

// An edit of several fields writes those fields, and leaves a field another
// holder of the point changed since it was read.
TEST(KestrinTileStore, AnEditOfSeveralFieldsWritesOnlyThose) {
    NORVAKestrinTileStore store(config(), false, true);
    ASSERT_EQ(0, addGrid(store, grid(1, 1.0)));
    NORVAKestrinDataIO& io = *store.getDataIO(0);
    const NORVAKestrinPoint p = pointsIn(io, box(0, 0, 100, 100)).at(0);
    NORVAKestrinGenericDataObject other = p.getData();
    other.setAttribute(1, 7.0, true);
    ASSERT_EQ(0, store.modifyPoint(p, other));
    NORVAKestrinGenericDataObject mine = p.getData();
    mine.setAttribute(0, -3.0, true);
    mine.setAttribute(2, 9.0, true);
    mine.setAttribute(3, NORVAUString("edited"), true);
    ASSERT_EQ(0, store.modifyPoint(p, mine));
    const NORVAKestrinGenericDataObject held = pointsIn(io, box(0, 0, 100, 100)).at(0).getData();
    EXPECT_EQ(-3.0, held.getAttributeAsDouble(0));
    EXPECT_EQ(7.0, held.getAttributeAsDouble(1));
    EXPECT_EQ(9.0, held.getAttributeAsDouble(2));
    EXPECT_EQ("edited", held.getAttributeText(3, 0));
}

TEST(KestrinTileStore, AFailedBatchAddsNothing) {
    NORVAKestrinTileStore store(config(), false, true);
    std::vector<std::pair<double, double>> at = grid(2, 1.0);
    at.emplace_back(std::nan(""), 1.0);
    EXPECT_EQ(KestrinStatus::BAD_ARGUMENT, addGrid(store, at));
    EXPECT_EQ(0, store.getDataIO(0)->getNumRecords());
}

TEST(KestrinTileStore, EditsReachTheFileOnlyWhenStored) {
    TempFolder dir;
    const NORVAUString path = dir.file("s.kps");
    {
        NORVAKestrinTileStore store(config(), false, true);
        ASSERT_EQ(0, addGrid(store, grid(2, 1.0)));
        ASSERT_EQ(0, store.store(path));
    }
    auto edit = [&](double depth, bool storeIt) {
        auto store = openStore(path, NORVAKestrinDataIO::UPDATE);
        ASSERT_EQ(0, store->getStatus());
        for (const NORVAKestrinPoint& p : pointsIn(*store->getDataIO(0), box(0, 0, 100, 100))) {
            NORVAKestrinGenericDataObject r = p.getData();
            r.setAttribute(0, depth, true);
            ASSERT_EQ(0, store->modifyPoint(p, r));
        }
        // Seen by the store at once.
        EXPECT_EQ(depth, store->getDataIO(0)->getMaxAttValue(0));
        if (storeIt) {
            EXPECT_EQ(0, store->store(path));
        }
    };
    edit(5.0, true);
    edit(7.0, false);
    auto store = openStore(path, NORVAKestrinDataIO::READ);
    EXPECT_EQ(5.0, store->getDataIO(0)->getMaxAttValue(0));
    std::vector<NORVAUString> files;
    NORVAFileUtils::listDirectory(dir.path(), files);
    EXPECT_EQ(2u, files.size());
}

TEST(KestrinTileStore, ReadOnlyStoresRefuseEditsAndBatches) {
    TempFolder dir;
    const NORVAUString path = dir.file("s.kps");
    {
        NORVAKestrinTileStore store(config(), false, true);
        ASSERT_EQ(0, addGrid(store, grid(1, 1.0)));
        ASSERT_EQ(0, store.store(path));
    }
    auto store = openStore(path, NORVAKestrinDataIO::READ);
    const NORVAKestrinPoint p = pointsIn(*store->getDataIO(0), box(0, 0, 100, 100)).at(0);
    EXPECT_EQ(KestrinStatus::WRITE_FAILED, store->modifyPoint(p, p.getData()));
    EXPECT_EQ(KestrinStatus::WRITE_FAILED, addGrid(*store, grid(1, 1.0)));
    EXPECT_EQ(0, addGrid(*store, {}));  // an empty batch writes nothing
    EXPECT_EQ(KestrinStatus::WRITE_FAILED, store->store(path));
    EXPECT_EQ(0, store->store(dir.file("copy.kps")));  // a copy elsewhere is fine
    // A record of another layout, or a point never stored, is refused outright.
    EXPECT_EQ(KestrinStatus::BAD_ARGUMENT, store->modifyPoint(NORVAKestrinPoint(), p.getData()));
    EXPECT_EQ(KestrinStatus::BAD_ARGUMENT, store->modifyPoint(p, NORVAKestrinGenericDataObject()));
}

TEST(KestrinTileStore, CellStoresAreReadOnlyAndHaveTheirOwnPointsFile) {
    TempFolder dir;
    const NORVAUString path = dir.file("c.KCS");
    {
        NORVAKestrinTileStore store(config(), false, true);
        ASSERT_EQ(0, addGrid(store, grid(2, 1.0)));
        ASSERT_EQ(0, store.store(path));
    }
    EXPECT_TRUE(NORVAFileUtils::exists(dir.file("c.kcf")));
    NORVAType<NORVAKestrinDataIO> io(new NORVAKestrinCellDataIO(path));
    NORVAKestrinTileStore store(io);
    ASSERT_EQ(0, store.getStatus());
    EXPECT_FALSE(store.getDataIO(0)->isWritable());
    EXPECT_EQ(4, store.getDataIO(0)->getNumRecords());
}

TEST(KestrinTileStore, MinimumAndMaximumLeaveEmptyValuesOut) {
    NORVAKestrinTileStore store(config(), false, true);
    NORVAKestrinDataIO& io = *store.getDataIO(0);
    EXPECT_EQ(DBL_MAX, io.getMinAttValue(0));  // nothing stored yet
    NORVAKestrinPointCollection batch;
    batch.setSize(3);
    NORVAKestrinGenericDataObject empty(io.getLayout());
    empty.setEmptyValues();
    batch.setPoint(0, NORVAArray<double>{1, 1}, empty, 0);
    batch.setPoint(1, NORVAArray<double>{2, 2}, record(io, -3.0, 4), 0);
    batch.setPoint(2, NORVAArray<double>{3, 3}, record(io, 9.0, -2), 0);
    ASSERT_EQ(0, store.addPoints(batch, true, 0, 0));
    EXPECT_GT(batch.getPoint(2)->getId(), batch.getPoint(1)->getId());
    EXPECT_EQ(-3.0, io.getMinAttValue(0));
    EXPECT_EQ(9.0, io.getMaxAttValue(0));
    EXPECT_EQ(-2.0, io.getMinAttValue(1));
    EXPECT_EQ(4.0, io.getMaxAttValue(1));
    EXPECT_EQ(65535.0, io.getMinAttValue(2));  // only empty values
    EXPECT_EQ(0.0, io.getMinAttValue(3));      // text has no range
}

TEST(KestrinTileStore, StoringOverAnUnwritableFolderKeepsTheOldFiles) {
    TempFolder dir;
    NORVAKestrinTileStore store(config(), false, true);
    EXPECT_EQ(KestrinStatus::WRITE_FAILED, store.store(dir.file("missing/s.kps")));
    EXPECT_FALSE(NORVAFileUtils::exists(dir.file("missing")));
}

}  // namespace
