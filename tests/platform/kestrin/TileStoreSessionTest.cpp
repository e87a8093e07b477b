// The points file under trouble: locks held by another process, a disk that
// fills up during a session, and a store killed while writing its files.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstdlib>

#include "KestrinLockHolder.h"
#include "KestrinTestSupport.h"
#include "TempFolder.h"
#include "TestSupport.h"
#include "platform/kestrin/KestrinStatus.h"
#include "platform/kestrin/NORVAKestrinHeader.h"
#include "platform/kestrin/NORVAKestrinTileDataIO.h"

namespace {

using namespace kestrintest;

std::unique_ptr<NORVAKestrinTileStore> openStore(const NORVAUString& path, int mode = NORVAKestrinDataIO::UPDATE) {
    NORVAType<NORVAKestrinDataIO> io(new NORVAKestrinTileDataIO(path, mode));
    return std::make_unique<NORVAKestrinTileStore>(io);
}

std::vector<std::pair<double, double>> row(int n, double y) {
    std::vector<std::pair<double, double>> at;
    for (int i = 0; i < n; ++i) at.emplace_back(i * 0.1, y);
    return at;
}

class TileStoreSession : public ::testing::Test {
protected:
    void SetUp() override {
        NORVAKestrinDatabase::setBusyTimeout(50);
        NORVAKestrinTileStore store(config(0.01), false, true);
        ASSERT_EQ(0, addGrid(store, row(600, 1.0)));
        ASSERT_EQ(0, store.store(m_path));
    }
    void TearDown() override { NORVAKestrinDatabase::setBusyTimeout(m_timeout); }
    int64_t countInFile() { return openStore(m_path, NORVAKestrinDataIO::READ)->getDataIO(0)->getNumRecords(); }
    std::string points() const { return m_dir.file("s.ktf").toUTF8(); }

    int m_timeout = NORVAKestrinDatabase::getBusyTimeout();
    TempFolder m_dir;
    NORVAUString m_path = m_dir.file("s.kps");
};

// Each kind of lock, then each operation under it: every failure is
// reported, and the store that failed leaves the file as it was.
TEST_F(TileStoreSession, LocksHeldElsewhereAreWaitedForBrieflyThenReported) {
    struct Case {
        const char* lock;
        long batch, edit, iterate;
    };
    const Case cases[] = {
        // A reader lets the session gather, but not commit.
        {"BEGIN; SELECT COUNT(*) FROM kestrin_points", 0, 0, 0},
        // A writer keeps the session from starting; reading goes on.
        {"BEGIN IMMEDIATE", KestrinStatus::WRITE_FAILED, KestrinStatus::WRITE_FAILED, 0},
        // An exclusive lock keeps even readers out: busy, never damaged.
        {"BEGIN EXCLUSIVE", KestrinStatus::WRITE_FAILED, KestrinStatus::WRITE_FAILED, KestrinStatus::CANNOT_OPEN},
    };
    double depth = -5.0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lock);
        depth -= 1.0;
        const int64_t before = countInFile();
        auto store = openStore(m_path);
        ASSERT_EQ(0, store->getStatus());
        NORVAKestrinDataIO& io = *store->getDataIO(0);
        const NORVAKestrinPoint first = pointsIn(io, box(0, 0, 0, 1)).at(0);
        LockHolder holder(points(), c.lock);
        ASSERT_TRUE(holder.locked());
        EXPECT_EQ(c.batch, addGrid(*store, row(3, 2.0)));
        NORVAKestrinGenericDataObject r = first.getData();
        r.setAttribute(0, depth, true);
        EXPECT_EQ(c.edit, store->modifyPoint(first, r));
        auto it = io.createPointIterator(box(-1, -1, 100, 100), -1);
        EXPECT_EQ(c.iterate, it->getStatus());
        EXPECT_EQ(c.iterate != 0, it->isAtEnd());
        EXPECT_EQ(KestrinStatus::WRITE_FAILED, store->store(m_path));
        holder.release();
        // The failed store dropped its session whole and let go of the file:
        // no part of the session is stored later, and another writer stores.
        EXPECT_EQ(KestrinStatus::WRITE_FAILED, store->store(m_path));
        auto other = openStore(m_path);
        EXPECT_EQ(0, addGrid(*other, row(3, 2.0)));
        EXPECT_EQ(0, other->store(m_path));
        store.reset();
        other.reset();
        EXPECT_EQ(before + 3, countInFile());
        auto reopened = openStore(m_path, NORVAKestrinDataIO::READ);
        EXPECT_EQ(first.getData().getAttributeAsDouble(0),
                  pointsIn(*reopened->getDataIO(0), box(0, 0, 0, 1)).at(0).getData().getAttributeAsDouble(0));
    }
}

TEST_F(TileStoreSession, OpeningAFileLockedExclusivelyIsBusyNotDamaged) {
    LockHolder holder(points(), "BEGIN EXCLUSIVE");
    ASSERT_TRUE(holder.locked());
    EXPECT_EQ(KestrinStatus::CANNOT_OPEN, openStore(m_path)->getStatus());
    holder.release();
    EXPECT_EQ(0, openStore(m_path)->getStatus());
}

TEST_F(TileStoreSession, ALockTakenMidIterationEndsItWithTheFailure) {
    auto store = openStore(m_path, NORVAKestrinDataIO::READ);
    auto it = store->getDataIO(0)->createPointIterator(box(-1, -1, 100, 100), -1);
    ASSERT_FALSE(it->isAtEnd());
    LockHolder holder(points(), "BEGIN EXCLUSIVE");
    ASSERT_TRUE(holder.locked());
    size_t served = 0;
    for (; !it->isAtEnd(); it->advance()) ++served;
    EXPECT_LT(served, 600u);
    EXPECT_EQ(KestrinStatus::CANNOT_OPEN, it->getStatus());
}

// A disk that fills up mid-session makes SQLite give the transaction up: the
// session is lost as a whole, later writes are refused instead of reaching
// the file one by one, and the file stays exactly as it was.
TEST_F(TileStoreSession, ASessionSQLiteGaveUpLeavesTheFileAsItWas) {
    {
        NORVAKestrinTileStore big(config(0.01), false, true);
        for (int y = 0; y < 40; ++y) ASSERT_EQ(0, addGrid(big, row(500, y)));
        ASSERT_EQ(0, big.store(m_path));
    }
    const std::string before = testsupport::readFile(points());
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        NORVAKestrinDatabase::setCacheLimit(0);  // the least: the session spills to the file soon
        auto store = openStore(m_path);
        // The points file may not grow by more than a little.
        const rlim_t most = before.size() + 256 * 1024;
        rlimit limit{most, most};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const std::vector<NORVAKestrinPoint> stored = pointsIn(*store->getDataIO(0), box(-1, -1, 100, 100));
        auto edit = [&](size_t from, size_t to) {
            for (size_t i = from; i < to; ++i) {
                NORVAKestrinGenericDataObject r = stored[i].getData();
                r.setAttribute(0, -1.0, true);
                store->modifyPoint(stored[i], r);
            }
        };
        edit(0, 300);
        bool full = false;
        for (int y = 0; y < 400 && !full; ++y) full = addGrid(*store, row(500, 50.0 + y * 0.1)) != 0;
        edit(300, stored.size());
        const bool refused = store->store(m_path) != 0;
        ::_exit(full && refused ? 0 : 1);  // the session is abandoned
    }
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // SQLite may leave its journal for the next writer to roll back with.
    {
        auto reopened = openStore(m_path);
        ASSERT_EQ(0, reopened->getStatus());
        EXPECT_EQ(20000, reopened->getDataIO(0)->getNumRecords());
        EXPECT_EQ(0.0, reopened->getDataIO(0)->getMinAttValue(0));
    }
    EXPECT_TRUE(before == testsupport::readFile(points()));
    EXPECT_FALSE(testsupport::fileExists(points() + "-journal"));
}

// Points a session added, found by a query just before the session was
// dropped (a store refused, say): the walk passes them over as gone, not as
// damage, and serves every stored point.
TEST_F(TileStoreSession, PointsOfADroppedSessionArePassedOverNotTakenForDamage) {
    auto store = openStore(m_path);
    ASSERT_EQ(0, addGrid(*store, row(100, 2.0)));
    NORVAKestrinDataIO& io = *store->getDataIO(0);
    auto it = io.createPointIterator(box(-1, -1, 100, 100), -1);
    ASSERT_EQ(700u, it->size());
    io.dropSession();
    size_t served = 0;
    for (; !it->isAtEnd(); it->advance()) ++served;
    EXPECT_EQ(0, it->getStatus());
    EXPECT_EQ(600u, served);
}

// A store of another layout written over the path, killed at any moment:
// the path opens afterwards as the old store or as the new one.
TEST_F(TileStoreSession, AStoreKilledWhileWritingLeavesTheOldStoreOrTheNew) {
    NORVAKestrinGenericDataDescriptor small = layout();
    small.setNumAtts(2);
    NORVAKestrinPointDataConfig other(NORVAArray<double>{0, 0}, NORVAArray<double>{100, 100},
                                      NORVAArray<double>{0.01, 0.01, 0.01}, {2, 2}, {"X", "Y"}, small);
    NORVAUString s1, s2, s3;
    config().getCoordinateInfo(s1, s2, s3);
    other.setCoordinateInfo(s1, s2, s3);
    int olds = 0, news = 0;
    for (int round = 0; round < 24; ++round) {
        const pid_t child = ::fork();
        if (child == 0) {
            NORVAKestrinTileStore store(other, false, true);
            for (int y = 0; y < 20; ++y) addGrid(store, row(100, y));
            ::_exit(store.store(m_path) == 0 ? 0 : 1);
        }
        ::usleep(static_cast<useconds_t>(round * 2500));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        auto store = openStore(m_path, NORVAKestrinDataIO::READ);
        ASSERT_EQ(0, store->getStatus()) << round;
        const long atts = store->getDataIO(0)->getGenericDataDescriptor().getNumAtts();
        const int64_t n = store->getDataIO(0)->getNumRecords();
        ASSERT_TRUE((atts == 4 && n == 600) || (atts == 2 && n == 2000)) << round << " " << atts << " " << n;
        (atts == 4 ? olds : news) += 1;
        if (atts == 2) {  // back to the old store for the next round
            NORVAKestrinTileStore old(config(0.01), false, true);
            ASSERT_EQ(0, addGrid(old, row(600, 1.0)));
            ASSERT_EQ(0, old.store(m_path));
        }
    }
    EXPECT_GT(olds + news, 0);
}

// Point queries of a session are answered from the stretches of the index
// already read; they must answer as the file does, across stretch borders,
// after batches and after a failed batch.
// Recovery asks the points file whether a commit happened: only the token
// committed there is held; a file without one, a file that is no points
// file or none at all hold nothing; a file locked elsewhere cannot tell.
TEST_F(TileStoreSession, OnlyTheTokenCommittedIntoThePointsFileIsHeld) {
    EXPECT_EQ(0, NORVAKestrinDatabase::holdsCommitToken(points(), "t1"));  // a file of before
    {
        long status = 0;
        auto db = NORVAKestrinDatabase::openFile(NORVAUString(points()), true, status);
        ASSERT_EQ(0, status);
        ASSERT_EQ(0, db->writeCommitToken("t1"));
        EXPECT_EQ(0, NORVAKestrinDatabase::holdsCommitToken(points(), "t1"));  // not yet committed
        ASSERT_EQ(0, db->commit());
    }
    EXPECT_EQ(1, NORVAKestrinDatabase::holdsCommitToken(points(), "t1"));
    EXPECT_EQ(0, NORVAKestrinDatabase::holdsCommitToken(points(), "t2"));
    EXPECT_EQ(0, NORVAKestrinDatabase::holdsCommitToken(m_path.toUTF8(), "t1"));
    EXPECT_EQ(0, NORVAKestrinDatabase::holdsCommitToken(m_dir.file("none.ktf").toUTF8(), "t1"));
    EXPECT_EQ(600, countInFile());  // the points stay as they were
    LockHolder holder(points(), "BEGIN EXCLUSIVE");
    ASSERT_TRUE(holder.locked());
    EXPECT_LT(NORVAKestrinDatabase::holdsCommitToken(points(), "t1"), 0);
}

// A header copy longer than any header is refused before it is loaded.
TEST_F(TileStoreSession, AnOversizeHeaderCopyIsRefused) {
    long status = 0;
    auto db = NORVAKestrinDatabase::openFile(NORVAUString(points()), true, status);
    ASSERT_EQ(0, status);
    ASSERT_EQ(0, db->writeHeaderCopy(std::vector<uint8_t>(NORVAKestrinHeader::kMaxHeaderBytes + 1, 7)));
    std::vector<uint8_t> copy{1};
    EXPECT_EQ(KestrinStatus::DAMAGED, db->readHeaderCopy(copy));
    EXPECT_TRUE(copy.empty());
}

TEST_F(TileStoreSession, PointQueriesOfASessionAnswerAsTheFileDoes) {
    NORVAKestrinTileStore store(config(1.0), false, true);
    std::vector<std::pair<double, double>> at;
    for (int i = 0; i < 700; i += 3) at.emplace_back(i, 5.0 + (i % 7) * 0.1);
    ASSERT_EQ(0, addGrid(store, at));
    NORVAKestrinDataIO& io = *store.getDataIO(0);
    std::vector<std::pair<double, double>> probes;
    for (double x = -1.0; x < 702.0; x += 0.75) probes.emplace_back(x, 5.3);
    auto answers = [&](NORVAKestrinDataIO& from) {
        std::vector<std::vector<int64_t>> out;
        for (const auto& p : probes) {
            std::vector<int64_t> ids;
            for (const NORVAKestrinPoint& q : pointsIn(from, NORVAKestrinQuery(NORVAArray<double>{p.first, p.second})))
                ids.push_back(q.getId());
            out.push_back(ids);
        }
        return out;
    };
    answers(io);  // the stretches are read now
    ASSERT_EQ(0, addGrid(store, {{255.5, 5.0}, {256.0, 5.2}, {511.9, 5.6}, {512.0, 4.6}, {1.0, 5.0}}));
    EXPECT_NE(0, addGrid(store, {{300.0, 5.0}, {std::nan(""), 5.0}}));
    ASSERT_EQ(0, addGrid(store, {{600.5, 5.1}}));  // may take an id the failed batch had given out
    const auto cached = answers(io);
    ASSERT_EQ(0, store.store(m_path));
    auto file = openStore(m_path, NORVAKestrinDataIO::READ);
    EXPECT_EQ(answers(*file->getDataIO(0)), cached);
    size_t found = 0;
    for (const auto& ids : cached) found += ids.size();
    EXPECT_GT(found, 200u);
}

TEST_F(TileStoreSession, APointQueryServesTheNearestPointFirst) {
    NORVAKestrinTileStore store(config(1.0), false, true);
    ASSERT_EQ(0, addGrid(store, {{10.0, 10.0}, {9.8, 10.1}, {10.3, 10.3}, {10.45, 10.2}}));
    std::vector<double> xs;
    for (const NORVAKestrinPoint& p : pointsIn(*store.getDataIO(0), NORVAKestrinQuery(NORVAArray<double>{10.3, 10.3})))
        xs.push_back(p.getX());
    EXPECT_EQ((std::vector<double>{10.3, 10.45, 10.0, 9.8}), xs);
}

}  // namespace
