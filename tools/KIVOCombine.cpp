#include "tools/KIVOCombine.h"

#include <cfloat>
#include <cstdio>
#include <new>
#include <set>

#include "core/KIVODisplaySettings.h"
#include "core/SurfaceAttributeNames.h"
#include "multires/KIVOKestrinDataIO.h"
#include "platform/core/NORVAEnvironment.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOMetaAttribute.h"
#include "platform/frame/KIVOSurfaceAttributeTable.h"
#include "platform/frame/KIVOSurfaceUtils.h"
#include "platform/frame/KIVOSurfaceXMLMetaData.h"
#include "platform/pathkit/PathUtilities.h"
#include "platform/proj/NORVACoordSystem.h"
#include "platform/proj/NORVAMapDefinitionFactory.h"
#include "tools/KIVOCreationStamp.h"

namespace KIVODazavazEdora {

namespace {

using Entry = KIVODescriptor::AttribEntry;

const NORVAUString kSourceKey("KIVO");
const NORVAUString kColourMap("Rainbow");

void takeTruePosition(const KIVODescriptor& d, long i, Entry& entry) {
    if (d.getTrueXAttributeIndex(i) < 0 || d.getTrueYAttributeIndex(i) < 0) return;
    entry.trueXName = d.getTrueXAttribute(i);
    entry.trueYName = d.getTrueYAttribute(i);
}

void mergeAttribute(const KIVODescriptor& d, long i, Combine::AttributeList& attributes) {
    const NORVAUString& name = d.getAttributeName(i);
    const int32_t type = d.getAttributeType(i);
    for (Entry& entry : attributes) {
        if (entry.name != name || entry.type != type) continue;
        takeTruePosition(d, i, entry);
        if (d.getLength(i) > entry.length) entry.length = d.getLength(i);
        return;
    }
    Entry entry(name, type);
    entry.unitKey = d.getUnitKey(i);
    entry.unitDirection = d.getUnitDirection(i);
    entry.length = d.getLength(i);
    takeTruePosition(d, i, entry);
    attributes.push_back(entry);
}

const KIVODescriptor* descriptorOf(const KIVOSurfaceDataIO& io) {
    const KIVOSurfaceMetaData* meta = io.getMetaData();
    const KIVOSurfaceAttributeTable* table = meta ? meta->getAttributeTable() : nullptr;
    return table ? &table->getDescriptor() : nullptr;
}

// Descriptive fields, resolution, coordinate system, geometry and source
// record of a new product.
long describe(const Combine::Options& options, KIVOSurfaceXMLMetaData& meta) {
    const double width = options.maxX - options.minX;
    const double height = options.maxY - options.minY;
    KIVODescriptiveFields fields;
    fields.creationDate = KIVOCreationStamp::date();
    fields.creationTime = KIVOCreationStamp::time();
    NORVAUString cs1, cs2, cs3;
    NORVAMapDefinitionFactory factory(NORVAEnvironment::getVar("vrqXmapdef"));
    factory.toStrings(*options.coordSystem, cs1, cs2, cs3);
    fields.text1 = options.text1;
    fields.text2 = options.text2;
    fields.text3 = options.text3;
    fields.comments = options.comments;
    meta.setDescriptiveFields(fields);
    long status = meta.setResolution(options.resolution);
    if (status != 0) return status;
    if ((status = meta.setCoordSystemString(cs1, cs2, cs3)) != 0) {
        std::printf("Unable to construct coord system for KIVO Surface.  rcode = %d\n", static_cast<int>(status));
        return status;
    }
    if ((status = meta.setLowerLeft(options.minX, options.minY)) != 0) return status;
    if ((status = meta.setDimensions(width, height)) != 0) return status;
    KIVOSourceRecord record;
    for (const NORVAUString& source : options.sources) record.items.push_back(KIVOSourceItem{kSourceKey, source, 0.0});
    record.firstTime = DBL_MAX;
    record.lastTime = -DBL_MAX;
    meta.setSourceRecord(record);
    return 0;
}

NORVAUString stemOf(const NORVAUString& path) {
    NORVAUString drive, folder, name;
    PathUtilities::parsePath(path, &drive, &folder, &name, nullptr);
    return drive + folder + name;
}

NORVAUString metadataPath(const NORVAUString& path) { return stemOf(path) + ".xml"; }

bool tileStoreOutput(const NORVAUString& path) {
    return KIVOSurfaceUtils::getSurfaceType(path) == KIVOSurfaceUtils::TILE_STORE;
}

// The data file the product is made as: a tile store at the output path,
// else a gridded surface of the output's name.
NORVAUString productPath(const NORVAUString& output) {
    return tileStoreOutput(output) ? output : stemOf(output) + ".vns";
}

// The product writes the output file and the metadata beside it: either
// may be a source's. A source without metadata of its own has none to lose.
bool writesOver(const NORVAUString& output, const NORVAUString& source) {
    if (NORVAFileUtils::sameFile(output, source)) return true;
    const NORVAUString sourceMeta = metadataPath(source);
    return NORVAFileUtils::exists(sourceMeta) && NORVAFileUtils::sameFile(metadataPath(output), sourceMeta);
}

NORVAType<KIVOSurfaceDataIO> makeDataIO(const NORVAUString& path, NORVAType<KIVOSurfaceXMLMetaData> meta) {
    if (tileStoreOutput(path)) return NORVAType<KIVOSurfaceDataIO>(new (std::nothrow) KIVOKestrinDataIO(path, *meta));
    return NORVAType<KIVOSurfaceDataIO>(new (std::nothrow) KIVOGriddedDataIO(path, std::move(meta)));
}

}  // namespace

namespace Combine {

Options::Options(const Options& o)
    : KIVOCreateOptions(o),
      sources(o.sources),
      coordSystem(o.coordSystem ? new NORVACoordSystem(*o.coordSystem) : nullptr),
      resolution(o.resolution),
      minX(o.minX),
      minY(o.minY),
      maxX(o.maxX),
      maxY(o.maxY) {}

Options& Options::operator=(const Options& o) {
    if (this == &o) return *this;
    KIVOCreateOptions::operator=(o);
    sources = o.sources;
    if (o.coordSystem) coordSystem.reset(new NORVACoordSystem(*o.coordSystem));
    resolution = o.resolution;
    minX = o.minX;
    minY = o.minY;
    maxX = o.maxX;
    maxY = o.maxY;
    return *this;
}

Options::~Options() = default;

unsigned getCommonAttributes(const std::vector<NORVAUString>& paths, AttributeList& attributes) {
    for (const NORVAUString& path : paths) {
        NORVAType<KIVOSurfaceDataIO> io = KIVOSurfaceUtils::getDataIO(path);
        const long status = !io ? kNoDataIO : io->getStatus();
        const KIVODescriptor* d = status == 0 ? descriptorOf(*io) : nullptr;
        if (!d) {
            std::printf("Unable to construct the KIVO surface object.  Error = %d\n",
                        static_cast<int>(status != 0 ? status : kNoDataIO));
            continue;
        }
        for (long i = 0; i < d->getNumberOfAttributes(); ++i) mergeAttribute(*d, i, attributes);
    }
    return static_cast<unsigned>(attributes.size());
}

AttributeList productAttributes(const std::vector<NORVAUString>& paths) {
    AttributeList list;
    getCommonAttributes(paths, list);
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->name == SurfaceAttributeNames::kWeight) {
            list.erase(it);
            break;
        }
    }
    bool hasContributor = false;
    for (const Entry& entry : list) hasContributor = hasContributor || entry.name == SurfaceAttributeNames::kContributor;
    if (!hasContributor) list.push_back(Entry(SurfaceAttributeNames::kContributor, KIVODataType::STRING));
    return list;
}

long checkOutput(const Options& options) {
    for (const NORVAUString& source : options.sources)
        if (writesOver(options.outputPath, source)) return kOutputIsSource;
    return KIVOSurfaceUtils::checkNameFree(productPath(options.outputPath));
}

NORVAType<KIVOSurface> createOutputSurface(const Options& options, long& status) {
    return createOutputSurfaceFromAttributeSubset(options, productAttributes(options.sources), status);
}

NORVAType<KIVOSurface> createOutputSurfaceFromAttributeSubset(const Options& options, const AttributeList& attributes,
                                                              long& status) {
    if ((status = checkOutput(options)) != 0) return NORVAType<KIVOSurface>();
    const NORVAUString metaPath = metadataPath(options.outputPath);

    KIVOMemDescriptor descriptor(std::vector<Entry>(attributes.begin(), attributes.end()));
    auto table = makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(descriptor));
    NORVAType<KIVOSurfaceXMLMetaData> meta(new (std::nothrow) KIVOSurfaceXMLMetaData(std::move(table), metaPath));
    if (!meta || meta->getStatus() != 0) {
        status = meta ? meta->getStatus() : -1;
        return NORVAType<KIVOSurface>();
    }
    if (!options.coordSystem) {
        status = kNoCoordSystem;
        return NORVAType<KIVOSurface>();
    }
    if ((status = describe(options, *meta)) != 0) return NORVAType<KIVOSurface>();
    KIVOSurfaceUtils::addDisplaySettings(*meta, attributes, std::set<NORVAUString>(), kColourMap);

    NORVAType<KIVOSurfaceDataIO> io = makeDataIO(options.outputPath, std::move(meta));
    if (!io || io->getStatus() != 0) {
        status = io ? io->getStatus() : -1;
        return NORVAType<KIVOSurface>();
    }
    NORVAType<KIVOSurface> surface(new (std::nothrow) KIVOSurface(std::move(io)));
    if (!surface || surface->getStatus() != 0) {
        status = surface ? surface->getStatus() : -1;
        return NORVAType<KIVOSurface>();
    }
    status = 0;
    return surface;
}

}  // namespace Combine
}  // namespace KIVODazavazEdora
