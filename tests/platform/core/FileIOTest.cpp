#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "platform/core/NORVAAtomicFile.h"
#include "platform/core/NORVAAtomicFileFaults.h"
#include "platform/core/NORVAByteIO.h"
#include "platform/core/NORVAFileUtils.h"

namespace {

std::string readAll(const NORVAUString& path) {
    std::string out;
    FILE* f = std::fopen(path.toUTF8().c_str(), "rb");
    if (!f) return "<missing>";
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return out;
}

bool writeText(const NORVAUString& path, const std::string& text) {
    NORVAAtomicFile f(path);
    return f.write(text.data(), text.size()) && f.commit();
}

}  // namespace

TEST(FileUtils, Utf8PathRoundTrip) {
    TempFolder tmp;
    ASSERT_FALSE(tmp.path().isEmpty());
    const NORVAUString dir = tmp.file("\xe6\xb5\xb7\xe5\xba\x95/sub");  // CJK folder name
    ASSERT_TRUE(NORVAFileUtils::makeDirectories(dir));
    EXPECT_TRUE(NORVAFileUtils::makeDirectory(dir));  // existing is success
    EXPECT_TRUE(NORVAFileUtils::isDirectory(dir));
    const NORVAUString file = dir + "/G\xc3\xb6teborg.VNS";
    ASSERT_TRUE(writeText(file, "12345"));
    uint64_t size = 0;
    ASSERT_TRUE(NORVAFileUtils::fileSize(file, size));
    EXPECT_EQ(size, 5u);
    std::vector<NORVAUString> names;
    ASSERT_TRUE(NORVAFileUtils::listDirectory(dir, names));
    ASSERT_EQ(names.size(), 1u);  // the temporary file is gone
    EXPECT_EQ(names[0], NORVAUString("G\xc3\xb6teborg.VNS"));
    EXPECT_TRUE(names[0].endsWithIgnoreCase(".vns"));
    EXPECT_TRUE(NORVAUString("A.B\xc3\x89").endsWithIgnoreCase(".b\xc3\xa9"));
    EXPECT_FALSE(NORVAUString("vns").endsWithIgnoreCase(".vns"));

    const NORVAUString copy = tmp.file("copy.vns");
    ASSERT_TRUE(writeText(copy, "old and longer"));
    ASSERT_TRUE(NORVAFileUtils::copyFile(file, copy));
    EXPECT_EQ(readAll(copy), "12345");
    EXPECT_FALSE(NORVAFileUtils::copyFile(tmp.file("missing"), copy));
    EXPECT_EQ(readAll(copy), "12345");

    EXPECT_FALSE(NORVAFileUtils::removeDirectory(tmp.file("\xe6\xb5\xb7\xe5\xba\x95")));  // not empty
    EXPECT_TRUE(NORVAFileUtils::removeDirectory(tmp.file("\xe6\xb5\xb7\xe5\xba\x95"), true));
    EXPECT_FALSE(NORVAFileUtils::exists(file));
    EXPECT_FALSE(NORVAFileUtils::makeDirectory(copy));  // a file is in the way
}

// Removing never reaches through a symbolic link, however the path is written.
TEST(FileUtils, RemovalsTakeALinkAndNeverWhatItPointsTo) {
    TempFolder tmp;
    ASSERT_FALSE(tmp.path().isEmpty());
    ASSERT_TRUE(NORVAFileUtils::makeDirectories(tmp.file("target/sub")));
    ASSERT_TRUE(writeText(tmp.file("target/sub/kept.txt"), "kept"));
    const std::string link = tmp.file("link").toUTF8();
    for (const char* path : {"link/", "link", "link//"}) {
        SCOPED_TRACE(path);
        ASSERT_EQ(0, ::symlink(tmp.file("target").toUTF8().c_str(), link.c_str()));
        EXPECT_TRUE(NORVAFileUtils::isSymbolicLink(tmp.file(path)));
        EXPECT_TRUE(NORVAFileUtils::removeDirectory(tmp.file(path), true));
        EXPECT_FALSE(NORVAFileUtils::isSymbolicLink(tmp.file("link")));
        ASSERT_EQ(0, ::symlink(tmp.file("target").toUTF8().c_str(), link.c_str()));
        EXPECT_TRUE(NORVAFileUtils::removeEntry(tmp.file(path)));
        EXPECT_FALSE(NORVAFileUtils::isSymbolicLink(tmp.file("link")));
        EXPECT_EQ("kept", readAll(tmp.file("target/sub/kept.txt")));
    }
    EXPECT_FALSE(NORVAFileUtils::removeEntry(tmp.file("target")));  // not empty
    EXPECT_TRUE(NORVAFileUtils::removeEntry(tmp.file("target/sub/kept.txt")));
    EXPECT_TRUE(NORVAFileUtils::removeEntry(tmp.file("target/sub")));
    EXPECT_TRUE(NORVAFileUtils::removeEntry(tmp.file("target/sub")));  // already gone
    EXPECT_TRUE(NORVAFileUtils::isDirectory(tmp.file("target")));
}

TEST(AtomicFile, FailureBeforeCommitKeepsOldFile) {
    TempFolder tmp;
    const NORVAUString target = tmp.file("surface.vcs");
    ASSERT_TRUE(writeText(target, "old content"));
    {
        NORVAAtomicFile f(target);
        ASSERT_TRUE(f.isOpen());
        EXPECT_TRUE(f.write("new", 3));
        EXPECT_EQ(readAll(target), "old content");  // nothing visible before commit
        // The writer gives up: no commit.
    }
    EXPECT_EQ(readAll(target), "old content");
    {
        NORVAAtomicFile f(target);
        ASSERT_TRUE(f.write("new", 3));
        f.markFailed();
        EXPECT_FALSE(f.commit());
    }
    EXPECT_EQ(readAll(target), "old content");
    std::vector<NORVAUString> names;
    ASSERT_TRUE(NORVAFileUtils::listDirectory(tmp.path(), names));
    EXPECT_EQ(names.size(), 1u) << "temporary files left behind";

    ASSERT_TRUE(writeText(target, "new"));
    EXPECT_EQ(readAll(target), "new");
}

// The fault seam fails the chosen step of the chosen commit and nothing
// else; writes through the raw stream count as steps too, and the seek a
// header writer makes still works.
TEST(AtomicFile, PlannedFaultFailsOneStepAndKeepsOldFile) {
    namespace faults = NORVAAtomicFileFaults;
    TempFolder tmp;
    const NORVAUString target = tmp.file("g.vcg");
    for (int s = 0; s <= faults::RENAME; ++s) {  // a single file removes nothing
        const auto step = static_cast<faults::Step>(s);
        SCOPED_TRACE(s);
        ASSERT_TRUE(writeText(target, "old content"));
        faults::failNth(step, step == faults::WRITE ? 2 : 1);
        NORVAAtomicFile f(target);
        ASSERT_TRUE(f.isOpen());
        EXPECT_EQ(std::fwrite("xnew", 1, 4, f.file()), 4u);
        EXPECT_EQ(std::fseek(f.file(), 0, SEEK_SET), 0);
        f.write("N", 1);
        EXPECT_FALSE(f.commit());
        EXPECT_TRUE(faults::fired());
        EXPECT_GE(faults::count(faults::WRITE), 2u);
        faults::clear();
        EXPECT_EQ(readAll(target), "old content");
        std::vector<NORVAUString> names;
        ASSERT_TRUE(NORVAFileUtils::listDirectory(tmp.path(), names));
        EXPECT_EQ(names.size(), 1u) << "temporary files left behind";
    }
    faults::failNth(faults::WRITE, 3);  // a later step than this commit makes
    NORVAAtomicFile f(target);
    EXPECT_EQ(std::fwrite("xnew", 1, 4, f.file()), 4u);
    EXPECT_EQ(std::fseek(f.file(), 0, SEEK_SET), 0);
    EXPECT_TRUE(f.write("N", 1));
    EXPECT_TRUE(f.commit());
    EXPECT_FALSE(faults::fired());
    faults::clear();
    EXPECT_EQ(readAll(target), "Nnew");
}

// A failed write of a large block (the size of a grid's node block) is
// reported as a short write and nothing beyond the caller's buffer is read
// (AddressSanitizer checks the last part), whether the failure is injected
// at the first write or part way through a stream of blocks.
TEST(AtomicFile, FailedWriteOfALargeBlockStaysInsideTheBuffer) {
    namespace faults = NORVAAtomicFileFaults;
    TempFolder tmp;
    const NORVAUString target = tmp.file("big.vcg");
    ASSERT_TRUE(writeText(target, "old content"));
    const std::vector<char> block(1440000, 'n');
    for (unsigned nth : {1u, 3u}) {
        SCOPED_TRACE(nth);
        faults::failNth(faults::WRITE, nth);
        NORVAAtomicFile f(target);
        bool written = true;
        for (unsigned i = 0; i < nth; ++i) written = f.write(block.data(), block.size());
        EXPECT_FALSE(written);
        EXPECT_TRUE(f.hasFailed());
        EXPECT_FALSE(f.commit());
        EXPECT_TRUE(faults::fired());
        faults::clear();
        EXPECT_EQ(readAll(target), "old content");
    }
}

TEST(AtomicFile, UnwritableTargetFails) {
    TempFolder tmp;
    NORVAAtomicFile f(tmp.file("no/such/folder/file.bin"));
    EXPECT_FALSE(f.isOpen());
    EXPECT_FALSE(f.write("x", 1));
    EXPECT_FALSE(f.commit());
    // A folder cannot be replaced by a file.
    ASSERT_TRUE(NORVAFileUtils::makeDirectory(tmp.file("dir")));
    NORVAAtomicFile g(tmp.file("dir"));
    ASSERT_TRUE(g.write("x", 1));
    EXPECT_FALSE(g.commit());
    EXPECT_TRUE(NORVAFileUtils::isDirectory(tmp.file("dir")));
}

TEST(ByteIO, LittleEndianLayoutAndRoundTrip) {
    NORVAByteIO::Buffer b;
    NORVAByteIO::putU16(b, 0x1234);
    NORVAByteIO::putI32(b, -2);
    NORVAByteIO::putF32(b, 1.0f);
    NORVAByteIO::putF64(b, -0.1);
    NORVAByteIO::putU64(b, 0x0102030405060708ULL);
    NORVAByteIO::putI16(b, -32768);
    ASSERT_EQ(b.size(), 2u + 4 + 4 + 8 + 8 + 2);
    EXPECT_EQ(b[0], 0x34);
    EXPECT_EQ(b[1], 0x12);
    EXPECT_EQ(b[2], 0xFE);
    EXPECT_EQ(b[5], 0xFF);
    EXPECT_EQ(b[9], 0x3F);  // 1.0f = 0x3F800000
    size_t pos = 0;
    uint16_t u16;
    int32_t i32;
    float f32;
    double f64;
    uint64_t u64;
    int16_t i16;
    ASSERT_TRUE(NORVAByteIO::getU16(b, pos, u16));
    ASSERT_TRUE(NORVAByteIO::getI32(b, pos, i32));
    ASSERT_TRUE(NORVAByteIO::getF32(b, pos, f32));
    ASSERT_TRUE(NORVAByteIO::getF64(b, pos, f64));
    ASSERT_TRUE(NORVAByteIO::getU64(b, pos, u64));
    ASSERT_TRUE(NORVAByteIO::getI16(b, pos, i16));
    EXPECT_EQ(u16, 0x1234);
    EXPECT_EQ(i32, -2);
    EXPECT_EQ(f32, 1.0f);
    EXPECT_EQ(f64, -0.1);
    EXPECT_EQ(u64, 0x0102030405060708ULL);
    EXPECT_EQ(i16, -32768);
    EXPECT_EQ(pos, b.size());
}

TEST(ByteIO, ShortReadsAreRefused) {
    const NORVAByteIO::Buffer b = {1, 2, 3};
    size_t pos = 0;
    uint32_t v = 77;
    EXPECT_FALSE(NORVAByteIO::getU32(b, pos, v));
    EXPECT_EQ(v, 77u);
    EXPECT_EQ(pos, 0u);
    pos = 2;
    uint16_t w = 5;
    EXPECT_FALSE(NORVAByteIO::getU16(b, pos, w));
    pos = SIZE_MAX;  // a position past the end must not wrap around
    EXPECT_FALSE(NORVAByteIO::getU16(b, pos, w));
    char out[4];
    pos = 1;
    EXPECT_FALSE(NORVAByteIO::getBytes(b, pos, out, SIZE_MAX));
    EXPECT_FALSE(NORVAByteIO::getU8(nullptr, 0, pos, *reinterpret_cast<uint8_t*>(out)));

    TempFolder tmp;
    const NORVAUString path = tmp.file("short.bin");
    {
        NORVAAtomicFile f(path);
        ASSERT_TRUE(NORVAByteIO::writeU32(f.file(), 0xDEADBEEF));
        ASSERT_TRUE(NORVAByteIO::writeU8(f.file(), 9));
        ASSERT_TRUE(f.commit());
    }
    FILE* in = std::fopen(path.toUTF8().c_str(), "rb");
    ASSERT_NE(in, nullptr);
    uint32_t magic = 0;
    EXPECT_TRUE(NORVAByteIO::readU32(in, magic));
    EXPECT_EQ(magic, 0xDEADBEEFu);
    double d = 3.5;
    EXPECT_FALSE(NORVAByteIO::readF64(in, d));  // one byte left
    EXPECT_EQ(d, 3.5);
    std::fclose(in);
    EXPECT_FALSE(NORVAByteIO::readU8(nullptr, *reinterpret_cast<uint8_t*>(out)));
}
