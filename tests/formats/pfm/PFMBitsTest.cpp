// Bit packing and bin-record decoding, checked against the fixture writer's
// own packer and against records worked out by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "PFMFixtureWriter.h"
#include "formats/pfm/pfm_bins.h"
#include "formats/pfm/pfm_bits.h"
#include "formats/pfm/pfm_header.h"

namespace {

TEST(PFMBitsTest, PackUnpackEveryOffsetAndWidthKeepsNeighbours) {
    for (int offset = 0; offset < 8; ++offset) {
        for (int width = 1; width <= 32; ++width) {
            const uint32_t value = width == 32 ? 0xA5C3E1F7U : (0xA5C3E1F7U & ((1U << width) - 1U));
            for (uint8_t fill : {uint8_t{0x00}, uint8_t{0xFF}}) {
                std::vector<uint8_t> mine(6, fill), theirs(6, fill);
                pfm_bit_pack(mine.data(), mine.size(), offset, width, value);
                pfmfixture::setBits(theirs, static_cast<uint64_t>(offset), width, value);
                ASSERT_EQ(mine, theirs) << "offset " << offset << " width " << width;
                EXPECT_EQ(pfm_bit_unpack(mine.data(), mine.size(), offset, width), value);
                // The bits before and after the field are the fill.
                if (offset > 0) {
                    EXPECT_EQ(pfm_bit_unpack(mine.data(), mine.size(), 0, offset), fill ? (1U << offset) - 1U : 0U);
                }
                const int after = 48 - offset - width;
                const uint32_t rest = pfm_bit_unpack(mine.data(), mine.size(), offset + width, after > 32 ? 32 : after);
                EXPECT_EQ(rest, fill ? (after >= 32 ? 0xFFFFFFFFU : (1U << after) - 1U) : 0U);
            }
        }
    }
}

TEST(PFMBitsTest, WideFieldsSplitAtTwoToThe31MinusOne) {
    struct Case {
        int width;
        uint64_t value;
        uint64_t quotient, remainder;
    };
    const Case cases[] = {
        {32, 2147483647ULL, 1, 0},           // the divisor itself: first part 1, second 0
        {32, 2147483648ULL, 1, 1},           // 2^31
        {36, 2147483646ULL, 0, 2147483646ULL},
        {36, 5ULL * 2147483647ULL + 9, 5, 9},
        {64, 0x7FFFFFFFFFFFFFFFULL, 0x7FFFFFFFFFFFFFFFULL / 2147483647ULL, 0x7FFFFFFFFFFFFFFFULL % 2147483647ULL},
    };
    for (const Case& c : cases) {
        for (int offset : {0, 3}) {
            std::vector<uint8_t> buffer(10, 0);
            pfm_double_bit_pack(buffer.data(), buffer.size(), offset, c.width, c.value);
            std::vector<uint8_t> expected(10, 0);
            pfmfixture::setBits(expected, offset, c.width - 31, c.quotient);
            pfmfixture::setBits(expected, offset + c.width - 31, 31, c.remainder);
            EXPECT_EQ(buffer, expected) << c.value;
            EXPECT_EQ(pfm_double_bit_unpack(buffer.data(), buffer.size(), offset, c.width), c.value);
        }
    }
}

TEST(PFMBitsTest, FieldsPastTheBufferReadZeroAndWriteNothing) {
    std::vector<uint8_t> buffer(4, 0xFF);
    EXPECT_EQ(pfm_bit_unpack(buffer.data(), buffer.size(), 1, 32), 0U);
    EXPECT_EQ(pfm_bit_unpack(buffer.data(), buffer.size(), 0, 33), 0U);
    EXPECT_EQ(pfm_bit_unpack(buffer.data(), buffer.size(), -1, 4), 0U);
    EXPECT_EQ(pfm_double_bit_unpack(buffer.data(), buffer.size(), 0, 36), 0U);
    pfm_bit_pack(buffer.data(), buffer.size(), 30, 8, 0);
    pfm_double_bit_pack(buffer.data(), buffer.size(), 0, 40, 0);
    EXPECT_EQ(buffer, std::vector<uint8_t>(4, 0xFF));
    EXPECT_EQ(pfm_bit_unpack(buffer.data(), buffer.size(), 0, 32), 0xFFFFFFFFU);
}

// Decodes a record with the library for a fixture layout.
BIN_RECORD decode(const pfmfixture::Plan& plan, const std::vector<uint8_t>& bytes, int32_t column, int32_t row) {
    const std::string text = pfmfixture::headerText(plan);
    BIN_HEADER head;
    PFM_LAYOUT layout;
    pfm_parse_header_text(text.data(), text.size(), head, layout);
    const int32_t code = pfmfixture::versionCode(plan.version);
    EXPECT_EQ(pfm_complete_header(code, head, layout), 0);
    PFM_POSITIONS positions;
    EXPECT_TRUE(pfm_compute_positions(code, layout, positions));
    EXPECT_EQ(positions.bin_record_bytes, static_cast<int32_t>(bytes.size()));
    BIN_RECORD record;
    pfm_decode_bin_record(bytes.data(), bytes.size(), code, head, layout, positions, column, row, record);
    return record;
}

pfmfixture::Plan byteLayout() {
    pfmfixture::Plan plan;
    plan.countBits = 8;
    plan.stdBits = 8;
    plan.stdScale = 1.0;
    plan.depthBits = 8;
    plan.depthScale = 1.0;
    plan.depthOffset = 0.0;
    plan.validityBits = 8;
    plan.pointerBits = 32;
    plan.xBinSize = plan.yBinSize = 0.5;  // older versions are read as geographic
    return plan;
}

TEST(PFMBitsTest, HandCheckedRecords) {
    // Byte-aligned fields: count 1, std 2, depths 3..8, validity 9, head 2^31 - 1
    // (first part 1, remainder 0), tail 5.
    pfmfixture::Plan aligned = byteLayout();
    pfmfixture::Bin a;
    a.count = 1;
    a.stdDev = 2;
    a.avgFiltered = 3;
    a.minFiltered = 4;
    a.maxFiltered = 5;
    a.avg = 6;
    a.min = 7;
    a.max = 8;
    a.validity = 9;
    a.head = 2147483647ULL;
    a.tail = 5;
    const std::vector<uint8_t> alignedHex = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09,
                                             0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05};
    // Nibble fields: count 0xA, std 0xB, depths 1..6, validity 0xC, head 2^31
    // (first part 1, remainder 1), tail 0, four bits of padding.
    pfmfixture::Plan nibbles = aligned;
    nibbles.countBits = nibbles.stdBits = nibbles.depthBits = nibbles.validityBits = 4;
    pfmfixture::Bin b;
    b.count = 0xA;
    b.stdDev = 0xB;
    b.avgFiltered = 1;
    b.minFiltered = 2;
    b.maxFiltered = 3;
    b.avg = 4;
    b.min = 5;
    b.max = 6;
    b.validity = 0xC;
    b.head = 2147483648ULL;
    const std::vector<uint8_t> nibbleHex = {0xAB, 0x12, 0x34, 0x56, 0xC8, 0x00, 0x00, 0x00,
                                            0x10, 0x00, 0x00, 0x00, 0x00};
    struct Case {
        const pfmfixture::Plan* plan;
        const pfmfixture::Bin* bin;
        const std::vector<uint8_t>* hex;
    };
    for (const Case& c : {Case{&aligned, &a, &alignedHex}, Case{&nibbles, &b, &nibbleHex}}) {
        EXPECT_EQ(pfmfixture::packRecord(*c.plan, *c.bin), *c.hex);
        const BIN_RECORD r = decode(*c.plan, *c.hex, 2, 3);
        EXPECT_EQ(r.num_soundings, c.bin->count);
        EXPECT_FLOAT_EQ(r.standard_dev, static_cast<float>(c.bin->stdDev));
        EXPECT_FLOAT_EQ(r.avg_filtered_depth, static_cast<float>(c.bin->avgFiltered));
        EXPECT_FLOAT_EQ(r.min_filtered_depth, static_cast<float>(c.bin->minFiltered));
        EXPECT_FLOAT_EQ(r.max_filtered_depth, static_cast<float>(c.bin->maxFiltered));
        EXPECT_FLOAT_EQ(r.avg_depth, static_cast<float>(c.bin->avg));
        EXPECT_FLOAT_EQ(r.min_depth, static_cast<float>(c.bin->min));
        EXPECT_FLOAT_EQ(r.max_depth, static_cast<float>(c.bin->max));
        EXPECT_EQ(r.validity, c.bin->validity);
        EXPECT_EQ(r.head, static_cast<int64_t>(c.bin->head));
        EXPECT_EQ(r.tail, static_cast<int64_t>(c.bin->tail));
        EXPECT_EQ(r.coord_x, 2);
        EXPECT_EQ(r.coord_y, 3);
        EXPECT_DOUBLE_EQ(r.xy_x, 2.5 * c.plan->binSizeXY + c.plan->minX);
        EXPECT_DOUBLE_EQ(r.xy_y, 3.5 * c.plan->binSizeXY + c.plan->minY);
    }
}

TEST(PFMBitsTest, OlderRecordsTurnFlagsIntoValidity) {
    struct Case {
        int flag;
        uint32_t validity;
    };
    // edited, checked, suspect, data, selected, class 1, class 2
    const Case cases[] = {{0, 32}, {1, 512}, {2, 8}, {3, 1024}, {4, 4}, {5, 64}, {6, 128}};
    pfmfixture::Plan plan = byteLayout();
    plan.version = "3.20";
    plan.projectedXBits = 5;
    for (const Case& c : cases) {
        pfmfixture::Bin bin;
        bin.count = 1;
        bin.flags[c.flag] = 1;
        bin.projectedX = 31;
        const BIN_RECORD r = decode(plan, pfmfixture::packRecord(plan, bin), 0, 0);
        EXPECT_EQ(r.validity, c.validity) << "flag " << c.flag;
    }
    pfmfixture::Bin all;
    all.flags = {1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(decode(plan, pfmfixture::packRecord(plan, all), 0, 0).validity, 32U + 512 + 8 + 1024 + 4 + 64 + 128);
}

TEST(PFMBitsTest, AttributesDecodeFromTheirMinimumAndScale) {
    pfmfixture::Plan plan;
    plan.attrNames = {"Tide", "Quality", ""};
    plan.attrBits = {12, 7, 0};
    plan.attrScale = {100.0, 1.0, 1000.0};
    plan.attrMin = {-5.0f, 0.0f, 0.0f};
    plan.attrMax = {5.0f, 100.0f, 0.0f};
    pfmfixture::Bin bin;
    bin.count = 1;
    bin.attr = {1.25, 77.0, 0.0};
    bin.min = -3.5;  // above the surface
    const BIN_RECORD r = decode(plan, pfmfixture::packRecord(plan, bin), 0, 0);
    EXPECT_FLOAT_EQ(r.attr[0], 1.25f);
    EXPECT_FLOAT_EQ(r.attr[1], 77.0f);
    EXPECT_FLOAT_EQ(r.attr[2], 0.0f);
    EXPECT_FLOAT_EQ(r.min_depth, -3.5f);
}

}  // namespace
