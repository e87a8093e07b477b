#pragma once
// The points file of a tile store: an SQLite database with one row per point
// (id, x, y, one column per attribute) and an R-tree index over the
// positions. Edits of single points gather in one open transaction that the
// next batch or `commit` ends; a batch is one transaction of its own (a
// savepoint inside pending edits, so a failed batch leaves them pending).
// The rollback journal exists only while a transaction writes, so no side
// file stays beside the surface. Every value read back is untrusted: it is
// pulled inside its field's type, and a damaged file gives a status.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/NORVAUString.h"
#include "platform/kestrin/NORVAKestrinGenericDataObject.h"

struct sqlite3;
struct sqlite3_stmt;

class NORVAKestrinDatabase {
public:
    struct NewPoint {
        double x = 0.0;
        double y = 0.0;
        const NORVAKestrinGenericDataObject* record = nullptr;
    };

    ~NORVAKestrinDatabase();
    NORVAKestrinDatabase(const NORVAKestrinDatabase&) = delete;
    NORVAKestrinDatabase& operator=(const NORVAKestrinDatabase&) = delete;

    // An empty database in memory with the layout's columns.
    static std::unique_ptr<NORVAKestrinDatabase> createInMemory(
        std::shared_ptr<const NORVAKestrinGenericDataDescriptor> layout, long& status);
    // An existing points file; its columns must match the layout.
    static std::unique_ptr<NORVAKestrinDatabase> openFile(
        const NORVAUString& path, bool writable, std::shared_ptr<const NORVAKestrinGenericDataDescriptor> layout,
        long& status);

    bool isWritable() const { return m_writable; }
    bool isInMemory() const { return m_path.isEmpty(); }
    const NORVAUString& getPath() const { return m_path; }

    // Adds the points as one transaction; their new ids go to `ids`.
    long insertPoints(const std::vector<NewPoint>& points, std::vector<int64_t>* ids);
    // Writes one point's record; joins the open edit transaction.
    long updatePoint(int64_t id, const NORVAKestrinGenericDataObject& record);
    // Ends the open edit transaction, if any.
    long commit();
    // Copies the whole database (after a commit) to `target`, through a
    // temporary file beside it that replaces the target only when complete.
    long copyTo(const NORVAUString& target);

    // Ids of the points inside the box (edges included), in id order.
    long queryIds(double minX, double minY, double maxX, double maxY, std::vector<int64_t>& ids);
    long loadPoint(int64_t id, double& x, double& y, NORVAKestrinGenericDataObject& record);
    // Loads several points under one read lock (per point: status, x, y, record).
    struct Loaded {
        long status = 0;
        double x = 0.0, y = 0.0;
        NORVAKestrinGenericDataObject record;
    };
    void loadPoints(const int64_t* ids, size_t count, std::vector<Loaded>& out);
    // Grows with every write, so readers can tell whether what they hold is current.
    uint64_t getChangeCount() const { return m_changes; }
    long countPoints(int64_t& count);
    // Minimum and maximum of a numeric attribute over the values that are
    // not the type's empty value; `found` false when there is none.
    long attributeRange(long index, double& minimum, double& maximum, bool& found);

private:
    NORVAKestrinDatabase() = default;
    long configure();
    long createSchema();
    long checkSchema();
    long exec(const char* sql);
    sqlite3_stmt* statement(sqlite3_stmt*& slot, const std::string& sql);
    long bindRecord(sqlite3_stmt* stmt, int first, const NORVAKestrinGenericDataObject& record);
    long insertOne(const NewPoint& p, std::vector<int64_t>* ids);
    long fail(int rc) const;

    sqlite3* m_db = nullptr;
    NORVAUString m_path;
    bool m_writable = false;
    bool m_inEdit = false;
    uint64_t m_changes = 0;
    std::shared_ptr<const NORVAKestrinGenericDataDescriptor> m_layout;
    sqlite3_stmt* m_insert = nullptr;
    sqlite3_stmt* m_insertIndex = nullptr;
    sqlite3_stmt* m_update = nullptr;
    sqlite3_stmt* m_select = nullptr;
    sqlite3_stmt* m_query = nullptr;
};
