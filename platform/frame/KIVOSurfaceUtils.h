#pragma once
// The framework's format registry: formats register a creator by extension
// at load time, and surfaces are made from a path through it.
#include <functional>
#include <vector>

#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAType.h"
#include "platform/core/NORVAUString.h"
#include "platform/frame/KIVOSurfaceDataIO.h"

namespace KIVOSurfaceUtils {

enum KIVODataIOType : int32_t {
    GRIDDED = 0,  // the framework's own gridded surface (".vns")
    CUBE = 1,
    WEIGHTED_GRID = 2,
    MULTI_RESOLUTION = 3,
    BAG = 4,
    IGA_PFM = 5,
    TILE_STORE = 6,
    UNKNOWN = -1
};

using Creator = NORVAType<KIVOSurfaceDataIO> (*)(const NORVAUString& path);

struct RegisteredFormat {
    NORVAUString name;
    NORVAUString extension;  // with its dot, e.g. ".vcs"
    KIVODataIOType type;
    Creator creator;
    bool flag;
};

KIVO_EXPORT void registerDataIO(const NORVAUString& name, const NORVAUString& extension, KIVODataIOType type, Creator creator,
                    bool flag);
// Registrations in the order they were made.
KIVO_EXPORT const std::vector<RegisteredFormat>& registeredFormats();
// The format registered for a path's extension (case-insensitive), or null.
// An extension-less path tries ".vns", then ".vcs".
KIVO_EXPORT const RegisteredFormat* findFormat(const NORVAUString& path);

// An empty handle when no format matches or the creator makes no object.
KIVO_EXPORT NORVAType<KIVOSurfaceDataIO> getDataIO(const NORVAUString& path);
KIVO_EXPORT KIVODataIOType getSurfaceType(const NORVAUString& path);
// The files and folders that make up the surface; false when it cannot be
// opened, or when a name below its folder holds an empty, "." or ".." part
// (it would lead elsewhere: the surface is damaged).
KIVO_EXPORT bool getSurfaceFiles(const NORVAUString& path, std::vector<NORVAUString>& files);
// Removes what belongs to the surface: its files, symbolic links among them
// as links, then its folders when nothing else is left in them. Files
// reached through a symbolic link below the surface's folder, and what lies
// outside that folder, are left alone. False when the listing fails or a
// file of the surface stays.
KIVO_EXPORT bool deleteFiles(const NORVAUString& path);

}  // namespace KIVOSurfaceUtils
