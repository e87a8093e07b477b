// Data-set names handed to the multi-resolution plug-in: any text after a
// stored compound's file name and "::" selects a member or nothing. A raster
// comes back only with status 0, and the name always splits back into the
// parts it was joined from.
#include <cfloat>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "multires/KIVOCompoundIO.h"
#include "platform/core/NORVAFileUtils.h"
#include "multires/MultiResSurfaceFactoryPlugin.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOMetaAttribute.h"
#include "platform/frame/KIVOSurfaceAttributeTable.h"
#include "platform/frame/KIVOSurfaceXMLMetaData.h"

namespace {

using ORBO_3_12_0_::DataSet::SurfaceFactory;

// A compound "Fuzz.kms" of two members (0.5 m and 2 m), written once.
const NORVAUString& compound() {
    static const NORVAUString path = [] {
        const std::string folder = fuzzsupport::scratchFolder() + "/names";
        NORVAFileUtils::makeDirectories(NORVAUString(folder));
        KIVOMemDescriptor d({KIVODescriptor::AttribEntry("Depth", KIVODataType::FLOAT)});
        auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(
            makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(d)), NORVAUString(folder + "/Fuzz.xml"));
        meta->setLowerLeft(0.0, 0.0);
        meta->setDimensions(4.0, 4.0);
        meta->setResolution(0.0);
        KIVOResolutionTable table;
        table[KIVORangeEntry(0.0, 10.0)] = 0.5f;
        table[KIVORangeEntry(10.0, 50.0)] = 2.0f;
        meta->setResolutionTable("Depth", table);
        KIVOCompoundIO io(NORVAUString(folder + "/Fuzz.vns"), meta);
        io.store(nullptr);
        return NORVAUString(folder + "/Fuzz.kms");
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 256) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const NORVAUString selector(text);
    const NORVAUString name = compound() + "::" + selector;
    FUZZ_CHECK(SurfaceFactory::filePart(name) + "::" + SurfaceFactory::selectorPart(name) == name);
    MultiResSurfaceFactoryPlugin plugin("kms");
    long status = 0;
    auto raster = plugin.getSurface(status, name, NORVA::READ_ONLY, nullptr, nullptr);
    FUZZ_CHECK(!raster || status == 0);
    if (raster) fuzzsupport::noteAccepted();
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    for (const char* text : {"Fuzz_0_5", "Fuzz_2", "Fuzz_0_0.5", "Fuzz_1_2", "x", "", "Fuzz_::", "Fuzz_1e400"})
        seeds.add(std::string("name") + std::to_string(seeds.written()), std::string(text));
}
