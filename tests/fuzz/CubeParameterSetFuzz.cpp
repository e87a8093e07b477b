// The user's file of CUBE parameter sets ("NORVA_CUBE_Parameters"), as the
// parameter factory reads it. Any text gives a status and changes no byte of
// the file; the sets read go into engine blocks, and they are stored by the
// library to a file that reads again, and from the second round on storing
// and reading are stable (a set without a name reads as "Default" only once
// it has been stored).
#include <cstdlib>

#include "cube/CUBEParameterFactory.h"
#include "fuzz/FuzzSupport.h"

namespace {

NORVAUString scratch(const char* name) { return NORVAUString((fuzzsupport::scratchFolder() + "/" + name).c_str()); }

std::vector<uint8_t> storedAt(CUBEParameterFactory& factory, const char* to) {
    factory.setFileName(scratch(to));
    if (!factory.store()) return {};
    return fuzzsupport::readWhole(scratch(to).toUTF8());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzzsupport::writeScratch("parameters.xml", data, size);
    CUBEParameterFactory factory{NORVAUString(path.c_str())};
    const std::vector<uint8_t> after = fuzzsupport::readWhole(path);
    FUZZ_CHECK(after.size() == size && std::equal(after.begin(), after.end(), data));
    std::vector<NORVAUString> names;
    factory.getNames(names);
    for (const NORVAUString& name : names) {
        const CUBEParameterFactory::Configuration* set = factory.get(name);
        FUZZ_CHECK(set != nullptr);
        _cube_param block = *cube_default_param();
        FUZZ_CHECK(set->save(&block));
        uint8_t bytes[CUBE_PARAM_BYTES];
        cube_param_encode(&block, bytes);
        cube_param_decode(bytes, &block);
    }
    if (factory.getStatus() != 0) return 0;
    fuzzsupport::noteAccepted();
    const std::vector<uint8_t> first = storedAt(factory, "first.xml");
    FUZZ_CHECK(!first.empty());
    CUBEParameterFactory again(scratch("first.xml"));
    FUZZ_CHECK(again.getStatus() == 0);
    const std::vector<uint8_t> second = storedAt(again, "second.xml");
    CUBEParameterFactory third(scratch("second.xml"));
    FUZZ_CHECK(third.getStatus() == 0);
    FUZZ_CHECK(storedAt(third, "third.xml") == second);
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    CUBEParameterFactory factory(scratch("seed.xml"));
    CUBEParameterFactory::Configuration shallow(NORVAUString("Shallow \xc3\xa9"));
    shallow.m_queueLength = 9;
    shallow.m_captureDistanceScale = 0.07f;
    shallow.m_enableNullHypothesis = true;
    shallow.m_description = NORVAUString("<inshore>");
    factory.add(shallow);
    factory.add(CUBEParameterFactory::Configuration(NORVAUString("Deep")));
    if (!factory.store()) std::abort();
    seeds.add("two-sets", fuzzsupport::readWhole(scratch("seed.xml").toUTF8()));
    CUBEParameterFactory none(scratch("empty.xml"));
    if (!none.store()) std::abort();
    seeds.add("no-set", fuzzsupport::readWhole(scratch("empty.xml").toUTF8()));
}
