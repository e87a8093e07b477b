#pragma once
// Display defaults per attribute (a colour map and a sun-shading block) in
// the XML metadata of a surface. Only metadata kept as XML is edited, in
// memory; storing it is the caller's business.
#include "platform/core/KIVOExport.h"
#include <list>
#include <set>

#include "platform/core/NORVAUString.h"
#include "platform/frame/KIVODescriptor.h"
#include "platform/frame/KIVOSurfaceMetaData.h"

namespace KIVOSurfaceUtils {

// Adds the blocks of the listed attributes that lack them; existing elements
// and values are never overwritten, so a user's changes survive another call.
// Skipped: "Weight" and the true-position companions, the names in `skip`,
// fixed-length text attributes, and names that make no XML element name
// even with their spaces replaced by "_".
KIVO_EXPORT void addDisplaySettings(KIVOSurfaceMetaData& metaData, const std::list<KIVODescriptor::AttribEntry>& attributes,
                        const std::set<NORVAUString>& skip, const NORVAUString& colourMap);

// Removes the block whose element is named `name` exactly (spaces are not
// replaced here).
KIVO_EXPORT void removeDisplaySettings(KIVOSurfaceMetaData& metaData, const NORVAUString& name);

// The attributes that never get a block.
KIVO_EXPORT const std::set<NORVAUString>& displayExcludedAttributes();

}  // namespace KIVOSurfaceUtils
