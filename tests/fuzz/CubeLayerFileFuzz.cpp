// A CUBE layer-cache file (".vcc"): one attribute of one grid as floats. The
// grid asked for is the one the header names, so the fuzzer reaches the size
// checks. A file that opens must hold every value it announces, and those
// values must read.
#include <cstdlib>

#include "cube/CUBEFileMagic.h"
#include "cube/CUBEGridIdx.h"
#include "cube/CUBELayerFile.h"
#include "fuzz/FuzzSupport.h"
#include "platform/core/NORVAByteIO.h"

namespace {

// Key of the grid the header names (row, column, rows, columns at bytes 17..28).
CUBEGridIdx namedGrid(const uint8_t* data, size_t size) {
    uint16_t row = 0, column = 0;
    uint32_t rows = 1, columns = 1;
    if (size >= CUBELayerFile::kHeaderBytes) {
        size_t pos = 17;
        NORVAByteIO::getU16(data, size, pos, row);
        NORVAByteIO::getU16(data, size, pos, column);
        NORVAByteIO::getU32(data, size, pos, rows);
        NORVAByteIO::getU32(data, size, pos, columns);
    }
    return CUBEGridIdx(row, column, 0, 0, rows, columns, 0.0, 0.0, 1.0f, 1.0f);
}

std::vector<uint8_t> layerFile(uint16_t row, uint16_t column, uint32_t rows, uint32_t columns, size_t values) {
    NORVAByteIO::Buffer bytes;
    NORVAByteIO::putBytes(bytes, CUBEFileMagic::kLayer, CUBEFileMagic::kLength);
    NORVAByteIO::putU16(bytes, 1);
    NORVAByteIO::putU16(bytes, 0);
    NORVAByteIO::putU16(bytes, row);
    NORVAByteIO::putU16(bytes, column);
    NORVAByteIO::putU32(bytes, rows);
    NORVAByteIO::putU32(bytes, columns);
    for (size_t i = 0; i < values; ++i) NORVAByteIO::putF32(bytes, 10.0f + static_cast<float>(i) * 0.5f);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzzsupport::writeScratch("input.vcc", data, size);
    CUBELayerFile file;
    if (!file.open(NORVAUString(path.c_str()), namedGrid(data, size))) return 0;
    fuzzsupport::noteAccepted();
    FUZZ_CHECK(size >= CUBELayerFile::kHeaderBytes);
    FUZZ_CHECK(file.valueCount() <= (size - CUBELayerFile::kHeaderBytes) / 4);
    std::vector<float> values(file.valueCount());
    FUZZ_CHECK(file.readValues(values));
    return 0;
}

// The library reads these files but never writes them; they are laid out
// here as the hosts that do write them lay them out.
void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    seeds.add("full", layerFile(0, 0, 3, 4, 12));
    seeds.add("other-grid", layerFile(2, 7, 5, 2, 10));
    seeds.add("header-only", layerFile(1, 1, 3, 3, 0));
    seeds.add("short", layerFile(0, 1, 4, 4, 9));
    std::vector<uint8_t> stray = layerFile(0, 0, 2, 2, 0);
    stray.push_back(0x41);
    seeds.add("stray-byte", stray);
}
