#include "platform/kestrin/NORVAKestrinDatabase.h"

#include <sqlite3.h>

#include <cmath>

#include "platform/core/NORVAFileUtils.h"
#include "platform/kestrin/KestrinStatus.h"
#include "platform/kestrin/KestrinStoreType.h"

namespace {

std::string column(long i) { return "a" + std::to_string(i); }

bool isInteger(int32_t type) {
    using namespace KestrinStoreType;
    return type == LONG || type == UCHAR || type == USHORT || type == SHORT || type == ULONG;
}

std::string columnText(sqlite3_stmt* stmt, int col) {
    const unsigned char* text = sqlite3_column_text(stmt, col);
    const int bytes = sqlite3_column_bytes(stmt, col);
    return text && bytes > 0 ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(bytes))
                             : std::string();
}

}  // namespace

NORVAKestrinDatabase::~NORVAKestrinDatabase() {
    for (sqlite3_stmt* s : {m_insert, m_insertIndex, m_update, m_select, m_query}) sqlite3_finalize(s);
    // Edits never committed are dropped, as the store was not stored.
    if (m_db && m_inEdit) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(m_db);
}

long NORVAKestrinDatabase::fail(int rc) const {
    switch (rc & 0xFF) {
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_FORMAT:
        case SQLITE_MISMATCH:
        case SQLITE_RANGE:
        case SQLITE_TOOBIG: return KestrinStatus::DAMAGED;
        case SQLITE_CANTOPEN: return KestrinStatus::CANNOT_OPEN;
        default: return KestrinStatus::WRITE_FAILED;
    }
}

long NORVAKestrinDatabase::exec(const char* sql) {
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? 0 : fail(rc);
}

long NORVAKestrinDatabase::configure() {
    // A points file may come from anywhere: no schema code of its own runs.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_extended_result_codes(m_db, 1);
    if (long s = exec("PRAGMA cell_size_check = ON")) return s;
    if (long s = exec("PRAGMA temp_store = MEMORY")) return s;
    return exec("PRAGMA journal_mode = DELETE") == 0 || isInMemory() ? 0 : KestrinStatus::DAMAGED;
}

long NORVAKestrinDatabase::createSchema() {
    std::string sql = "CREATE TABLE kestrin_points(id INTEGER PRIMARY KEY, x REAL NOT NULL, y REAL NOT NULL";
    for (long i = 0; i < m_layout->getNumAtts(); ++i) sql += ", " + column(i);
    sql += ");CREATE VIRTUAL TABLE kestrin_index USING rtree(id, minx, maxx, miny, maxy);";
    return exec(sql.c_str());
}

long NORVAKestrinDatabase::checkSchema() {
    // The points must be a plain table and the index an R-tree; a view or a
    // trigger in a file from elsewhere could make any read run without end.
    sqlite3_stmt* kinds = nullptr;
    int rc = sqlite3_prepare_v2(m_db,
                                "SELECT (SELECT COUNT(*) FROM sqlite_schema WHERE type IN ('view', 'trigger')), "
                                "(SELECT COUNT(*) FROM sqlite_schema WHERE type = 'table' AND name = 'kestrin_points' "
                                "AND sql NOT LIKE 'CREATE VIRTUAL%'), "
                                "(SELECT COUNT(*) FROM sqlite_schema WHERE type = 'table' AND name = 'kestrin_index' "
                                "AND sql LIKE 'CREATE VIRTUAL TABLE % USING rtree(%')",
                                -1, &kinds, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(kinds);
    const bool kindsOk = rc == SQLITE_ROW && sqlite3_column_int(kinds, 0) == 0 && sqlite3_column_int(kinds, 1) == 1 &&
                         sqlite3_column_int(kinds, 2) == 1;
    sqlite3_finalize(kinds);
    if (!kindsOk) return rc == SQLITE_ROW || (rc & 0xFF) == SQLITE_ERROR ? KestrinStatus::DAMAGED : fail(rc);
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
    if (!pointsOk) return rc == SQLITE_OK || (rc & 0xFF) == SQLITE_ERROR ? KestrinStatus::DAMAGED : fail(rc);
    rc = sqlite3_prepare_v2(m_db, "SELECT id, minx, maxx, miny, maxy FROM kestrin_index LIMIT 0", -1, &probe,
                            nullptr);
    sqlite3_finalize(probe);
    return rc == SQLITE_OK ? 0 : KestrinStatus::DAMAGED;
}

std::unique_ptr<NORVAKestrinDatabase> NORVAKestrinDatabase::createInMemory(
    std::shared_ptr<const NORVAKestrinGenericDataDescriptor> layout, long& status) {
    std::unique_ptr<NORVAKestrinDatabase> db(new NORVAKestrinDatabase());
    db->m_layout = std::move(layout);
    db->m_writable = true;
    if (sqlite3_open_v2(":memory:", &db->m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        status = KestrinStatus::CANNOT_OPEN;
        return nullptr;
    }
    status = db->configure();
    if (status == 0) status = db->createSchema();
    if (status != 0) return nullptr;
    return db;
}

std::unique_ptr<NORVAKestrinDatabase> NORVAKestrinDatabase::openFile(
    const NORVAUString& path, bool writable, std::shared_ptr<const NORVAKestrinGenericDataDescriptor> layout,
    long& status) {
    if (!NORVAFileUtils::isRegularFile(path)) {
        status = KestrinStatus::CANNOT_OPEN;
        return nullptr;
    }
    std::unique_ptr<NORVAKestrinDatabase> db(new NORVAKestrinDatabase());
    db->m_layout = std::move(layout);
    db->m_path = path;
    db->m_writable = writable;
    const int flags = writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY;
    const int rc = sqlite3_open_v2(path.toUTF8().c_str(), &db->m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        status = db->fail(rc);
        return nullptr;
    }
    status = db->configure();
    if (status == 0) status = db->checkSchema();
    if (status != 0) return nullptr;
    return db;
}

sqlite3_stmt* NORVAKestrinDatabase::statement(sqlite3_stmt*& slot, const std::string& sql) {
    if (slot == nullptr && sqlite3_prepare_v2(m_db, sql.c_str(), -1, &slot, nullptr) != SQLITE_OK) {
        sqlite3_finalize(slot);
        slot = nullptr;
    }
    if (slot) sqlite3_reset(slot);
    return slot;
}

long NORVAKestrinDatabase::bindRecord(sqlite3_stmt* stmt, int first, const NORVAKestrinGenericDataObject& record) {
    for (long i = 0; i < m_layout->getNumAtts(); ++i) {
        const int slot = first + static_cast<int>(i);
        const NORVAKestrinGenericDataObject::Field* f =
            record.getDescriptor() == nullptr || record.getNumAtts() != m_layout->getNumAtts()
                ? nullptr
                : record.getAttribute(i, false);
        const int32_t type = m_layout->getType(i);
        int rc = SQLITE_OK;
        if (f == nullptr) rc = sqlite3_bind_null(stmt, slot);
        else if (KestrinStoreType::isText(type))
            rc = sqlite3_bind_text(stmt, slot, f->text.data(), static_cast<int>(f->text.size()), SQLITE_TRANSIENT);
        else if (isInteger(type)) rc = sqlite3_bind_int64(stmt, slot, static_cast<sqlite3_int64>(f->number));
        else rc = sqlite3_bind_double(stmt, slot, f->number);
        if (rc != SQLITE_OK) return fail(rc);
    }
    return 0;
}

long NORVAKestrinDatabase::insertOne(const NewPoint& p, std::vector<int64_t>* ids) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || p.record == nullptr) return KestrinStatus::BAD_ARGUMENT;
    std::string sql = "INSERT INTO kestrin_points(x, y";
    std::string values = "VALUES(?, ?";
    for (long i = 0; i < m_layout->getNumAtts(); ++i) {
        sql += ", " + column(i);
        values += ", ?";
    }
    sqlite3_stmt* insert = statement(m_insert, sql + ") " + values + ")");
    sqlite3_stmt* index =
        statement(m_insertIndex, "INSERT INTO kestrin_index(id, minx, maxx, miny, maxy) VALUES(?, ?, ?, ?, ?)");
    if (insert == nullptr || index == nullptr) return KestrinStatus::WRITE_FAILED;
    sqlite3_bind_double(insert, 1, p.x);
    sqlite3_bind_double(insert, 2, p.y);
    if (long s = bindRecord(insert, 3, *p.record)) return s;
    int rc = sqlite3_step(insert);
    if (rc != SQLITE_DONE) return fail(rc);
    const sqlite3_int64 id = sqlite3_last_insert_rowid(m_db);
    sqlite3_bind_int64(index, 1, id);
    sqlite3_bind_double(index, 2, p.x);
    sqlite3_bind_double(index, 3, p.x);
    sqlite3_bind_double(index, 4, p.y);
    sqlite3_bind_double(index, 5, p.y);
    rc = sqlite3_step(index);
    if (rc != SQLITE_DONE) return fail(rc);
    if (ids) ids->push_back(id);
    return 0;
}

long NORVAKestrinDatabase::insertPoints(const std::vector<NewPoint>& points, std::vector<int64_t>* ids) {
    // An empty batch writes nothing, so even a read-only store takes it.
    if (points.empty()) return 0;
    if (!m_writable) return KestrinStatus::WRITE_FAILED;
    if (long s = exec("SAVEPOINT kestrin_batch")) return s;
    const size_t idsBefore = ids ? ids->size() : 0;
    long status = 0;
    for (const NewPoint& p : points)
        if ((status = insertOne(p, ids)) != 0) break;
    if (status != 0) {
        exec("ROLLBACK TO kestrin_batch");
        exec("RELEASE kestrin_batch");
        if (ids) ids->resize(idsBefore);
        return status;
    }
    if (long s = exec("RELEASE kestrin_batch")) return s;
    ++m_changes;
    // Releasing the outermost savepoint commits; pending edits went along.
    if (m_inEdit) return commit();
    return 0;
}

long NORVAKestrinDatabase::updatePoint(int64_t id, const NORVAKestrinGenericDataObject& record) {
    if (!m_writable) return KestrinStatus::WRITE_FAILED;
    std::string sql = "UPDATE kestrin_points SET ";
    for (long i = 0; i < m_layout->getNumAtts(); ++i) sql += (i ? ", " : "") + column(i) + " = ?";
    if (m_layout->getNumAtts() == 0) return 0;
    sqlite3_stmt* update = statement(m_update, sql + " WHERE id = ?");
    if (update == nullptr) return KestrinStatus::WRITE_FAILED;
    if (!m_inEdit) {
        if (long s = exec("BEGIN")) return s;
        m_inEdit = true;
    }
    if (long s = bindRecord(update, 1, record)) return s;
    sqlite3_bind_int64(update, static_cast<int>(m_layout->getNumAtts()) + 1, id);
    const int rc = sqlite3_step(update);
    if (rc != SQLITE_DONE) return fail(rc);
    ++m_changes;
    return sqlite3_changes(m_db) == 1 ? 0 : KestrinStatus::BAD_ARGUMENT;
}

long NORVAKestrinDatabase::commit() {
    if (!m_inEdit) return 0;
    const long status = exec("COMMIT");
    if (status == 0) m_inEdit = false;
    return status;
}

long NORVAKestrinDatabase::copyTo(const NORVAUString& target) {
    if (long s = commit()) return s;
    const NORVAUString temp = target + ".kestrin-tmp";
    NORVAFileUtils::removeFile(temp);
    sqlite3* out = nullptr;
    int rc = sqlite3_open_v2(temp.toUTF8().c_str(), &out, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
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
    if (rc != SQLITE_OK || !NORVAFileUtils::renameFile(temp, target)) {
        NORVAFileUtils::removeFile(temp);
        return KestrinStatus::WRITE_FAILED;
    }
    return 0;
}

long NORVAKestrinDatabase::queryIds(double minX, double minY, double maxX, double maxY, std::vector<int64_t>& ids) {
    ids.clear();
    if (std::isnan(minX) || std::isnan(minY) || std::isnan(maxX) || std::isnan(maxY)) return 0;
    // The index keeps 32-bit bounds rounded outward; the exact test is on the row.
    sqlite3_stmt* query = statement(
        m_query,
        "SELECT p.id FROM kestrin_index i JOIN kestrin_points p ON p.id = i.id "
        "WHERE i.maxx >= ?1 AND i.minx <= ?3 AND i.maxy >= ?2 AND i.miny <= ?4 "
        "AND p.x >= ?1 AND p.x <= ?3 AND p.y >= ?2 AND p.y <= ?4 ORDER BY p.id");
    if (query == nullptr) return KestrinStatus::DAMAGED;
    sqlite3_bind_double(query, 1, minX);
    sqlite3_bind_double(query, 2, minY);
    sqlite3_bind_double(query, 3, maxX);
    sqlite3_bind_double(query, 4, maxY);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(query)) == SQLITE_ROW) ids.push_back(sqlite3_column_int64(query, 0));
    sqlite3_reset(query);
    if (rc != SQLITE_DONE) {
        ids.clear();
        return fail(rc);
    }
    return 0;
}

long NORVAKestrinDatabase::loadPoint(int64_t id, double& x, double& y, NORVAKestrinGenericDataObject& record) {
    std::string sql = "SELECT x, y";
    for (long i = 0; i < m_layout->getNumAtts(); ++i) sql += ", " + column(i);
    sqlite3_stmt* select = statement(m_select, sql + " FROM kestrin_points WHERE id = ?");
    if (select == nullptr) return KestrinStatus::DAMAGED;
    sqlite3_bind_int64(select, 1, id);
    const int rc = sqlite3_step(select);
    if (rc != SQLITE_ROW) {
        sqlite3_reset(select);
        return rc == SQLITE_DONE ? KestrinStatus::BAD_ARGUMENT : fail(rc);
    }
    x = sqlite3_column_double(select, 0);
    y = sqlite3_column_double(select, 1);
    record = NORVAKestrinGenericDataObject(m_layout);
    for (long i = 0; i < m_layout->getNumAtts(); ++i) {
        const int col = 2 + static_cast<int>(i);
        if (sqlite3_column_type(select, col) == SQLITE_NULL) continue;
        if (KestrinStoreType::isText(m_layout->getType(i))) record.loadText(i, columnText(select, col));
        else record.loadNumber(i, sqlite3_column_double(select, col));
    }
    sqlite3_reset(select);
    return 0;
}

void NORVAKestrinDatabase::loadPoints(const int64_t* ids, size_t count, std::vector<Loaded>& out) {
    out.resize(count);
    // One read transaction instead of one lock and unlock per point.
    const bool ownRead = sqlite3_get_autocommit(m_db) && exec("BEGIN") == 0;
    for (size_t i = 0; i < count; ++i) out[i].status = loadPoint(ids[i], out[i].x, out[i].y, out[i].record);
    if (ownRead) exec("COMMIT");
}

long NORVAKestrinDatabase::countPoints(int64_t& count) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_db, "SELECT COUNT(*) FROM kestrin_points", -1, &stmt, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) count = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return rc == SQLITE_ROW ? 0 : fail(rc);
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
    return rc == SQLITE_ROW ? 0 : fail(rc);
}
