#pragma once
// The framework's format registry: formats register a creator by extension
// at load time, and surfaces are made from a path through it.
#include <functional>
#include <vector>

#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAType.h"
#include "platform/core/NORVAUString.h"
#include "platform/frame/KIVOSurfaceDataIO.h"

class NORVAFileTransaction;
class NORVASurfacePin;

namespace KIVOSurfaceUtils {

// A new surface would write its metadata over another surface's: gridded,
// CUBE, compound and tile-store surfaces all keep theirs in "<stem>.xml"
// beside their data file, so two of them under one name in one folder share
// it. The new surface is neither created nor stored, and the other one stays
// as it was.
constexpr long kNameTaken = 146026;
constexpr const char* kNameTakenMessage = "Another surface of that name keeps its metadata in the same file.";

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

// The data file of another surface whose metadata is the "<stem>.xml" that a
// surface at `path` would write: a file with the same stem and another
// registered extension, in any case, of a kind that keeps its metadata there
// (BAG, PFM, IGA and weighted grids keep none). Empty when there is none.
KIVO_EXPORT NORVAUString metadataOwner(const NORVAUString& path);
// kNameTaken when metadataOwner finds one, else 0.
KIVO_EXPORT long checkNameFree(const NORVAUString& path);
// For the commit of a store guarded by `pin`: when nothing is at `path` yet
// (a new surface), checkNameFree now, and again while the commit holds the
// folder, so that a surface of another kind made there meanwhile refuses it
// too. 0 otherwise; a surface the pin saw on disk costs no look at all.
KIVO_EXPORT long requireNameFree(NORVAFileTransaction& commit, const NORVAUString& path,
                                 const NORVASurfacePin& pin);

}  // namespace KIVOSurfaceUtils
