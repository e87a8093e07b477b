// The ".xml" metadata beside a surface, as every surface kind reads it. Any
// text gives a status, and nothing else: no diagnostic of the XML parser
// reaches standard error; the reader changes no byte of the file; metadata that
// reads is stored by the library (itself and a copy of it) to text that reads
// again, and from the second round on storing and reading are stable. As the
// metadata of a CUBE surface, whose layer-cache file names are made from the
// attribute names, it opens exactly when every name stays one plain name.
#include <libxml/xmlerror.h>

#include <cstdio>
#include <cstdlib>

#include "cube/CUBEUtils.h"
#include "cube/KIVOCUBEDataHeader.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "fuzz/FuzzSupport.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOSurfaceXMLMetaData.h"
#include "platform/pathkit/PathUtilities.h"
#include "platform/proj/NORVACoordSystem.h"

namespace {

using Entry = KIVODescriptor::AttribEntry;

// Whatever the XML parser would print while the metadata is read.
void reported(void*, const char* format, ...) { FUZZ_CHECK(format == nullptr); }
void reportedStructured(void*, xmlErrorPtr error) { FUZZ_CHECK(error == nullptr); }

NORVAUString scratch(const char* name) { return NORVAUString((fuzzsupport::scratchFolder() + "/" + name).c_str()); }

// Stores the metadata at `to` and returns the bytes written (empty when storing failed).
std::vector<uint8_t> storedAt(KIVOSurfaceXMLMetaData& meta, const char* to) {
    meta.setFileName(scratch(to));
    if (meta.store() != 0) return {};
    return fuzzsupport::readWhole(scratch(to).toUTF8());
}

NORVAType<KIVOSurfaceXMLMetaData> sample(bool full) {
    std::vector<Entry> entries{Entry("Depth", KIVODataType::FLOAT), Entry("Uncertainty", KIVODataType::DOUBLE)};
    if (full) {
        entries.emplace_back("Contributor", KIVODataType::STRING);
        Entry label("Label", KIVODataType::TEXT);
        label.length = 8;
        entries.push_back(label);
        entries.emplace_back("Status", KIVODataType::ULONG);
    }
    KIVOMetaAttribute attributes{KIVOMemDescriptor(entries)};
    attributes.getMinimum().setValue(0, -12.5f);
    attributes.getMaximum().setValue(0, 3.0f);
    if (full) attributes.getMinimum().setValue(2, NORVAUString("ship"));
    auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(makeNORVAType<KIVOSurfaceAttributeTable>(attributes),
                                                      scratch("seed.xml"));
    NORVAUString s1, s2, s3;
    NORVACoordSystem("EPSG:32631", "UTM 31N").toStrings(s1, s2, s3);
    meta->setCoordSystemString(s1, s2, s3);
    meta->setLowerLeft(500000.0, 6100000.25);
    meta->setDimensions(1000.0, 250.5);
    meta->setResolution(full ? 0.0 : 0.5);
    if (!full) return meta;
    KIVOResolutionTable table;
    table[KIVORangeEntry(0.0, 20.0)] = 1.0f;
    table[KIVORangeEntry(20.0, 200.0)] = 5.0f;
    meta->setResolutionTable("Depth", table);
    KIVOSourceRecord source;
    source.firstTime = 1.5e9;
    source.lastTime = 1.6e9;
    source.items.push_back({NORVAUString("line"), NORVAUString("0001_a \xc3\xa9"), 3.0});
    meta->setSourceRecord(source);
    meta->setProcessRecord({NORVAUString("Combine"), {{NORVAUString("rule"), NORVAUString("shoalest")}}});
    meta->getProcessMetaData().setValue(NORVAUString("Operator"), NORVAUString("<replace>"));
    meta->setMetaBlocks({KIVOMetaBlock{NORVAUString("Import"), {KIVOMetaItem{NORVAUString("Survey"), {{NORVAUString("Id"), NORVAUString("S-1")}}}}}});
    return meta;
}

// A valid CUBE header "cube/S.vcs" in the scratch folder, written once; the
// input becomes its "S.xml".
NORVAUString cubeSurface() {
    static const NORVAUString path = [] {
        const std::string folder = fuzzsupport::scratchFolder() + "/cube";
        fuzzsupport::clearScratch("cube");
        KIVOCUBEDataHeader header(NORVAArray<double>{0.0, 0.0}, NORVAArray<double>{10.0, 10.0}, 1.0f,
                                  CUBEUtils::getParams(0, 1.0f));
        FILE* file = std::fopen((folder + "/S.vcs").c_str(), "wb");
        if (header.getStatus() != 0 || file == nullptr || header.store(file) != 0) std::abort();
        std::fclose(file);
        return NORVAUString((folder + "/S.vcs").c_str());
    }();
    return path;
}

bool plainNames(const KIVOSurfaceXMLMetaData& meta) {
    const KIVODescriptor& descriptor = meta.getAttributeTable()->getDescriptor();
    for (long i = 0; i < descriptor.getNumberOfAttributes(); ++i)
        if (!PathUtilities::isPlainName(descriptor.getAttributeName(i))) return false;
    return true;
}

void checkAsCubeMetadata(const uint8_t* data, size_t size, bool plain) {
    fuzzsupport::silenceEngine();
    const NORVAUString surface = cubeSurface();
    fuzzsupport::writeScratch("cube/S.xml", data, size);
    const long status = KIVOSurfaceCUBEIO(surface).getStatus();
    FUZZ_CHECK(plain ? status == 0 : status == KIVOSurfaceCUBEIO::kBadAttributeName);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzzsupport::writeScratch("input.xml", data, size);
    xmlSetGenericErrorFunc(nullptr, &reported);
    xmlSetStructuredErrorFunc(nullptr, &reportedStructured);
    KIVOSurfaceXMLMetaData meta(NORVAUString(path.c_str()));
    xmlSetGenericErrorFunc(nullptr, nullptr);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    const std::vector<uint8_t> after = fuzzsupport::readWhole(path);
    FUZZ_CHECK(after.size() == size && std::equal(after.begin(), after.end(), data));
    if (meta.getStatus() != 0) return 0;
    fuzzsupport::noteAccepted();
    checkAsCubeMetadata(data, size, plainNames(meta));
    NORVAType<KIVOSurfaceXMLMetaData> copy = meta.newCopy();
    const std::vector<uint8_t> first = storedAt(meta, "first.xml");
    FUZZ_CHECK(!first.empty());
    FUZZ_CHECK(storedAt(*copy, "copy.xml") == first);
    KIVOSurfaceXMLMetaData again(scratch("first.xml"));
    FUZZ_CHECK(again.getStatus() == 0);
    FUZZ_CHECK(storedAt(again, "second.xml") == first);
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    for (bool full : {false, true}) {
        NORVAType<KIVOSurfaceXMLMetaData> meta = sample(full);
        if (meta->store() != 0) std::abort();
        seeds.add(full ? "full" : "plain", fuzzsupport::readWhole(scratch("seed.xml").toUTF8()));
    }
}
