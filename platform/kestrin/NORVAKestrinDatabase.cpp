#include "platform/kestrin/NORVAKestrinDatabase.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <unordered_set>

#include "platform/core/NORVAAtomicFile.h"
#include "platform/core/NORVAFileTransaction.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/core/NORVALockedFiles.h"
#include "platform/core/NORVASurfacePin.h"
#include "platform/pathkit/PathUtilities.h"
#include "platform/kestrin/KestrinPointsFileVfs.h"
#include "platform/kestrin/KestrinStatus.h"
#include "platform/kestrin/NORVAKestrinHeader.h"
#include "platform/kestrin/KestrinStoreType.h"

namespace {

std::string column(long i) { return "a" + std::to_string(i); }

// A connection serves one caller at a time (the library starts no thread),
// so SQLite need not lock it on every call.
constexpr int kOneThread = SQLITE_OPEN_NOMUTEX;

// Points read at once when points are asked for in id order.
constexpr int64_t kReadAhead = 64;

// Sets of fields whose edit statement is kept prepared.
constexpr size_t kMostFieldSets = 32;

// Rows written by one statement of a batch.
constexpr size_t kInsertRows = 32;

// Ids at most this far apart are read in one pass over the rows between them.
constexpr int64_t kRunGap = 4;

// A box over more row bands than this is searched in one pass.
constexpr int64_t kMaxBandSearches = 4096;
// Row bands are held inside this, a little short of 64 bits.
constexpr int64_t kBandLimit = 9000000000000000000;
// The most points the cache of point queries holds (about 6 MB), in
// stretches of a row band this many grid steps long.
constexpr size_t kMaxCachedPoints = 262144;
constexpr double kTileCells = 256.0;

std::string literal(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

bool isInteger(int32_t type) {
    using namespace KestrinStoreType;
    return type == LONG || type == UCHAR || type == USHORT || type == SHORT || type == ULONG;
}

// A damaged index may name a row twice: each point is served once, where it
// first comes.
void keepFirstOfEach(std::vector<int64_t>& ids) {
    if (ids.size() < 2) return;
    std::vector<int64_t> sorted(ids);
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end()) return;
    std::unordered_set<int64_t> seen;
    ids.erase(std::remove_if(ids.begin(), ids.end(), [&](int64_t id) { return !seen.insert(id).second; }), ids.end());
}

// Text as the caller will be served it: bytes that are no UTF-8 become the
// replacement characters they turn into anyway, before a fixed text is cut
// to its size (else the served text would outgrow the field).
std::string columnText(sqlite3_stmt* stmt, int col) {
    const unsigned char* text = sqlite3_column_text(stmt, col);
    const int bytes = sqlite3_column_bytes(stmt, col);
    if (text == nullptr || bytes <= 0) return std::string();
    std::string held(reinterpret_cast<const char*>(text), static_cast<size_t>(bytes));
    const bool ascii = std::all_of(held.begin(), held.end(), [](char c) { return (c & 0x80) == 0; });
    return ascii ? held : NORVAUString(held).toUTF8();
}

// The header of a points file, read before SQLite opens it: a file in WAL
// mode, or of any format but the rollback journal's, is none the library
// writes, and is refused as damaged before SQLite makes or changes a file
// beside it. Read from a descriptor of its own, so that a FIFO put there
// meanwhile does not hold the open up.
long formatStatus(const std::string& name) {
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return KestrinStatus::CANNOT_OPEN;
    struct stat st {};
    unsigned char header[KestrinPointsFileVfs::kHeaderBytes];
    ssize_t n = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) n = ::pread(fd, header, sizeof header, 0);
    ::close(fd);
    if (n < 0) return KestrinStatus::CANNOT_OPEN;
    return KestrinPointsFileVfs::rollbackHeader(header, static_cast<size_t>(n)) ? 0 : KestrinStatus::DAMAGED;
}

}  // namespace

// Whoever recovers a store cut short asks its points file whether the
// commit its journal names happened.
const bool kCommitCheckSet = (NORVAFileTransaction::setConditionCheck(&NORVAKestrinDatabase::holdsCommitToken), true);

int g_busyTimeoutMs = 5000;
int64_t g_cacheBytes = 8ll * 1024 * 1024;

NORVAKestrinDatabase::~NORVAKestrinDatabase() {
    for (sqlite3_stmt* s : {m_insert, m_insertMany, m_lastId, m_insertIndex, m_select, m_range, m_query, m_nearest, m_bandQuery, m_bandsQuery,
                            m_beginBatch, m_endBatch, m_undoBatch, m_beginEdit, m_endEdit, m_undoEdit})
        sqlite3_finalize(s);
    for (sqlite3_stmt* s : m_updateField) sqlite3_finalize(s);
    for (const auto& kept : m_updateFields) sqlite3_finalize(kept.second);
    // A session never committed is dropped, as the store was not stored.
    if (m_db && !sqlite3_get_autocommit(m_db)) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(m_db);
}

void NORVAKestrinDatabase::setBusyTimeout(int milliseconds) { g_busyTimeoutMs = milliseconds < 0 ? 0 : milliseconds; }
int NORVAKestrinDatabase::getBusyTimeout() { return g_busyTimeoutMs; }
void NORVAKestrinDatabase::setCacheLimit(int64_t bytes) { g_cacheBytes = bytes < 65536 ? 65536 : bytes; }
int64_t NORVAKestrinDatabase::getCacheLimit() { return g_cacheBytes; }

long NORVAKestrinDatabase::fail(int rc) const {
    // Read through a symbolic link, with a hot journal beside the target: a
    // writer's commit there was cut short, and only the writer's side rolls
    // it back (KestrinPointsFileVfs).
    if (rc == SQLITE_READONLY_ROLLBACK) return NORVASurfacePin::kBlocked;
    switch (rc & 0xFF) {
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB: m_damaged = true; return KestrinStatus::DAMAGED;
        case SQLITE_FORMAT:
        case SQLITE_MISMATCH:
        case SQLITE_RANGE:
        case SQLITE_TOOBIG: return KestrinStatus::DAMAGED;
        case SQLITE_CANTOPEN: return cannotOpen();
        default: return KestrinStatus::WRITE_FAILED;
    }
}

// SQLite met a side file it will not use (see KestrinPointsFileVfs): the
// surface is blocked until the user removes it, as by a planted journal of
// the surface's own commits.
long NORVAKestrinDatabase::cannotOpen() const {
    const bool blocked = !isInMemory() && KestrinPointsFileVfs::foreignSideFile(m_path.toUTF8());
    return blocked ? NORVASurfacePin::kBlocked : KestrinStatus::CANNOT_OPEN;
}

// A file another connection keeps locked cannot be read now; it is not damaged.
long NORVAKestrinDatabase::failRead(int rc) const {
    const int primary = rc & 0xFF;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED || primary == SQLITE_IOERR || primary == SQLITE_NOMEM)
        return KestrinStatus::CANNOT_OPEN;
    return fail(rc);
}

long NORVAKestrinDatabase::exec(const char* sql) {
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? 0 : fail(rc);
}

// A statement kept prepared (savepoints are taken per batch and per edit).
int NORVAKestrinDatabase::step(sqlite3_stmt*& slot, const char* sql) {
    sqlite3_stmt* stmt = slot ? slot : statement(slot, sql);
    if (stmt == nullptr) return sqlite3_errcode(m_db) == SQLITE_OK ? SQLITE_ERROR : sqlite3_errcode(m_db);
    const int rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
}

long NORVAKestrinDatabase::writeFailed(int rc) {
    dropCache();
    // SQLite may have rolled the whole transaction back (a full disk, an I/O
    // error): then the session's earlier writes are gone, and any later write
    // would reach the file on its own.
    if (m_inEdit && sqlite3_get_autocommit(m_db)) {
        m_inEdit = false;
        m_lost = true;
        ++m_undos;
    }
    return fail(rc);
}

long NORVAKestrinDatabase::closeSavepoint(long status, sqlite3_stmt*& end, const char* endSql, sqlite3_stmt*& undo,
                                          const char* undoSql, bool& undone) {
    undone = false;
    if (status == 0) {
        // Releasing a savepoint inside the session commits nothing yet.
        const int rc = step(end, endSql);
        if (rc == SQLITE_OK) return 0;
        status = fail(rc);
    }
    // SQLite may have ended the whole session already: nothing is left to undo.
    if (sqlite3_get_autocommit(m_db)) {
        writeFailed(SQLITE_ABORT);
        return status;
    }
    step(undo, undoSql);
    step(end, endSql);
    undone = true;
    return status;
}

long NORVAKestrinDatabase::beginSession() {
    // SQLite writes a damaged file as it finds it, and the damage with it.
    if (m_damaged) return KestrinStatus::DAMAGED;
    if (m_lost) return m_lostStatus;
    if (m_inEdit) return 0;
    const int rc = sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return fail(rc);
    m_inEdit = true;
    return 0;
}

long NORVAKestrinDatabase::configure() {
    // A points file may come from anywhere: no schema code of its own runs.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, g_busyTimeoutMs);
    const std::string cache = "PRAGMA cache_size = -" + std::to_string(g_cacheBytes / 1024);
    const std::string pragmas = cache + ";PRAGMA cell_size_check = ON;PRAGMA temp_store = MEMORY;" +
                                (isInMemory() ? "PRAGMA journal_mode = MEMORY" : "PRAGMA journal_mode = DELETE");
    // Some of these read the file: a lock held elsewhere is busy, not damage.
    const int rc = sqlite3_exec(m_db, pragmas.c_str(), nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? 0 : failRead(rc);
}

long NORVAKestrinDatabase::createSchema() {
    std::string sql = "CREATE TABLE kestrin_points(id INTEGER PRIMARY KEY, x REAL NOT NULL, y REAL NOT NULL";
    for (long i = 0; i < m_layout->getNumAtts(); ++i) sql += ", " + column(i);
    // Positions live in the rows; the index orders them by row band of the
    // store's grid, then by position, so that a box or a point is a few
    // short searches (files of an earlier layout keep an R-tree instead).
    sql += ");CREATE INDEX kestrin_rows ON kestrin_points(" + m_rowExpr + ", x, y);";
    m_rtree = false;
    return exec(sql.c_str());
}

long NORVAKestrinDatabase::checkSchema() {
    // The points must be a plain table and an index table, when there is
    // one, an R-tree; a view or a trigger in a file from elsewhere could make
    // any read run without end.
    sqlite3_stmt* kinds = nullptr;
    int rc = sqlite3_prepare_v2(m_db,
                                "SELECT (SELECT COUNT(*) FROM sqlite_schema WHERE type IN ('view', 'trigger')), "
                                "(SELECT COUNT(*) FROM sqlite_schema WHERE type = 'table' AND name = 'kestrin_points' "
                                "AND sql NOT LIKE 'CREATE VIRTUAL%'), "
                                "(SELECT COUNT(*) FROM sqlite_schema WHERE type = 'table' AND name = 'kestrin_index' "
                                "AND sql LIKE 'CREATE VIRTUAL TABLE % USING rtree(%'), "
                                "(SELECT COUNT(*) FROM sqlite_schema WHERE name = 'kestrin_index')",
                                -1, &kinds, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(kinds);
    const bool kindsOk = rc == SQLITE_ROW && sqlite3_column_int(kinds, 0) == 0 && sqlite3_column_int(kinds, 1) == 1 &&
                         sqlite3_column_int(kinds, 2) == sqlite3_column_int(kinds, 3);
    m_rtree = kindsOk && sqlite3_column_int(kinds, 2) == 1;
    sqlite3_finalize(kinds);
    if (!kindsOk) return rc == SQLITE_ROW || (rc & 0xFF) == SQLITE_ERROR ? KestrinStatus::DAMAGED : failRead(rc);
    // Exactly the layout's columns, under their names: a file of another
    // layout would take values into the wrong fields.
    std::string sql = "SELECT id, x, y";
    for (long i = 0; i < m_layout->getNumAtts(); ++i) sql += ", " + column(i);
    sql += " FROM kestrin_points LIMIT 0";
    sqlite3_stmt* probe = nullptr;
    rc = sqlite3_prepare_v2(m_db, sql.c_str(), -1, &probe, nullptr);
    sqlite3_finalize(probe);
    if (rc == SQLITE_OK) rc = sqlite3_prepare_v2(m_db, "SELECT * FROM kestrin_points LIMIT 0", -1, &probe, nullptr);
    const bool pointsOk = rc == SQLITE_OK && sqlite3_column_count(probe) == 3 + m_layout->getNumAtts();
    sqlite3_finalize(probe);
    if (!pointsOk) return rc == SQLITE_OK || (rc & 0xFF) == SQLITE_ERROR ? KestrinStatus::DAMAGED : failRead(rc);
    if (!m_rtree) return 0;
    rc = sqlite3_prepare_v2(m_db, "SELECT id, minx, maxx, miny, maxy FROM kestrin_index LIMIT 0", -1, &probe,
                            nullptr);
    sqlite3_finalize(probe);
    return rc == SQLITE_OK ? 0 : KestrinStatus::DAMAGED;
}

std::unique_ptr<NORVAKestrinDatabase> NORVAKestrinDatabase::createInMemory(
    std::shared_ptr<const NORVAKestrinGenericDataDescriptor> layout, double originY, double step, long& status) {
    std::unique_ptr<NORVAKestrinDatabase> db(new NORVAKestrinDatabase());
    db->m_layout = std::move(layout);
    db->useGrid(originY, step);
    db->m_writable = true;
    // An empty name is a private database in a temporary file: pages beyond
    // the cache limit leave memory, however large the store grows.
    if (sqlite3_open_v2("", &db->m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | kOneThread, nullptr) !=
        SQLITE_OK) {
        status = KestrinStatus::CANNOT_OPEN;
        return nullptr;
    }
    status = db->configure();
    if (status == 0) status = db->createSchema();
    if (status != 0) return nullptr;
    return db;
}

std::unique_ptr<NORVAKestrinDatabase> NORVAKestrinDatabase::openFile(const NORVAUString& path, bool writable,
                                                                     long& status) {
    if (!NORVAFileUtils::isRegularFile(path)) {
        status = KestrinStatus::CANNOT_OPEN;
        return nullptr;
    }
    const std::string name = path.toUTF8();
    // A journal, WAL or shared-memory file beside it that SQLite would wait
    // on or write through is left where it is, and nothing is opened.
    if (KestrinPointsFileVfs::foreignSideFile(name)) {
        status = NORVASurfacePin::kBlocked;
        return nullptr;
    }
    if ((status = formatStatus(name)) != 0) return nullptr;
    // A points file that is a symbolic link, or a file with another name (a
    // hard link), would be written, with its journal, where that other name
    // is: such a file is only read.
    struct stat named {};
    if (writable && (::lstat(name.c_str(), &named) != 0 || !S_ISREG(named.st_mode) || named.st_nlink != 1))
        writable = false;
    std::unique_ptr<NORVAKestrinDatabase> db(new NORVAKestrinDatabase());
    db->m_path = path;
    db->m_writable = writable;
    const int flags = (writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | kOneThread;
    const int rc = sqlite3_open_v2(name.c_str(), &db->m_db, flags, KestrinPointsFileVfs::name());
    if (rc != SQLITE_OK) {
        status = db->failRead(rc);
        return nullptr;
    }
    status = db->configure();
    if (status != 0) return nullptr;
    if (writable) db->dropStaleJournal();
    // The pager looks at the file when a read begins: one is made now, so
    // that the version kept is the file's as opened.
    const int read = sqlite3_exec(db->m_db, "PRAGMA data_version", nullptr, nullptr, nullptr);
    status = read == SQLITE_OK ? 0 : db->failRead(read);
    if (status != 0) return nullptr;
    db->m_seenVersion = db->pagerVersion();
    return db;
}

// A writer killed before its commit began leaves a rollback journal that
// SQLite never reads (its header was not yet complete) and only a later write
// replaces. Holding the write lock, no live writer can own it (a journal that
// had to be rolled back was, when the lock was taken), so it goes now.
void NORVAKestrinDatabase::dropStaleJournal() {
    const std::string journal = m_path.toUTF8() + "-journal";
    if (::access(journal.c_str(), F_OK) != 0) return;
    sqlite3_busy_timeout(m_db, 0);  // a live writer holds it: leave it to that writer
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK) {
        (void)::unlink(journal.c_str());
        sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_busy_timeout(m_db, g_busyTimeoutMs);
}

void NORVAKestrinDatabase::useGrid(double originY, double step) {
    m_gridY = std::isfinite(originY) ? originY : 0.0;
    m_gridStep = std::isfinite(step) && step > 0.0 ? step : 1.0;
    m_rowExpr = "CAST((y - " + literal(m_gridY) + ") / " + literal(m_gridStep) + " AS INTEGER)";
}

long NORVAKestrinDatabase::useLayout(std::shared_ptr<const NORVAKestrinGenericDataDescriptor> layout) {
    m_layout = std::move(layout);
    return checkSchema();
}

// Bumped by the pager whenever it finds the file changed by another
// connection (when a read begins) and at this connection's own commits.
uint32_t NORVAKestrinDatabase::pagerVersion() const {
    unsigned int version = 0;
    (void)sqlite3_file_control(m_db, "main", SQLITE_FCNTL_DATA_VERSION, &version);
    return version;
}

// Asked after a read: the pager's version then is the one the read began
// with. A look at memory, so a point query per node of a combine costs
// nothing more.
long NORVAKestrinDatabase::unchangedSinceOpened() const {
    if (isInMemory()) return 0;
    return pagerVersion() == m_seenVersion ? 0 : NORVASurfacePin::kChanged;
}

long NORVAKestrinDatabase::readHeaderCopy(std::vector<uint8_t>& bytes) {
    return readKept("kestrin_header", NORVAKestrinHeader::kMaxHeaderBytes, bytes);
}

long NORVAKestrinDatabase::writeHeaderCopy(const std::vector<uint8_t>& bytes) {
    return writeKept("kestrin_header", bytes.data(), bytes.size());
}

long NORVAKestrinDatabase::writeCommitToken(const std::string& token) {
    return writeKept("kestrin_commit", token.data(), token.size());
}

int NORVAKestrinDatabase::holdsCommitToken(const std::string& path, const std::string& token) {
    if (!NORVAFileUtils::isRegularFile(NORVAUString(path))) return 0;  // nothing was committed there
    // Writable, so that a commit cut short is rolled back before the token is read.
    long status = 0;
    std::unique_ptr<NORVAKestrinDatabase> db = openFile(NORVAUString(path), ::access(path.c_str(), W_OK) == 0, status);
    std::vector<uint8_t> kept;
    // A longer token kept there cannot be this one: it is refused unread.
    if (db) status = db->readKept("kestrin_commit", token.size(), kept);
    // A file that is no points file (or holds another token) holds no token; one locked elsewhere cannot tell now.
    if (status != 0) return status == KestrinStatus::DAMAGED ? 0 : -1;
    return kept.size() == token.size() && std::equal(kept.begin(), kept.end(), token.begin()) ? 1 : 0;
}

// Small tables of one row beside the points (the header copy, the token of
// the last commit): files without them open as before.
long NORVAKestrinDatabase::readKept(const char* table, uint64_t maxBytes, std::vector<uint8_t>& bytes) {
    bytes.clear();
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_db, "SELECT COUNT(*) FROM sqlite_schema WHERE type = 'table' AND name = ?", -1, &stmt,
                                nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, table, -1, SQLITE_STATIC);
        rc = sqlite3_step(stmt);
    }
    const bool present = rc == SQLITE_ROW && sqlite3_column_int(stmt, 0) == 1;
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW) return failRead(rc);
    if (!present) return 0;
    // The length is asked first, so that an oversize row is refused before it is loaded.
    rc = sqlite3_prepare_v2(m_db,
                            ("SELECT CASE WHEN length(bytes) <= ?1 THEN bytes END, length(bytes) FROM " +
                             std::string(table) + " WHERE id = 1")
                                .c_str(),
                            -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_int64(stmt, 1, static_cast<sqlite3_int64>(std::min<uint64_t>(maxBytes, INT64_MAX)));
        rc = sqlite3_step(stmt);
    }
    if (rc == SQLITE_ROW && static_cast<uint64_t>(sqlite3_column_int64(stmt, 1)) > maxBytes) {
        sqlite3_finalize(stmt);
        return KestrinStatus::DAMAGED;
    }
    if (rc == SQLITE_ROW && sqlite3_column_type(stmt, 0) == SQLITE_BLOB) {
        const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(stmt, 0));
        bytes.assign(data, data + sqlite3_column_bytes(stmt, 0));
    }
    sqlite3_finalize(stmt);
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) return 0;
    return (rc & 0xFF) == SQLITE_ERROR ? KestrinStatus::DAMAGED : failRead(rc);
}

long NORVAKestrinDatabase::writeKept(const char* table, const void* bytes, size_t size) {
    if (!m_writable) return KestrinStatus::WRITE_FAILED;
    if (long s = beginSession()) return s;
    const std::string name = table;
    int rc = sqlite3_exec(m_db, ("CREATE TABLE IF NOT EXISTS " + name + "(id INTEGER PRIMARY KEY, bytes BLOB)").c_str(),
                          nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v2(m_db, ("INSERT OR REPLACE INTO " + name + "(id, bytes) VALUES(1, ?)").c_str(), -1,
                                &stmt, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_blob(stmt, 1, bytes, static_cast<int>(size), SQLITE_TRANSIENT);
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_OK ? 0 : writeFailed(rc);
}

sqlite3_stmt* NORVAKestrinDatabase::statement(sqlite3_stmt*& slot, const std::string& sql) {
    if (slot == nullptr && sqlite3_prepare_v2(m_db, sql.c_str(), -1, &slot, nullptr) != SQLITE_OK) {
        sqlite3_finalize(slot);
        slot = nullptr;
    }
    if (slot) sqlite3_reset(slot);
    return slot;
}

long NORVAKestrinDatabase::bindField(sqlite3_stmt* stmt, int slot, long index,
                                     const NORVAKestrinGenericDataObject& record) {
    const NORVAKestrinGenericDataObject::Field* f =
        record.getDescriptor() == nullptr || record.getNumAtts() != m_layout->getNumAtts()
            ? nullptr
            : record.getAttribute(index, false);
    const int32_t type = m_layout->getType(index);
    int rc = SQLITE_OK;
    if (f == nullptr) rc = sqlite3_bind_null(stmt, slot);
    else if (KestrinStoreType::isText(type))
        // The record outlives the step that reads it, and every step binds afresh.
        rc = sqlite3_bind_text(stmt, slot, f->text.data(), static_cast<int>(f->text.size()), SQLITE_STATIC);
    else if (isInteger(type)) rc = sqlite3_bind_int64(stmt, slot, static_cast<sqlite3_int64>(f->number));
    else rc = sqlite3_bind_double(stmt, slot, f->number);
    return rc == SQLITE_OK ? 0 : fail(rc);
}

long NORVAKestrinDatabase::bindRecord(sqlite3_stmt* stmt, int first, const NORVAKestrinGenericDataObject& record) {
    for (long i = 0; i < m_layout->getNumAtts(); ++i)
        if (long s = bindField(stmt, first + static_cast<int>(i), i, record)) return s;
    return 0;
}

std::string NORVAKestrinDatabase::insertSql(size_t rows) const {
    std::string row = "(?, ?";
    std::string sql = "INSERT INTO kestrin_points(x, y";
    for (long i = 0; i < m_layout->getNumAtts(); ++i) {
        sql += ", " + column(i);
        row += ", ?";
    }
    row += ")";
    sql += ") VALUES" + row;
    for (size_t r = 1; r < rows; ++r) sql += ", " + row;
    return sql;
}

long NORVAKestrinDatabase::insertOne(const NewPoint& p, std::vector<int64_t>* ids) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || p.record == nullptr) return KestrinStatus::BAD_ARGUMENT;
    sqlite3_stmt* insert = statement(m_insert, m_insert ? std::string() : insertSql(1));
    if (insert == nullptr) return KestrinStatus::WRITE_FAILED;
    sqlite3_bind_double(insert, 1, p.x);
    sqlite3_bind_double(insert, 2, p.y);
    if (long s = bindRecord(insert, 3, *p.record)) return s;
    // Reset at once: a statement left active keeps the savepoint from ending.
    int rc = sqlite3_step(insert);
    sqlite3_reset(insert);
    if (rc != SQLITE_DONE) return writeFailed(rc);
    const sqlite3_int64 id = sqlite3_last_insert_rowid(m_db);
    if (ids) ids->push_back(id);
    m_heldSinceWrite = true;
    noteInserted(id, p.x, p.y);
    if (!m_rtree) return 0;
    sqlite3_stmt* index =
        statement(m_insertIndex, "INSERT INTO kestrin_index(id, minx, maxx, miny, maxy) VALUES(?, ?, ?, ?, ?)");
    if (index == nullptr) return KestrinStatus::WRITE_FAILED;
    sqlite3_bind_int64(index, 1, id);
    sqlite3_bind_double(index, 2, p.x);
    sqlite3_bind_double(index, 3, p.x);
    sqlite3_bind_double(index, 4, p.y);
    sqlite3_bind_double(index, 5, p.y);
    rc = sqlite3_step(index);
    sqlite3_reset(index);
    return rc == SQLITE_DONE ? 0 : writeFailed(rc);
}

// Rows of a batch go in kInsertRows at a time through one statement, which
// costs SQLite far less per row than a statement each. SQLite gives each row
// one past the largest id, so a statement's rows get ids in a run; a table
// whose ids come near the top, where SQLite picks ids at random, takes its
// rows one by one.
size_t NORVAKestrinDatabase::insertMany(const NewPoint* points, size_t count, std::vector<int64_t>* ids,
                                        long& status) {
    status = 0;
    const int perRow = 2 + static_cast<int>(m_layout->getNumAtts());
    const size_t rows = std::min<size_t>(kInsertRows, static_cast<size_t>(
                                                          sqlite3_limit(m_db, SQLITE_LIMIT_VARIABLE_NUMBER, -1) / perRow));
    if (m_rtree || rows < 2 || count < rows) return 0;
    sqlite3_stmt* last = statement(m_lastId, "SELECT MAX(id) FROM kestrin_points");
    if (last == nullptr) return 0;
    int rc = sqlite3_step(last);
    const int64_t top = rc == SQLITE_ROW ? sqlite3_column_int64(last, 0) : INT64_MAX;
    sqlite3_reset(last);
    if (rc != SQLITE_ROW) {
        status = writeFailed(rc);
        return 0;
    }
    if (top < 0 || static_cast<uint64_t>(INT64_MAX - top) <= count) return 0;
    sqlite3_stmt* insert = statement(m_insertMany, m_insertMany ? std::string() : insertSql(rows));
    if (insert == nullptr) return 0;
    int64_t next = top + 1;
    size_t done = 0;
    for (; done + rows <= count; done += rows) {
        for (size_t r = 0; r < rows; ++r) {
            const NewPoint& p = points[done + r];
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || p.record == nullptr) {
                status = KestrinStatus::BAD_ARGUMENT;
                return done;
            }
            const int first = static_cast<int>(r) * perRow + 1;
            sqlite3_bind_double(insert, first, p.x);
            sqlite3_bind_double(insert, first + 1, p.y);
            if ((status = bindRecord(insert, first + 2, *p.record)) != 0) return done;
        }
        rc = sqlite3_step(insert);
        sqlite3_reset(insert);
        if (rc != SQLITE_DONE) {
            status = writeFailed(rc);
            return done;
        }
        // Ids not in the run expected (the session's read lock should rule
        // that out): the batch is undone rather than its points misnamed.
        if (sqlite3_last_insert_rowid(m_db) != next + static_cast<int64_t>(rows) - 1) {
            status = KestrinStatus::WRITE_FAILED;
            return done;
        }
        m_heldSinceWrite = true;
        for (size_t r = 0; r < rows; ++r, ++next) {
            if (ids) ids->push_back(next);
            noteInserted(next, points[done + r].x, points[done + r].y);
        }
    }
    return done;
}

long NORVAKestrinDatabase::insertPoints(const std::vector<NewPoint>& points, std::vector<int64_t>* ids) {
    // An empty batch writes nothing, so even a read-only store takes it.
    if (points.empty()) return 0;
    if (!m_writable) return KestrinStatus::WRITE_FAILED;
    if (long s = beginSession()) return s;
    const int rc = step(m_beginBatch, "SAVEPOINT kestrin_batch");
    if (rc != SQLITE_OK) return writeFailed(rc);
    const size_t idsBefore = ids ? ids->size() : 0;
    long status = 0;
    size_t from = insertMany(points.data(), points.size(), ids, status);
    for (; status == 0 && from < points.size(); ++from) status = insertOne(points[from], ids);
    bool undone = false;
    status = closeSavepoint(status, m_endBatch, "RELEASE kestrin_batch", m_undoBatch, "ROLLBACK TO kestrin_batch",
                            undone);
    if (status == 0) {
        ++m_changes;
        return 0;
    }
    if (ids) ids->resize(idsBefore);
    dropCache();  // it may hold points of the batch just undone
    if (undone) {
        ++m_changes;
        ++m_undos;
    }
    return status;
}

long NORVAKestrinDatabase::updateField(int64_t id, long index, const NORVAKestrinGenericDataObject& record) {
    if (m_updateField.size() < static_cast<size_t>(m_layout->getNumAtts()))
        m_updateField.resize(static_cast<size_t>(m_layout->getNumAtts()), nullptr);
    sqlite3_stmt* update = statement(m_updateField[static_cast<size_t>(index)],
                                     "UPDATE kestrin_points SET " + column(index) + " = ? WHERE id = ?");
    if (update == nullptr) return KestrinStatus::WRITE_FAILED;
    if (long s = bindField(update, 1, index, record)) return s;
    sqlite3_bind_int64(update, 2, id);
    const int rc = sqlite3_step(update);
    sqlite3_reset(update);
    if (rc != SQLITE_DONE) return writeFailed(rc);
    m_heldSinceWrite = true;
    return sqlite3_changes(m_db) == 1 ? 0 : KestrinStatus::BAD_ARGUMENT;
}

// Several fields of one layout of up to 64 fields go in one statement, kept
// prepared per set of fields (a few sets serve an editing session).
long NORVAKestrinDatabase::updateFields(int64_t id, const std::vector<long>& fields,
                                        const NORVAKestrinGenericDataObject& record, bool& done) {
    done = false;
    if (m_layout->getNumAtts() > 64) return 0;
    uint64_t mask = 0;
    for (long i : fields) mask |= uint64_t(1) << i;
    auto kept = m_updateFields.find(mask);
    if (kept == m_updateFields.end()) {
        if (m_updateFields.size() >= kMostFieldSets) return 0;
        std::string sql = "UPDATE kestrin_points SET ";
        for (long i = 0, n = 0; i < m_layout->getNumAtts(); ++i)
            if (mask & (uint64_t(1) << i)) sql += (n++ ? ", " : "") + column(i) + " = ?";
        sql += " WHERE id = ?";
        sqlite3_stmt* stmt = nullptr;
        if (statement(stmt, sql) == nullptr) return 0;
        kept = m_updateFields.emplace(mask, stmt).first;
    }
    sqlite3_stmt* update = kept->second;
    sqlite3_reset(update);
    int slot = 1;
    for (long i = 0; i < m_layout->getNumAtts(); ++i)
        if (mask & (uint64_t(1) << i))
            if (long s = bindField(update, slot++, i, record)) return s;
    sqlite3_bind_int64(update, slot, id);
    done = true;
    const int rc = sqlite3_step(update);
    sqlite3_reset(update);
    if (rc != SQLITE_DONE) return writeFailed(rc);
    m_heldSinceWrite = true;
    return sqlite3_changes(m_db) == 1 ? 0 : KestrinStatus::BAD_ARGUMENT;
}

long NORVAKestrinDatabase::updatePoint(int64_t id, const NORVAKestrinGenericDataObject& record,
                                       const std::vector<long>* fields) {
    if (!m_writable) return KestrinStatus::WRITE_FAILED;
    if (m_layout->getNumAtts() == 0 || (fields && fields->empty())) return 0;
    if (fields)
        for (long i : *fields)
            if (i < 0 || i >= m_layout->getNumAtts()) return KestrinStatus::BAD_ARGUMENT;
    if (long s = beginSession()) return s;
    // A point read ahead is read again once it was written.
    forgetAhead(id);
    // Only the fields asked for: two holders of one point each write their own.
    const size_t n = fields ? fields->size() : static_cast<size_t>(m_layout->getNumAtts());
    auto field = [&](size_t k) { return fields ? (*fields)[k] : static_cast<long>(k); };
    // One statement is all or nothing by itself; several share a savepoint.
    if (n == 1) {
        const long status = updateField(id, field(0), record);
        if (status == 0) ++m_changes;
        return status;
    }
    if (fields) {
        bool done = false;
        const long status = updateFields(id, *fields, record, done);
        if (done) {
            if (status == 0) ++m_changes;
            return status;
        }
        if (status != 0) return status;
    }
    const int rc = step(m_beginEdit, "SAVEPOINT kestrin_edit");
    if (rc != SQLITE_OK) return writeFailed(rc);
    long status = 0;
    for (size_t k = 0; k < n && status == 0; ++k) status = updateField(id, field(k), record);
    bool undone = false;
    status = closeSavepoint(status, m_endEdit, "RELEASE kestrin_edit", m_undoEdit, "ROLLBACK TO kestrin_edit", undone);
    if (status == 0) ++m_changes;
    return status;
}

long NORVAKestrinDatabase::commit() {
    if (m_lost) return m_lostStatus;
    if (!m_inEdit) return 0;
    if (m_damaged) return KestrinStatus::DAMAGED;
    const int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        m_inEdit = false;
        // The lock is gone: another connection may write the file from now on.
        m_heldSinceWrite = false;
        m_seenVersion = pagerVersion();  // this connection's own commit
        if (!isInMemory()) dropCache();
        return 0;
    }
    // A lock held elsewhere leaves the session open; the store that failed
    // drops it (dropSession).
    return writeFailed(rc);
}

// Plain reads do not notice a schema b-tree out of order, but a statement
// that writes the schema (the store's own tables) writes through the damage,
// and the file stops opening. The schema is a page or two, checked in
// microseconds however many points there are.
long NORVAKestrinDatabase::checkSchemaTree() {
    if (isInMemory()) return 0;  // private, and written only here
    sqlite3_stmt* check = nullptr;
    int rc = sqlite3_prepare_v2(m_db, "PRAGMA quick_check(sqlite_schema)", -1, &check, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(check);
    const unsigned char* verdict = rc == SQLITE_ROW ? sqlite3_column_text(check, 0) : nullptr;
    const bool sound = verdict != nullptr && std::string(reinterpret_cast<const char*>(verdict)) == "ok";
    sqlite3_finalize(check);
    if (rc != SQLITE_ROW) return failRead(rc);
    if (sound) return 0;
    m_damaged = true;
    return KestrinStatus::DAMAGED;
}

void NORVAKestrinDatabase::dropSession(long why) {
    if (!m_inEdit) return;
    m_lostStatus = why;
    if (!sqlite3_get_autocommit(m_db)) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_inEdit = false;
    m_heldSinceWrite = false;
    m_lost = true;
    dropCache();
    ++m_changes;
    ++m_undos;
}

long NORVAKestrinDatabase::copyTo(const NORVAUString& target) {
    if (long s = commit()) return s;
    // Named and locked as the surfaces' temporaries are: whoever opens the
    // surface after a crash removes it, never while this writer lives.
    NORVAUString folder, name, extension;
    PathUtilities::parsePath(target, nullptr, &folder, &name, &extension);
    std::string pattern = (folder + "." + name + extension + ".tmp-XXXXXX").toUTF8();
    const int lock = NORVAAtomicFile::makeTemporary(pattern);
    if (lock < 0) return KestrinStatus::WRITE_FAILED;
    (void)::fchmod(lock, 0644);
    const NORVAUString temp{pattern};
    sqlite3* out = nullptr;
    int rc = sqlite3_open_v2(pattern.c_str(), &out, SQLITE_OPEN_READWRITE, nullptr);
    // A new temporary has nothing to roll back to (a failed copy is thrown
    // away), so it keeps no journal that a crash could leave behind.
    if (rc == SQLITE_OK) rc = sqlite3_exec(out, "PRAGMA journal_mode = OFF", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_backup* backup = sqlite3_backup_init(out, "main", m_db, "main");
        if (backup == nullptr) {
            rc = sqlite3_errcode(out);
        } else {
            rc = sqlite3_backup_step(backup, -1);
            const int finish = sqlite3_backup_finish(backup);
            rc = rc == SQLITE_DONE ? finish : (rc == SQLITE_OK ? SQLITE_ERROR : rc);
        }
    }
    if (sqlite3_close(out) != SQLITE_OK && rc == SQLITE_OK) rc = SQLITE_IOERR;
    // Inside a multi-file commit the copy takes its place with the other
    // files of the surface (the transaction removes it when it fails).
    NORVAFileTransaction* commit = rc == SQLITE_OK ? NORVAFileTransaction::current() : nullptr;
    if (commit != nullptr) {
        commit->stage(temp, target, lock);
        return 0;
    }
    const bool moved = rc == SQLITE_OK && NORVAFileUtils::renameFile(temp, target);
    if (!moved) NORVAFileUtils::removeFile(temp);
    NORVALockedFiles::release(lock);
    return moved ? 0 : KestrinStatus::WRITE_FAILED;
}

long NORVAKestrinDatabase::collectIds(sqlite3_stmt* query, std::vector<int64_t>& ids) {
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(query)) == SQLITE_ROW) ids.push_back(sqlite3_column_int64(query, 0));
    sqlite3_reset(query);
    if (rc != SQLITE_DONE) {
        ids.clear();
        return failRead(rc);
    }
    return 0;
}

// The points of stretches of row bands already searched, kept for the point
// queries of a session (a combine asks one per node). Only while nothing but this
// connection can change the file: a private store, or a file this connection
// has written in the open session (its lock keeps other writers out). Points
// added by this connection are added to their band; a failure drops it all.
bool NORVAKestrinDatabase::cacheUsable() const {
    return !m_rtree && !m_lost && (isInMemory() || (m_inEdit && m_heldSinceWrite));
}

void NORVAKestrinDatabase::dropCache() {
    m_ahead.clear();
    m_bands.clear();
    m_cachedPoints = 0;
    m_recent.fill(Recent{});
}

int64_t NORVAKestrinDatabase::tileOf(double x) const {
    const double tile = std::floor(x / (m_gridStep * kTileCells));
    return static_cast<int64_t>(std::max(-double(kBandLimit), std::min(double(kBandLimit), tile)));
}

// Point queries in a row of nodes ask for the same few stretches over and
// over: the last ones found are kept at hand (the map's elements stay put
// until the cache is dropped).
std::vector<NORVAKestrinDatabase::Found>* NORVAKestrinDatabase::cachedPart(int64_t band, int64_t tile) {
    for (const Recent& r : m_recent)
        if (r.points && r.band == band && r.tile == tile) return r.points;
    const auto found = m_bands.find({band, tile});
    if (found == m_bands.end()) return nullptr;
    remember(band, tile, &found->second);
    return &found->second;
}

void NORVAKestrinDatabase::remember(int64_t band, int64_t tile, std::vector<Found>* points) {
    m_recent[m_nextRecent] = Recent{band, tile, points};
    m_nextRecent = (m_nextRecent + 1) % m_recent.size();
}

void NORVAKestrinDatabase::noteInserted(int64_t id, double x, double y) {
    if (m_bands.empty()) return;
    std::vector<Found>* part = cachedPart(rowOf(y), tileOf(x));
    if (part == nullptr) return;
    std::vector<Found>& points = *part;
    const auto at = std::upper_bound(points.begin(), points.end(), x, [](double v, const Found& f) { return v < f.x; });
    points.insert(at, Found{id, x, y});
    if (++m_cachedPoints > kMaxCachedPoints) dropCache();
}

long NORVAKestrinDatabase::cachedRows(double minX, double minY, double maxX, double maxY, std::vector<Found>& found) {
    found.clear();
    if (!(minX <= maxX) || !(minY <= maxY)) return 0;
    const int64_t first = rowOf(minY), last = rowOf(maxY), left = tileOf(minX), right = tileOf(maxX);
    if (first <= -kBandLimit || last >= kBandLimit || last - first > 2 || left <= -kBandLimit ||
        right >= kBandLimit || right - left > 2)
        return queryRows(minX, minY, maxX, maxY, found);
    for (int64_t b = first; b <= last; ++b)
        for (int64_t t = left; t <= right; ++t) {
            std::vector<Found>* part = cachedPart(b, t);
            if (part == nullptr) {
                // One stretch of a band, searched a step wider on each side
                // (rounding): the points are then kept by their own stretch.
                const double from = (double(t) * kTileCells - 1.0) * m_gridStep,
                             to = (double(t + 1) * kTileCells + 1.0) * m_gridStep;
                std::vector<Found> points;
                if (long s = queryRows(from, -HUGE_VAL, to, HUGE_VAL, points, b)) return s;
                points.erase(std::remove_if(points.begin(), points.end(),
                                            [&](const Found& f) { return tileOf(f.x) != t; }),
                             points.end());
                if (m_cachedPoints + points.size() > kMaxCachedPoints) dropCache();
                std::sort(points.begin(), points.end(), [](const Found& a, const Found& c) {
                    return a.x < c.x || (a.x == c.x && a.id < c.id);
                });
                m_cachedPoints += points.size();
                part = &m_bands.emplace(std::make_pair(b, t), std::move(points)).first->second;
                remember(b, t, part);
            }
            const std::vector<Found>& points = *part;
            auto at =
                std::lower_bound(points.begin(), points.end(), minX, [](const Found& f, double v) { return f.x < v; });
            for (; at != points.end() && at->x <= maxX; ++at)
                if (at->y >= minY && at->y <= maxY) found.push_back(*at);
        }
    return 0;
}

long NORVAKestrinDatabase::queryNearest(double cx, double cy, double half, std::vector<int64_t>& ids) {
    ids.clear();
    if (std::isnan(cx) || std::isnan(cy) || std::isnan(half)) return 0;
    if (!m_rtree) {
        std::vector<Found> found;
        const long status = cacheUsable() ? cachedRows(cx - half, cy - half, cx + half, cy + half, found)
                                          : queryRows(cx - half, cy - half, cx + half, cy + half, found);
        auto distance = [&](const Found& f) { return (f.x - cx) * (f.x - cx) + (f.y - cy) * (f.y - cy); };
        std::sort(found.begin(), found.end(), [&](const Found& a, const Found& b) {
            const double da = distance(a), db = distance(b);
            return da < db || (da == db && a.id < b.id);
        });
        for (const Found& f : found) ids.push_back(f.id);
        keepFirstOfEach(ids);
        return status;
    }
    // An entry whose row is missing comes first, for the read to find.
    sqlite3_stmt* query = statement(
        m_nearest, "SELECT i.id FROM kestrin_index i LEFT JOIN kestrin_points p ON p.id = i.id "
                   "WHERE i.maxx >= ?1 - ?3 AND i.minx <= ?1 + ?3 AND i.maxy >= ?2 - ?3 AND i.miny <= ?2 + ?3 "
                   "AND (p.id IS NULL OR (p.x >= ?1 - ?3 AND p.x <= ?1 + ?3 AND p.y >= ?2 - ?3 AND p.y <= ?2 + ?3)) "
                   "ORDER BY (p.x - ?1) * (p.x - ?1) + (p.y - ?2) * (p.y - ?2), i.id");
    if (query == nullptr) return KestrinStatus::DAMAGED;
    sqlite3_bind_double(query, 1, cx);
    sqlite3_bind_double(query, 2, cy);
    sqlite3_bind_double(query, 3, half);
    const long status = collectIds(query, ids);
    keepFirstOfEach(ids);
    return status;
}

long NORVAKestrinDatabase::queryIds(double minX, double minY, double maxX, double maxY, std::vector<int64_t>& ids) {
    ids.clear();
    if (std::isnan(minX) || std::isnan(minY) || std::isnan(maxX) || std::isnan(maxY)) return 0;
    long status = 0;
    if (m_rtree) {
        // An R-tree keeps 32-bit bounds rounded outward; the exact test is on
        // the row. An entry whose row is missing is kept, for the read to
        // find (loadPoints), rather than passed over as no point.
        sqlite3_stmt* query = statement(m_query,
                                        "SELECT i.id FROM kestrin_index i LEFT JOIN kestrin_points p ON p.id = i.id "
                                        "WHERE i.maxx >= ?1 AND i.minx <= ?3 AND i.maxy >= ?2 AND i.miny <= ?4 "
                                        "AND (p.id IS NULL OR (p.x >= ?1 AND p.x <= ?3 AND p.y >= ?2 AND p.y <= ?4))");
        if (query == nullptr) return KestrinStatus::DAMAGED;
        sqlite3_bind_double(query, 1, minX);
        sqlite3_bind_double(query, 2, minY);
        sqlite3_bind_double(query, 3, maxX);
        sqlite3_bind_double(query, 4, maxY);
        status = collectIds(query, ids);
    } else {
        std::vector<Found> found;
        status = queryRows(minX, minY, maxX, maxY, found);
        ids.reserve(found.size());
        for (const Found& f : found) ids.push_back(f.id);
    }
    // In id order: rows are then read front to back; a row a damaged index
    // names twice is served once.
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return status;
}

// The row band of a position, as the index computes it (SQLite's CAST of a
// real: toward zero, held inside 64 bits).
int64_t NORVAKestrinDatabase::rowOf(double y) const {
    const double band = std::trunc((y - m_gridY) / m_gridStep);
    return static_cast<int64_t>(std::max(-double(kBandLimit), std::min(double(kBandLimit), band)));
}

// Points inside the box, with their positions, through the index of row
// bands: one short search per band, or one pass over all bands when the box
// spans very many.
long NORVAKestrinDatabase::queryRows(double minX, double minY, double maxX, double maxY, std::vector<Found>& found,
                                     int64_t onlyBand) {
    found.clear();
    if (!(minX <= maxX) || !(minY <= maxY)) return 0;
    // The same arithmetic as the index's (the grid's literals read back
    // exactly), so the bands of the box's edges are the ones to search.
    int64_t first = rowOf(minY), last = rowOf(maxY);
    if (onlyBand != kNoBand) first = last = onlyBand;
    // Bands at the ends of the held range reach as far as SQLite's own.
    const bool openBelow = first <= -kBandLimit, openAbove = last >= kBandLimit;
    if (openBelow) first = std::numeric_limits<int64_t>::min();
    if (openAbove) last = std::numeric_limits<int64_t>::max();
    const bool perBand = !openBelow && !openAbove && double(last) - double(first) < double(kMaxBandSearches);
    const std::string filter = " AND x >= ?2 AND x <= ?3 AND y >= ?4 AND y <= ?5";
    sqlite3_stmt* query =
        perBand ? statement(m_bandQuery, m_bandQuery ? std::string()
                                                     : "SELECT id, x, y FROM kestrin_points WHERE " + m_rowExpr +
                                                           " = ?1" + filter)
                : statement(m_bandsQuery, m_bandsQuery ? std::string()
                                                       : "SELECT id, x, y FROM kestrin_points WHERE " + m_rowExpr +
                                                             " >= ?1 AND " + m_rowExpr + " <= ?6" + filter);
    if (query == nullptr) return KestrinStatus::DAMAGED;
    sqlite3_bind_double(query, 2, minX);
    sqlite3_bind_double(query, 3, maxX);
    sqlite3_bind_double(query, 4, minY);
    sqlite3_bind_double(query, 5, maxY);
    if (!perBand) sqlite3_bind_int64(query, 6, last);
    for (int64_t band = first;; ++band) {
        sqlite3_bind_int64(query, 1, band);
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(query)) == SQLITE_ROW)
            found.push_back({sqlite3_column_int64(query, 0), sqlite3_column_double(query, 1),
                             sqlite3_column_double(query, 2)});
        sqlite3_reset(query);
        if (rc != SQLITE_DONE) {
            found.clear();
            return failRead(rc);
        }
        if (!perBand || band == last) return 0;
    }
}

std::string NORVAKestrinDatabase::rowColumns() const {
    std::string sql = "x, y";
    for (long i = 0; i < m_layout->getNumAtts(); ++i) sql += ", " + column(i);
    return sql;
}

void NORVAKestrinDatabase::readRow(sqlite3_stmt* stmt, int first, double& x, double& y,
                                   NORVAKestrinGenericDataObject& record) const {
    x = sqlite3_column_double(stmt, first);
    y = sqlite3_column_double(stmt, first + 1);
    // A record of this layout already is reused as it is.
    if (record.getDescriptor() != m_layout.get()) record = NORVAKestrinGenericDataObject(m_layout);
    for (long i = 0; i < m_layout->getNumAtts(); ++i) {
        const int col = first + 2 + static_cast<int>(i);
        if (sqlite3_column_type(stmt, col) == SQLITE_NULL) record.clearAttribute(i);
        else if (KestrinStoreType::isText(m_layout->getType(i))) record.loadText(i, columnText(stmt, col));
        else record.loadNumber(i, sqlite3_column_double(stmt, col));
    }
}

long NORVAKestrinDatabase::loadPoint(int64_t id, double& x, double& y, NORVAKestrinGenericDataObject& record) {
    // Points asked for one after another in id order (a survey line being
    // edited) are read a stretch at a time while nothing else can change them.
    const bool following = m_lastLoaded != INT64_MAX && id == m_lastLoaded + 1;
    m_lastLoaded = id;
    if (cacheUsable() && (takeAhead(id, x, y, record) || (following && readAhead(id) && takeAhead(id, x, y, record))))
        return 0;
    sqlite3_stmt* select =
        statement(m_select, m_select ? std::string() : "SELECT " + rowColumns() + " FROM kestrin_points WHERE id = ?");
    if (select == nullptr) return KestrinStatus::DAMAGED;
    sqlite3_bind_int64(select, 1, id);
    const int rc = sqlite3_step(select);
    if (rc == SQLITE_ROW) readRow(select, 0, x, y, record);
    sqlite3_reset(select);
    if (rc == SQLITE_ROW) return 0;
    return rc == SQLITE_DONE ? KestrinStatus::BAD_ARGUMENT : failRead(rc);
}

bool NORVAKestrinDatabase::readAhead(int64_t from) {
    m_ahead.clear();
    if (from > INT64_MAX - kReadAhead) return false;
    sqlite3_stmt* range = statement(
        m_range, m_range ? std::string()
                         : "SELECT id, " + rowColumns() + " FROM kestrin_points WHERE id >= ?1 AND id <= ?2");
    if (range == nullptr) return false;
    sqlite3_bind_int64(range, 1, from);
    sqlite3_bind_int64(range, 2, from + kReadAhead - 1);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(range)) == SQLITE_ROW) {
        m_ahead.emplace_back();
        Ahead& row = m_ahead.back();
        row.id = sqlite3_column_int64(range, 0);
        readRow(range, 1, row.x, row.y, row.record);
    }
    sqlite3_reset(range);
    // Whatever went wrong is met again, and reported, by the plain read.
    if (rc != SQLITE_DONE) m_ahead.clear();
    return !m_ahead.empty();
}

NORVAKestrinDatabase::Ahead* NORVAKestrinDatabase::aheadOf(int64_t id) {
    const auto at = std::lower_bound(m_ahead.begin(), m_ahead.end(), id,
                                     [](const Ahead& a, int64_t wanted) { return a.id < wanted; });
    return at != m_ahead.end() && at->id == id ? &*at : nullptr;
}

bool NORVAKestrinDatabase::takeAhead(int64_t id, double& x, double& y, NORVAKestrinGenericDataObject& record) {
    Ahead* at = aheadOf(id);
    if (at == nullptr || at->taken) return false;
    // Served once: a point read again is read from the file.
    at->taken = true;
    x = at->x;
    y = at->y;
    record = std::move(at->record);
    return true;
}

// Marked as served rather than taken out, which would move every later one.
void NORVAKestrinDatabase::forgetAhead(int64_t id) {
    if (Ahead* at = aheadOf(id)) at->taken = true;
}

// Ids that lie close together (a row of a survey grid inside a box) are
// read in one pass over their id range, taking each row asked for on the
// way; a lone id is looked up by itself. `out` from `from` on; false after
// a failure that is not a point gone.
long NORVAKestrinDatabase::loadRun(const int64_t* ids, size_t from, size_t to, std::vector<Loaded>& out) {
    if (to - from == 1) return out[from].status = loadPoint(ids[from], out[from].x, out[from].y, out[from].record);
    sqlite3_stmt* range = statement(
        m_range, m_range ? std::string()
                         : "SELECT id, " + rowColumns() + " FROM kestrin_points WHERE id >= ?1 AND id <= ?2");
    if (range == nullptr) return KestrinStatus::DAMAGED;
    sqlite3_bind_int64(range, 1, ids[from]);
    sqlite3_bind_int64(range, 2, ids[to - 1]);
    for (size_t i = from; i < to; ++i) out[i].status = KestrinStatus::BAD_ARGUMENT;
    size_t at = from;
    int rc = SQLITE_ROW;
    while (at < to && (rc = sqlite3_step(range)) == SQLITE_ROW) {
        const int64_t id = sqlite3_column_int64(range, 0);
        while (at < to && ids[at] < id) ++at;
        if (at < to && ids[at] == id) {
            readRow(range, 1, out[at].x, out[at].y, out[at].record);
            out[at++].status = 0;
        }
    }
    sqlite3_reset(range);
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) return 0;
    const long failure = failRead(rc);
    for (size_t i = at; i < to; ++i) out[i].status = failure;
    return failure;
}

void NORVAKestrinDatabase::loadPoints(const int64_t* ids, size_t count, std::vector<Loaded>& out, uint64_t foundAt) {
    out.resize(count);
    // One read transaction instead of one lock and unlock per point.
    const bool ownRead = sqlite3_get_autocommit(m_db) && exec("BEGIN") == 0;
    long failure = 0;
    for (size_t from = 0; from < count;) {
        size_t to = from + 1;
        while (to < count && ids[to] > ids[to - 1] && ids[to] - ids[to - 1] <= kRunGap) ++to;
        // Past a failure other than a point gone, the rest fail alike
        // instead of each waiting out the lock again.
        if (failure != 0) {
            for (size_t i = from; i < to; ++i) out[i].status = failure;
        } else {
            const long s = loadRun(ids, from, to, out);
            if (s != 0 && s != KestrinStatus::BAD_ARGUMENT) failure = s;
        }
        from = to;
    }
    if (ownRead) exec("COMMIT");
    // Asked after the read: the file then was the one the ids were found in.
    if (m_undos != foundAt || unchangedSinceOpened() != 0) return;
    for (Loaded& loaded : out)
        if (loaded.status == KestrinStatus::BAD_ARGUMENT) {
            loaded.status = KestrinStatus::DAMAGED;
            m_damaged = true;
        }
}

long NORVAKestrinDatabase::countPoints(int64_t& count) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_db, "SELECT COUNT(*) FROM kestrin_points", -1, &stmt, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) count = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return rc == SQLITE_ROW ? 0 : failRead(rc);
}

long NORVAKestrinDatabase::attributeRange(long index, double& minimum, double& maximum, bool& found) {
    found = false;
    const int32_t type = m_layout->getType(index);
    if (index < 0 || index >= m_layout->getNumAtts() || KestrinStoreType::isText(type)) return 0;
    const std::string c = column(index);
    const std::string sql = "SELECT MIN(" + c + "), MAX(" + c + ") FROM kestrin_points WHERE typeof(" + c +
                            ") IN ('integer', 'real') AND " + c + " <> ?";
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_double(stmt, 1, KestrinStoreType::emptyValue(type));
        rc = sqlite3_step(stmt);
    }
    if (rc == SQLITE_ROW && sqlite3_column_type(stmt, 0) != SQLITE_NULL) {
        found = true;
        minimum = KestrinStoreType::saturate(type, sqlite3_column_double(stmt, 0));
        maximum = KestrinStoreType::saturate(type, sqlite3_column_double(stmt, 1));
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_ROW ? 0 : failRead(rc);
}
