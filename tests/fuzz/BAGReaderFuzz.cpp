// A BAG file: the fuzzed bytes are opened through the data-IO (metadata
// included) and through the access library without metadata, then read.
// Any input gives a status; an opened file serves nodes that lie on its
// grid, never more than the box holds, and leaves nothing of HDF5 open.
// Seeds: small BAG files written through HDF5 by the format tests' fixture
// writer (the library itself only reads BAG files).
//
// HDF5 itself trusts sizes in the file: it asks for allocations of many
// gigabytes (which fail cleanly outside ASan) and loses memory it allocated
// on some error paths. The options below make ASan fail such allocations
// instead of aborting, and leave leaks allocated inside HDF5 unreported.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/bag/BagHandle.h"
#include "formats/bag/BagTestSupport.h"
#include "formats/bag/KIVOBAGDataIO.h"
#include "fuzz/FuzzSupport.h"

extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=1024";
}
extern "C" const char* __lsan_default_suppressions() { return "leak:libhdf5"; }

namespace {

bool knownStatus(long status) { return status == 0 || status == -1 || (status > 125200 && status < 126100); }

void readThroughDataIO(const std::string& path) {
    KIVOBAGDataIO io(path);
    FUZZ_CHECK(knownStatus(io.getStatus()));
    if (io.getStatus() != 0) return;
    fuzzsupport::noteAccepted();
    const bagDefinition& def = io.getBAGMetaData()->getDefinition();
    long status = 0;
    NORVAType<KIVOSurfaceIter> it = io.query(-DBL_MAX, -DBL_MAX, DBL_MAX, DBL_MAX, false, status, nullptr, DBL_MAX);
    FUZZ_CHECK(knownStatus(status));
    long served = 0, done = 0;
    if (it && !it->done(done)) {
        do {
            double x = 0.0, y = 0.0;
            it->getPosition(x, y, -1);
            const double column = (x - def.swCornerX) / def.nodeSpacingX;
            const double row = (y - def.swCornerY) / def.nodeSpacingY;
            FUZZ_CHECK(!(column < -1e-6) && !(row < -1e-6));
            FUZZ_CHECK(!(column > double(def.ncols)) && !(row > double(def.nrows)));
            ++served;
        } while (served < 4096 && it->next(status));
        FUZZ_CHECK(served <= it->count());
    }
    // A caller's raster of fixed size over the surface's cover.
    std::vector<float> raster(64 * 64);
    KIVOSurfaceDataIO::rasterizeConfig cfg;
    cfg.attribute = "Depth";
    const NORVAArray<double> low = io.getMinimum(), high = io.getMaximum();
    cfg.minX = low[0];
    cfg.minY = low[1];
    cfg.maxX = high[0];
    cfg.maxY = high[1];
    cfg.columns = cfg.rows = 64;
    cfg.cellX = (cfg.maxX - cfg.minX) / 64;
    cfg.cellY = (cfg.maxY - cfg.minY) / 64;
    cfg.buffer = raster.data();
    FUZZ_CHECK(knownStatus(io.rasterize(cfg)));
}

void readThroughLibrary(const std::string& path) {
    bagHandle* h = nullptr;
    const bagError rc = bagOpen(&h, BAG_OPEN_READ_WRITE_NO_METADATA, path.c_str());
    FUZZ_CHECK((rc == BAG_SUCCESS) == (h != nullptr));
    if (!h) return;
    if (h->nrows > 0 && h->ncols > 0) {
        const uint32_t r = h->nrows < 64 ? h->nrows - 1 : 63, c = h->ncols < 64 ? h->ncols - 1 : 63;
        if (bagReadRegion(h, 0, 0, r, c, BAG_UNCERTAINTY) == BAG_SUCCESS)
            FUZZ_CHECK(h->uncertaintyRegion.nrows == r + 1 && h->uncertaintyRegion.ncols == c + 1);
        float v = 0;
        bagReadValue(h, r, c, BAG_ELEVATION, &v);
    }
    bagLoadMetadata(h);
    bagClose(h);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool schema = (bagtest::useSchemaHomeIfUnset(), true);
    (void)schema;
    const std::string path = fuzzsupport::writeScratch("fuzz.bag", data, size);
    readThroughDataIO(path);
    readThroughLibrary(path);
    FUZZ_CHECK(H5Fget_obj_count(H5F_OBJ_ALL, H5F_OBJ_ALL) == 0);
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    bagtest::useSchemaHomeIfUnset();
    const std::string path = fuzzsupport::scratchFolder() + "/seed.bag";
    bagtest::Bag plain = bagtest::Bag::grid(3, 4);
    plain.at(plain.elevation, 1, 1) = bagtest::kNull;
    plain.computeRanges();
    if (bagtest::writeBag(path, plain)) seeds.add("contiguous", fuzzsupport::readWhole(path));
    bagtest::Bag deflate = bagtest::Bag::grid(5, 7);
    deflate.chunkRows = 2;
    deflate.chunkColumns = 3;
    deflate.compression = bagtest::DEFLATE;
    if (bagtest::writeBag(path, deflate)) {
        std::vector<uint8_t> bytes = fuzzsupport::readWhole(path);
        seeds.add("deflate", bytes);
        const std::string block = bagtest::signatureBlock(7, {"sig", "nature"});
        bytes.insert(bytes.end(), block.begin(), block.end());
        seeds.add("deflate-signed", bytes);
    }
    bagtest::Bag szip = bagtest::Bag::grid(4, 4);
    szip.chunkRows = 4;
    szip.chunkColumns = 2;
    szip.compression = bagtest::SZIP;
    if (bagtest::writeBag(path, szip)) seeds.add("szip", fuzzsupport::readWhole(path));
    std::remove(path.c_str());
}
