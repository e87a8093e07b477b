// A PFM handle file in front of a structure the library made: the fuzzed
// bytes replace the handle file, which then opens the structure read-only
// (or is taken as a list file itself). An open structure reads its header
// and closes; no file of the structure changes.
#include <string>

#include "fuzz/FuzzSupport.h"
#include "fuzz/PFMFuzzSupport.h"
#include "formats/pfm/pfm_handles.h"

namespace {

const std::string& structureFolder() {
    static const std::string folder = [] {
        const std::string f = fuzzsupport::scratchFolder() + "/pfm-handle";
        pfmfuzz::createStructure(f, "h.pfm", true);
        return f;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string folder = structureFolder();
    const std::string handlePath = folder + "/h.pfm";
    FILE* f = std::fopen(handlePath.c_str(), "wb");
    if (!f) return 0;
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
    PFM_OPEN_ARGS args;
    std::snprintf(args.list_path, sizeof args.list_path, "%s", handlePath.c_str());
    args.read_only = true;
    const int32_t handle = pfm_open_existing(&args);
    if (handle < 0) {
        for (int32_t i = 0; i < PFM_MAX_FILES; ++i) FUZZ_CHECK(pfm_handle_table(i) == -1);
        return 0;
    }
    fuzzsupport::noteAccepted();
    FUZZ_CHECK(handle < PFM_MAX_FILES);
    BIN_HEADER head;
    FUZZ_CHECK(parse_bin_header(handle, &head) == 0);
    FUZZ_CHECK(head.bin_width > 0 && head.bin_height > 0);
    FUZZ_CHECK(pfm_close(handle) == 0);
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    const std::string folder = structureFolder();
    seeds.add("handle", fuzzsupport::readWhole(folder + "/h.pfm"));
    seeds.add("list-as-handle", fuzzsupport::readWhole(folder + "/h.pfm.data/h.pfm.ctl"));
}
