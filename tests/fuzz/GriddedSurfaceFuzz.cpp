// The gridded surface: a ".vns" file with its ".xml" metadata. An input is a
// little-endian u32 length, that many bytes of metadata, then the ".vns"
// bytes. A surface that opens must hold a record per node in the bytes
// present, serve a query over its whole extent node by node, and store back
// over itself to a surface that opens with the same shape.
#include <cfloat>
#include <cstdlib>

#include "fuzz/FuzzSupport.h"
#include "platform/core/NORVAByteIO.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOMetaAttribute.h"
#include "platform/frame/KIVOSurfaceAttributeTable.h"

namespace {

using Entry = KIVODescriptor::AttribEntry;

// Fixed part of a ".vns" header: magic, version, reserved, origin and
// spacing, columns, rows, attribute count, record size, string count.
constexpr uint64_t kFixedHeaderBytes = 4 + 2 + 2 + 4 * 8 + 4 * 4 + 4;

std::string folder() {
    static const std::string path = [] {
        fuzzsupport::clearScratch("gridded");
        return fuzzsupport::scratchFolder() + "/gridded";
    }();
    return path;
}

void checkQuery(KIVOGriddedDataIO& surface) {
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    if (surface.getMetaData()->getCover(minX, minY, maxX, maxY) != 0) return;
    long status = 0;
    auto iter = surface.query(minX, minY, maxX, maxY, true, status, nullptr, DBL_MAX);
    if (status != 0 || !iter) return;
    const uint64_t nodes = surface.getNodeCount();
    uint64_t seen = 0;
    for (long s = 0; !iter->done(s) && seen <= nodes; iter->next(s)) {
        double x = 0, y = 0;
        iter->getPosition(x, y, s);
        ++seen;
    }
    FUZZ_CHECK(seen <= nodes);
}

std::vector<uint8_t> joined(const std::vector<uint8_t>& xml, const std::vector<uint8_t>& vns) {
    NORVAByteIO::Buffer out;
    NORVAByteIO::putU32(out, static_cast<uint32_t>(xml.size()));
    out.insert(out.end(), xml.begin(), xml.end());
    out.insert(out.end(), vns.begin(), vns.end());
    return out;
}

enum class Attributes { kNumbers, kWithText, kNone };

KIVOMemDescriptor seedDescriptor(Attributes kind) {
    if (kind == Attributes::kNone) return KIVOMemDescriptor();
    std::vector<Entry> entries{Entry("Depth", KIVODataType::FLOAT), Entry("Uncertainty", KIVODataType::DOUBLE),
                               Entry("Density", KIVODataType::LONG)};
    if (kind == Attributes::kWithText) {
        entries.emplace_back("Contributor", KIVODataType::STRING);
        Entry label("Label", KIVODataType::TEXT);
        label.length = 4;
        entries.push_back(label);
    }
    return KIVOMemDescriptor(entries);
}

// Seeds the library refuses to write (a surface without attributes, say)
// are left out.
void writeSeed(fuzzsupport::SeedWriter& seeds, const std::string& name, Attributes kind, double width, double height,
               double resolution, int values) {
    const NORVAUString path((folder() + "/seed.vns").c_str());
    const bool withText = kind == Attributes::kWithText;
    {
        const KIVOMemDescriptor descriptor = seedDescriptor(kind);
        auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(
            makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(descriptor)), path);
        meta->setLowerLeft(10, 20);
        meta->setDimensions(width, height);
        meta->setResolution(resolution);
        KIVOGriddedDataIO surface(path, std::move(meta));
        if (surface.getStatus() != 0) return;
        KIVOMemAttributeSet set(descriptor);
        for (int i = 0; i < values && kind != Attributes::kNone; ++i) {
            set.setValue(0, 5.0 + i);
            set.setValue(1, 0.25 * i);
            if (withText) set.setValue(3, NORVAUString(i % 2 == 0 ? "ship" : "launch"));
            surface.set(10 + (i * resolution), 20 + (i % 3) * resolution, set, descriptor, resolution);
        }
        if (surface.store(nullptr) != 0) return;
    }
    seeds.add(name, joined(fuzzsupport::readWhole(folder() + "/seed.xml"), fuzzsupport::readWhole(folder() + "/seed.vns")));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    size_t pos = 0;
    uint32_t xmlBytes = 0;
    NORVAByteIO::getU32(data, size, pos, xmlBytes);
    if (xmlBytes > size - 4) return 0;
    const std::string stem = folder() + "/input";
    fuzzsupport::writeScratch("gridded/input.xml", data + 4, xmlBytes);
    fuzzsupport::writeScratch("gridded/input.vns", data + 4 + xmlBytes, size - 4 - xmlBytes);
    const uint64_t vnsBytes = size - 4 - xmlBytes;
    KIVOGriddedDataIO surface(NORVAUString((stem + ".vns").c_str()));
    if (surface.getStatus() != 0) return 0;
    fuzzsupport::noteAccepted();
    const uint64_t nodes = surface.getNodeCount();
    FUZZ_CHECK(nodes > 0 && vnsBytes >= kFixedHeaderBytes);
    // Every node has a record of at least one byte (its set bits) in the file.
    FUZZ_CHECK(nodes <= vnsBytes - kFixedHeaderBytes);
    checkQuery(surface);
    // Stored by the library over the input, it must open again unchanged in shape.
    FUZZ_CHECK(surface.store(nullptr) == 0);
    KIVOGriddedDataIO back(NORVAUString((stem + ".vns").c_str()));
    FUZZ_CHECK(back.getStatus() == 0 && back.getColumns() == surface.getColumns() && back.getRows() == surface.getRows());
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    writeSeed(seeds, "numbers", Attributes::kNumbers, 10, 5, 1, 6);
    writeSeed(seeds, "with-text", Attributes::kWithText, 4, 3, 0.5, 5);
    writeSeed(seeds, "empty", Attributes::kWithText, 2, 2, 1, 0);
    writeSeed(seeds, "no-attributes", Attributes::kNone, 3, 3, 1, 0);
}
