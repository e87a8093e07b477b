#include "core/KIVOSurfaceOpen.h"

#include <cfloat>
#include <cmath>
#include <new>
#include <set>
#include <utility>
#include <vector>

#include "core/SurfaceAttributeNames.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOSurfaceUtils.h"
#include "platform/orbolink/KIVOGeoRaster.h"
#include "platform/pathkit/PathUtilities.h"

namespace KIVOSurfaceUtils {

NORVAType<KIVOSurface> open(const NORVAUString& path, long& status) {
    status = 0;
    NORVAType<KIVOSurfaceDataIO> dataIO = getDataIO(path);
    if (!dataIO) {
        status = kNoDataIO;
        return NORVAType<KIVOSurface>();
    }
    if (dataIO->getStatus() != 0) {
        status = dataIO->getStatus();
        return NORVAType<KIVOSurface>();
    }
    NORVAType<KIVOSurface> surface(new (std::nothrow) KIVOSurface(std::move(dataIO)));
    if (!surface) {
        status = kNoDataIO;
        return surface;
    }
    if (surface->getStatus() != 0) {
        status = surface->getStatus();
        surface.reset();
    }
    return surface;
}

namespace {

struct SplitPath {
    NORVAUString drive, folder, name, extension;
    explicit SplitPath(const NORVAUString& path) { PathUtilities::parsePath(path, &drive, &folder, &name, &extension); }
    NORVAUString base() const { return drive + folder; }
};

// A component belongs to the surface when it is its stem or starts with the
// stem followed by "_" or "." (grid files, side files, the grid folders).
NORVAUString renameComponent(const NORVAUString& component, const NORVAUString& from, const NORVAUString& to) {
    if (from.isEmpty() || !component.startsWith(from)) return component;
    if (component.length() == from.length()) return to;
    char16_t next = component.at(from.length());
    if (next != u'_' && next != u'.') return component;
    return to + component.substring(from.length());
}

// Every part of the path that carries the source's name takes the
// target's; the leaf only when `leafCarriesName`.
NORVAUString renameRelative(const NORVAUString& relative, const NORVAUString& from, const NORVAUString& to,
                            bool leafCarriesName) {
    NORVAUString out;
    int32_t start = 0;
    while (start <= relative.length()) {
        int32_t slash = relative.indexOf(u'/', start);
        int32_t end = slash < 0 ? relative.length() : slash;
        const NORVAUString component = relative.substring(start, end - start);
        out += slash < 0 && !leafCarriesName ? component : renameComponent(component, from, to);
        if (slash < 0) break;
        out += "/";
        start = slash + 1;
    }
    return out;
}

// The folders whose files carry the surface's name: its own, and each one
// named after a listed file (a CUBE surface's grid folder, a compound's
// member folder and its members' grid folders). Anything else keeps its
// name whatever the surface is called: the grid-set file "vcg.idx" and the
// grids "<row>x<column>.vcg" of a "_V2" folder, even of a surface called
// "vcg" or "0x0".
std::set<NORVAUString> nameCarryingFolders(const std::vector<NORVAUString>& files, const NORVAUString& base) {
    std::set<NORVAUString> folders{base};
    for (const NORVAUString& entry : files) {
        SplitPath parts(entry);
        if (!parts.extension.isEmpty()) folders.insert(parts.base() + parts.name + "/");
    }
    return folders;
}

// The entry's path below the source's folder. A source named without a
// folder has the working folder as its own, and then every relative entry
// lies below it as it stands, its folder included.
NORVAUString relativeTo(const NORVAUString& entry, const NORVAUString& base) {
    if (base.isEmpty() && !entry.startsWith("/")) return entry;
    if (!base.isEmpty() && entry.startsWith(base)) return entry.substring(base.length());
    SplitPath parts(entry);
    return parts.name + parts.extension;
}

// Folders are listed without an extension; a listed folder that does not
// exist yet is still created at the target.
bool isFolderEntry(const NORVAUString& entry) {
    if (NORVAFileUtils::isDirectory(entry)) return true;
    NORVAUString extension;
    PathUtilities::parsePath(entry, nullptr, nullptr, nullptr, &extension);
    return extension.isEmpty() && !NORVAFileUtils::isRegularFile(entry);
}

// The copy's folders are its own: one already there as a symbolic link
// would put the copy's files wherever it points.
bool copyEntry(const NORVAUString& entry, const NORVAUString& target) {
    if (isFolderEntry(entry)) return !NORVAFileUtils::isSymbolicLink(target) && NORVAFileUtils::makeDirectories(target);
    SplitPath parts(target);
    if (!parts.base().isEmpty() && !NORVAFileUtils::makeDirectories(parts.base())) return false;
    return NORVAFileUtils::copyFile(entry, target);
}

// What stands at the target's name and is listed as a surface there (what a
// surface opened under that name would take for its own, a grid set an
// earlier surface of the name left included), whether it opens or not.
std::set<NORVAUString> targetsOwnFiles(const NORVAUString& dataFile) {
    std::set<NORVAUString> own;
    NORVAType<KIVOSurfaceDataIO> probe = getDataIO(dataFile);
    std::vector<NORVAUString> listed;
    if (probe) probe->getAssociatedFiles(listed);
    for (const NORVAUString& entry : listed)
        if (NORVAFileUtils::isPlainFile(entry)) own.insert(entry);
    return own;
}

// The copy replaces no file that is not the target's own (a user's, another
// surface's), and leaves none of the target's that it does not replace: the
// copy would read it as its own.
bool copyIsWhole(const std::vector<std::pair<NORVAUString, NORVAUString>>& copies, const NORVAUString& dataFile) {
    std::set<NORVAUString> own = targetsOwnFiles(dataFile);
    for (const auto& copy : copies) {
        if (isFolderEntry(copy.first)) continue;
        if (own.erase(copy.second) == 0 && NORVAFileUtils::isOccupied(copy.second)) return false;
    }
    return own.empty();
}

}  // namespace

long copySurface(const NORVAUString& sourcePath, const NORVAUString& targetPath) {
    std::vector<NORVAUString> files;
    if (!getSurfaceFiles(sourcePath, files)) return kNoDataIO;
    SplitPath source(sourcePath), target(targetPath);
    // The copy's files take the target's name and keep their extensions: a
    // name whose ".xml" is another surface's is refused before any is copied.
    const RegisteredFormat* format = findFormat(sourcePath);
    const NORVAUString dataFile = target.base() + target.name + (format ? format->extension : source.extension);
    if (format)
        if (const long taken = checkNameFree(dataFile)) return taken;
    const std::set<NORVAUString> carrying = nameCarryingFolders(files, source.base());
    std::vector<std::pair<NORVAUString, NORVAUString>> copies;
    for (const NORVAUString& entry : files) {
        const bool carries = carrying.count(PathUtilities::folderOf(entry)) != 0;
        const NORVAUString relative = relativeTo(entry, source.base());
        copies.emplace_back(entry, target.base() + renameRelative(relative, source.name, target.name, carries));
    }
    if (!copyIsWhole(copies, dataFile)) return kCopyFailed;
    for (const auto& copy : copies)
        if (!copyEntry(copy.first, copy.second)) return kCopyFailed;
    long status = 0;
    NORVAType<KIVOSurface> copy = open(targetPath, status);
    if (status != 0) return status;
    KIVOSurfaceMetaData* metadata = copy->getMetaData();
    if (!metadata) return 0;
    KIVOSourceRecord record;
    record.items.push_back(KIVOSourceItem{NORVAUString("KIVO"), sourcePath, 0.0});
    record.firstTime = DBL_MAX;
    record.lastTime = -DBL_MAX;
    metadata->setSourceRecord(record);
    return metadata->store();
}

long delete3DTerrainFiles(const NORVAUString& path) {
    using namespace SurfaceAttributeNames;
    const NORVAUString layers[] = {kDepth,   kDensity,     kStdDev,
                                   kMean,    kShoal,       kDeep,
                                   kUncertainty, kHypothesisStrength, kHypothesisCount,
                                   kUserNominated};
    SplitPath parts(path);
    NORVAUString stem = parts.base() + parts.name;
    for (const NORVAUString& layer : layers) {
        NORVAUString name = stem + "_" + layer;
        NORVAFileUtils::removeFile(name + ".bt");
        NORVAFileUtils::removeFile(name + ".prj");
    }
    return 0;
}

bool resolveSurfaceExtension(NORVAUString& path) {
    static const char* const extensions[] = {".zrch", ".vns", ".vcs", ".kms"};
    for (const char* extension : extensions) {
        NORVAUString candidate = path + extension;
        if (NORVAFileUtils::exists(candidate)) {
            path = candidate;
            return true;
        }
    }
    return false;
}

NORVAType<KIVOSurface> toKIVOSurface(const ORBO_3_12_0_::DataSet::GeoBandSet& bandSet) {
    const KIVOGeoRaster* raster = dynamic_cast<const KIVOGeoRaster*>(&bandSet);
    if (!raster) return NORVAType<KIVOSurface>();
    NORVAType<KIVOSurface> surface(new (std::nothrow) KIVOSurface(raster->shareDataIO()));
    if (surface && surface->getStatus() != 0) surface.reset();
    return surface;
}

void updateStDev(unsigned long n, double a, double b, double& stdDev) {
    double d = a - b;
    if (n < 2) {
        stdDev = 0.0;
    } else if (n == 2) {
        stdDev = std::sqrt(d * d / 2.0);
    } else {
        double nd = static_cast<double>(n);
        stdDev = std::sqrt(((nd - 2.0) / (nd - 1.0)) * stdDev * stdDev + d * d / nd);
    }
}

}  // namespace KIVOSurfaceUtils
