#pragma once
// Preparing the product of a combine: the union of the sources' attribute
// layouts and the empty product surface (gridded, or a tile-store surface
// when the output path names one) with its XML metadata, source record and
// display settings. The node-by-node merge is driven by the caller through a
// SurfaceCombinePolicy.
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "core/KIVOSurface.h"
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAType.h"
#include "platform/core/NORVAUString.h"
#include "platform/frame/KIVODescriptor.h"
#include "platform/orbolink/ORBOMetaBlock.h"

class NORVACoordSystem;

namespace KIVODazavazEdora {

class KIVO_EXPORT KIVOCreateOptions {
public:
    KIVOCreateOptions() = default;
    KIVOCreateOptions(const KIVOCreateOptions&) = default;
    KIVOCreateOptions& operator=(const KIVOCreateOptions&) = default;
    virtual ~KIVOCreateOptions() = default;

    NORVAUString outputPath;  // its extension selects the product's kind
    NORVAUString text1, text2, text3;
    NORVAUString comments;
    int32_t tag = 0;  // carried for the caller
    std::vector<ORBO_3_12_0_::DataSet::MetaBlock> metaBlocks;  // carried for the caller
};

namespace Combine {

using AttributeList = std::list<KIVODescriptor::AttribEntry>;

// "Unable to construct the KIVO surface object." for a path that gives no
// data-IO object at all.
constexpr long kNoDataIO = 146009;
// Options without a coordinate system.
constexpr long kNoCoordSystem = -1;
// The output would overwrite one of the sources: the same file, however the
// two paths are spelled, or the metadata file a source keeps beside it.
constexpr long kOutputIsSource = 146065;

class KIVO_EXPORT Options : public KIVOCreateOptions {
public:
    Options() = default;
    Options(const Options& o);
    // Keeps this coordinate system when the other options have none.
    Options& operator=(const Options& o);
    ~Options() override;

    std::vector<NORVAUString> sources;
    std::unique_ptr<NORVACoordSystem> coordSystem;
    double resolution = 0.0;
    double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0;
};

// Merges every source's attributes into the list (an attribute is its name
// and type together); returns the list's size. Sources that cannot be opened
// are reported and left out.
KIVO_EXPORT unsigned getCommonAttributes(const std::vector<NORVAUString>& paths, AttributeList& attributes);
// The union of the sources' attributes without the first "Weight", with
// "Contributor" (a string-table index).
KIVO_EXPORT AttributeList productAttributes(const std::vector<NORVAUString>& paths);
// kOutputIsSource when making the product at the output path would write
// over one of the sources; KIVOSurfaceUtils::kNameTaken when the metadata
// file it would write is another surface's (one of another kind under the
// same name); else 0. Nothing is touched.
KIVO_EXPORT long checkOutput(const Options& options);
KIVO_EXPORT NORVAType<KIVOSurface> createOutputSurface(const Options& options, long& status);
// The product with exactly the given attributes; an output that checkOutput
// refuses is refused with its status.
KIVO_EXPORT NORVAType<KIVOSurface> createOutputSurfaceFromAttributeSubset(const Options& options, const AttributeList& attributes,
                                                              long& status);

}  // namespace Combine
}  // namespace KIVODazavazEdora
