#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "KestrinSurfaceTestSupport.h"
#include "SqlSupport.h"
#include "TempFolder.h"
#include "TestSupport.h"
#include "platform/kestrin/KestrinStatus.h"

namespace {

using namespace kestrinsurface;

// Opens the surface and reads every attribute of every node in every way.
long readAll(const NORVAUString& path) {
    KIVOKestrinDataIO io(path);
    if (io.getStatus() != 0) return io.getStatus();
    forEachNode(io, -1e300, -1e300, 1e300, 1e300, false, [](KIVOSurfaceIter& it) {
        const KIVOAttributeSet& a = *it.getAttributes();
        for (long i = 0; i < it.getAttributeDescriptor().getNumberOfAttributes(); ++i) {
            NORVAUString text;
            double d = 0;
            long l = 0;
            unsigned char b = 0;
            a.getStringValue(i, text, false);
            a.getDoubleValue(i, d, false);
            a.getValue(i, l);
            a.getValue(i, b);
            double x = 0, y = 0;
            it.getPosition(x, y, i);
        }
    });
    return io.flush();
}

TEST(KestrinDamagedSurface, DamagedHeadersGiveAStatusOrAReadableSurface) {
    TempFolder dir;
    const NORVAUString path = dir.file("s.kps");
    {
        auto io = created(path,
                          {Entry("Depth", KIVODataType::FLOAT), Entry("Status", KIVODataType::ULONG),
                           Entry("Name", KIVODataType::STRING), Entry("Label", KIVODataType::TEXT)},
                          1.0);
        for (int i = 0; i < 6; ++i) addNode(*io, i, i, -i);
        ASSERT_EQ(0, io->store(nullptr));
    }
    const std::string header = testsupport::readFile(path.toUTF8());
    ASSERT_EQ(0, readAll(path));
    // The points keep a copy of their header, which stands in for a damaged
    // header file; without it the header file alone must be survived.
    testsupport::writeFile(path.toUTF8(), header.substr(0, header.size() / 2));
    EXPECT_EQ(0, readAll(path));
    ASSERT_TRUE(testsupport::execSql(dir.file("s.ktf").toUTF8(), "DROP TABLE kestrin_header"));
    for (size_t i = 0; i < header.size(); ++i) {
        for (unsigned char mask : {0x01, 0xFF}) {
            std::string bytes = header;
            bytes[i] = static_cast<char>(bytes[i] ^ mask);
            testsupport::writeFile(path.toUTF8(), bytes);
            readAll(path);  // must neither crash nor hang
        }
    }
    testsupport::writeFile(path.toUTF8(), header.substr(0, header.size() / 2));
    EXPECT_NE(0, readAll(path));
}

// The page number of a table's or an index's root in a points file.
int rootPage(const std::string& points, const std::string& name) {
    sqlite3* db = nullptr;
    sqlite3_stmt* stmt = nullptr;
    int root = 0;
    if (sqlite3_open_v2(points.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_schema WHERE name = ?", -1, &stmt, nullptr) ==
            SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, name.c_str(), -1, SQLITE_STATIC);
        if (sqlite3_step(stmt) == SQLITE_ROW) root = sqlite3_column_int(stmt, 0);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return root;
}

// One cell pointer of a leaf of the points table (the middle child of its
// root) made to point at the next cell: SQLite's own page checks pass, and
// a row the index names is no longer found.
bool misdirectCellPointer(const std::string& points) {
    std::string bytes = testsupport::readFile(points);
    auto at2 = [&](size_t i) {
        return size_t(static_cast<unsigned char>(bytes.at(i))) << 8 | static_cast<unsigned char>(bytes.at(i + 1));
    };
    const size_t pageSize = at2(16), root = (rootPage(points, "kestrin_points") - 1) * pageSize;
    if (root == 0 || bytes.at(root) != 0x05) return false;  // an interior page of a table
    const size_t middle = root + at2(root + 12 + 2 * (at2(root + 3) / 2));
    const size_t leaf = (at2(middle) << 16 | at2(middle + 2)) - 1;
    const size_t page = leaf * pageSize, cells = at2(page + 3);
    if (bytes.at(page) != 0x0D || cells < 3) return false;
    bytes.replace(page + 8 + 2 * (cells / 2), 2, bytes, page + 10 + 2 * (cells / 2), 2);
    testsupport::writeFile(points, bytes);
    return true;
}

// A points file damaged so that a read of the whole surface meets the
// damage: the read ends with DAMAGED, never a part of the points with
// status 0, and once it has, nothing is stored into the file.
TEST(KestrinDamagedSurface, APointsFileFoundDamagedTakesNoStore) {
    constexpr int kNodes = 1000;
    struct Damage {
        const char* what;
        std::function<bool(const std::string&)> damage;
    } damages[] = {
        // The index's root made the points' own page, which is then reached twice.
        {"index root on the points' page",
         [](const std::string& points) {
             return testsupport::execSql(points,
                                         "PRAGMA writable_schema = ON; UPDATE sqlite_schema SET rootpage = "
                                         "(SELECT rootpage FROM sqlite_schema WHERE name = 'kestrin_points') "
                                         "WHERE name = 'kestrin_rows'");
         }},
        {"a bad cell pointer in a leaf of the points", misdirectCellPointer},
        // Files of the earlier layout: an R-tree entry whose row is gone.
        {"an R-tree entry without its row",
         [](const std::string& points) {
             return testsupport::execSql(points,
                                         "DROP INDEX kestrin_rows;"
                                         "CREATE VIRTUAL TABLE kestrin_index USING rtree(id, minx, maxx, miny, maxy);"
                                         "INSERT INTO kestrin_index SELECT id, x, x, y, y FROM kestrin_points;"
                                         "DELETE FROM kestrin_points WHERE id = 500");
         }},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        TempFolder dir;
        const NORVAUString path = dir.file("s.kps");
        const std::string points = dir.file("s.ktf").toUTF8();
        {
            auto io = created(path, depthAndStatus(), 1.0);
            for (int i = 0; i < kNodes; ++i) ASSERT_EQ(0, io->addNewNode(i % 40, i / 40));
            ASSERT_EQ(0, io->store(nullptr));
        }
        ASSERT_TRUE(d.damage(points));
        const std::string damaged = testsupport::readFile(points);
        KIVOKestrinDataIO io(path);
        ASSERT_EQ(0, io.getStatus());
        long status = 0, s = 0;
        NORVAType<KIVOSurfaceIter> it = io.query(-10.0, -10.0, 100.0, 100.0, false, status, nullptr, 0.0);
        int nodes = 0;
        if (it)
            for (bool more = !it->done(s); more; more = it->next(s)) ++nodes;
        EXPECT_EQ(KestrinStatus::DAMAGED, status != 0 ? status : s) << nodes << " nodes";
        EXPECT_LT(nodes, kNodes);
        addNode(io, 50.0, 50.0, 1.0);
        EXPECT_EQ(KestrinStatus::DAMAGED, io.store(nullptr));
        EXPECT_TRUE(damaged == testsupport::readFile(points)) << "the points file changed";
    }
}

}  // namespace
