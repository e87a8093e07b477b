#include "tools/KIVOGenerator.h"

#include <cstdio>
#include <functional>
#include <set>

#include "core/KIVODisplaySettings.h"
#include "core/KIVOSurfaceGenerator.h"
#include "core/KIVOSurfaceOpen.h"
#include "core/SurfaceAttributeNames.h"
#include "multires/KIVOCompoundIO.h"
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
#include "platform/shapes/NORVACover.h"
#include "tools/KIVOCreationStamp.h"
#include "tools/KIVOReplaceTool.h"
#include "tools/KIVOTransformedPointIter.h"

namespace {

using Entry = KIVODescriptor::AttribEntry;
namespace names = SurfaceAttributeNames;

const NORVAUString kMetres("m");
const NORVAUString kDepthDirection("DEPTH");
const NORVAUString kHeightDirection("HEIGHT");
const NORVAUString kGroundDirection("GROUND");
const NORVAUString kWeightHzUncert("Weight_Hz_Uncert");
const NORVAUString kHorizUncert("Horiz_Uncert");
const NORVAUString kMinTime("Min_Time");
const NORVAUString kMaxTime("Max_Time");
const NORVAUString kReplaceProcess("Replace");
const NORVAUString kReplaceTypeKey("Replace_Type");
const char* const kOperatorWords[] = {"ALL", "LT", "GT", "EQUAL", "LT_EQ", "GT_EQ"};
// Text fields of a sounding source that reports no length.
constexpr uint32_t kDefaultTextLength = 255;

bool environmentSaysYes(const char* name) {
    return NORVAEnvironment::getVar(name).equalsIgnoreCase(NORVAUString("YES"));
}

Entry makeEntry(const NORVAUString& name, int32_t type, const NORVAUString& unitKey = NORVAUString(),
                const NORVAUString& direction = NORVAUString()) {
    Entry e(name, type);
    e.unitKey = unitKey;
    e.unitDirection = direction;
    return e;
}

Entry withCompanions(Entry e, const NORVAUString& trueX, const NORVAUString& trueY) {
    e.trueXName = trueX;
    e.trueYName = trueY;
    return e;
}

void addPositionPair(std::list<Entry>& list, const NORVAUString& x, const NORVAUString& y) {
    list.push_back(makeEntry(x, KIVODataType::DOUBLE, kMetres, kGroundDirection));
    list.push_back(makeEntry(y, KIVODataType::DOUBLE, kMetres, kGroundDirection));
}

// Hands every sounding on to the field generator and counts them; once the
// field generator has finished, `atFinish` (given that count) decides whether
// the run may go on to be stored. A run refused there leaves the surface's
// files and metadata as they were.
class CountingFieldGenerator : public KIVOFieldGenerator {
public:
    CountingFieldGenerator(KIVOFieldGenerator& inner, std::function<long(long)> atFinish)
        : m_inner(inner), m_atFinish(std::move(atFinish)) {}
    long init() override { return m_inner.init(); }
    long generate(const KIVOPointIter& soundings) override {
        ++m_handed;
        return m_inner.generate(soundings);
    }
    long finish() override {
        const long status = m_inner.finish();
        return status != 0 ? status : m_atFinish(m_handed);
    }
    long handed() const { return m_handed; }

private:
    KIVOFieldGenerator& m_inner;
    std::function<long(long)> m_atFinish;
    long m_handed = 0;
};

}  // namespace

KIVOGenerator::KIVOGenerator(KIVOPointIter& soundings, const NORVACoordSystem& coordSystem, const NORVACover& cover,
                             const NORVAUString& depthName, const NORVAUString& depthUnitKey,
                             const NORVAUString& third)
    : m_soundings(soundings), m_depthName(depthName), m_depthUnitKey(depthUnitKey), m_third(third),
      m_coordSystem(coordSystem), m_cover(cover), m_dataSourceType(names::kSurveyLine) {
    if (environmentSaysYes("KIVO_INC_HZ_UNCERT")) m_incHorizontalUncertainty = true;
    if (environmentSaysYes("KIVO_INC_TIME")) m_incTime = true;
}

KIVOGenerator::~KIVOGenerator() = default;

void KIVOGenerator::setIncShoalAttrib(bool include, const bool& includeTruePos) {
    m_incShoal = include;
    m_incShoalTruePos = includeTruePos;
}

void KIVOGenerator::setIncDeepAttrib(bool include, const bool& includeTruePos) {
    m_incDeep = include;
    m_incDeepTruePos = includeTruePos;
}

void KIVOGenerator::setIHOMaximum(double fixed, double percent) {
    m_ihoMaximum[0] = fixed;
    m_ihoMaximum[1] = percent;
}

void KIVOGenerator::setDataSourceType(const NORVAUString& type) {
    m_dataSourceType = type;
    m_dataSourceType.replaceAll(" ", "_");
}

void KIVOGenerator::setDataSources(const std::vector<NORVAUString>& sources, bool flag1, bool flag2, bool flag3) {
    m_dataSources = sources;
    m_sourceFlags[0] = flag1;
    m_sourceFlags[1] = flag2;
    m_sourceFlags[2] = flag3;
}

void KIVOGenerator::setResolution(double resolution) {
    m_resolution = resolution;
    m_resolutionTable.clear();
}

void KIVOGenerator::setResolutionTable(const KIVOResolutionTable& table) {
    if (&table != &m_resolutionTable) m_resolutionTable = table;
    if (!m_resolutionTable.empty()) m_resolution = 0.0;
}

// ---------------------------------------------------------------- layout

std::list<KIVODescriptor::AttribEntry> KIVOGenerator::buildAttributeList() const {
    std::list<Entry> list;
    const bool replace = m_weighting == REPLACE;
    Entry depth = withCompanions(makeEntry(m_depthName, KIVODataType::FLOAT, m_depthUnitKey,
                                           m_third.isEmpty() ? kDepthDirection : kHeightDirection),
                                 names::kDepthTrueX, names::kDepthTrueY);
    if (!replace) depth.modName = names::kWeight;
    list.push_back(depth);
    if (m_incTruePos) addPositionPair(list, names::kDepthTrueX, names::kDepthTrueY);
    if (!replace) list.push_back(makeEntry(names::kWeight, KIVODataType::FLOAT));
    if (m_weighting == UNCERTAINTY_WEIGHTING) {
        Entry uncertainty = makeEntry(names::kUncertainty, KIVODataType::FLOAT, kMetres, kDepthDirection);
        uncertainty.modName = names::kWeight;
        list.push_back(uncertainty);
        if (m_incHorizontalUncertainty) {
            list.push_back(makeEntry(kWeightHzUncert, KIVODataType::FLOAT));
            Entry horizontal = makeEntry(kHorizUncert, KIVODataType::FLOAT, kMetres, kGroundDirection);
            horizontal.modName = kWeightHzUncert;
            list.push_back(horizontal);
        }
        if (m_incTime) {
            list.push_back(makeEntry(kMinTime, KIVODataType::DATETIME));
            list.push_back(makeEntry(kMaxTime, KIVODataType::DATETIME));
        }
    }
    if (m_incDensity) {
        list.push_back(makeEntry(names::kDensity, KIVODataType::LONG));
        if (m_incStdDev) list.push_back(makeEntry(names::kStdDev, KIVODataType::FLOAT, kMetres, kDepthDirection));
        if (m_incMean) {
            Entry mean = makeEntry(names::kMean, KIVODataType::FLOAT, kMetres, kDepthDirection);
            mean.modName = names::kDensity;
            list.push_back(mean);
        }
    }
    if (m_incShoal) {
        list.push_back(withCompanions(makeEntry(names::kShoal, KIVODataType::FLOAT, kMetres, kDepthDirection),
                                      names::kShoalTrueX, names::kShoalTrueY));
        if (m_incShoalTruePos) addPositionPair(list, names::kShoalTrueX, names::kShoalTrueY);
    }
    if (m_incDeep) {
        list.push_back(withCompanions(makeEntry(names::kDeep, KIVODataType::FLOAT, kMetres, kDepthDirection),
                                      names::kDeepTrueX, names::kDeepTrueY));
        if (m_incDeepTruePos) addPositionPair(list, names::kDeepTrueX, names::kDeepTrueY);
    }
    if (replace) addAdditionalAttributes(list);
    return list;
}

// A name the layout already has is not added twice.
void KIVOGenerator::addAdditionalAttributes(std::list<Entry>& list) const {
    std::vector<NORVAUString> additional;
    m_soundings.getAdditionalAttributes(additional);
    for (const NORVAUString& name : additional) {
        bool present = false;
        for (const Entry& e : list) present = present || e.name == name;
        if (present) continue;
        long index = -1;
        KIVOPointIter::DATA_TYPE type = KIVODataType::DOUBLE;
        if (!m_soundings.indexOf(name, index, type)) type = KIVODataType::DOUBLE;
        Entry e(name, KIVODataType::fromInt(type));
        if (e.type == KIVODataType::TEXT) e.length = kDefaultTextLength;
        list.push_back(e);
    }
}

// ---------------------------------------------------------------- metadata

long KIVOGenerator::createMetaData(const NORVAUString& metaPath, const NORVAUString& s1, const NORVAUString& s2,
                                   const NORVAUString& s3, NORVAType<KIVOSurfaceXMLMetaData>& meta) {
    const std::list<Entry> list = buildAttributeList();
    KIVOMemDescriptor descriptor(std::vector<Entry>(list.begin(), list.end()));
    auto table = makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(descriptor));
    meta.reset(new KIVOSurfaceXMLMetaData(std::move(table), metaPath));
    if (meta->getStatus() != 0) return meta->getStatus();
    return describe(*meta, s1, s2, s3);
}

long KIVOGenerator::describe(KIVOSurfaceXMLMetaData& meta, const NORVAUString& s1, const NORVAUString& s2,
                             const NORVAUString& s3) const {
    long status = 0;
    NORVAType<NORVACover> cover = m_cover.transformTo(m_coordSystem, status);
    if (status != 0) return status;
    if (!cover) return -1;
    NORVAMapDefinitionFactory factory(NORVAEnvironment::getVar("vrqXmapdef"));
    if (factory.getStatus() != 0) return factory.getStatus();
    NORVAUString cs1, cs2, cs3;
    if ((status = factory.toStrings(m_coordSystem, cs1, cs2, cs3)) != 0) return status;

    KIVODescriptiveFields fields;
    fields.creationDate = KIVOCreationStamp::date();
    fields.creationTime = KIVOCreationStamp::time();
    if ((status = meta.setCoordSystemString(cs1, cs2, cs3)) != 0) return status;
    fields.text1 = s3;
    fields.text2 = s1;
    fields.text3 = s2;
    fields.comments = m_comments;
    meta.setDescriptiveFields(fields);
    if ((status = meta.setResolution(m_resolution)) != 0) return status;
    if (!m_resolutionTable.empty() && (status = meta.setResolutionTable(m_depthName, m_resolutionTable)) != 0)
        return status;
    double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0;
    cover->getCover(minX, minY, maxX, maxY);
    if ((status = meta.setLowerLeft(minX, minY)) != 0) return status;
    if ((status = meta.setDimensions(cover->getWidth(), cover->getHeight())) != 0) return status;
    meta.setMetaBlocks(m_metaBlocks);
    return 0;
}

// Flags are only ever turned on by what the existing surface holds.
void KIVOGenerator::includeExisting(const KIVOSurfaceMetaData& meta) {
    const KIVOSurfaceAttributeTable* table = meta.getAttributeTable();
    if (!table) return;
    const KIVODescriptor& d = table->getDescriptor();
    for (long i = 0; i < d.getNumberOfAttributes(); ++i) {
        const NORVAUString& n = d.getAttributeName(i);
        if (n == names::kDeep) m_incDeep = true;
        else if (n == names::kDensity) m_incDensity = true;
        else if (n == names::kMean) m_incMean = true;
        else if (n == names::kShoal) m_incShoal = true;
        else if (n == names::kStdDev) m_incStdDev = true;
        else if (n == names::kShoalTrueX || n == names::kShoalTrueY) m_incShoalTruePos = true;
        else if (n == names::kDeepTrueX || n == names::kDeepTrueY) m_incDeepTruePos = true;
        else if (n == names::kDepthTrueX || n == names::kDepthTrueY) m_incTruePos = true;
    }
}

// Key and value must both match exactly; the number plays no part.
long KIVOGenerator::editSources(KIVOSurfaceMetaData& meta) const {
    KIVOSourceRecord record = meta.getSourceRecord();
    std::vector<KIVOSourceItem>& items = record.items;
    for (const NORVAUString& source : m_dataSources) {
        auto found = items.begin();
        for (; found != items.end(); ++found)
            if (found->key == m_dataSourceType && found->value == source) break;
        if (m_operation == REMOVE_FROM_SURFACE) {
            if (found == items.end()) {
                std::printf("Data source %s could not be found.  'Remove from' aborted.\n", source.toUTF8().c_str());
                return kSourceNotFound;
            }
            items.erase(found);
        } else if (found == items.end()) {
            items.push_back(KIVOSourceItem{m_dataSourceType, source, 0.0});
        }
    }
    meta.setSourceRecord(record);
    return 0;
}

// ---------------------------------------------------------------- building

long KIVOGenerator::generate(const NORVAUString& s1, const NORVAUString& s2, const NORVAUString& s3,
                             NORVAProgress* progress, NORVAErrorLog* errorLog) {
    m_counts = SoundingCounts();
    NORVAUString drive, folder, file;
    PathUtilities::parsePath(m_name, &drive, &folder, &file, nullptr);
    if (file.isEmpty()) return kNoName;
    const NORVAUString dataPath = drive + folder + file + ".vns";
    const NORVAUString metaPath = drive + folder + file + ".xml";

    long status = 0;
    NORVAType<KIVOSurfaceXMLMetaData> newMeta;
    NORVAType<KIVOSurfaceDataIO> dataIO;
    KIVOSurfaceMetaData* meta = nullptr;
    if (m_operation == NEW_SURFACE) {
        if ((status = createMetaData(metaPath, s1, s2, s3, newMeta)) != 0) return status;
        meta = newMeta.get();
    } else {
        dataIO = KIVOSurfaceUtils::getDataIO(dataPath);
        if (!dataIO) return KIVOSurfaceUtils::kNoDataIO;
        if (dataIO->getStatus() != 0) return dataIO->getStatus();
        meta = dataIO->getMetaData();
        if (!meta) return kNoMetaData;
        if (meta->getStatus() != 0) return meta->getStatus();
        includeExisting(*meta);
    }
    if ((status = editSources(*meta)) != 0) return status;

    // Creating a compound makes its member folder at once.
    const bool compound = m_operation == NEW_SURFACE && !m_resolutionTable.empty();
    const NORVAUString memberFolder = drive + folder + file;
    const bool folderExisted = NORVAFileUtils::exists(memberFolder);
    if (m_operation == NEW_SURFACE) {
        if (!compound) dataIO.reset(new KIVOGriddedDataIO(dataPath, std::move(newMeta)));
        else dataIO.reset(new KIVOCompoundIO(dataPath, newMeta));
    }
    status = dataIO->getStatus() != 0 ? dataIO->getStatus() : build(std::move(dataIO));
    // A compound that was never stored leaves no empty folder behind; one
    // that was keeps its members there, and the folder stays.
    if (status != 0 && compound && !folderExisted) NORVAFileUtils::removeDirectory(memberFolder, false);
    return status;
}

long KIVOGenerator::build(NORVAType<KIVOSurfaceDataIO> dataIO) {
    m_surface.reset(new KIVOSurface(std::move(dataIO)));
    if (m_surface->getStatus() != 0) return m_surface->getStatus();

    NORVAType<KIVOFieldGenerator> fieldGenerator =
        createFieldGenerator(*m_surface, m_operation != REMOVE_FROM_SURFACE);
    if (!fieldGenerator || fieldGenerator->getStatus() != 0) return kNoFieldGenerator;

    if (m_operation == NEW_SURFACE && m_surface->getMetaData()) {
        const std::set<NORVAUString> excluded{names::kWeight,     kWeightHzUncert,    names::kDepthTrueX,
                                              names::kDepthTrueY, names::kShoalTrueX, names::kShoalTrueY,
                                              names::kDeepTrueX,  names::kDeepTrueY};
        KIVOSurfaceUtils::addDisplaySettings(*m_surface->getMetaData(), buildAttributeList(), excluded, m_colourMap);
    }
    return runSoundings(*fieldGenerator);
}

// Soundings in another system are placed by their transformed positions;
// the cover was transformed the same way when the metadata was written. An
// iterator that names no system, or an undefined one, is taken to give
// positions in the generator's.
long KIVOGenerator::runSoundings(KIVOFieldGenerator& fieldGenerator) {
    const NORVACoordSystem* given = m_soundings.getCoordSystem();
    std::unique_ptr<KIVOTransformedPointIter> transformed;
    if (given && given->isValid() && m_coordSystem.isValid() && !given->isEqual(m_coordSystem))
        transformed = std::make_unique<KIVOTransformedPointIter>(m_soundings, *given, m_coordSystem);
    KIVOPointIter& soundings = transformed ? static_cast<KIVOPointIter&>(*transformed) : m_soundings;
    CountingFieldGenerator counting(fieldGenerator, [&](long handed) {
        tally(fieldGenerator, transformed.get(), handed);
        return placesNothing() ? kNoSoundingPlaced : 0L;
    });
    KIVOSurfaceGenerator surfaceGenerator(soundings, *m_surface, counting);
    if (surfaceGenerator.getStatus() != 0) return surfaceGenerator.getStatus();
    const long status = surfaceGenerator.generate(nullptr);
    tally(fieldGenerator, transformed.get(), counting.handed());
    return reportCounts(status);
}

// Without the replace tool's tally a sounding handed to the field generator
// counts as placed: whether it found a node is the field generator's business.
void KIVOGenerator::tally(const KIVOFieldGenerator& fieldGenerator, const KIVOTransformedPointIter* transformed,
                          long handed) {
    SoundingCounts& c = m_counts;
    c = SoundingCounts();
    if (transformed) c.notTransformed = transformed->getNotTransformed();
    c.placed = handed;
    c.given = handed + c.notTransformed;
    if (const auto* tool = dynamic_cast<const KIVOReplaceTool*>(&fieldGenerator)) {
        const KIVOReplaceTool::Tally& t = tool->getTally();
        c.placed = t.placed;
        c.outside = t.outside;
        c.noDepth = t.noDepth;
        c.lost = t.noNode;
        c.given = t.placed + t.outside + t.noDepth + t.noNode + c.notTransformed;
    }
}

// A new or updated surface that took no sounding is not stored, so that a
// rebuild never replaces a surface with an empty one. "Remove from" is run
// for its source record, which it stores whatever the soundings did.
bool KIVOGenerator::placesNothing() const {
    return m_operation != REMOVE_FROM_SURFACE && m_counts.placed == 0;
}

long KIVOGenerator::reportCounts(long status) {
    const SoundingCounts& c = m_counts;
    if (c.notTransformed > 0)
        std::printf("%ld soundings could not be transformed into the surface's coordinate system and were left out.\n",
                    c.notTransformed);
    if (c.noDepth > 0) std::printf("%ld soundings had no readable depth or position and were left out.\n", c.noDepth);
    if (c.outside > 0) std::printf("%ld soundings lay beyond the surface and were left out.\n", c.outside);
    if (c.lost > 0) std::printf("%ld soundings within the surface reached no node and were left out.\n", c.lost);
    const bool refused = status == kNoSoundingPlaced && placesNothing();
    if (refused && c.given == 0) std::printf("No soundings were given; the surface was not stored.\n");
    else if (refused) std::printf("None of the %ld soundings reached the surface; it was not stored.\n", c.given);
    else if (c.given > 0 && c.placed == 0) std::printf("None of the %ld soundings reached the surface.\n", c.given);
    if (status != 0) return status;
    if (c.lost > 0) return kSoundingsLost;
    return c.given > 0 && c.placed == 0 ? kNoSoundingPlaced : 0;
}

NORVAType<KIVOFieldGenerator> KIVOGenerator::createFieldGenerator(KIVOSurface& surface, bool recordOperator) {
    if (m_weighting != REPLACE) return NORVAType<KIVOFieldGenerator>();
    auto tool = std::make_unique<KIVOReplaceTool>(
        surface, m_depthName, names::kUncertainty, names::kDensity, names::kShoal, names::kDeep, names::kMean,
        names::kStdDev, names::kDepthTrueX, names::kDepthTrueY, names::kShoalTrueX, names::kShoalTrueY,
        names::kDeepTrueX, names::kDeepTrueY, false);
    NORVAUString word;
    if (m_replaceType >= ALL && m_replaceType <= GT_EQ) {
        tool->setOperator(static_cast<KIVOReplaceTool::ReplaceOperator>(m_replaceType));
        word = kOperatorWords[m_replaceType];
    }
    if (recordOperator && surface.getMetaData()) {
        KIVOProcessRecord record;
        record.name = kReplaceProcess;
        record.pairs.emplace_back(kReplaceTypeKey, word);
        surface.getMetaData()->setProcessRecord(record);
    }
    return NORVAType<KIVOFieldGenerator>(std::move(tool));
}
