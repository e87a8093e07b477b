// The 16,384-byte text header of a PFM bin file. A header the library
// accepts gives a record layout it can address, and writes back to a text
// that reads as the same grid.
#include <string>

#include "fuzz/FuzzSupport.h"
#include "fuzz/PFMFuzzSupport.h"
#include "formats/pfm/pfm_bins.h"
#include "formats/pfm/pfm_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the version code the header is read under.
    const int32_t codes[] = {47, 40, 35, 20};
    const int32_t code = size > 0 ? codes[data[0] % 4] : 47;
    BIN_HEADER head;
    PFM_LAYOUT layout;
    pfm_parse_header_text(reinterpret_cast<const char*>(data), size, head, layout);
    FUZZ_CHECK(head.polygon_count >= 0 && head.polygon_count <= PFM_POLYGON_POINTS);
    if (pfm_complete_header(code, head, layout) != 0) return 0;
    fuzzsupport::noteAccepted();
    PFM_POSITIONS positions;
    FUZZ_CHECK(pfm_compute_positions(code, layout, positions));
    FUZZ_CHECK(positions.bin_record_bytes > 0 && positions.bin_record_bytes <= 96);
    FUZZ_CHECK(head.bin_width > 0 && head.bin_height > 0);
    FUZZ_CHECK(layout.num_ndx_attr <= PFM_ATTRIBUTES);
    const std::string text = pfm_header_text(code, head, layout);
    FUZZ_CHECK(text.empty() || text.size() == PFM_HEADER_SIZE);
    if (text.empty()) return 0;
    BIN_HEADER back;
    PFM_LAYOUT backLayout;
    pfm_parse_header_text(text.data(), text.size(), back, backLayout);
    FUZZ_CHECK(back.bin_width == head.bin_width && back.bin_height == head.bin_height);
    FUZZ_CHECK(back.projection == head.projection);
    FUZZ_CHECK(backLayout.depth_bits == layout.depth_bits && backLayout.count_bits == layout.count_bits);
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    PFM_LAYOUT layout;
    layout.depth_bits = 17;
    layout.depth_scale = 100.0f;
    layout.depth_offset = 10.0f;
    layout.ndx_attr_bits[0] = 10;
    layout.ndx_attr_bits[1] = 7;
    layout.num_ndx_attr = 2;
    for (int32_t code : {47, 35}) {
        for (bool projected : {true, false}) {
            // A leading selector byte ('0' reads as 47, '2' as 35) in front of the written text.
            const std::string text =
                std::string(code == 47 ? "0" : "2") + pfm_header_text(code, pfmfuzz::sampleHeader(projected), layout);
            seeds.add(std::string(projected ? "projected-" : "geographic-") + std::to_string(code), text);
        }
    }
}
