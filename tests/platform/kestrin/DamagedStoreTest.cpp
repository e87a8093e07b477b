#include <gtest/gtest.h>

#include <string>

#include "KestrinTestSupport.h"
#include "SqlSupport.h"
#include "TempFolder.h"
#include "TestSupport.h"
#include "platform/kestrin/KestrinStatus.h"
#include "platform/kestrin/NORVAKestrinHeader.h"
#include "platform/kestrin/NORVAKestrinTileDataIO.h"

namespace {

using namespace kestrintest;

// Opens, queries, reads ranges and edits: whatever the bytes, a status and no crash.
long exercise(const NORVAUString& path) {
    NORVAType<NORVAKestrinDataIO> io(new NORVAKestrinTileDataIO(path, NORVAKestrinDataIO::UPDATE));
    NORVAKestrinTileStore store(io);
    if (store.getStatus() != 0) return store.getStatus();
    NORVAKestrinDataIO& data = *store.getDataIO(0);
    for (long i = 0; i < data.getGenericDataDescriptor().getNumAtts(); ++i) {
        data.getMinAttValue(i);
        data.getMaxAttValue(i);
    }
    for (const NORVAKestrinPoint& p : pointsIn(data, box(-1e9, -1e9, 1e9, 1e9))) {
        char text[16];
        for (long i = 0; i < p.getData().getNumAtts(); ++i) p.getData().getAttributeAsText(i, text, sizeof text, 3);
        store.modifyPoint(p, p.getData());
    }
    return addGrid(store, {{1.0, 1.0}});
}

class DamagedStore : public ::testing::Test {
protected:
    void SetUp() override {
        NORVAKestrinTileStore store(config(), false, true);
        std::vector<std::pair<double, double>> at;
        for (int i = 0; i < 200; ++i) at.emplace_back(i % 20, i / 20);
        ASSERT_EQ(0, addGrid(store, at));
        ASSERT_EQ(0, store.store(m_dir.file("s.kps")));
        m_header = testsupport::readFile(m_dir.file("s.kps").toUTF8());
        m_points = testsupport::readFile(m_dir.file("s.ktf").toUTF8());
    }
    TempFolder m_dir;
    std::string m_header;
    std::string m_points;
};

TEST_F(DamagedStore, EveryShortenedHeaderIsReportedAsDamaged) {
    for (size_t n = 0; n < m_header.size(); ++n) {
        NORVAKestrinPointDataConfig c;
        const long status =
            NORVAKestrinHeader::decode(reinterpret_cast<const uint8_t*>(m_header.data()), n, c);
        ASSERT_EQ(KestrinStatus::DAMAGED, status) << n;
    }
    NORVAKestrinPointDataConfig c;
    const std::string longer = m_header + "x";
    EXPECT_EQ(KestrinStatus::DAMAGED,
              NORVAKestrinHeader::decode(reinterpret_cast<const uint8_t*>(longer.data()), longer.size(), c));
}

TEST_F(DamagedStore, HeaderFieldsOutsideTheirRangeAreRefused) {
    struct Row {
        size_t offset;
        char byte;
        long status;
    };
    // Offsets: magic 0..11, version 12..13, zero word 14..15, cover 16..47,
    // resolution count 48..51.
    const Row rows[] = {
        {0, 0x00, KestrinStatus::DAMAGED},      {12, 0x02, KestrinStatus::BAD_VERSION},
        {14, 0x01, KestrinStatus::BAD_VERSION}, {23, 0x7F, KestrinStatus::DAMAGED},  // cover NaN
        {51, 0x40, KestrinStatus::DAMAGED},     // a billion resolutions
    };
    for (const Row& r : rows) {
        std::string bytes = m_header;
        bytes[r.offset] = r.byte;
        if (r.offset == 23) bytes[22] = static_cast<char>(0xF8);
        NORVAKestrinPointDataConfig c;
        EXPECT_EQ(r.status, NORVAKestrinHeader::decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), c))
            << r.offset;
    }
}

TEST_F(DamagedStore, EveryHeaderByteFlippedGivesAStatusOrAUsableStore) {
    for (size_t i = 0; i < m_header.size(); ++i) {
        std::string bytes = m_header;
        bytes[i] = static_cast<char>(bytes[i] ^ 0xA5);
        testsupport::writeFile(m_dir.file("s.kps").toUTF8(), bytes);
        const long status = exercise(m_dir.file("s.kps"));
        EXPECT_TRUE(status == 0 || status == KestrinStatus::DAMAGED || status == KestrinStatus::BAD_VERSION ||
                    status == KestrinStatus::BAD_ARGUMENT || status == KestrinStatus::WRITE_FAILED)
            << i << ": " << status;
    }
}

TEST_F(DamagedStore, CorruptPointsFilesGiveAStatus) {
    const size_t step = m_points.size() / 97 + 1;
    for (size_t at = 0; at < m_points.size(); at += step) {
        std::string bytes = m_points;
        for (size_t k = at; k < at + 16 && k < bytes.size(); ++k) bytes[k] = static_cast<char>(bytes[k] * 31 + 7);
        testsupport::writeFile(m_dir.file("s.ktf").toUTF8(), bytes);
        exercise(m_dir.file("s.kps"));  // must neither crash nor hang
    }
    testsupport::writeFile(m_dir.file("s.ktf").toUTF8(), "not a database at all, not at all, not at all....");
    EXPECT_EQ(KestrinStatus::DAMAGED, exercise(m_dir.file("s.kps")));
    testsupport::writeFile(m_dir.file("s.ktf").toUTF8(), m_points.substr(0, m_points.size() / 2));
    exercise(m_dir.file("s.kps"));
    NORVAFileUtils::removeFile(m_dir.file("s.ktf"));
    EXPECT_EQ(KestrinStatus::CANNOT_OPEN, exercise(m_dir.file("s.kps")));
}

TEST_F(DamagedStore, PointsFilesWithViewsOrTriggersAreRefused) {
    const char* changes[] = {
        "CREATE TRIGGER t AFTER UPDATE ON kestrin_points BEGIN SELECT 1; END",
        "CREATE VIEW v AS SELECT 1",
        "ALTER TABLE kestrin_points RENAME TO old_points; CREATE VIEW kestrin_points AS SELECT * FROM old_points",
    };
    for (const char* change : changes) {
        testsupport::writeFile(m_dir.file("s.ktf").toUTF8(), m_points);
        ASSERT_TRUE(testsupport::execSql(m_dir.file("s.ktf").toUTF8(), change)) << change;
        EXPECT_EQ(KestrinStatus::DAMAGED, exercise(m_dir.file("s.kps"))) << change;
    }
}

// Points files of the earlier layout index positions in an R-tree: they are
// still read, queried and extended.
TEST_F(DamagedStore, PointsFilesWithAnRTreeIndexStillServe) {
    ASSERT_TRUE(testsupport::execSql(m_dir.file("s.ktf").toUTF8(),
                                     "DROP INDEX kestrin_rows;"
                                     "CREATE VIRTUAL TABLE kestrin_index USING rtree(id, minx, maxx, miny, maxy);"
                                     "INSERT INTO kestrin_index SELECT id, x, x, y, y FROM kestrin_points;"));
    EXPECT_EQ(0, exercise(m_dir.file("s.kps")));
    NORVAType<NORVAKestrinDataIO> io(new NORVAKestrinTileDataIO(m_dir.file("s.kps"), NORVAKestrinDataIO::UPDATE));
    NORVAKestrinTileStore store(io);
    ASSERT_EQ(0, addGrid(store, {{50.0, 50.0}}));
    EXPECT_EQ(2u, pointsIn(*store.getDataIO(0), box(1, 1, 2, 1)).size());
    EXPECT_EQ(1u, pointsIn(*store.getDataIO(0), NORVAKestrinQuery(NORVAArray<double>{50.2, 49.9})).size());
}

// The index of row bands names every point `north` further north than its
// row holds: damage SQLite does not see while it searches.
bool shiftIndex(const std::string& points, double north) {
    const std::string sql =
        "CREATE TABLE shifted(id INTEGER PRIMARY KEY, x REAL NOT NULL, y REAL NOT NULL);"
        "INSERT INTO shifted SELECT id, x, y + " + std::to_string(north) + " FROM kestrin_points;"
        "CREATE INDEX shifted_rows ON shifted(CAST((y - 0) / 1 AS INTEGER), x, y);"
        "PRAGMA writable_schema = ON;"
        "UPDATE sqlite_schema SET rootpage = (SELECT rootpage FROM sqlite_schema WHERE name = 'shifted_rows') "
        "WHERE name = 'kestrin_rows';"
        "DELETE FROM sqlite_schema WHERE name = 'shifted_rows';";
    return testsupport::execSql(points, sql);
}

// Whatever the index says, a query serves only points whose own position
// its box, or a point query's half-spacing reach, holds.
TEST_F(DamagedStore, AnIndexOutOfStepWithThePositionsServesNothingOutsideTheBox) {
    ASSERT_TRUE(shiftIndex(m_dir.file("s.ktf").toUTF8(), 50.0));
    NORVAType<NORVAKestrinDataIO> io(new NORVAKestrinTileDataIO(m_dir.file("s.kps"), NORVAKestrinDataIO::READ));
    NORVAKestrinTileStore store(io);
    ASSERT_EQ(0, store.getStatus());
    struct Case {
        NORVAKestrinQuery query;
        double x0, y0, x1, y1;  // what the query holds
    };
    const Case cases[] = {
        {box(0, 50, 19, 59), 0, 50, 19, 59},
        {box(0, 52, 100, 100), 0, 52, 100, 100},
        {NORVAKestrinQuery(NORVAArray<double>{3, 53}), 2.5, 52.5, 3.5, 53.5},
    };
    for (const Case& c : cases)
        for (const NORVAKestrinPoint& p : pointsIn(*store.getDataIO(0), c.query))
            EXPECT_TRUE(p.getX() >= c.x0 && p.getX() <= c.x1 && p.getY() >= c.y0 && p.getY() <= c.y1)
                << p.getX() << "," << p.getY() << " served for " << c.x0 << "," << c.y0;
}

// A header file of another layout: the header copy inside the points file
// wins (a store cut short between its two files); without that copy the
// mismatch is damage, never values in the wrong fields.
TEST_F(DamagedStore, APointsFileOfAnotherLayoutIsDamagedUnlessItKeepsItsOwnHeader) {
    NORVAKestrinGenericDataDescriptor other = layout();
    other.setNumAtts(2);
    NORVAKestrinPointDataConfig c(NORVAArray<double>{0, 0}, NORVAArray<double>{1, 1}, NORVAArray<double>{1.0},
                                  {2, 2}, {"X", "Y"}, other);
    c.setCoordinateInfo("a", "b", "c");
    ASSERT_EQ(0, NORVAKestrinHeader::write(m_dir.file("s.kps"), c));
    EXPECT_EQ(0, exercise(m_dir.file("s.kps")));
    ASSERT_TRUE(testsupport::execSql(m_dir.file("s.ktf").toUTF8(), "DROP TABLE kestrin_header"));
    EXPECT_EQ(KestrinStatus::DAMAGED, exercise(m_dir.file("s.kps")));
}

}  // namespace
