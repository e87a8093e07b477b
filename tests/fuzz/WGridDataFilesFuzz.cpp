// The weighted-grid data files ".weight" (grid index and weights) and ".sum"
// beside a fixed definition. An input is three bytes choosing the raster
// (pixels across and down, fragment size, each 1..16), a little-endian u32
// length, that many bytes of ".weight", then the ".sum" bytes. The surface
// must open unless its index does not fit, and its queries serve only set nodes inside the raster, each at
// most once per pixel of the collected fragments.
#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <string>

#include "formats/wgrid/KIVOWGridDataIO.h"
#include "fuzz/FuzzSupport.h"
#include "platform/core/NORVAByteIO.h"

namespace {

constexpr size_t kHeaderBytes = 3 + 4;

std::string folder() {
    static const std::string path = [] {
        fuzzsupport::clearScratch("wgrid");
        return fuzzsupport::scratchFolder() + "/wgrid";
    }();
    return path;
}

std::string definition(uint32_t nx, uint32_t ny, uint32_t s) {
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "[VARN WEIGHTED GRID DEFINITION VERSION 2.10]\n[LOCATION]\nCENTER = %u,%u\n"
                  "[PARAMETERS]\nRESOLUTION = 2\nPIXEL DIMENSIONS = %u,%u\nFRAGMENT SIZE = %u\n",
                  nx, ny, nx, ny, s);
    return buf;
}

void writeText(const std::string& path, const std::string& text) {
    fuzzsupport::writeScratch(path, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Laid out as the hosts that write these files lay them out: the index of
// fragsX × fragsY positions, then each fragment's s × s floats.
std::vector<uint8_t> input(uint8_t nx, uint8_t ny, uint8_t s, uint32_t emptyEvery) {
    const uint64_t count = static_cast<uint64_t>(nx / s + 1) * (ny / s + 1);
    NORVAByteIO::Buffer weight, sum;
    for (uint64_t f = 0; f < count; ++f) NORVAByteIO::putU64(weight, 0);
    sum.assign(weight.size(), 0);
    for (uint64_t f = 0; f < count; ++f) {
        if (emptyEvery && f % emptyEvery == 0) continue;
        const uint64_t at = weight.size();
        for (int b = 0; b < 8; ++b) weight[8 * f + b] = static_cast<uint8_t>(at >> (8 * b));
        for (uint32_t i = 0; i < static_cast<uint32_t>(s) * s; ++i) {
            const float w = (i + f) % 3 == 0 ? 0.0f : static_cast<float>((i + f) % 3);
            NORVAByteIO::putF32(weight, w);
            NORVAByteIO::putF32(sum, w * (10.0f + static_cast<float>(i)));
        }
    }
    NORVAByteIO::Buffer out{nx, ny, s};
    NORVAByteIO::putU32(out, static_cast<uint32_t>(weight.size()));
    out.insert(out.end(), weight.begin(), weight.end());
    out.insert(out.end(), sum.begin(), sum.end());
    return std::vector<uint8_t>(out.begin(), out.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderBytes) return 0;
    const uint32_t nx = data[0] % 16 + 1, ny = data[1] % 16 + 1, s = data[2] % 16 + 1;
    size_t pos = 3;
    uint32_t weightBytes = 0;
    NORVAByteIO::getU32(data, size, pos, weightBytes);
    const size_t w = std::min<size_t>(weightBytes, size - pos);
    const std::string base = folder();
    writeText("wgrid/g.def", definition(nx, ny, s));
    writeText("wgrid/g.des", "NORVA RASTER HEADER 1\nCOORDINATE SYSTEM = +proj=utm +zone=31 +datum=WGS84\n");
    fuzzsupport::writeScratch("wgrid/g.weight", data + pos, w);
    fuzzsupport::writeScratch("wgrid/g.sum", data + pos + w, size - pos - w);

    KIVOWGridDataIO io(NORVAUString((base + "/g.def").c_str()));
    const uint64_t indexBytes = 8u * (nx / s + 1) * (ny / s + 1);
    // Only a ".weight" too short for its index is refused at opening.
    FUZZ_CHECK(io.getStatus() == 0 || (io.getStatus() == 146142 && w < indexBytes));
    if (io.getStatus() != 0) return 0;
    long status = 0;
    NORVAType<KIVOSurfaceIter> iter = io.query(-1e9, -1e9, 1e9, 1e9, false, status, nullptr, DBL_MAX);
    FUZZ_CHECK(iter);
    if (status == 0) fuzzsupport::noteAccepted();
    const NORVAArray<double> low = io.getMinimum(), high = io.getMaximum();
    uint64_t served = 0;
    for (long s2 = 0; !iter->done(s2); iter->next(s2)) {
        double x = 0, y = 0;
        FUZZ_CHECK(iter->getPosition(x, y, -1) == 0);
        FUZZ_CHECK(x >= low[0] && x < high[0] && y >= low[1] && y < high[1]);
        FUZZ_CHECK(iter->getAttributes() && iter->getAttributes()->isSet(0));
        FUZZ_CHECK(++served <= static_cast<uint64_t>(nx) * ny);
    }
    for (uint32_t r = 0; r < ny; ++r)
        for (uint32_t c = 0; c < nx; ++c) {
            float v = 0;
            const long got = io.getDepth(c, r, v);
            FUZZ_CHECK(got == 0 || got == -1);
        }
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    seeds.add("one-fragment", input(4, 3, 5, 0));
    seeds.add("edge-fragments", input(7, 5, 3, 0));
    seeds.add("empty-fragments", input(9, 9, 4, 2));
    seeds.add("single-pixels", input(3, 2, 1, 4));
}
