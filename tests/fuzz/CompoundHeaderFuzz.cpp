// The ".kms" header of a compound surface as the data-IO reads it from its
// file. A header that reads holds only finite bounds and ranges, took no
// more bytes than were there, and writes back to bytes that read the same.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzSupport.h"
#include "multires/KIVOCompoundDataHeader.h"

namespace {

void checkHeader(const KIVOCompoundDataHeader& header, size_t size) {
    for (double v : header.getMinimum()) FUZZ_CHECK(std::isfinite(v));
    for (double v : header.getMaximum()) FUZZ_CHECK(std::isfinite(v));
    for (const auto& entry : header.getResolutionTable())
        FUZZ_CHECK(std::isfinite(entry.first.first) && std::isfinite(entry.first.second));
    std::vector<uint8_t> again;
    header.encode(again);
    // Equal keys collapse, so the table never needs more bytes than it had.
    FUZZ_CHECK(again.size() <= size);
    KIVOCompoundDataHeader back(again.data(), again.size());
    FUZZ_CHECK(back.getStatus() == 0);
    FUZZ_CHECK(back.getSelectorAttribute() == header.getSelectorAttribute());
    FUZZ_CHECK(back.getResolutionTable() == header.getResolutionTable());
    FUZZ_CHECK(back.getMinimum() == header.getMinimum() && back.getMaximum() == header.getMaximum());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzzsupport::writeScratch("input.kms", data, size);
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) std::abort();
    KIVOCompoundDataHeader header(file);
    std::fclose(file);
    // Reading from the file and from the bytes must agree.
    KIVOCompoundDataHeader fromBytes(data, size);
    FUZZ_CHECK(fromBytes.getStatus() == header.getStatus());
    if (header.getStatus() != 0) return 0;
    fuzzsupport::noteAccepted();
    checkHeader(header, size);
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    KIVOResolutionTable three;
    three[KIVORangeEntry(0.0, 20.0)] = 1.0f;
    three[KIVORangeEntry(20.0, 50.0)] = 2.0f;
    three[KIVORangeEntry(50.0, 200.0)] = 5.0f;
    KIVOResolutionTable negative;
    negative[KIVORangeEntry(-40.0, -20.0)] = 2.0f;
    negative[KIVORangeEntry(-20.0, -0.5)] = 0.5f;
    struct Case {
        const char* name;
        const char* selector;
        const KIVOResolutionTable* table;
    } cases[] = {{"three", "Depth", &three},
                 {"negative", "Tiefe \xc3\xa9\xf0\x9f\x8c\x8a", &negative},
                 {"empty", "", nullptr}};
    for (const Case& c : cases) {
        KIVOCompoundDataHeader header(NORVAArray<double>{500000.0, 6100000.0},
                                      NORVAArray<double>{501000.0, 6101000.0}, c.selector,
                                      c.table ? *c.table : KIVOResolutionTable());
        if (header.getStatus() != 0) std::abort();
        std::vector<uint8_t> bytes;
        header.encode(bytes);
        seeds.add(c.name, bytes);
        if (bytes.size() > 24)
            seeds.add(std::string(c.name) + "-short", std::vector<uint8_t>(bytes.begin(), bytes.end() - 24));
    }
}
