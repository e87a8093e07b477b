// The bin-record decoder. The first 16 bytes choose a layout (field widths,
// version and scales); the rest is the packed record, possibly shorter than
// the layout wants. Decoding never reads past the bytes given, and every
// field stays within its width.
#include <cmath>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "formats/pfm/pfm_bins.h"
#include "formats/pfm/pfm_bits.h"
#include "formats/pfm/pfm_header.h"

namespace {

const size_t kLayoutBytes = 16;

bool layoutOf(const uint8_t* d, int32_t& code, BIN_HEADER& head, PFM_LAYOUT& layout) {
    code = (d[0] & 1) ? 47 : 35;
    layout.count_bits = d[1] % 33;
    layout.std_bits = d[2] % 33;
    layout.depth_bits = d[3] % 33;
    for (int i = 0; i < PFM_ATTRIBUTES; ++i) layout.ndx_attr_bits[i] = d[4 + i] % 33;
    layout.validity_bits = d[7] % 33;
    layout.record_pointer_bits = 32 + d[8] % 33;
    for (int i = 0; i < PFM_FLAGS; ++i) layout.flag_bits[i] = d[9 + i] % 3;
    layout.depth_scale = static_cast<float>(d[0] >> 1);  // 0 is refused
    layout.depth_offset = 10.0f;
    layout.ndx_attr_scale[0] = layout.ndx_attr_scale[1] = layout.ndx_attr_scale[2] = 10.0f;
    head.projection = 1;
    head.bin_size_xy = 2.0;
    head.x_bin_size_degrees = head.y_bin_size_degrees = 0.5;  // older versions are geographic
    head.bin_width = head.bin_height = 3;
    return pfm_complete_header(code, head, layout) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kLayoutBytes) return 0;
    int32_t code = 0;
    BIN_HEADER head;
    PFM_LAYOUT layout;
    if (!layoutOf(data, code, head, layout)) return 0;
    PFM_POSITIONS positions;
    FUZZ_CHECK(pfm_compute_positions(code, layout, positions));
    // A copy of exactly the record bytes given, so the sanitizers see any over-read.
    std::vector<uint8_t> record(data + kLayoutBytes, data + size);
    BIN_RECORD r;
    pfm_decode_bin_record(record.data(), record.size(), code, head, layout, positions, 1, 2, r);
    if (record.size() < static_cast<size_t>(positions.bin_record_bytes)) return 0;
    fuzzsupport::noteAccepted();
    FUZZ_CHECK(layout.count_bits == 32 || r.num_soundings < (1ULL << layout.count_bits));
    FUZZ_CHECK(std::isfinite(r.min_depth) && std::isfinite(r.max_depth) && std::isfinite(r.avg_depth));
    FUZZ_CHECK(r.head >= 0 && r.tail >= 0);
    FUZZ_CHECK(r.coord_x == 1 && r.coord_y == 2);
    return 0;
}

// Records packed by the library's own bit packer for a few layouts.
void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    const uint8_t layouts[][kLayoutBytes] = {
        {201, 24, 32, 20, 10, 7, 0, 16, 4, 1, 1, 1, 1, 1, 1, 1},   // current, default widths
        {200, 8, 8, 8, 0, 0, 0, 8, 0, 1, 1, 1, 1, 1, 1, 1},        // older, flags
        {3, 32, 0, 32, 32, 32, 32, 32, 32, 0, 0, 0, 0, 0, 0, 0},   // widest fields
    };
    int n = 0;
    for (const auto& l : layouts) {
        int32_t code = 0;
        BIN_HEADER head;
        PFM_LAYOUT layout;
        if (!layoutOf(l, code, head, layout)) continue;
        PFM_POSITIONS p;
        if (!pfm_compute_positions(code, layout, p)) continue;
        std::vector<uint8_t> input(l, l + kLayoutBytes);
        std::vector<uint8_t> record(static_cast<size_t>(p.bin_record_bytes), 0);
        pfm_bit_pack(record.data(), record.size(), p.count, layout.count_bits, 5);
        for (int64_t depth : p.depth) pfm_bit_pack(record.data(), record.size(), depth, layout.depth_bits, 1234);
        pfm_double_bit_pack(record.data(), record.size(), p.head, layout.record_pointer_bits, 2147483648ULL);
        input.insert(input.end(), record.begin(), record.end());
        seeds.add("layout-" + std::to_string(n++), input);
    }
}
