#pragma once
// The data-set layer's process-wide surface factory: plug-ins registered
// under a key (a file extension without its dot, e.g. "kms") make band sets
// from data-set names. A data-set name is a file path, optionally followed by
// "::" and a selector of one data set inside the file.
#include "platform/core/KIVOExport.h"
#include <map>
#include <memory>
#include <vector>

#include "platform/core/NORVAUString.h"
#include "platform/orbolink/ORBODataSet.h"
#include "platform/orbolink/ORBOOpenMode.h"

class NORVACoordSystem;
class NORVAProgress;

namespace ORBO_3_12_0_ {
namespace DataSet {

class KIVO_EXPORT SurfaceFactory {
public:
    class SurfaceFactoryPlugin;
    using PluginPtr = std::shared_ptr<SurfaceFactoryPlugin>;

    static constexpr long kNoPlugin = 146010;  // no plug-in for the name's extension

    static SurfaceFactory& getInstance();

    // Adds the plug-in under its key (compared ignoring case). A plug-in
    // already held under the key stays unless `replace`; false then.
    bool add(const PluginPtr& plugin, bool replace);
    bool remove(const NORVAUString& key);
    // Null when no plug-in is held under the key.
    PluginPtr find(const NORVAUString& key) const;
    // The plug-in for the extension of a data-set name's file part.
    PluginPtr findFor(const NORVAUString& name) const;
    std::vector<NORVAUString> getKeys() const;

    // The file part of a data-set name: everything before the last "::".
    static NORVAUString filePart(const NORVAUString& name);
    // The selector text: everything after the last "::"; empty without one.
    static NORVAUString selectorPart(const NORVAUString& name);

    // Asks the plug-in that serves the name; kNoPlugin when none does.
    std::shared_ptr<GeoBandSet> getSurface(long& status, const NORVAUString& name, NORVA::OPEN_MODE mode,
                                           const NORVACoordSystem* coordSystem, NORVAProgress* progress) const;
    std::vector<NORVAUString> getDatasetNames(const NORVAUString& file, long& status) const;

private:
    SurfaceFactory() = default;
    SurfaceFactory(const SurfaceFactory&) = delete;
    SurfaceFactory& operator=(const SurfaceFactory&) = delete;

    std::map<NORVAUString, PluginPtr> m_plugins;  // by lower-case key
};

}  // namespace DataSet
}  // namespace ORBO_3_12_0_
