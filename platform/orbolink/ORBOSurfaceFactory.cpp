#include "platform/orbolink/ORBOSurfaceFactory.h"

#include <algorithm>

#include "platform/core/NORVAFileUtils.h"
#include "platform/orbolink/ORBOSurfacePlugin.h"

namespace ORBO_3_12_0_ {
namespace DataSet {

namespace {

const NORVAUString kSeparator("::");

int32_t lastSeparator(const NORVAUString& name) {
    int32_t found = -1;
    for (int32_t at = name.indexOf(kSeparator); at >= 0; at = name.indexOf(kSeparator, at + 1)) found = at;
    return found;
}

}  // namespace

SurfaceFactory& SurfaceFactory::getInstance() {
    static SurfaceFactory instance;
    return instance;
}

bool SurfaceFactory::add(const PluginPtr& plugin, bool replace) {
    if (!plugin) return false;
    const NORVAUString key = plugin->getKey().toLower();
    auto found = m_plugins.find(key);
    if (found != m_plugins.end() && !replace) return false;
    m_plugins[key] = plugin;
    return true;
}

bool SurfaceFactory::remove(const NORVAUString& key) { return m_plugins.erase(key.toLower()) > 0; }

SurfaceFactory::PluginPtr SurfaceFactory::find(const NORVAUString& key) const {
    auto found = m_plugins.find(key.toLower());
    return found == m_plugins.end() ? PluginPtr() : found->second;
}

SurfaceFactory::PluginPtr SurfaceFactory::findFor(const NORVAUString& name) const {
    const NORVAUString file = filePart(name);
    const int32_t dot = file.lastIndexOf(u'.');
    const int32_t slash = std::max(file.lastIndexOf(u'/'), file.lastIndexOf(u'\\'));
    if (dot < 0 || dot < slash) return PluginPtr();
    return find(file.substring(dot + 1));
}

std::vector<NORVAUString> SurfaceFactory::getKeys() const {
    std::vector<NORVAUString> keys;
    for (const auto& entry : m_plugins) keys.push_back(entry.second->getKey());
    return keys;
}

NORVAUString SurfaceFactory::filePart(const NORVAUString& name) {
    const int32_t at = lastSeparator(name);
    return at < 0 ? name : name.substring(0, at);
}

NORVAUString SurfaceFactory::selectorPart(const NORVAUString& name) {
    const int32_t at = lastSeparator(name);
    return at < 0 ? NORVAUString() : name.substring(at + kSeparator.length());
}

std::shared_ptr<GeoBandSet> SurfaceFactory::getSurface(long& status, const NORVAUString& name, NORVA::OPEN_MODE mode,
                                                       const NORVACoordSystem* coordSystem,
                                                       NORVAProgress* progress) const {
    PluginPtr plugin = findFor(name);
    if (!plugin) {
        status = kNoPlugin;
        return std::shared_ptr<GeoBandSet>();
    }
    return plugin->getSurface(status, name, mode, coordSystem, progress);
}

std::vector<NORVAUString> SurfaceFactory::getDatasetNames(const NORVAUString& file, long& status) const {
    PluginPtr plugin = findFor(file);
    if (!plugin) {
        status = kNoPlugin;
        return std::vector<NORVAUString>();
    }
    return plugin->getDatasetNames(file, status);
}

SurfaceFactory::SurfaceFactoryPlugin::~SurfaceFactoryPlugin() = default;

bool SurfaceFactory::SurfaceFactoryPlugin::hasCoordSys(const NORVAUString&) const { return true; }

std::vector<NORVAUString> SurfaceFactory::SurfaceFactoryPlugin::getDatasetNames(const NORVAUString& file,
                                                                                 long& status) const {
    status = 0;
    return std::vector<NORVAUString>{file};
}

long SurfaceFactory::SurfaceFactoryPlugin::deleteSurfaceFiles(const NORVAUString& file) {
    return NORVAFileUtils::removeFile(file) ? 0 : kFileOperationFailed;
}

long SurfaceFactory::SurfaceFactoryPlugin::renameSurfaceFiles(const NORVAUString& from, const NORVAUString& to) {
    return NORVAFileUtils::renameFile(from, to) ? 0 : kFileOperationFailed;
}

}  // namespace DataSet
}  // namespace ORBO_3_12_0_
