#pragma once
// The points file of a tile store: an SQLite database with one row per point
// (id, x, y, one column per attribute) and an index over the positions (an
// R-tree in files of an earlier layout, still read and written). Every write of a session (edits of single points and batches of
// new points) gathers in one transaction that only `commit` ends, so the
// file holds the old points or the new ones, never a part of a session. A
// batch is a savepoint inside it: a failed batch leaves nothing behind. When
// SQLite itself abandons the transaction (a full disk, an I/O error) the
// session is lost as a whole: every later write and `commit` fails, and the
// file stays as it was. A lock held by another connection is waited for a
// bounded time and then reported. The rollback journal exists only while a
// transaction writes, so no side file stays beside the surface. Every value
// read back is untrusted: it is pulled inside its field's type, and a
// damaged file gives a status.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAUString.h"
#include "platform/kestrin/KestrinStatus.h"
#include "platform/kestrin/NORVAKestrinGenericDataObject.h"

struct sqlite3;
struct sqlite3_stmt;

class KIVO_EXPORT NORVAKestrinDatabase {
public:
    struct NewPoint {
        double x = 0.0;
        double y = 0.0;
        const NORVAKestrinGenericDataObject* record = nullptr;
    };

    ~NORVAKestrinDatabase();
    NORVAKestrinDatabase(const NORVAKestrinDatabase&) = delete;
    NORVAKestrinDatabase& operator=(const NORVAKestrinDatabase&) = delete;

    // How long a lock held by another connection is waited for (ms), and
    // the page cache of each database (bytes): what a session holds in
    // memory beyond it goes to its journal or temporary file.
    static void setBusyTimeout(int milliseconds);
    static int getBusyTimeout();
    static void setCacheLimit(int64_t bytes);
    static int64_t getCacheLimit();

    // An empty, private database with the layout's columns; it lives in a
    // temporary file that is gone when it is closed.
    static std::unique_ptr<NORVAKestrinDatabase> createInMemory(
        std::shared_ptr<const NORVAKestrinGenericDataDescriptor> layout, double originY, double step, long& status);
    // An existing points file; `useLayout` must follow before anything else.
    // Opened for reading only, even when `writable`, when its name is a
    // symbolic link or it has other names (hard links). Refused before SQLite
    // opens it: DAMAGED when it is not a rollback-journal SQLite file (one in
    // WAL mode, say), NORVASurfacePin::kBlocked when a journal, WAL or
    // shared-memory name beside it (or beside a link's target) holds what is
    // not a regular file of this user with one name (see
    // KestrinPointsFileVfs); that file stays. Through a symbolic link, a read
    // while a hot journal lies beside the target is refused with kBlocked.
    static std::unique_ptr<NORVAKestrinDatabase> openFile(const NORVAUString& path, bool writable, long& status);
    // The grid whose row bands order the index: origin y and step (the
    // store's cover and horizontal resolution). Before any query.
    void useGrid(double originY, double step);
    // Checks that the columns match the layout and takes it.
    long useLayout(std::shared_ptr<const NORVAKestrinGenericDataDescriptor> layout);
    // The header bytes kept inside the points file by the last `store`;
    // empty when the file keeps none.
    long readHeaderCopy(std::vector<uint8_t>& bytes);
    // Keeps the header bytes inside the session, so that they are committed
    // with the points they describe.
    long writeHeaderCopy(const std::vector<uint8_t>& bytes);
    // Keeps the token of a multi-file commit inside the session; whether a
    // file holds it tells whether that commit happened (1 yes, 0 no,
    // negative when the file cannot be read now).
    long writeCommitToken(const std::string& token);
    static int holdsCommitToken(const std::string& path, const std::string& token);

    bool isWritable() const { return m_writable; }
    bool isInMemory() const { return m_path.isEmpty(); }
    const NORVAUString& getPath() const { return m_path; }

    // Adds the points to the session, all or none; their new ids go to `ids`.
    long insertPoints(const std::vector<NewPoint>& points, std::vector<int64_t>* ids);
    // Writes the listed fields of one point's record (every field when
    // `fields` is null) in the session.
    long updatePoint(int64_t id, const NORVAKestrinGenericDataObject& record, const std::vector<long>* fields);
    // Ends the session, if any. A session SQLite abandoned gives WRITE_FAILED;
    // once any read found the file damaged, sessions neither begin nor
    // commit (DAMAGED).
    long commit();
    // DAMAGED (and no later session commits) when the schema's b-tree is
    // damaged; the session stays open for the caller to drop. A store asks
    // before its commit is decided (NORVAKestrinDataIO::store).
    long checkSchemaTree();
    // Ends the session, if any, unstored (a store that failed or was
    // refused): its writes are undone and every lock on the file is let go
    // at once. The session counts as lost, so no later store writes a part
    // of it: later edits and stores give `why`.
    void dropSession(long why = KestrinStatus::WRITE_FAILED);
    bool isSessionLost() const { return m_lost; }
    // Copies the whole database (after a commit) to `target`, through a
    // temporary file beside it that replaces the target only when complete.
    long copyTo(const NORVAUString& target);

    // Ids of the points inside the box (edges included), in id order; with
    // `nearest`, the closest to (cx, cy) first (ties in id order).
    long queryIds(double minX, double minY, double maxX, double maxY, std::vector<int64_t>& ids);
    long queryNearest(double cx, double cy, double half, std::vector<int64_t>& ids);
    long loadPoint(int64_t id, double& x, double& y, NORVAKestrinGenericDataObject& record);
    // Loads several points under one read lock (per point: status, x, y,
    // record), of ids a query found when getUndoCount() was `foundAt`. A
    // point missing is one undone since (BAD_ARGUMENT); with none undone and
    // no other connection's commit since, the index named a row the table
    // lacks: DAMAGED, as any damage a read finds.
    struct Loaded {
        long status = 0;
        double x = 0.0, y = 0.0;
        NORVAKestrinGenericDataObject record;
    };
    void loadPoints(const int64_t* ids, size_t count, std::vector<Loaded>& out, uint64_t foundAt);
    // Grows with every write, so readers can tell whether what they hold is current.
    uint64_t getChangeCount() const { return m_changes; }
    // Grows whenever points this connection added may have been undone (a
    // session dropped or lost, a batch undone): the only way, short of
    // damage, that a point a query found leaves the file.
    uint64_t getUndoCount() const { return m_undos; }
    // 0 while no other connection has committed to the file since this one
    // opened it; NORVASurfacePin::kChanged once one has, so that a read
    // after it is not taken for one of the generation opened. A read
    // failure's status when that cannot be told now.
    long unchangedSinceOpened() const;
    long countPoints(int64_t& count);
    // Minimum and maximum of a numeric attribute over the values that are
    // not the type's empty value; `found` false when there is none.
    long attributeRange(long index, double& minimum, double& maximum, bool& found);

private:
    NORVAKestrinDatabase() = default;
    long configure();
    void dropStaleJournal();
    long createSchema();
    long checkSchema();
    // DAMAGED when the row kept is longer than `maxBytes`.
    long readKept(const char* table, uint64_t maxBytes, std::vector<uint8_t>& bytes);
    long writeKept(const char* table, const void* bytes, size_t size);
    long exec(const char* sql);
    int step(sqlite3_stmt*& slot, const char* sql);
    sqlite3_stmt* statement(sqlite3_stmt*& slot, const std::string& sql);
    long bindField(sqlite3_stmt* stmt, int slot, long index, const NORVAKestrinGenericDataObject& record);
    long bindRecord(sqlite3_stmt* stmt, int first, const NORVAKestrinGenericDataObject& record);
    std::string insertSql(size_t rows) const;
    long insertOne(const NewPoint& p, std::vector<int64_t>* ids);
    // Inserts whole groups of rows from the front; how many went in.
    size_t insertMany(const NewPoint* points, size_t count, std::vector<int64_t>* ids, long& status);
    long updateField(int64_t id, long index, const NORVAKestrinGenericDataObject& record);
    // The fields in one statement; `done` false when it was not tried (too
    // many fields or sets of fields): nothing was written then.
    long updateFields(int64_t id, const std::vector<long>& fields, const NORVAKestrinGenericDataObject& record,
                      bool& done);
    std::string rowColumns() const;
    void readRow(sqlite3_stmt* stmt, int first, double& x, double& y, NORVAKestrinGenericDataObject& record) const;
    long loadRun(const int64_t* ids, size_t from, size_t to, std::vector<Loaded>& out);
    // The points from `from` on, read in one pass and kept (see cacheUsable);
    // false when none were read.
    bool readAhead(int64_t from);
    bool takeAhead(int64_t id, double& x, double& y, NORVAKestrinGenericDataObject& record);
    void forgetAhead(int64_t id);
    long collectIds(sqlite3_stmt* query, std::vector<int64_t>& ids);
    struct Found {
        int64_t id;
        double x, y;
    };
    // Held well inside 64 bits, so that a band on either side still fits.
    int64_t rowOf(double y) const;
    static constexpr int64_t kNoBand = INT64_MIN;
    // Every band the box reaches, or only `onlyBand`.
    long queryRows(double minX, double minY, double maxX, double maxY, std::vector<Found>& found,
                   int64_t onlyBand = kNoBand);
    bool cacheUsable() const;
    void dropCache();
    int64_t tileOf(double x) const;
    void noteInserted(int64_t id, double x, double y);
    // The cached points of a stretch of a band, null when not cached.
    std::vector<Found>* cachedPart(int64_t band, int64_t tile);
    void remember(int64_t band, int64_t tile, std::vector<Found>* points);
    long cachedRows(double minX, double minY, double maxX, double maxY, std::vector<Found>& found);
    // Starts the session unless one is open; WRITE_FAILED once it is lost.
    long beginSession();
    // Keeps a savepoint's work when `status` is 0 and it releases, else undoes
    // it; `undone` says the undo ran inside a session still open.
    long closeSavepoint(long status, sqlite3_stmt*& end, const char* endSql, sqlite3_stmt*& undo, const char* undoSql,
                        bool& undone);
    // After a failed write: notes whether SQLite abandoned the session.
    long writeFailed(int rc);
    long fail(int rc) const;
    long failRead(int rc) const;
    long cannotOpen() const;

    sqlite3* m_db = nullptr;
    NORVAUString m_path;
    bool m_writable = false;
    bool m_inEdit = false;
    bool m_lost = false;
    long m_lostStatus = KestrinStatus::WRITE_FAILED;  // what edits of a lost session give
    // A read (or write) found the file damaged: nothing is written into it any more.
    mutable bool m_damaged = false;
    // This connection has written in the open session (and holds its lock).
    bool m_heldSinceWrite = false;
    // (row band, stretch) -> its points by x, for point queries (see cacheUsable).
    std::map<std::pair<int64_t, int64_t>, std::vector<Found>> m_bands;
    size_t m_cachedPoints = 0;
    // Points read ahead, by id; dropped with the cache and at every change
    // of theirs.
    struct Ahead {
        int64_t id = 0;
        double x = 0.0, y = 0.0;
        NORVAKestrinGenericDataObject record;
        bool taken = false;
    };
    std::vector<Ahead> m_ahead;
    // The point read ahead under `id`, served or not; null when none is.
    Ahead* aheadOf(int64_t id);
    int64_t m_lastLoaded = INT64_MIN;
    struct Recent {
        int64_t band = 0, tile = 0;
        std::vector<Found>* points = nullptr;
    };
    std::array<Recent, 4> m_recent{};
    size_t m_nextRecent = 0;
    // Files of an earlier layout index positions in an R-tree.
    bool m_rtree = false;
    uint64_t m_changes = 0;
    uint64_t m_undos = 0;
    // The pager's version of the file when it was opened or last committed here.
    uint32_t m_seenVersion = 0;
    uint32_t pagerVersion() const;
    std::shared_ptr<const NORVAKestrinGenericDataDescriptor> m_layout;
    sqlite3_stmt* m_insert = nullptr;
    sqlite3_stmt* m_insertMany = nullptr;
    sqlite3_stmt* m_lastId = nullptr;
    sqlite3_stmt* m_insertIndex = nullptr;
    sqlite3_stmt* m_select = nullptr;
    sqlite3_stmt* m_range = nullptr;
    sqlite3_stmt* m_query = nullptr;
    sqlite3_stmt* m_nearest = nullptr;
    sqlite3_stmt* m_bandQuery = nullptr;
    sqlite3_stmt* m_beginBatch = nullptr;
    sqlite3_stmt* m_endBatch = nullptr;
    sqlite3_stmt* m_undoBatch = nullptr;
    sqlite3_stmt* m_beginEdit = nullptr;
    sqlite3_stmt* m_endEdit = nullptr;
    sqlite3_stmt* m_undoEdit = nullptr;
    sqlite3_stmt* m_bandsQuery = nullptr;
    double m_gridY = 0.0, m_gridStep = 1.0;
    std::string m_rowExpr = "CAST((y - 0) / 1 AS INTEGER)";
    std::vector<sqlite3_stmt*> m_updateField;
    // Fields (bit i: field i) -> the statement that writes them together.
    std::map<uint64_t, sqlite3_stmt*> m_updateFields;
};
