// A CUBE surface header (".vcs") as the data-IO reads it: extent, spacing,
// tiling and the parameter block. A header that reads must tile its nodes
// with no more grids than a grid key can name, and store back to bytes that
// read the same.
#include <cstdlib>
#include <cstdio>

#include "cube/CUBEUtils.h"
#include "cube/KIVOCUBEDataHeader.h"
#include "fuzz/FuzzSupport.h"

namespace {

void checkHeader(const KIVOCUBEDataHeader& header) {
    const uint64_t tile = header.getGridSize();
    FUZZ_CHECK(tile > 0);
    FUZZ_CHECK(header.getCubeParams() != nullptr);
    FUZZ_CHECK(header.getNumXPixels() > 0 && header.getNumYPixels() > 0);
    // The grids cover every node, and each is addressable by a 16-bit key.
    FUZZ_CHECK(header.getGridsAcross() * tile >= header.getNumXPixels());
    FUZZ_CHECK(header.getGridsDown() * tile >= header.getNumYPixels());
    FUZZ_CHECK(header.getGridsAcross() <= KIVOCUBEDataHeader::kMaxGrids);
    FUZZ_CHECK(header.getGridsDown() <= KIVOCUBEDataHeader::kMaxGrids);
}

long readHeader(const std::string& path, std::unique_ptr<KIVOCUBEDataHeader>& header) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) std::abort();
    header = std::make_unique<KIVOCUBEDataHeader>(file);
    std::fclose(file);
    return header->getStatus();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::silenceEngine();
    std::unique_ptr<KIVOCUBEDataHeader> header;
    if (readHeader(fuzzsupport::writeScratch("input.vcs", data, size), header) != 0) return 0;
    fuzzsupport::noteAccepted();
    checkHeader(*header);
    const std::string again = fuzzsupport::scratchFolder() + "/again.vcs";
    FILE* file = std::fopen(again.c_str(), "wb");
    if (file == nullptr) std::abort();
    FUZZ_CHECK(header->store(file) == 0);
    std::fclose(file);
    std::unique_ptr<KIVOCUBEDataHeader> back;
    FUZZ_CHECK(readHeader(again, back) == 0);
    FUZZ_CHECK(back->getNumXPixels() == header->getNumXPixels() && back->getNumYPixels() == header->getNumYPixels() &&
               back->getGridSize() == header->getGridSize());
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    fuzzsupport::silenceEngine();
    struct Case {
        const char* name;
        double x0, y0, x1, y1;
        float resolution;
        int order;
    };
    const Case cases[] = {{"small", 1000.0, 2000.0, 1010.0, 2007.0, 1.0f, 0},
                          {"fine", 0.0, 0.0, 500.0, 300.0, 0.25f, 1},
                          {"wide", -5000.0, -100.0, 60000.0, 50.0, 5.0f, 2}};
    const std::string path = fuzzsupport::scratchFolder() + "/seed.vcs";
    for (const Case& c : cases) {
        KIVOCUBEDataHeader header(NORVAArray<double>{c.x0, c.y0}, NORVAArray<double>{c.x1, c.y1}, c.resolution,
                                  CUBEUtils::getParams(c.order, c.resolution));
        if (header.getStatus() != 0) std::abort();
        FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr || header.store(file) != 0) std::abort();
        std::fclose(file);
        const std::vector<uint8_t> bytes = fuzzsupport::readWhole(path);
        seeds.add(c.name, bytes);
        seeds.add(std::string(c.name) + "-short-params", std::vector<uint8_t>(bytes.begin(), bytes.end() - 40));
    }
}
