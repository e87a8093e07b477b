// A PFM checkpoint file ("<list>.chk"), read when an aborted load is
// recovered. What it accepts accounts for every byte.
#include <string>

#include "fuzz/FuzzSupport.h"
#include "fuzz/PFMFuzzSupport.h"
#include "formats/pfm/pfm_checkpoint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PFMCheckpoint checkpoint;
    if (!pfm_checkpoint_parse(data, size, checkpoint)) return 0;
    fuzzsupport::noteAccepted();
    FUZZ_CHECK(2 + 8 + 8 + 4 + checkpoint.list.size() + 4 + checkpoint.line.size() == size);
    FUZZ_CHECK(checkpoint.index_size >= 0 && checkpoint.bin_size >= 0);
    return 0;
}

// A checkpoint written by the library when a structure it made is opened for a load.
void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    const std::string folder = fuzzsupport::scratchFolder() + "/pfm-checkpoint-seeds";
    if (!pfmfuzz::createStructure(folder, "c.pfm", true)) return;
    PFM_OPEN_ARGS args;
    std::snprintf(args.list_path, sizeof args.list_path, "%s/c.pfm", folder.c_str());
    args.checkpoint = 1;
    const int32_t handle = pfm_open_existing(&args);
    if (handle < 0) return;
    seeds.add("load", fuzzsupport::readWhole(folder + "/c.pfm.data/c.pfm.ctl.chk"));
    pfm_close(handle);
}
