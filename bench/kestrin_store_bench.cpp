// Tile-store surfaces against plain SQLite: point queries with the create
// flag into a store of a million nodes, box-query iteration, the bytes on
// disk per node, and the same records inserted and selected through SQLite
// alone as the baseline.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "TempFolder.h"
#include "multires/KIVOKestrinDataIO.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/kestrin/KestrinStoreType.h"
#include "platform/kestrin/NORVAKestrinTileDataIO.h"
#include "platform/proj/NORVACoordSystem.h"

namespace {

const int kSide = 1000;  // a million nodes at spacing 1

double peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

NORVAKestrinPointDataConfig config() {
    NORVAKestrinGenericDataDescriptor d;
    d.setNumAtts(2);
    d.setAttributeName(0, "Depth");
    d.setType(0, KestrinStoreType::DOUBLE);
    d.setAttributeName(1, "Status");
    d.setType(1, KestrinStoreType::LONG);
    NORVAKestrinPointDataConfig c(NORVAArray<double>{0, 0}, NORVAArray<double>{4000, 4000},
                                  NORVAArray<double>{1.0, 1.0, 0.01}, {2, 2}, {"X", "Y"}, d);
    NORVAUString s1, s2, s3;
    NORVACoordSystem("EPSG:32631").toStrings(s1, s2, s3);
    c.setCoordinateInfo(s1, s2, s3);
    return c;
}

// The million-node store, written once per run.
const NORVAUString& millionStore() {
    static TempFolder dir;
    static NORVAUString path;
    if (!path.isEmpty()) return path;
    path = dir.file("million.kps");
    NORVAKestrinTileStore store(config(), false, true);
    NORVAKestrinGenericDataObject r(store.getDataIO(0)->getLayout());
    for (int row = 0; row < kSide; ++row) {
        NORVAKestrinPointCollection batch;
        batch.setSize(kSide);
        for (int col = 0; col < kSide; ++col) {
            r.setAttribute(0, 20.0 + 0.01 * col, true);
            r.setAttribute(1, 0.0, true);
            batch.setPoint(col, NORVAArray<double>{double(col), double(row)}, r, 0);
        }
        store.addPoints(batch, true, 0, 0);
    }
    if (store.store(path) != 0) std::abort();
    return path;
}

void copyStore(const NORVAUString& from, const NORVAUString& to) {
    NORVAFileUtils::copyFile(from, to);
    NORVAFileUtils::copyFile(NORVAKestrinDataIO::pointsPathFor(from), NORVAKestrinDataIO::pointsPathFor(to));
}

void BM_CreateQueriesIntoAMillionNodes(benchmark::State& state) {
    TempFolder dir;
    const NORVAUString path = dir.file("s.kps");
    copyStore(millionStore(), path);
    KIVOKestrinDataIO io(path);
    if (io.getStatus() != 0) std::abort();
    long i = 0;
    for (auto _ : state) {
        // New positions beside the stored grid, so every query creates a node.
        const double x = 1001 + (i % 2000), y = double(i / 2000);
        long status = 0;
        NORVAType<KIVOSurfaceIter> it = io.query(x, y, x, y, true, status, nullptr, 0.0);
        it->getAttributes()->setValue(0, 12.5);
        ++i;
    }
    io.flush();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CreateQueriesIntoAMillionNodes)->Unit(benchmark::kMicrosecond)->Iterations(20000);

void BM_BoxIteration(benchmark::State& state) {
    KIVOKestrinDataIO io(millionStore());
    int64_t nodes = 0;
    for (auto _ : state) {
        long status = 0, s = 0;
        NORVAType<KIVOSurfaceIter> it = io.query(100, 100, 399, 399, false, status, nullptr, 0.0);
        double depth = 0.0;
        for (bool more = !it->done(s); more; more = it->next(s)) {
            it->getAttributes()->getValue(0, depth);
            ++nodes;
        }
        benchmark::DoNotOptimize(depth);
    }
    state.SetItemsProcessed(nodes);
    uint64_t header = 0, points = 0;
    NORVAFileUtils::fileSize(millionStore(), header);
    NORVAFileUtils::fileSize(NORVAKestrinDataIO::pointsPathFor(millionStore()), points);
    state.counters["bytes_per_node"] = double(header + points) / (kSide * kSide);
}
BENCHMARK(BM_BoxIteration)->Unit(benchmark::kMillisecond)->Iterations(3);

// A store in place of the million-node store after a thousand of its nodes
// were edited: the store alone is timed (the copy and the edits are not).
void BM_StoreInPlaceAMillionNodes(benchmark::State& state) {
    for (auto _ : state) {
        TempFolder dir;
        const NORVAUString path = dir.file("s.kps");
        copyStore(millionStore(), path);
        KIVOKestrinDataIO io(path);
        long status = 0, s = 0;
        NORVAType<KIVOSurfaceIter> it = io.query(100, 100, 149, 119, false, status, nullptr, 0.0);
        if (io.getStatus() != 0 || status != 0) std::abort();
        for (bool more = !it->done(s); more; more = it->next(s)) it->getAttributes()->setValue(0, 12.5);
        const auto start = std::chrono::steady_clock::now();
        if (io.store(nullptr) != 0) std::abort();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}
BENCHMARK(BM_StoreInPlaceAMillionNodes)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(20)->ReportAggregatesOnly(true);

// The baseline: the same records in one plain table with an index on (x, y).
sqlite3* buildPlain(const NORVAUString& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.toUTF8().c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE p(id INTEGER PRIMARY KEY, x REAL, y REAL, depth REAL, status INTEGER);"
                     "CREATE INDEX pxy ON p(x, y); BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO p(x, y, depth, status) VALUES(?, ?, ?, 0)", -1, &ins, nullptr);
    for (int row = 0; row < kSide; ++row)
        for (int col = 0; col < kSide; ++col) {
            sqlite3_bind_double(ins, 1, col);
            sqlite3_bind_double(ins, 2, row);
            sqlite3_bind_double(ins, 3, 20.0 + 0.01 * col);
            sqlite3_step(ins);
            sqlite3_reset(ins);
        }
    sqlite3_finalize(ins);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    return db;
}

sqlite3* plainMillion() {
    static TempFolder dir;
    static sqlite3* db = buildPlain(dir.file("plain.db"));
    return db;
}

void BM_PlainSQLiteBuild(benchmark::State& state) {
    for (auto _ : state) {
        TempFolder dir;
        sqlite3* db = buildPlain(dir.file("plain.db"));
        sqlite3_close(db);
        uint64_t size = 0;
        NORVAFileUtils::fileSize(dir.file("plain.db"), size);
        state.counters["bytes_per_node"] = double(size) / (kSide * kSide);
    }
    state.counters["peak_MB"] = peakMegabytes();
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_PlainSQLiteBuild)->Unit(benchmark::kMillisecond)->Iterations(1);

// A lookup of the nearest row closer than one spacing along both axes (the
// tile store's rule for a create query) and an insert where there is none,
// committed per thousand.
void BM_PlainSQLiteLookupAndInsert(benchmark::State& state) {
    sqlite3* db = plainMillion();
    sqlite3_stmt* sel = nullptr;
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT id FROM p WHERE x > ?1 - 0.999 AND x < ?1 + 0.999 AND y > ?2 - 0.999 AND y < ?2 + 0.999 "
                       "ORDER BY (x - ?1) * (x - ?1) + (y - ?2) * (y - ?2) LIMIT 1",
                       -1, &sel, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO p(x, y, depth, status) VALUES(?, ?, 12.5, 0)", -1, &ins, nullptr);
    long i = 0;
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (auto _ : state) {
        const double x = 1001 + (i % 2000), y = double(i / 2000);
        sqlite3_bind_double(sel, 1, x);
        sqlite3_bind_double(sel, 2, y);
        const bool found = sqlite3_step(sel) == SQLITE_ROW;
        sqlite3_reset(sel);
        if (!found) {
            sqlite3_bind_double(ins, 1, x);
            sqlite3_bind_double(ins, 2, y);
            sqlite3_step(ins);
            sqlite3_reset(ins);
        }
        if (++i % 1000 == 0) sqlite3_exec(db, "COMMIT; BEGIN", nullptr, nullptr, nullptr);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_finalize(sel);
    sqlite3_finalize(ins);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlainSQLiteLookupAndInsert)->Unit(benchmark::kMicrosecond)->Iterations(20000);

void BM_PlainSQLiteBoxSelect(benchmark::State& state) {
    sqlite3* db = plainMillion();
    int64_t rows = 0;
    for (auto _ : state) {
        sqlite3_stmt* sel = nullptr;
        sqlite3_prepare_v2(db, "SELECT depth FROM p WHERE x BETWEEN 100 AND 399 AND y BETWEEN 100 AND 399", -1,
                           &sel, nullptr);
        double sum = 0;
        while (sqlite3_step(sel) == SQLITE_ROW) {
            sum += sqlite3_column_double(sel, 0);
            ++rows;
        }
        sqlite3_finalize(sel);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(rows);
}
BENCHMARK(BM_PlainSQLiteBoxSelect)->Unit(benchmark::kMillisecond)->Iterations(3);

// Building the store through batches of a thousand, for comparison with the
// plain build; the argument is the number of rows of a thousand nodes. The
// peak memory counter is the process's: run one size alone to read it.
void BM_TileStoreBuild(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    for (auto _ : state) {
        NORVAKestrinTileStore store(config(), false, true);
        NORVAKestrinGenericDataObject r(store.getDataIO(0)->getLayout());
        for (int row = 0; row < rows; ++row) {
            NORVAKestrinPointCollection batch;
            batch.setSize(kSide);
            for (int col = 0; col < kSide; ++col) {
                r.setAttribute(0, 20.0 + 0.01 * col, true);
                r.setAttribute(1, 0.0, true);
                batch.setPoint(col, NORVAArray<double>{double(col), double(row)}, r, 0);
            }
            store.addPoints(batch, true, 0, 0);
        }
        TempFolder dir;
        store.store(dir.file("s.kps"));
    }
    state.SetItemsProcessed(state.iterations() * rows * kSide);
    state.counters["peak_MB"] = peakMegabytes();
}
BENCHMARK(BM_TileStoreBuild)->Arg(kSide)->Arg(4 * kSide)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
