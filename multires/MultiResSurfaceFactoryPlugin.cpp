#include "multires/MultiResSurfaceFactoryPlugin.h"

#include <new>

#include "core/KIVOBuiltInFormats.h"
#include "multires/KIVOCompoundIO.h"
#include "platform/frame/KIVOSurfaceMetaData.h"
#include "platform/frame/KIVOSurfaceUtils.h"
#include "platform/orbolink/KIVOGeoRaster.h"
#include "platform/pathkit/PathUtilities.h"

namespace {

using ORBO_3_12_0_::DataSet::GeoBandSet;
using ORBO_3_12_0_::DataSet::SurfaceFactory;

void registerKms() { MultiResSurfaceFactoryPlugin::registerPlugin("kms"); }

const bool kRegistered = (KIVOBuiltInFormats::provideAfterRegistration(&registerKms), true);

NORVAUString baseName(const NORVAUString& path) {
    NORVAUString name;
    PathUtilities::parsePath(path, nullptr, nullptr, &name, nullptr);
    return name;
}

// Resolutions come back through float fields of the header and the metadata,
// so a member is matched at float precision.
bool sameResolution(double a, double b) { return static_cast<float>(a) == static_cast<float>(b); }

// The selector form that drops the compound's name and one character and
// reads every "_" as ".".
bool parseSelector(const NORVAUString& file, const NORVAUString& selector, double& value) {
    const int32_t skip = baseName(file).length() + 1;
    if (selector.length() < skip) return false;
    NORVAUString rest = selector.substring(skip);
    rest.replaceAll("_", ".");
    return rest.parseDouble(value);
}

KIVOSurfaceDataIO* findMember(const std::vector<KIVOSurfaceDataIO*>& members, const NORVAUString& file,
                              const NORVAUString& selector) {
    for (KIVOSurfaceDataIO* member : members) {
        NORVAUString name;
        long ignored = 0;
        if (member && MultiResSurfaceFactoryPlugin::datasetName(*member, name, ignored) && name == selector)
            return member;
    }
    double value = 0.0;
    if (!parseSelector(file, selector, value)) return nullptr;
    for (KIVOSurfaceDataIO* member : members) {
        const KIVOSurfaceMetaData* meta = member ? member->getMetaData() : nullptr;
        double x = 0.0, y = 0.0;
        if (meta && meta->getResolution(x, y) == 0 && sameResolution(x, value)) return member;
    }
    return nullptr;
}

}  // namespace

void MultiResSurfaceFactoryPlugin::registerPlugin(const NORVAUString& key) {
    std::shared_ptr<Base> plugin(new MultiResSurfaceFactoryPlugin(key));
    SurfaceFactory::getInstance().add(plugin, false);
}

std::shared_ptr<MultiResSurfaceFactoryPlugin::Base> MultiResSurfaceFactoryPlugin::clone() const {
    return std::shared_ptr<Base>(new MultiResSurfaceFactoryPlugin(*this));
}

bool MultiResSurfaceFactoryPlugin::datasetName(const KIVOSurfaceDataIO& member, NORVAUString& name, long& status) {
    const KIVOSurfaceMetaData* meta = member.getMetaData();
    double x = 0.0, y = 0.0;
    status = meta ? meta->getResolution(x, y) : -1;
    if (status != 0) return false;
    name = baseName(member.getSourceName()) + "_" + NORVAUString::formatDouble(x);
    return true;
}

std::vector<NORVAUString> MultiResSurfaceFactoryPlugin::getDatasetNames(const NORVAUString& file,
                                                                         long& status) const {
    std::vector<NORVAUString> names;
    NORVAType<KIVOSurfaceDataIO> io = KIVOSurfaceUtils::getDataIO(file);
    const KIVOCompoundIO* compound = dynamic_cast<const KIVOCompoundIO*>(io.get());
    if (!compound) return names;
    std::vector<KIVOSurfaceDataIO*> members;
    compound->getDataIOList(members);
    for (KIVOSurfaceDataIO* member : members) {
        NORVAUString name;
        if (member && datasetName(*member, name, status)) names.push_back(name);
        else if (!member) status = -1;
    }
    return names;
}

std::shared_ptr<GeoBandSet> MultiResSurfaceFactoryPlugin::getSurface(long& status, const NORVAUString& name,
                                                                     NORVA::OPEN_MODE mode,
                                                                     const NORVACoordSystem* const, NORVAProgress*) {
    if (mode != NORVA::READ_ONLY) {
        status = kUnsupportedMode;
        return std::shared_ptr<GeoBandSet>();
    }
    const NORVAUString file = SurfaceFactory::filePart(name);
    const NORVAUString selector = SurfaceFactory::selectorPart(name);
    // The path is opened as given: lowering it would miss files on
    // case-sensitive file systems.
    NORVAType<KIVOSurfaceDataIO> io = KIVOSurfaceUtils::getDataIO(file);
    if (!io) {
        status = kCannotOpen;
        return std::shared_ptr<GeoBandSet>();
    }
    const KIVOCompoundIO* compound = dynamic_cast<const KIVOCompoundIO*>(io.get());
    if (!compound) return std::shared_ptr<GeoBandSet>();
    std::vector<KIVOSurfaceDataIO*> members;
    compound->getDataIOList(members);
    const KIVOSurfaceDataIO* member = findMember(members, file, selector);
    if (!member) return std::shared_ptr<GeoBandSet>();

    NORVAType<KIVOSurfaceDataIO> opened = KIVOSurfaceUtils::getDataIO(member->getSourceName());
    if (!opened) return std::shared_ptr<GeoBandSet>();
    std::shared_ptr<GeoBandSet> raster(new (std::nothrow) KIVOGeoRaster(std::shared_ptr<KIVOSurfaceDataIO>(opened.release()), status));
    if (!raster || status != 0) return std::shared_ptr<GeoBandSet>();
    return raster;
}

long MultiResSurfaceFactoryPlugin::deleteSurfaceFiles(const NORVAUString& file) {
    return KIVOSurfaceUtils::deleteFiles(file) ? 0 : kDeleteFailed;
}
