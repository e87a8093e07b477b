// libFuzzer target: arbitrary bytes as a BAG file, opened through the data-IO
// (metadata included) and through the access library without metadata, then
// read. Seeds: the BAG files the format tests write (KIVO_FUZZ_SEEDS).
// BAG_HOME must name the schema folder (formats/bag/schema).
//
// HDF5 itself trusts sizes in the file: it asks for allocations of many
// gigabytes (which fail cleanly outside ASan) and loses memory it allocated
// on some error paths. The options below make ASan fail such allocations
// instead of aborting, and leave leaks allocated inside HDF5 unreported.
#include <unistd.h>

#include <cfloat>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/bag/BagHandle.h"
#include "formats/bag/KIVOBAGDataIO.h"

extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=1024";
}
extern "C" const char* __lsan_default_suppressions() { return "leak:libhdf5"; }

namespace {

const std::string& scratchFile() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        return std::string(tmp && *tmp ? tmp : "/tmp") + "/bag-reader-fuzz-" + std::to_string(getpid()) + ".bag";
    }();
    return path;
}

void readThroughDataIO(const std::string& path) {
    KIVOBAGDataIO io(path);
    if (io.getStatus() != 0) return;
    long status = 0;
    NORVAType<KIVOSurfaceIter> it = io.query(-DBL_MAX, -DBL_MAX, DBL_MAX, DBL_MAX, false, status, nullptr, DBL_MAX);
    long done = 0;
    for (int n = 0; it && !it->done(done) && n < 4096 && it->next(status); ++n) {
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
    io.rasterize(cfg);
}

void readThroughLibrary(const std::string& path) {
    bagHandle* h = nullptr;
    if (bagOpen(&h, BAG_OPEN_READ_WRITE_NO_METADATA, path.c_str()) != BAG_SUCCESS) return;
    if (h->nrows > 0 && h->ncols > 0) {
        const uint32_t r = h->nrows < 64 ? h->nrows - 1 : 63, c = h->ncols < 64 ? h->ncols - 1 : 63;
        bagReadRegion(h, 0, 0, r, c, BAG_UNCERTAINTY);
        float v = 0;
        bagReadValue(h, r, c, BAG_ELEVATION, &v);
    }
    bagLoadMetadata(h);
    bagClose(h);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = scratchFile();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    readThroughDataIO(path);
    readThroughLibrary(path);
    std::remove(path.c_str());
    return 0;
}
