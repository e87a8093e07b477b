// A PFM list (control) file: version line, four file names, input files.
// Whatever it accepts has names that fit the path fields and input files
// numbered in sequence.
#include <string>

#include "fuzz/FuzzSupport.h"
#include "fuzz/PFMFuzzSupport.h"
#include "formats/pfm/pfm_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PFMListContents contents;
    const int32_t status = pfm_parse_list_text(reinterpret_cast<const char*>(data), size, "fuzz.ctl", contents, false);
    if (status != 0) return 0;
    fuzzsupport::noteAccepted();
    FUZZ_CHECK(contents.version_code >= 0 && contents.version_code <= 32767);
    for (const std::string* name : {&contents.bin, &contents.index, &contents.mosaic, &contents.target})
        FUZZ_CHECK(name->size() < PFM_PATH_SIZE);
    for (size_t i = 0; i < contents.inputs.size(); ++i) {
        FUZZ_CHECK(contents.inputs[i].number == static_cast<int16_t>(i));
        FUZZ_CHECK(!contents.inputs[i].name.empty());
    }
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    const std::string folder = fuzzsupport::scratchFolder() + "/pfm-list-seeds";
    if (!pfmfuzz::createStructure(folder, "seed.pfm", true)) return;
    const std::vector<uint8_t> list = fuzzsupport::readWhole(folder + "/seed.pfm.data/seed.pfm.ctl");
    seeds.add("created", list);
    // Input-file lines as each version of the list file writes them.
    std::string text(list.begin(), list.end());
    seeds.add("inputs-v47", text + "  0 2 /data/a.gsf\nD 1 9 /data/b.all\n");
    const size_t v = text.find("V4.73");
    if (v != std::string::npos) {
        seeds.add("inputs-v35", text.substr(0, v) + "V3.50" + text.substr(v + 5) + "  0 /data/a.gsf\n  1 /data/b\n");
        seeds.add("inputs-v20", text.substr(0, v) + "V2.00" + text.substr(v + 5) + "/data/a b.gsf\n");
    }
}
