#include "multires/KestrinXMLMetaData.h"

#include "multires/KestrinStatusCodes.h"
#include "multires/KestrinTypeMap.h"
#include "platform/core/NORVAEnvironment.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOMetaAttribute.h"
#include "platform/kestrin/KestrinStoreType.h"
#include "platform/kestrin/NORVAKestrinTileStore.h"
#include "platform/proj/NORVACoordSystem.h"
#include "platform/proj/NORVAMapDefinitionFactory.h"

namespace {

// Puts a store bound into the set with the setter of the store type.
void putBound(KIVOMemAttributeSet& set, long i, int32_t storeType, double v) {
    using namespace KestrinStoreType;
    switch (storeType) {
        case LONG: set.setValue(i, static_cast<long>(v)); break;
        case UCHAR: set.setValue(i, static_cast<unsigned char>(v)); break;
        case FLOAT: set.setValue(i, static_cast<float>(v)); break;
        case USHORT: set.setValue(i, static_cast<unsigned short>(v)); break;
        case SHORT: set.setValue(i, static_cast<short>(v)); break;
        case ULONG: set.setValue(i, static_cast<unsigned long>(v)); break;
        default: set.setValue(i, v); break;
    }
}

}  // namespace

KestrinXMLMetaData::KestrinXMLMetaData(NORVAType<KIVOSurfaceAttributeTable>& table, const NORVAUString& name)
    : KIVOSurfaceXMLMetaData(std::move(table), name) {}

KestrinXMLMetaData::KestrinXMLMetaData(const NORVAUString& name)
    : KIVOSurfaceXMLMetaData(NORVAType<KIVOSurfaceAttributeTable>(), name) {}

NORVAType<KIVOSurfaceAttributeTable> KestrinXMLMetaData::attributeTable(const NORVAKestrinDataIO& io) {
    const NORVAKestrinGenericDataDescriptor& layout = io.getGenericDataDescriptor();
    std::vector<KIVODescriptor::AttribEntry> entries;
    for (long i = 0; i < layout.getNumAtts(); ++i) {
        KIVODescriptor::AttribEntry e(layout.getAttributeName(i), KestrinTypeMap::toDataType(layout.getType(i)));
        // The store's size counts the terminator, the framework's length does
        // not; taking the size as length would grow the field by one byte
        // with every create and reopen.
        if (e.type == KIVODataType::TEXT) e.length = layout.getAttributeSize(i) - 1;
        entries.push_back(e);
    }
    KIVOMemDescriptor descriptor(entries);
    KIVOMetaAttribute meta(descriptor);
    KIVOMemAttributeSet minimum(descriptor), maximum(descriptor);
    for (long i = 0; i < layout.getNumAtts(); ++i) {
        const int32_t type = layout.getType(i);
        if (KestrinStoreType::isText(type)) {
            minimum.setValue(i, NORVAUString(""));
            maximum.setValue(i, NORVAUString(""));
            continue;
        }
        // A field that holds only empty values has no range; its bounds stay unset.
        const double lo = io.getMinAttValue(i), hi = io.getMaxAttValue(i);
        if (lo == KestrinStoreType::emptyValue(type) && hi == lo) continue;
        putBound(minimum, i, type, lo);
        putBound(maximum, i, type, hi);
    }
    meta.setMinimum(minimum);
    meta.setMaximum(maximum);
    return makeNORVAType<KIVOSurfaceAttributeTable>(meta);
}

NORVAType<KestrinXMLMetaData> KestrinXMLMetaData::fromDataIO(const NORVAKestrinDataIO& io, long& status,
                                                             const NORVAUString& name) {
    NORVAType<KIVOSurfaceAttributeTable> table = attributeTable(io);
    NORVAType<KestrinXMLMetaData> metadata(new KestrinXMLMetaData(table, name));
    NORVAMapDefinitionFactory factory(NORVAEnvironment::getVar("vrqXmapdef"));
    if ((status = factory.getStatus()) != 0) return NORVAType<KestrinXMLMetaData>();
    NORVAType<NORVACoordSystem> cs = NORVAKestrinDataIO::getCoordSystem(io, status);
    if (status != 0) return NORVAType<KestrinXMLMetaData>();
    NORVAUString s1, s2, s3;
    if ((status = factory.toStrings(*cs, s1, s2, s3)) != 0) return NORVAType<KestrinXMLMetaData>();
    if ((status = metadata->setCoordSystemString(s1, s2, s3)) != 0) return NORVAType<KestrinXMLMetaData>();
    const NORVAKestrinPointDataConfig& config = io.getPointDataConfig();
    metadata->setResolution(config.getHorizontalResolution());
    NORVAArray<double> mn, mx;
    config.getCover(mn, mx);
    metadata->setLowerLeft(mn[0], mn[1]);
    metadata->setDimensions(mx[0] - mn[0], mx[1] - mn[1]);
    status = 0;
    return metadata;
}

NORVAType<KestrinXMLMetaData> KestrinXMLMetaData::create(const NORVAKestrinTileStore& store, long& status,
                                                         const NORVAUString& name) {
    const NORVAKestrinDataIO* io = store.getDataIO(0);
    if (io == nullptr || store.getPointDataConfig() == nullptr) {
        status = KestrinStatusCodes::FAILED;
        return NORVAType<KestrinXMLMetaData>();
    }
    NORVAType<KestrinXMLMetaData> metadata = fromDataIO(*io, status, name);
    if (!metadata) return metadata;
    const NORVAKestrinGenericDataDescriptor& layout = io->getGenericDataDescriptor();
    const auto& keys = layout.getSourceKeys();
    const auto& values = layout.getSourceValues();
    KIVOMetaBlock block;
    block.name = "Import";
    for (size_t i = 0; i < keys.size() && i < values.size(); ++i) {
        KIVOMetaItem item;
        item.name = keys[i];
        item.values[keys[i]] = values[i];
        block.items.push_back(item);
    }
    std::vector<KIVOMetaBlock> blocks = metadata->getMetaBlocks();
    blocks.push_back(block);
    metadata->setMetaBlocks(blocks);
    return metadata;
}
