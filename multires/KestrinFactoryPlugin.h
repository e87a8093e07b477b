#pragma once
// Offers tile stores to the data-set layer as point clouds under the key
// "kps", read-only: node identifiers from Morton keys, "Status" not a band.
#include "platform/core/KIVOExport.h"
#include <memory>

#include "platform/orbolink/ORBOSurfacePlugin.h"

class KIVO_EXPORT KestrinFactoryPlugin : public ORBO_3_12_0_::DataSet::SurfaceFactory::SurfaceFactoryPlugin {
public:
    using Base = ORBO_3_12_0_::DataSet::SurfaceFactory::SurfaceFactoryPlugin;

    explicit KestrinFactoryPlugin(const NORVAUString& key) : Base(key) {}

    static void registerPlugin(const NORVAUString& key);

    std::shared_ptr<Base> clone() const override;
    // 146153 for a mode other than reading; else the cloud's opening status.
    std::shared_ptr<ORBO_3_12_0_::DataSet::GeoBandSet> getSurface(long& status, const NORVAUString& path,
                                                                  NORVA::OPEN_MODE mode,
                                                                  const NORVACoordSystem* const coordSystem,
                                                                  NORVAProgress* progress) override;
};
