// The header of a tile store (".kps"): cover, resolutions, dimensions,
// coordinate strings and the record layout. A header that reads must hold a
// layout the points file can give columns to, every type known and every
// size its type's, and encode back to the very bytes it was read from.
#include <cstdlib>

#include "fuzz/FuzzSupport.h"
#include "platform/kestrin/KestrinStoreType.h"
#include "platform/kestrin/NORVAKestrinHeader.h"

namespace {

void checkLayout(const NORVAKestrinGenericDataDescriptor& d) {
    FUZZ_CHECK(d.getNumAtts() >= 0 && d.getNumAtts() <= static_cast<long>(NORVAKestrinHeader::kMaxAttributes));
    for (long i = 0; i < d.getNumAtts(); ++i) {
        FUZZ_CHECK(KestrinStoreType::isValid(d.getType(i)));
        if (d.getType(i) == KestrinStoreType::FIXED_TEXT)
            FUZZ_CHECK(d.getAttributeSize(i) >= 1 && d.getAttributeSize(i) <= NORVAKestrinHeader::kMaxFixedTextSize);
        else
            FUZZ_CHECK(d.getAttributeSize(i) == KestrinStoreType::fixedSize(d.getType(i)));
        FUZZ_CHECK(d.getAttrXCoordIndex(i) >= -1 && d.getAttrXCoordIndex(i) < d.getNumAtts());
        FUZZ_CHECK(d.getAttrYCoordIndex(i) >= -1 && d.getAttrYCoordIndex(i) < d.getNumAtts());
    }
}

NORVAKestrinPointDataConfig sample(long attributes, double resolution) {
    NORVAKestrinGenericDataDescriptor d;
    d.setNumAtts(attributes);
    for (long i = 0; i < attributes; ++i) {
        d.setAttributeName(i, NORVAUString("A") + NORVAUString::formatLong(i));
        d.setType(i, static_cast<int32_t>(i % KestrinStoreType::TYPE_COUNT));
        if (d.getType(i) == KestrinStoreType::FIXED_TEXT) d.setAttributeSize(i, 12);
        if (d.getType(i) == KestrinStoreType::STRING) d.loadIndexedStringTable(i, nullptr);
    }
    if (attributes > 2) d.setAttrCoordIndices(0, 1, 2);
    d.setSourceMetaData({"Survey", "Vessel"}, {"S-1", "Kestrel", "extra"});
    NORVAKestrinPointDataConfig c(NORVAArray<double>{-10.5, 20.0}, NORVAArray<double>{1000.0, 3000.25},
                                  NORVAArray<double>{resolution, resolution, 0.01}, {2, 2}, {"X", "Y"}, d);
    c.setCoordinateInfo("UTM 31N", "EPSG:32631", "0 0 0 0 1 1 1");
    return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    NORVAKestrinPointDataConfig config;
    if (NORVAKestrinHeader::decode(data, size, config) != 0) return 0;
    fuzzsupport::noteAccepted();
    checkLayout(config.getGenericDataDescriptor());
    const NORVAByteIO::Buffer again = NORVAKestrinHeader::encode(config);
    FUZZ_CHECK(again.size() == size && std::equal(again.begin(), again.end(), data));
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    struct Case {
        const char* name;
        long attributes;
        double resolution;
    };
    const Case cases[] = {{"empty-layout", 0, 1.0}, {"every-type", 13, 0.5}, {"wide", 40, 2.0}};
    for (const Case& c : cases) {
        const NORVAByteIO::Buffer bytes = NORVAKestrinHeader::encode(sample(c.attributes, c.resolution));
        seeds.add(c.name, bytes);
        seeds.add(std::string(c.name) + "-short", NORVAByteIO::Buffer(bytes.begin(), bytes.end() - 5));
    }
}
