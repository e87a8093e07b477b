// The engine's parameter block as stored in surface headers, read from memory
// (short blocks included: the reader fills them up with defaults). A block
// that reads must bound every word that drives a size or a loop, and encode
// back to the bytes it came from.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cube_engine/cube.h"
#include "cube_engine/cube_param.h"
#include "fuzz/FuzzSupport.h"

namespace {

std::vector<uint8_t> encoded(const _cube_param* params) {
    std::vector<uint8_t> out(CUBE_PARAM_BYTES);
    cube_param_encode(params, out.data());
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::silenceEngine();
    cube_stream stream;
    cube_stream_memory_reader(&stream, data, size);
    _cube_param* params = cube_read_params(&stream);
    if (params == nullptr) return 0;
    fuzzsupport::noteAccepted();
    FUZZ_CHECK(cube_param_queue_length(params) <= CUBE_MAX_QUEUE);
    // The bytes present come back as they were; the rest are the defaults.
    const std::vector<uint8_t> bytes = encoded(params);
    const size_t present = size < CUBE_PARAM_BYTES ? size : CUBE_PARAM_BYTES;
    FUZZ_CHECK(std::memcmp(bytes.data(), data, present) == 0);
    const std::vector<uint8_t> defaults = encoded(cube_default_param());
    FUZZ_CHECK(std::memcmp(bytes.data() + present, defaults.data() + present, CUBE_PARAM_BYTES - present) == 0);
    std::free(params);
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    fuzzsupport::silenceEngine();
    for (int order = 0; order <= 3; ++order) {
        _cube_param* params = cube_init_param(order, 0.5 * (order + 1), 0.5 * (order + 1));
        if (params == nullptr) std::abort();
        cube_stream stream;
        if (!cube_stream_memory_writer(&stream, 0)) std::abort();
        if (cube_write_params(params, &stream) != 1) std::abort();
        std::vector<uint8_t> bytes(stream.data, stream.data + stream.size);
        cube_stream_close(&stream);
        std::free(params);
        seeds.add("order" + std::to_string(order), bytes);
        seeds.add("order" + std::to_string(order) + "-short", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 80));
    }
}
