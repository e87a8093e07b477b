// The raster header ".des" beside a weighted grid: magic line, "KEY = value"
// lines and the coordinate system they name. Any text gives one of the
// reader's statuses and changes no byte of the file; a coordinate system
// comes back exactly when the status says so.
#include <cstdlib>

#include "fuzz/FuzzSupport.h"
#include "platform/plugio/ioprocclass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzzsupport::writeScratch("raster.des", data, size);
    ioprocclass header{NORVAUString(path.c_str())};
    long status = header.open();
    FUZZ_CHECK(status == ioprocclass::IOPROC_OK || status == ioprocclass::IOPROC_CANNOT_OPEN);
    if (status == 0) status = header.getHeader();
    FUZZ_CHECK(status == ioprocclass::IOPROC_OK || status == ioprocclass::IOPROC_CANNOT_OPEN ||
               status == ioprocclass::IOPROC_BAD_HEADER);
    long made = 0;
    NORVAType<NORVACoordSystem> cosys = header.makeCosys(made);
    FUZZ_CHECK((made == 0) == static_cast<bool>(cosys));
    FUZZ_CHECK(made == 0 || made == ioprocclass::IOPROC_NOT_READ || made == ioprocclass::IOPROC_BAD_COSYS);
    FUZZ_CHECK(status == 0 || made == ioprocclass::IOPROC_NOT_READ);
    header.close();
    const std::vector<uint8_t> after = fuzzsupport::readWhole(path);
    FUZZ_CHECK(after.size() == size && std::equal(after.begin(), after.end(), data));
    if (cosys) fuzzsupport::noteAccepted();
    return 0;
}

// The library reads these headers only; seeds are the kinds of definition
// the header documents (authority code, PROJ string, one-line WKT).
void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    seeds.add("epsg", "NORVA RASTER HEADER 1\n# survey grid\nCOORDINATE SYSTEM = EPSG:32631\n"
                      "NAME = WGS 84 / UTM zone 31N\n");
    seeds.add("proj", "NORVA RASTER HEADER 1\r\nCOORDINATE SYSTEM = +proj=utm +zone=31 +datum=WGS84\r\n\r\n");
    seeds.add("wkt", "NORVA RASTER HEADER 1\nCOORDINATE SYSTEM = GEOGCRS[\"WGS 84\",DATUM[\"World Geodetic System "
                     "1984\",ELLIPSOID[\"WGS 84\",6378137,298.257223563]],CS[ellipsoidal,2],AXIS[\"lat\",north,"
                     "ANGLEUNIT[\"degree\",0.0174532925199433]],AXIS[\"lon\",east,ANGLEUNIT[\"degree\","
                     "0.0174532925199433]]]\nEXTRA = kept for later versions\n");
}
