#include "multires/KestrinFactoryPlugin.h"

#include "multires/KestrinCloudStatus.h"
#include "multires/KestrinGeoCloud.h"

namespace {

const bool kRegistered = (KestrinFactoryPlugin::registerPlugin("kps"), true);

}  // namespace

void KestrinFactoryPlugin::registerPlugin(const NORVAUString& key) {
    std::shared_ptr<Base> plugin = std::make_shared<KestrinFactoryPlugin>(key);
    ORBO_3_12_0_::DataSet::SurfaceFactory::getInstance().add(plugin, false);
}

std::shared_ptr<KestrinFactoryPlugin::Base> KestrinFactoryPlugin::clone() const {
    return std::make_shared<KestrinFactoryPlugin>(*this);
}

std::shared_ptr<ORBO_3_12_0_::DataSet::GeoBandSet> KestrinFactoryPlugin::getSurface(long& status,
                                                                                     const NORVAUString& path,
                                                                                     NORVA::OPEN_MODE mode,
                                                                                     const NORVACoordSystem* const,
                                                                                     NORVAProgress*) {
    status = 0;
    if (mode != NORVA::READ_ONLY) {
        status = KestrinCloudStatus::UNSUPPORTED_MODE;
        return nullptr;
    }
    auto cloud = std::make_shared<KestrinGeoCloud>(path, status, true, false);
    if (status != 0) return nullptr;
    return cloud;
}
