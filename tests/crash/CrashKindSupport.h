#pragma once
// Pieces the crash kinds share: the generation kept in a metadata source
// record, and a gridded surface's metadata over a square cover.
#include <string>

#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOSurfaceXMLMetaData.h"

namespace crashtest {

inline KIVOSourceRecord generationRecord(long generation) {
    KIVOSourceRecord record;
    record.items.push_back(KIVOSourceItem{NORVAUString("Generation"), NORVAUString("crash test"),
                                          static_cast<double>(generation)});
    return record;
}

// False, with the status as the reason, when the surface did not open.
template <class Surface>
bool opened(const Surface& surface, std::string& why) {
    if (surface.getStatus() == 0) return true;
    why = "open: " + std::to_string(surface.getStatus());
    return false;
}

// -1 when the metadata carries no generation.
inline long generationOf(const KIVOSurfaceMetaData& metadata) {
    const KIVOSourceRecord& r = metadata.getSourceRecord();
    return r.items.size() == 1 ? static_cast<long>(r.items[0].number) : -1;
}

// "Depth", and on odd generations "Uncertainty" too: the attribute set
// changes between generations, so files of two generations cannot agree.
inline KIVOMemDescriptor layoutOf(long generation) {
    std::vector<KIVODescriptor::AttribEntry> entries{KIVODescriptor::AttribEntry("Depth", KIVODataType::FLOAT)};
    if (generation % 2) entries.emplace_back("Uncertainty", KIVODataType::FLOAT);
    return KIVOMemDescriptor(entries);
}

inline NORVAType<KIVOSurfaceXMLMetaData> metadataOf(const std::string& path, long generation, double size) {
    auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(
        makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(layoutOf(generation))), NORVAUString(path));
    meta->setLowerLeft(0.0, 0.0);
    meta->setDimensions(size, size);
    meta->setResolution(1.0);
    meta->setSourceRecord(generationRecord(generation));
    return meta;
}

}  // namespace crashtest
