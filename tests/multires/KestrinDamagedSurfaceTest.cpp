#include <gtest/gtest.h>

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

// The index's root made the points' own page, which is then reached twice:
// once a read has found the points file damaged, nothing is stored into it.
TEST(KestrinDamagedSurface, APointsFileFoundDamagedTakesNoStore) {
    TempFolder dir;
    const NORVAUString path = dir.file("s.kps");
    const std::string points = dir.file("s.ktf").toUTF8();
    {
        auto io = created(path, depthAndStatus(), 1.0);
        for (int i = 0; i < 6; ++i) addNode(*io, i, i, -i);
        ASSERT_EQ(0, io->store(nullptr));
    }
    ASSERT_TRUE(testsupport::execSql(points,
                                     "PRAGMA writable_schema = ON; UPDATE sqlite_schema SET rootpage = "
                                     "(SELECT rootpage FROM sqlite_schema WHERE name = 'kestrin_points') "
                                     "WHERE name = 'kestrin_rows'"));
    const std::string damaged = testsupport::readFile(points);
    KIVOKestrinDataIO io(path);
    ASSERT_EQ(0, io.getStatus());
    long status = 0;
    io.query(-10.0, -10.0, 100.0, 100.0, false, status, nullptr, 0.0);
    EXPECT_EQ(KestrinStatus::DAMAGED, status);
    addNode(io, 50.0, 50.0, 1.0);
    EXPECT_EQ(KestrinStatus::DAMAGED, io.store(nullptr));
    EXPECT_EQ(damaged, testsupport::readFile(points));
}

}  // namespace
