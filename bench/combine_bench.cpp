// Combining two gridded sources of 1,000 x 1,000 nodes (1 m apart, the
// second 500 m east of the first, so half of each overlaps the other) into
// one product through the combine policy, the later source winning where
// both hold data: into a gridded product and into a tile-store product.
// GMT's `grdblend` over the same two grids (as netCDF) is the baseline,
// skipped when gmt is not installed. The floor for any store kept in SQLite:
// the same combine written straight against SQLite, with the tile store's
// table, index, page cache and statements. Counter: source nodes per second.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/KIVOSurfaceOpen.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOMetaAttribute.h"
#include "platform/frame/KIVOSurfaceAttributeTable.h"
#include "platform/proj/NORVACoordSystem.h"
#include "tools/SurfaceCombinePolicy.h"

namespace {

constexpr int kSide = 1000;        // nodes per side of each source
constexpr double kEastShift = 500.0;

double depthAt(double x, double y) { return 5.0 + 0.01 * x + 0.02 * y; }

class LaterWins : public KIVODazavazEdora::SurfaceCombinePolicy {
public:
    long Supersede(KIVOSurface&, const KIVOAttributeSet&, const Vector2D&, const NORVAUString&, KIVOSurface&,
                   const KIVOAttributeSet&, const Vector2D&, const NORVAUString&) override {
        return 2;
    }
};

std::string scratch() {
    char pattern[] = "/tmp/kivo-combine-bench-XXXXXX";
    return mkdtemp(pattern);
}

double peakMegabytes(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss / 1024.0;
}

// The peak resident size counts from here on (where the kernel allows it),
// so that each combine reports its own.
void restartPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// A stored gridded source with every node set; the second source adds 1 m.
bool storeSource(const std::string& path, double x0, double offset) {
    KIVOMemDescriptor d({KIVODescriptor::AttribEntry("Depth", KIVODataType::FLOAT),
                         KIVODescriptor::AttribEntry("Uncertainty", KIVODataType::FLOAT)});
    auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(d)),
                                                      NORVAUString(path));
    NORVAUString s1, s2, s3;
    NORVACoordSystem("EPSG:32631").toStrings(s1, s2, s3);
    meta->setCoordSystemString(s1, s2, s3);
    meta->setLowerLeft(x0, 0.0);
    meta->setDimensions(kSide - 1, kSide - 1);
    meta->setResolution(1.0);
    KIVOGriddedDataIO io(NORVAUString(path), std::move(meta));
    KIVOMemAttributeSet node(d);
    for (int r = 0; r < kSide; ++r)
        for (int c = 0; c < kSide; ++c) {
            node.setValue(0, static_cast<float>(depthAt(x0 + c, r) + offset));
            node.setValue(1, 0.5f);
            if (io.set(x0 + c, r, node, d, DBL_MAX) != 0) return false;
        }
    return io.store(nullptr) == 0;
}

// The two sources, written once per process and removed at its end.
struct Sources {
    std::string folder = scratch();
    bool ok = storeSource(folder + "/a.vns", 0.0, 0.0) && storeSource(folder + "/b.vns", kEastShift, 1.0);
    ~Sources() { NORVAFileUtils::removeDirectory(NORVAUString(folder), true); }
};

const std::string& sources() {
    static const Sources written;
    static const std::string none;
    return written.ok ? written.folder : none;
}

void combine(benchmark::State& state, const char* extension) {
    const std::string& folder = sources();
    if (folder.empty()) {
        state.SkipWithError("writing the sources failed");
        return;
    }
    restartPeak();
    sqlite3_memory_highwater(1);
    int64_t nodes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string out = scratch();
        state.ResumeTiming();
        KIVODazavazEdora::Combine::Options options;
        options.outputPath = NORVAUString(out + "/product" + extension);
        options.sources = {NORVAUString(folder + "/a.vns"), NORVAUString(folder + "/b.vns")};
        options.coordSystem.reset(new NORVACoordSystem("EPSG:32631"));
        options.resolution = 1.0;
        options.maxX = kSide - 1 + kEastShift;
        options.maxY = kSide - 1;
        LaterWins policy;
        NORVAType<KIVOSurface> product;
        long status = policy.CreateOutputSurface(options, product);
        for (const NORVAUString& path : options.sources) {
            NORVAType<KIVOSurface> source = KIVOSurfaceUtils::open(path, status);
            if (!source || status != 0) break;
            NORVAType<KIVOSurfaceIter> node =
                source->query(-1.0, -1.0, 1e6, 1e6, status, false, nullptr, nullptr, DBL_MAX);
            for (; node && status == 0 && !node->done(status); node->next(status)) {
                NORVAType<KIVOSurfaceIter> target = policy.getProductIter(*product, *source, *node, status);
                if (!target) break;
                std::unique_ptr<KIVOAttributeSet> set =
                    policy.getSurfaceAtts(*product, *target, *source, *node, status);
                if (set && status == 0) status = policy.setNode(*source, *set, *product, *target);
                ++nodes;
            }
        }
        if (status == 0 && product) {
            policy.BeforeStoreProductSurface(*product, options);
            status = product->store(nullptr);
        }
        if (status != 0) state.SkipWithError("combining failed");
        state.PauseTiming();
        product.reset();
        NORVAFileUtils::removeDirectory(NORVAUString(out), true);
        state.ResumeTiming();
    }
    state.counters["nodes_per_s"] = benchmark::Counter(double(nodes), benchmark::Counter::kIsRate);
    state.counters["peak_MB"] = peakMegabytes(RUSAGE_SELF);
    state.counters["sqlite_peak_MB"] = sqlite3_memory_highwater(0) / (1024.0 * 1024.0);
}

void BM_CombineGridded(benchmark::State& state) { combine(state, ".vns"); }
void BM_CombineTileStore(benchmark::State& state) { combine(state, ".kps"); }

// ---- the same combine in plain SQLite
//
// A private temporary database with the tile store's points table, index
// and 8 MB page cache, in one transaction with the statements kept: the
// nodes of the first source are inserted, 32 rows a statement as the store
// does; each node of the second is looked up through the index (the nearest
// row closer than one spacing along both axes, the store's rule), and the
// row found takes its values, or a new row is added.
// Then the database is copied into the product file as the store copies
// its own. The node values are computed here: no source file is read.

constexpr int kRowsPerInsert = 32;
// A row is the one at a position when closer than this along both axes.
constexpr double kReach = 0.999;

const char* const kPlainSchema =
    "CREATE TABLE kestrin_points(id INTEGER PRIMARY KEY, x REAL NOT NULL, y REAL NOT NULL, a0, a1, a2, a3);"
    "CREATE INDEX kestrin_rows ON kestrin_points(CAST((y - 0) / 1 AS INTEGER), x, y);";

struct PlainRow {
    double x, y, depth;
    const std::string* contributor;
};

class PlainProduct {
public:
    explicit PlainProduct(int& rc) {
        rc = sqlite3_open_v2("", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc == SQLITE_OK) rc = exec("PRAGMA cache_size = -8192; PRAGMA temp_store = MEMORY;"
                                       "PRAGMA journal_mode = MEMORY");
        if (rc == SQLITE_OK) rc = exec(kPlainSchema);
        if (rc == SQLITE_OK) rc = prepare(insertSql(kRowsPerInsert), m_insertMany);
        if (rc == SQLITE_OK) rc = prepare(insertSql(1), m_insertOne);
        if (rc == SQLITE_OK)
            rc = prepare("SELECT id, x, y FROM kestrin_points WHERE CAST((y - 0) / 1 AS INTEGER) = ?1 "
                         "AND x >= ?2 AND x <= ?3 AND y >= ?4 AND y <= ?5",
                         m_find);
        if (rc == SQLITE_OK)
            rc = prepare("UPDATE kestrin_points SET a0 = ?, a1 = ?, a2 = ? WHERE id = ?", m_update);
        if (rc == SQLITE_OK) rc = exec("BEGIN");
    }
    ~PlainProduct() {
        for (sqlite3_stmt* s : {m_insertMany, m_insertOne, m_find, m_update}) sqlite3_finalize(s);
        sqlite3_close(m_db);
    }

    // A node of a source: into the row at its position, or a new row.
    int put(const PlainRow& node, bool lookUp) {
        if (lookUp) {
            for (PlainRow& held : m_held)
                if (std::fabs(held.x - node.x) < kReach && std::fabs(held.y - node.y) < kReach) {
                    held.depth = node.depth;
                    held.contributor = node.contributor;
                    return SQLITE_OK;
                }
            int64_t id = 0;
            int rc = find(node.x, node.y, id);
            if (rc != SQLITE_OK || id > 0) return rc != SQLITE_OK ? rc : update(id, node);
        }
        m_held.push_back(node);
        return m_held.size() == kRowsPerInsert ? insertHeld() : SQLITE_OK;
    }

    // The rows still held, the commit, and the copy into the product file.
    int finish(const std::string& path) {
        int rc = insertHeld();
        if (rc == SQLITE_OK) rc = exec("COMMIT");
        sqlite3* out = nullptr;
        if (rc == SQLITE_OK)
            rc = sqlite3_open_v2(path.c_str(), &out, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc == SQLITE_OK) rc = sqlite3_exec(out, "PRAGMA journal_mode = OFF", nullptr, nullptr, nullptr);
        sqlite3_backup* copy = rc == SQLITE_OK ? sqlite3_backup_init(out, "main", m_db, "main") : nullptr;
        if (copy) rc = sqlite3_backup_step(copy, -1) == SQLITE_DONE ? sqlite3_backup_finish(copy) : SQLITE_ERROR;
        if (sqlite3_close(out) != SQLITE_OK && rc == SQLITE_OK) rc = SQLITE_IOERR;
        return rc;
    }

private:
    static std::string insertSql(int rows) {
        std::string sql = "INSERT INTO kestrin_points(x, y, a0, a1, a2, a3) VALUES(?, ?, ?, ?, ?, ?)";
        for (int r = 1; r < rows; ++r) sql += ", (?, ?, ?, ?, ?, ?)";
        return sql;
    }
    int exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }
    int prepare(const std::string& sql, sqlite3_stmt*& stmt) {
        return sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr);
    }
    static int bindValues(sqlite3_stmt* stmt, int first, const PlainRow& row) {
        sqlite3_bind_double(stmt, first, row.depth);
        sqlite3_bind_double(stmt, first + 1, 0.5);
        const std::string& text = *row.contributor;
        return sqlite3_bind_text(stmt, first + 2, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    }
    static int run(sqlite3_stmt* stmt) {
        const int rc = sqlite3_step(stmt);
        sqlite3_reset(stmt);
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    }

    int insertHeld() {
        sqlite3_stmt* stmt = m_held.size() == kRowsPerInsert ? m_insertMany : m_insertOne;
        int rc = SQLITE_OK;
        for (size_t from = 0; rc == SQLITE_OK && from < m_held.size();) {
            const size_t rows = stmt == m_insertMany ? m_held.size() : 1;
            for (size_t r = 0; r < rows; ++r) {
                const PlainRow& row = m_held[from + r];
                const int first = static_cast<int>(r) * 6 + 1;
                sqlite3_bind_double(stmt, first, row.x);
                sqlite3_bind_double(stmt, first + 1, row.y);
                bindValues(stmt, first + 2, row);
                sqlite3_bind_int64(stmt, first + 5, 0);
            }
            rc = run(stmt);
            from += rows;
        }
        m_held.clear();
        return rc;
    }

    // The nearest row closer than kReach along both axes, 0 when there is
    // none: one search of the index in each row band the window touches.
    int find(double x, double y, int64_t& id) {
        id = 0;
        double best = HUGE_VAL;
        for (int64_t band = bandOf(y - kReach); band <= bandOf(y + kReach); ++band) {
            sqlite3_bind_int64(m_find, 1, band);
            sqlite3_bind_double(m_find, 2, x - kReach);
            sqlite3_bind_double(m_find, 3, x + kReach);
            sqlite3_bind_double(m_find, 4, y - kReach);
            sqlite3_bind_double(m_find, 5, y + kReach);
            int rc = SQLITE_ROW;
            while ((rc = sqlite3_step(m_find)) == SQLITE_ROW) {
                const double dx = sqlite3_column_double(m_find, 1) - x, dy = sqlite3_column_double(m_find, 2) - y;
                if (std::fabs(dx) < kReach && std::fabs(dy) < kReach && dx * dx + dy * dy < best) {
                    best = dx * dx + dy * dy;
                    id = sqlite3_column_int64(m_find, 0);
                }
            }
            sqlite3_reset(m_find);
            if (rc != SQLITE_DONE) return rc;
        }
        return SQLITE_OK;
    }
    // The index's row band (its CAST truncates toward zero).
    static int64_t bandOf(double y) { return static_cast<int64_t>(std::trunc(y)); }

    int update(int64_t id, const PlainRow& node) {
        bindValues(m_update, 1, node);
        sqlite3_bind_int64(m_update, 4, id);
        return run(m_update);
    }

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insertMany = nullptr;
    sqlite3_stmt* m_insertOne = nullptr;
    sqlite3_stmt* m_find = nullptr;
    sqlite3_stmt* m_update = nullptr;
    std::vector<PlainRow> m_held;
};

int plainCombine(const std::string& folder, const std::string& out) {
    int rc = SQLITE_OK;
    PlainProduct product(rc);
    const std::string names[2] = {folder + "/a.vns", folder + "/b.vns"};
    for (int k = 0; k < 2 && rc == SQLITE_OK; ++k) {
        const double x0 = k * kEastShift;
        for (int r = 0; r < kSide && rc == SQLITE_OK; ++r)
            for (int c = 0; c < kSide && rc == SQLITE_OK; ++c) {
                const double depth = static_cast<float>(depthAt(x0 + c, r) + k);
                rc = product.put(PlainRow{x0 + c, double(r), depth, &names[k]}, k > 0);
            }
    }
    return rc == SQLITE_OK ? product.finish(out + "/product.db") : rc;
}

void BM_PlainSQLiteCombine(benchmark::State& state) {
    const std::string& folder = sources();
    if (folder.empty()) {
        state.SkipWithError("writing the sources failed");
        return;
    }
    sqlite3_memory_highwater(1);
    for (auto _ : state) {
        state.PauseTiming();
        const std::string out = scratch();
        state.ResumeTiming();
        if (plainCombine(folder, out) != SQLITE_OK) state.SkipWithError("the plain SQLite combine failed");
        state.PauseTiming();
        NORVAFileUtils::removeDirectory(NORVAUString(out), true);
        state.ResumeTiming();
    }
    state.counters["nodes_per_s"] =
        benchmark::Counter(2.0 * kSide * kSide * state.iterations(), benchmark::Counter::kIsRate);
    // Its memory comes from what the combines before it gave back to the
    // heap, so the process peak would tell nothing: SQLite's own peak instead.
    state.counters["sqlite_peak_MB"] = sqlite3_memory_highwater(0) / (1024.0 * 1024.0);
}

// The same two grids as netCDF through `gmt grdblend`; the grids are made
// outside the timing.
void BM_GMTGrdblend(benchmark::State& state) {
    if (std::system("command -v gmt >/dev/null 2>&1") != 0) {
        state.SkipWithError("gmt is not installed");
        return;
    }
    const std::string folder = scratch();
    for (int k = 0; k < 2; ++k) {
        const double x0 = k * kEastShift;
        const std::string name = folder + (k == 0 ? "/a" : "/b");
        FILE* f = std::fopen((name + ".bin").c_str(), "wb");
        for (int r = 0; r < kSide; ++r)
            for (int c = 0; c < kSide; ++c) {
                const double v[3] = {x0 + c, double(r), depthAt(x0 + c, r) + k};
                std::fwrite(v, sizeof(double), 3, f);
            }
        std::fclose(f);
        const std::string make = "cd " + folder + " && gmt xyz2grd " + name + ".bin -bi3d -R" +
                                 std::to_string(int(x0)) + "/" + std::to_string(int(x0) + kSide - 1) + "/0/" +
                                 std::to_string(kSide - 1) + " -I1 -G" + name + ".nc 2>/dev/null";
        if (std::system(make.c_str()) != 0) {
            state.SkipWithError("gmt xyz2grd failed");
            return;
        }
    }
    const std::string command = "cd " + folder + " && gmt grdblend a.nc b.nc -R0/" +
                                std::to_string(int(kEastShift) + kSide - 1) + "/0/" + std::to_string(kSide - 1) +
                                " -I1 -Gout.nc 2>/dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("gmt grdblend failed");
    state.counters["nodes_per_s"] =
        benchmark::Counter(2.0 * kSide * kSide * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["peak_MB"] = peakMegabytes(RUSAGE_CHILDREN);
    NORVAFileUtils::removeDirectory(NORVAUString(folder), true);
}

}  // namespace

BENCHMARK(BM_GMTGrdblend)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_CombineGridded)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_CombineTileStore)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_PlainSQLiteCombine)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

BENCHMARK_MAIN();
