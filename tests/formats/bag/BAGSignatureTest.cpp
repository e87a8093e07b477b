// The signature block at the end of a BAG file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "BagTestSupport.h"
#include "formats/bag/BagHandle.h"
#include "formats/bag/BagSignature.h"

namespace {

using bagtest::Bag;

class BAGSignatureTest : public ::testing::Test {
protected:
    void SetUp() override {
        bagtest::useSchemaHome();
        path = dir.file("signed.bag");
        ASSERT_TRUE(bagtest::writeBag(path, Bag::grid(3, 4)));
        plain = testsupport::readFile(path);
    }

    std::string tail(size_t n) {
        const std::string all = testsupport::readFile(path);
        return all.size() < n ? all : all.substr(all.size() - n);
    }

    testsupport::ScratchDir dir;
    std::string path;
    std::string plain;
};

TEST_F(BAGSignatureTest, Crc32IsTheStandardOne) {
    const std::string check = "123456789";
    EXPECT_EQ(BagSignature::crc32(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0xCBF43926u);
    EXPECT_EQ(BagSignature::crc32(nullptr, 0), 0u);
}

TEST_F(BAGSignatureTest, ReadsAValidBlock) {
    bagtest::appendBytes(path, bagtest::signatureBlock(0x01020304u, {"abc", "de"}));
    uint8_t buffer[1024] = {};
    uint32_t id = 0;
    ASSERT_EQ(bagReadSignatureBlock(path.c_str(), buffer, sizeof buffer, &id), BAG_CRYPTO_SIGNATURE_OK);
    EXPECT_EQ(id, 0x01020304u);
    const uint8_t expected[] = {2, 3, 'a', 'b', 'c', 2, 'd', 'e'};
    EXPECT_EQ(0, std::memcmp(buffer, expected, sizeof expected));
    const uint32_t crc = BagSignature::crc32(expected, sizeof expected);
    EXPECT_EQ(0, std::memcmp(buffer + sizeof expected, &crc, 4));  // little-endian host
    EXPECT_EQ(bagReadSignatureBlock(path.c_str(), buffer, 517, &id), BAG_CRYPTO_GENERAL_ERROR);
    EXPECT_EQ(bagReadSignatureBlock(dir.file("none.bag").c_str(), buffer, sizeof buffer, &id),
              BAG_BAD_FILE_IO_OPERATION);
}

// Blocks that are not taken, with the code each gives.
TEST_F(BAGSignatureTest, RefusedBlocks) {
    struct Case {
        const char* name;
        std::string bytes;
        bagError code;
    };
    std::string badIdentifier = bagtest::signatureBlock(7, {"xyz"});
    badIdentifier[6] ^= 0x10;
    std::string badMagic = bagtest::signatureBlock(7, {"xyz"});
    badMagic[0] = 'X';
    // Every length byte 255: the parts run past the block.
    std::string runaway = std::string("CSNO\x01", 5) + std::string(4, '\x07');
    runaway.resize(1024, '\xff');
    const Case cases[] = {
        {"none", "", BAG_CRYPTO_NO_SIGNATURE_FOUND},
        {"wrong magic", badMagic, BAG_CRYPTO_NO_SIGNATURE_FOUND},
        {"version 2", bagtest::signatureBlock(7, {"xyz"}, 2), BAG_CRYPTO_BAD_SIGNATURE_BLOCK},
        {"identifier changed", badIdentifier, BAG_CRYPTO_BAD_SIGNATURE_BLOCK},
        {"count of 255 past the block", bagtest::signatureBlock(7, {"xyz"}, 1, 255),
         BAG_CRYPTO_BAD_SIGNATURE_BLOCK},
        {"parts past the block", runaway, BAG_CRYPTO_BAD_SIGNATURE_BLOCK},
        {"longer than a caller's buffer",
         bagtest::signatureBlock(7, {std::string(255, 'a'), std::string(255, 'b'), std::string(10, 'c')}),
         BAG_CRYPTO_BAD_SIGNATURE_BLOCK},
    };
    for (const Case& c : cases) {
        testsupport::writeFile(path, plain + c.bytes);
        uint8_t buffer[1024] = {};
        uint32_t id = 99;
        EXPECT_EQ(bagReadSignatureBlock(path.c_str(), buffer, sizeof buffer, &id), c.code) << c.name;
        EXPECT_EQ(id, 99u) << c.name;
    }
    testsupport::writeFile(path, "short");
    uint8_t buffer[1024] = {};
    EXPECT_EQ(bagReadSignatureBlock(path.c_str(), buffer, sizeof buffer, nullptr), BAG_CRYPTO_NO_SIGNATURE_FOUND);
}

TEST_F(BAGSignatureTest, WritesOverAnOldBlockOrAppends) {
    uint8_t sig[600] = {1, 2, 'h', 'i'};
    const uint32_t crc = BagSignature::crc32(sig, 4);
    std::memcpy(sig + 4, &crc, 4);
    ASSERT_EQ(bagWriteSignatureBlock(path.c_str(), sig, sizeof sig, 42), BAG_SUCCESS);
    EXPECT_EQ(testsupport::readFile(path), plain + bagtest::signatureBlock(42, {"hi"}));
    ASSERT_EQ(bagWriteSignatureBlock(path.c_str(), sig, sizeof sig, 43), BAG_SUCCESS);
    EXPECT_EQ(testsupport::readFile(path), plain + bagtest::signatureBlock(43, {"hi"}));
    sig[4] ^= 1;
    EXPECT_EQ(bagWriteSignatureBlock(path.c_str(), sig, sizeof sig, 44), BAG_CRYPTO_BAD_SIGNATURE_BLOCK);
    EXPECT_EQ(testsupport::readFile(path), plain + bagtest::signatureBlock(43, {"hi"}));
}

// A write-back that the disk refuses part-way (a file size limit stands in
// for a full disk, in a child process) reports the failure and leaves the
// file's length and bytes as they were, whether the block was to be
// appended or to replace an old one.
TEST_F(BAGSignatureTest, FailedWriteBackLeavesTheFileAsItWas) {
    struct Case {
        const char* name;
        std::string trailer;
        long room;  // bytes the file may grow by, or shrink to below its size
        bool throughClose;
    };
    const std::string old = bagtest::signatureBlock(7, {"old"});
    const Case cases[] = {
        {"append, no room", "", 0, false},
        {"append, room for part", "", 100, false},
        {"replace, room for part", old, 100 - long(old.size()), false},
        {"replace at close", old, 100 - long(old.size()), true},
    };
    uint8_t sig[600] = {1, 3, 'n', 'e', 'w'};
    const uint32_t crc = BagSignature::crc32(sig, 5);
    std::memcpy(sig + 5, &crc, 4);
    for (const Case& c : cases) {
        const std::string before = plain + c.trailer;
        testsupport::writeFile(path, before);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlim_t limit = rlim_t(long(before.size()) + c.room);
            const struct rlimit r = {limit, limit};
            if (setrlimit(RLIMIT_FSIZE, &r) != 0) _exit(99);
            bagError rc = BAG_SUCCESS;
            if (c.throughClose) {
                bagHandle* h = nullptr;
                if (bagOpen(&h, BAG_OPEN_READ_WRITE_NO_METADATA, path.c_str()) != BAG_SUCCESS || h->signature.empty())
                    _exit(98);
                rc = bagClose(h);
            } else {
                rc = bagWriteSignatureBlock(path.c_str(), sig, sizeof sig, 8);
            }
            _exit(int(rc));
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << c.name;
        EXPECT_EQ(WEXITSTATUS(status), BAG_BAD_FILE_IO_OPERATION) << c.name;
        EXPECT_EQ(testsupport::readFile(path), before) << c.name;
    }
}

// Opening read-write and closing keeps the file's trailing bytes as they
// were: a valid block is written back, anything else stays untouched.
TEST_F(BAGSignatureTest, ReadWriteOpeningKeepsTheTrailingBlock) {
    struct Case {
        const char* name;
        std::string trailer;
    };
    const Case cases[] = {
        {"no block", ""},
        {"valid block", bagtest::signatureBlock(5, {"signed", "bytes"})},
        {"version 2 block", bagtest::signatureBlock(5, {"signed"}, 2)},
        {"block with a bad count", bagtest::signatureBlock(5, {"signed"}, 1, 255)},
    };
    for (int mode : {BAG_OPEN_READ_WRITE, BAG_OPEN_READ_WRITE_NO_METADATA}) {
        for (const Case& c : cases) {
            testsupport::writeFile(path, plain + c.trailer);
            bagHandle* h = nullptr;
            ASSERT_EQ(bagOpen(&h, mode, path.c_str()), BAG_SUCCESS) << c.name;
            EXPECT_EQ(h->signature.empty(), c.trailer.empty() || c.name != std::string("valid block")) << c.name;
            float v = 0.0f;
            EXPECT_EQ(bagReadValue(h, 2, 3, BAG_ELEVATION, &v), BAG_SUCCESS);
            EXPECT_EQ(bagClose(h), BAG_SUCCESS) << c.name;
            const std::string after = testsupport::readFile(path);
            EXPECT_EQ(after.size(), plain.size() + c.trailer.size()) << c.name << " mode " << mode;
            EXPECT_EQ(after.substr(after.size() - c.trailer.size()), c.trailer) << c.name << " mode " << mode;
            h = nullptr;
            EXPECT_EQ(bagOpen(&h, BAG_OPEN_READONLY, path.c_str()), BAG_SUCCESS) << c.name;
            bagClose(h);
        }
    }
}

// A failed read-write opening leaves the file as it was.
TEST_F(BAGSignatureTest, FailedOpeningLeavesTheFile) {
    Bag b = Bag::grid(3, 4);
    b.metadata = "<broken";
    ASSERT_TRUE(bagtest::writeBag(path, b));
    const std::string before = testsupport::readFile(path) + bagtest::signatureBlock(9, {"s"});
    testsupport::writeFile(path, before);
    bagHandle* h = nullptr;
    EXPECT_EQ(bagOpen(&h, BAG_OPEN_READ_WRITE, path.c_str()), BAG_METADTA_PARSE_EXCEPTION);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(testsupport::readFile(path), before);
}

}  // namespace
