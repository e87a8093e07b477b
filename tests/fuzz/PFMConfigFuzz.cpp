// ".pfm_cfg" text: layout keys and substitute paths. Any text is read; what
// it leaves must stay within the limits the library keeps.
#include <string>

#include "fuzz/FuzzSupport.h"
#include "formats/pfm/pfm_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PFM_LAYOUT layout;
    pfm_parse_config_text(reinterpret_cast<const char*>(data), size, layout);
    fuzzsupport::noteAccepted();
    FUZZ_CHECK(pfm_substitute_count() >= 0 && pfm_substitute_count() <= PFM_MAX_SUBSTITUTES);
    for (const char* name : {"/data/survey/a.pfm.data/a.pfm.bin", "", "C:\\data\\x"})
        FUZZ_CHECK(pfm_substitute(name).size() < PFM_PATH_SIZE);
    return 0;
}

// The library reads ".pfm_cfg" but never writes one; these are laid out as
// the tools that write them do.
void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    seeds.add("layout",
              "[RECORD LENGTH] = 6\n[COUNT BITS] = 24\n[STD BITS] = 32\n[STD SCALE] = 1000000.0\n"
              "[RECORD POINTER BITS] = 36\n[FILE NUMBER BITS] = 11\n[LINE NUMBER BITS] = 12\n"
              "[PING NUMBER BITS] = 27\n[BEAM NUMBER BITS] = 16\n[OFFSET BITS] = 10\n[VALIDITY BITS] = 16\n"
              "[EDITED FLAG BITS] = 1\n[CHECKED FLAG BITS] = 1\n[SUSPECT FLAG BITS] = 1\n[DATA FLAG BITS] = 1\n"
              "[SELECTED FLAG BITS] = 1\n[CLASS 1 FLAG BITS] = 1\n[CLASS 2 FLAG BITS] = 1\n");
    seeds.add("substitutes", "[SUBSTITUTE PATH] = /net/survey,/data/survey\n"
                             "[SUBSTITUTE PATH] =  /mnt/a , /mnt/b \n");
}
