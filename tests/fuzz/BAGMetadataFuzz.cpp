// libFuzzer target: arbitrary bytes as the ISO metadata text of a BAG file,
// parsed and validated into a grid definition and read for its lineage.
// Seeds: the metadata texts the format tests write (KIVO_FUZZ_SEEDS).
// BAG_HOME must name the schema folder (formats/bag/schema).
#include <cstdint>
#include <string>

#include "formats/bag/BAGMetaData.h"
#include "formats/bag/BagHandle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    bagHandle handle;
    bagParseMetadataBuffer(&handle, text.c_str(), text.size());
    BAGMetaData::readLineage(text);
    return 0;
}
