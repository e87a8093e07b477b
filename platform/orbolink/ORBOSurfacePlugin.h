#pragma once
// Base of the surface factory's plug-ins. A plug-in keeps the key it was
// made with; the defaults treat a data set as one plain file.
#include "platform/core/KIVOExport.h"
#include <memory>
#include <vector>

#include "platform/core/NORVAUString.h"
#include "platform/orbolink/ORBODataSet.h"
#include "platform/orbolink/ORBOOpenMode.h"
#include "platform/orbolink/ORBOSurfaceFactory.h"

namespace ORBO_3_12_0_ {
namespace DataSet {

class KIVO_EXPORT SurfaceFactory::SurfaceFactoryPlugin {
public:
    static constexpr long kFileOperationFailed = -1;

    explicit SurfaceFactoryPlugin(const NORVAUString& key) : m_key(key) {}
    SurfaceFactoryPlugin(const SurfaceFactoryPlugin&) = default;
    SurfaceFactoryPlugin& operator=(const SurfaceFactoryPlugin&) = default;
    virtual ~SurfaceFactoryPlugin();

    virtual std::shared_ptr<SurfaceFactoryPlugin> clone() const = 0;
    virtual std::shared_ptr<GeoBandSet> getSurface(long& status, const NORVAUString& name, NORVA::OPEN_MODE mode,
                                                   const NORVACoordSystem* const coordSystem,
                                                   NORVAProgress* progress) = 0;
    // Whether the data sets of the file carry their own coordinate system.
    virtual bool hasCoordSys(const NORVAUString& file) const;
    // The file itself as its only data set, status 0.
    virtual std::vector<NORVAUString> getDatasetNames(const NORVAUString& file, long& status) const;
    // Removes the file; 0, or kFileOperationFailed.
    virtual long deleteSurfaceFiles(const NORVAUString& file);
    // Renames the file; 0, or kFileOperationFailed.
    virtual long renameSurfaceFiles(const NORVAUString& from, const NORVAUString& to);

    const NORVAUString& getKey() const { return m_key; }

private:
    NORVAUString m_key;
};

}  // namespace DataSet
}  // namespace ORBO_3_12_0_
