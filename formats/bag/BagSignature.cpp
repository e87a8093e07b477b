#include "formats/bag/BagSignature.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>

#include <cstdio>
#include <cstring>
#include <vector>

#include "formats/bag/BagHandle.h"

namespace {

// Results of the block operations before they become bagError codes.
enum BlockResult {
    BLOCK_OK = 0,
    BLOCK_NO_MAGIC = 1,
    BLOCK_BAD = 2,
    BLOCK_BAD_BUFFER = 7,
    BLOCK_NO_FILE = 5,
    BLOCK_WRITTEN = 6,
};

const uint8_t kMagic[4] = {'C', 'S', 'N', 'O'};
constexpr uint8_t kBlockVersion = 1;
constexpr size_t kHeader = 9;  // magic, version, identifier

bagError mapResult(int result) {
    switch (result) {
        case 0: return BAG_CRYPTO_SIGNATURE_OK;
        case 1: return BAG_CRYPTO_NO_SIGNATURE_FOUND;
        case 2: return BAG_CRYPTO_BAD_SIGNATURE_BLOCK;
        case 3: return BAG_CRYPTO_BAD_KEY;
        case 4: return BAG_CRYPTO_WRONG_KEY;
        case 5: return BAG_BAD_FILE_IO_OPERATION;
        case 6: return BAG_SUCCESS;
        case 7: return BAG_CRYPTO_GENERAL_ERROR;
        default: return BAG_CRYPTO_INTERNAL_ERROR;
    }
}

uint32_t getU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void putU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// The last 1,024 bytes of the file; BLOCK_NO_MAGIC for a shorter file.
int readLastBlock(const char* path, uint8_t* block) {
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::fprintf(stderr, "error: failed to open \"%s\" for signature block read.\n", path);
        return BLOCK_NO_FILE;
    }
    int result = BLOCK_OK;
    if (std::fseek(f, -long(kBagSignatureBlockSize), SEEK_END) != 0 ||
        std::fread(block, 1, kBagSignatureBlockSize, f) != kBagSignatureBlockSize)
        result = BLOCK_NO_MAGIC;
    std::fclose(f);
    return result;
}

int checkBlock(const uint8_t* block, size_t& length) {
    if (std::memcmp(block, kMagic, 4) != 0) return BLOCK_NO_MAGIC;
    if (block[4] != kBlockVersion) {
        std::fprintf(stderr, "error: ONSCryptoBlock not correct version (input %d, current %d).\n", block[4],
                     kBlockVersion);
        return BLOCK_BAD;
    }
    // The signature and its CRC must lie inside the block, and the caller's
    // buffer must take both.
    length = BagSignature::signatureLength(block + kHeader, kBagSignatureBlockSize - kHeader - 4);
    if (length == 0 || length + 4 > kBagSignatureBufferMin) return BLOCK_BAD;
    const uint32_t stored = getU32(block + kHeader + length);
    if (stored != BagSignature::crc32(block + 5, length + 4)) {
        std::fprintf(stderr, "error: CRC32 failure for ONSCryptoBlock (bad signature block).\n");
        return BLOCK_BAD;
    }
    return BLOCK_OK;
}

int readBlock(const char* path, uint8_t* buffer, size_t size, uint32_t* identifier) {
    if (!buffer || size < kBagSignatureBufferMin) {
        std::fprintf(stderr, "error: signature buffer no long enough (need %d bytes).\n",
                     int(kBagSignatureBufferMin));
        return BLOCK_BAD_BUFFER;
    }
    uint8_t block[kBagSignatureBlockSize];
    int result = readLastBlock(path, block);
    if (result != BLOCK_OK) return result;
    size_t length = 0;
    result = checkBlock(block, length);
    if (result != BLOCK_OK) return result;
    if (identifier) *identifier = getU32(block + 5);
    std::memcpy(buffer, block + kHeader, length);
    putU32(buffer + length, BagSignature::crc32(block + kHeader, length));
    return BLOCK_OK;
}

// Repeats a pread or pwrite of the bytes not yet moved (it is given how
// many have been) until all have; false on a failure or at the end of file.
template <typename Step>
bool transferAll(size_t size, Step step) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = step(done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

bool writeAll(int fd, const uint8_t* data, size_t size, off_t at) {
    return transferAll(size, [&](size_t done) { return ::pwrite(fd, data + done, size - done, at + off_t(done)); });
}

bool readAll(int fd, uint8_t* data, size_t size, off_t at) {
    return transferAll(size, [&](size_t done) { return ::pread(fd, data + done, size - done, at + off_t(done)); });
}

// Writes the block over the file's old block, or after its end when it has
// none. A write that fails on the way (a full disk, a size limit) puts back
// what was there: the old block's bytes, or the file's old length, so the
// file is never left with part of a block.
int placeBlock(const char* path, const uint8_t* block) {
    const int fd = ::open(path, O_RDWR | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0) ::close(fd);
        std::fprintf(stderr, "error: failed to open \"%s\" for ONSCryptoBlock write.\n", path);
        return BLOCK_NO_FILE;
    }
    const off_t length = st.st_size;
    const off_t blockSize = off_t(kBagSignatureBlockSize);
    uint8_t old[kBagSignatureBlockSize];
    const bool hasBlock =
        length >= blockSize && readAll(fd, old, sizeof old, length - blockSize) && std::memcmp(old, kMagic, 4) == 0;
    const off_t at = hasBlock ? length - blockSize : length;
    bool written = writeAll(fd, block, kBagSignatureBlockSize, at) && ::fsync(fd) == 0;
    if (!written) {
        const bool restored = hasBlock ? writeAll(fd, old, sizeof old, at) : ::ftruncate(fd, length) == 0;
        if (restored) ::fsync(fd);
    }
    if (::close(fd) != 0) written = false;
    return written ? BLOCK_WRITTEN : BLOCK_NO_FILE;
}

int writeBlock(const char* path, const uint8_t* buffer, size_t size, uint32_t identifier) {
    const size_t available = size < kBagSignatureBufferMin ? size : kBagSignatureBufferMin;
    const size_t length = buffer ? BagSignature::signatureLength(buffer, available >= 4 ? available - 4 : 0) : 0;
    if (length == 0) return BLOCK_BAD_BUFFER;
    const uint32_t stored = getU32(buffer + length);
    const uint32_t computed = BagSignature::crc32(buffer, length);
    if (stored != computed) {
        std::fprintf(stderr, "error: CRC passed in for signature doesn't match (IN(%08X) != %08X).\n",
                     unsigned(stored), unsigned(computed));
        return BLOCK_BAD;
    }
    uint8_t block[kBagSignatureBlockSize] = {};
    std::memcpy(block, kMagic, 4);
    block[4] = kBlockVersion;
    putU32(block + 5, identifier);
    std::memcpy(block + kHeader, buffer, length);
    putU32(block + kHeader + length, BagSignature::crc32(block + 5, length + 4));

    return placeBlock(path, block);
}

}  // namespace

namespace BagSignature {

size_t signatureLength(const uint8_t* data, size_t available) {
    if (!data || available < 1) return 0;
    size_t length = 1;
    const unsigned parts = data[0];
    for (unsigned i = 0; i < parts; ++i) {
        if (length >= available) return 0;
        length += 1 + size_t(data[length]);
        if (length > available) return 0;
    }
    return length;
}

uint32_t crc32(const uint8_t* data, size_t length) {
    if (length == 0) return 0;
    return uint32_t(::crc32(::crc32(0L, Z_NULL, 0), data, uInt(length)));
}

}  // namespace BagSignature

bagError bagReadSignatureBlock(const char* path, uint8_t* buffer, size_t size, uint32_t* identifier) {
    if (!path) return BAG_INVALID_FUNCTION_ARGUMENT;
    return mapResult(readBlock(path, buffer, size, identifier));
}

bagError bagWriteSignatureBlock(const char* path, const uint8_t* buffer, size_t size, uint32_t identifier) {
    if (!path) return BAG_INVALID_FUNCTION_ARGUMENT;
    return mapResult(writeBlock(path, buffer, size, identifier));
}
