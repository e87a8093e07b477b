#pragma once
// Offers each member of a compound surface to the data-set layer as a raster
// data set of its own, under the key "kms". The layer lists a file's data
// sets with `getDatasetNames` (the member's name, "_" and its resolution) and
// asks for one as the file, "::" and one of those names; the selector form
// that drops the compound's name and one character and reads "_" as "." is
// accepted too.
#include "platform/core/KIVOExport.h"
#include <memory>
#include <vector>

#include "platform/orbolink/ORBOSurfacePlugin.h"

class KIVOSurfaceDataIO;

class KIVO_EXPORT MultiResSurfaceFactoryPlugin : public ORBO_3_12_0_::DataSet::SurfaceFactory::SurfaceFactoryPlugin {
public:
    using Base = ORBO_3_12_0_::DataSet::SurfaceFactory::SurfaceFactoryPlugin;

    static constexpr long kUnsupportedMode = 146153;  // only reading is offered
    static constexpr long kCannotOpen = 146010;       // the file is no surface
    static constexpr long kDeleteFailed = 146131;

    explicit MultiResSurfaceFactoryPlugin(const NORVAUString& key) : Base(key) {}

    static void registerPlugin(const NORVAUString& key);

    std::shared_ptr<Base> clone() const override;
    std::shared_ptr<ORBO_3_12_0_::DataSet::GeoBandSet> getSurface(long& status, const NORVAUString& name,
                                                                  NORVA::OPEN_MODE mode,
                                                                  const NORVACoordSystem* const coordSystem,
                                                                  NORVAProgress* progress) override;
    std::vector<NORVAUString> getDatasetNames(const NORVAUString& file, long& status) const override;
    long deleteSurfaceFiles(const NORVAUString& file) override;

    // The data-set name of a member: its name, "_" and its first resolution;
    // false when the member's metadata cannot give the resolution.
    static bool datasetName(const KIVOSurfaceDataIO& member, NORVAUString& name, long& status);
};
