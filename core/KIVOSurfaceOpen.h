#pragma once
// The library's own free functions of KIVOSurfaceUtils: opening a surface
// by name, copying it, and small helpers around surfaces.
#include "core/KIVOSurface.h"

namespace ORBO_3_12_0_ {
namespace DataSet {
class GeoBandSet;
}
}  // namespace ORBO_3_12_0_

namespace KIVOSurfaceUtils {

constexpr long kNoDataIO = 146009;     // no format for the path, or the creator made none
constexpr long kCopyFailed = 146071;   // a file could not be copied or a folder created

NORVAType<KIVOSurface> open(const NORVAUString& path, long& status);
long copySurface(const NORVAUString& sourcePath, const NORVAUString& targetPath);
long delete3DTerrainFiles(const NORVAUString& path);
bool resolveSurfaceExtension(NORVAUString& path);
NORVAType<KIVOSurface> toKIVOSurface(const ORBO_3_12_0_::DataSet::GeoBandSet& bandSet);
// Running standard deviation after the n-th value a, with b the previous mean.
void updateStDev(unsigned long n, double a, double b, double& stdDev);

}  // namespace KIVOSurfaceUtils
