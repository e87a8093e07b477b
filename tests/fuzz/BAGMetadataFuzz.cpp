// The ISO metadata text of a BAG file, parsed and validated against the
// shipped schema into a grid definition, and read for its lineage. Any text
// gives a status; an accepted one has a usable grid (positive spacings,
// finite corners) and parses the same way a second time (from the cache).
// Seeds: the metadata texts the format tests' fixture writer produces.
#include <cmath>
#include <cstdint>
#include <string>

#include "formats/bag/BAGMetaData.h"
#include "formats/bag/BagHandle.h"
#include "formats/bag/BagTestSupport.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool schema = (bagtest::useSchemaHomeIfUnset(), true);
    (void)schema;
    const std::string text(reinterpret_cast<const char*>(data), size);
    bagHandle handle;
    const bagError rc = bagParseMetadataBuffer(&handle, text.c_str(), text.size());
    FUZZ_CHECK((rc == BAG_SUCCESS) == handle.def.loaded || text.empty());
    BAGMetaData::readLineage(text);
    if (rc != BAG_SUCCESS) return 0;
    fuzzsupport::noteAccepted();
    const bagDefinition first = handle.def;
    FUZZ_CHECK(first.nodeSpacingX > 0.0 && first.nodeSpacingY > 0.0);
    FUZZ_CHECK(std::isfinite(first.swCornerX) && std::isfinite(first.neCornerY));
    bagHandle again;
    FUZZ_CHECK(bagParseMetadataBuffer(&again, text.c_str(), text.size()) == BAG_SUCCESS);
    FUZZ_CHECK(again.def.nrows == first.nrows && again.def.coordSys == first.coordSys);
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    bagtest::Metadata m;
    seeds.add("utm", bagtest::metadataXML(m));
    m.projection = "Mercator";
    m.extraParameters = "<scaleFactorAtEquator>0.99</scaleFactorAtEquator>"
                        "<longitudeOfCentralMeridian>10</longitudeOfCentralMeridian>";
    m.uncertainty = "CUBE Std Dev";
    seeds.add("mercator", bagtest::metadataXML(m));
    m.projection = "Geodetic";
    m.datum = "NAD83";
    m.extraParameters.clear();
    m.dateTime = "2008-03-05T12:30:00+02:00";
    seeds.add("geodetic", bagtest::metadataXML(m));
}
