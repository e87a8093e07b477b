// The ".kms" header: round trips through bytes and files, and every refusal
// of a damaged or hostile header.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "TempFolder.h"
#include "multires/KIVOCompoundDataHeader.h"
#include "platform/core/NORVAByteIO.h"

namespace {

using Bytes = std::vector<uint8_t>;

KIVOCompoundDataHeader sample() {
    KIVOResolutionTable table;
    table[KIVORangeEntry(0.0, 20.0)] = 1.0f;
    table[KIVORangeEntry(20.0, 50.0)] = 2.0f;
    table[KIVORangeEntry(50.0, 200.0)] = 5.0f;
    return KIVOCompoundDataHeader(NORVAArray<double>{100.5, -20.25}, NORVAArray<double>{900.0, 40.0},
                                  NORVAUString("Tiefe \xc3\xa9\xf0\x9f\x8c\x8a"), table);
}

Bytes encoded() {
    Bytes b;
    sample().encode(b);
    return b;
}

// Offsets of the fixed fields.
constexpr size_t kVersionAt = 12, kReservedAt = 14, kBoundsAt = 16, kNameLengthAt = 48;

size_t countOffset(const Bytes& b) {
    uint32_t n = 0;
    std::memcpy(&n, b.data() + kNameLengthAt, 4);
    return kNameLengthAt + 4 + 2 * n;
}

void putU32At(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void putF64At(Bytes& b, size_t at, double v) {
    Bytes tmp;
    NORVAByteIO::putF64(tmp, v);
    std::copy(tmp.begin(), tmp.end(), b.begin() + at);
}

}  // namespace

TEST(CompoundHeaderTest, RoundTripThroughBytesAndFile) {
    const KIVOCompoundDataHeader original = sample();
    ASSERT_EQ(0, original.getStatus());
    Bytes b = encoded();
    EXPECT_EQ(0, std::memcmp(b.data(), KIVOCompoundDataHeader::kMagic, 12));
    EXPECT_EQ(kNameLengthAt + 4 + 2u * 9 + 4 + 3 * 20, b.size());  // 9 UTF-16 units: one surrogate pair

    KIVOCompoundDataHeader fromBytes(b.data(), b.size());
    ASSERT_EQ(0, fromBytes.getStatus());
    EXPECT_EQ(original.getMinimum(), fromBytes.getMinimum());
    EXPECT_EQ(original.getMaximum(), fromBytes.getMaximum());
    EXPECT_EQ(original.getSelectorAttribute(), fromBytes.getSelectorAttribute());
    EXPECT_EQ(original.getResolutionTable(), fromBytes.getResolutionTable());

    TempFolder dir;
    const std::string path = dir.file("h.kms").toUTF8();
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, out);
    EXPECT_EQ(0, original.write(out));
    std::fclose(out);
    FILE* in = std::fopen(path.c_str(), "rb");
    KIVOCompoundDataHeader fromFile(in);
    std::fclose(in);
    ASSERT_EQ(0, fromFile.getStatus());
    EXPECT_EQ(original.getResolutionTable(), fromFile.getResolutionTable());
    EXPECT_EQ(-1, KIVOCompoundDataHeader(static_cast<FILE*>(nullptr)).getStatus());

    // Bytes after the table play no part.
    b.insert(b.end(), 9, 0xEE);
    KIVOCompoundDataHeader trailing(b.data(), b.size());
    EXPECT_EQ(0, trailing.getStatus());
    EXPECT_EQ(original.getResolutionTable(), trailing.getResolutionTable());
    EXPECT_EQ(-1, original.write(nullptr));
}

TEST(CompoundHeaderTest, DamagedHeadersAreRefused) {
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
        long status;
    } cases[] = {
        {"bad magic", [](Bytes& b) { b[1] = 'X'; }, 146021},
        {"empty file", [](Bytes& b) { b.clear(); }, 146021},
        {"version 2", [](Bytes& b) { b[kVersionAt] = 2; }, 146007},
        {"reserved word 1", [](Bytes& b) { b[kReservedAt] = 1; }, 146008},
        {"cut in the bounds", [](Bytes& b) { b.resize(kBoundsAt + 20); }, 146021},
        {"NaN bound", [](Bytes& b) { putF64At(b, kBoundsAt + 8, NAN); }, 146021},
        {"huge name length", [](Bytes& b) { putU32At(b, kNameLengthAt, 0xFFFFFFFFu); }, 146021},
        {"name longer than the file", [](Bytes& b) { putU32At(b, kNameLengthAt, 60); }, 146021},
        {"cut before the count", [](Bytes& b) { b.resize(countOffset(b) + 2); }, 146021},
        {"three promised, two present", [](Bytes& b) { b.resize(b.size() - 20); }, 146020},
        {"count of two billion", [](Bytes& b) { putU32At(b, countOffset(b), 0x7FFFFFFFu); }, 146020},
        {"NaN range key", [](Bytes& b) { putF64At(b, countOffset(b) + 4 + 20, NAN); }, 146021},
        {"infinite range key", [](Bytes& b) { putF64At(b, countOffset(b) + 4 + 8, INFINITY); }, 146021},
        {"NaN resolution", [](Bytes& b) { putU32At(b, countOffset(b) + 4 + 16, 0x7FC00000u); }, 146021},
    };
    TempFolder dir;
    const std::string path = dir.file("damaged.kms").toUTF8();
    for (const Case& c : cases) {
        Bytes b = encoded();
        c.damage(b);
        KIVOCompoundDataHeader h(b.data(), b.size());
        EXPECT_EQ(c.status, h.getStatus()) << c.what;
        // The file reader reads part by part and must come to the same answer.
        FILE* out = std::fopen(path.c_str(), "wb");
        std::fwrite(b.data(), 1, b.size(), out);
        std::fclose(out);
        FILE* in = std::fopen(path.c_str(), "rb");
        EXPECT_EQ(c.status, KIVOCompoundDataHeader(in).getStatus()) << c.what << " (file)";
        std::fclose(in);
    }
}

TEST(CompoundHeaderTest, NonPositiveCountsGiveAnEmptyTable) {
    for (uint32_t count : {0u, 0x80000000u, 0xFFFFFFFFu}) {
        Bytes b = encoded();
        putU32At(b, countOffset(b), count);
        KIVOCompoundDataHeader h(b.data(), b.size());
        EXPECT_EQ(0, h.getStatus()) << count;
        EXPECT_TRUE(h.getResolutionTable().empty()) << count;
    }
}

TEST(CompoundHeaderTest, NonFiniteValuesAreNotWritten) {
    KIVOResolutionTable table;
    table[KIVORangeEntry(NAN, 1.0)] = 1.0f;
    EXPECT_EQ(-1, KIVOCompoundDataHeader(NORVAArray<double>{0, 0}, NORVAArray<double>{1, 1}, "Depth", table)
                      .getStatus());
    EXPECT_EQ(-1, KIVOCompoundDataHeader(NORVAArray<double>{0, INFINITY}, NORVAArray<double>{1, 1}, "Depth",
                                         KIVOResolutionTable())
                      .getStatus());
}
