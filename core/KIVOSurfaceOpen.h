#pragma once
// The library's own free functions of KIVOSurfaceUtils: opening a surface
// by name, copying it, and small helpers around surfaces.
#include "platform/core/KIVOExport.h"
#include "core/KIVOSurface.h"

namespace ORBO_3_12_0_ {
namespace DataSet {
class GeoBandSet;
}
}  // namespace ORBO_3_12_0_

namespace KIVOSurfaceUtils {

constexpr long kNoDataIO = 146009;     // no format for the path, or the creator made none
constexpr long kCopyFailed = 146071;   // a file could not be copied or a folder created

KIVO_EXPORT NORVAType<KIVOSurface> open(const NORVAUString& path, long& status);
// kNameTaken, before anything is copied, when the target's name is that of
// a surface of another kind, whose ".xml" the copy would write over;
// kCopyFailed, before anything is copied, when a file the copy would write
// is not the target's own (a user's, another surface's), or when the target
// holds a file of its own that the copy would not replace (a grid, a grid
// set an earlier surface of that name left): the copy would read it as its
// own. Files named after the surface take the target's name; fixed names
// ("vcg.idx" and the grids of a grid set) stay as they are.
KIVO_EXPORT long copySurface(const NORVAUString& sourcePath, const NORVAUString& targetPath);
KIVO_EXPORT long delete3DTerrainFiles(const NORVAUString& path);
KIVO_EXPORT bool resolveSurfaceExtension(NORVAUString& path);
KIVO_EXPORT NORVAType<KIVOSurface> toKIVOSurface(const ORBO_3_12_0_::DataSet::GeoBandSet& bandSet);
// Running standard deviation after the n-th value a, with b the previous mean.
KIVO_EXPORT void updateStDev(unsigned long n, double a, double b, double& stdDev);

}  // namespace KIVOSurfaceUtils
