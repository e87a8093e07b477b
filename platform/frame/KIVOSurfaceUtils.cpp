#include "platform/frame/KIVOSurfaceUtils.h"

#include <algorithm>
#include <new>

#include "platform/core/NORVAFileTransaction.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/core/NORVASurfacePin.h"
#include "platform/pathkit/PathUtilities.h"

namespace KIVOSurfaceUtils {

namespace {

// Built on first use: formats register from static initialisers of other
// source files, in whatever order the runtime runs them.
std::vector<RegisteredFormat>& registry() {
    static std::vector<RegisteredFormat> formats;
    return formats;
}

NORVAUString extensionOf(const NORVAUString& path) {
    NORVAUString extension;
    PathUtilities::parsePath(path, nullptr, nullptr, nullptr, &extension);
    return extension;
}

// The first registration of an extension, compared without regard to case.
const RegisteredFormat* formatForExtension(const NORVAUString& extension) {
    if (extension.isEmpty()) return nullptr;
    for (const RegisteredFormat& f : registry())
        if (f.extension.equalsIgnoreCase(extension)) return &f;
    return nullptr;
}

// The format of a path and the path the creator is given: an extension-less
// stem becomes stem + ".vns", else stem + ".vcs", whichever exists first.
const RegisteredFormat* resolve(const NORVAUString& path, NORVAUString& resolved) {
    resolved = path;
    const NORVAUString extension = extensionOf(path);
    if (!extension.isEmpty()) return formatForExtension(extension);
    if (path.isEmpty() || path.endsWith("/")) return nullptr;
    for (const char* candidate : {".vns", ".vcs"}) {
        const NORVAUString withExtension = path + candidate;
        if (NORVAFileUtils::isRegularFile(withExtension)) {
            const RegisteredFormat* format = formatForExtension(candidate);
            if (format) {
                resolved = withExtension;
                return format;
            }
        }
    }
    return nullptr;
}

// The kinds whose data-IO reads and writes "<stem>.xml" beside the data file.
bool keepsMetadataBeside(KIVODataIOType type) {
    return type == GRIDDED || type == CUBE || type == MULTI_RESOLUTION || type == TILE_STORE;
}

}  // namespace

void registerDataIO(const NORVAUString& name, const NORVAUString& extension, KIVODataIOType type, Creator creator,
                    bool flag) {
    NORVAUString ext = extension;
    if (!ext.isEmpty() && !ext.startsWith(".")) ext = "." + ext;
    PathUtilities::addKnownExtension(ext);  // a name may hold dots; this ends one
    registry().push_back(RegisteredFormat{name, ext, type, creator, flag});
}

const std::vector<RegisteredFormat>& registeredFormats() { return registry(); }

const RegisteredFormat* findFormat(const NORVAUString& path) {
    NORVAUString resolved;
    return resolve(path, resolved);
}

NORVAType<KIVOSurfaceDataIO> getDataIO(const NORVAUString& path) {
    NORVAUString resolved;
    const RegisteredFormat* format = resolve(path, resolved);
    if (!format || !format->creator) return NORVAType<KIVOSurfaceDataIO>();
    try {
        return format->creator(resolved);
    } catch (...) {
        // A creator that fails to allocate (or throws otherwise) makes no object.
        return NORVAType<KIVOSurfaceDataIO>();
    }
}

KIVODataIOType getSurfaceType(const NORVAUString& path) {
    const RegisteredFormat* format = findFormat(path);
    return format ? format->type : UNKNOWN;
}

namespace {

// Whether an entry lies below the surface's folder, and its path from there.
// A source named without a folder has the working folder as its own.
bool belowBase(const NORVAUString& entry, const NORVAUString& base, NORVAUString& relative) {
    if (base.isEmpty() ? entry.startsWith("/") : !entry.startsWith(base) || entry.length() == base.length())
        return false;
    relative = entry.substring(base.length());
    return true;
}

// Every part of a relative path is a plain name; a folder's trailing "/" aside.
bool plainParts(const NORVAUString& relative) {
    int32_t start = 0;
    const int32_t end = relative.endsWith("/") ? relative.length() - 1 : relative.length();
    while (start <= end) {
        int32_t slash = relative.indexOf(u'/', start);
        if (slash < 0 || slash > end) slash = end;
        if (!PathUtilities::isPlainName(relative.substring(start, slash - start))) return false;
        start = slash + 1;
    }
    return true;
}

// A folder between the surface's folder and the entry is a symbolic link:
// what lies behind it belongs to wherever it points.
bool behindLink(const NORVAUString& base, const NORVAUString& relative) {
    for (int32_t at = relative.indexOf(u'/'); at >= 0 && at + 1 < relative.length();
         at = relative.indexOf(u'/', at + 1))
        if (NORVAFileUtils::isSymbolicLink(base + relative.substring(0, at))) return true;
    return false;
}

// The listing and the folder it is relative to.
bool listSurface(const NORVAUString& path, std::vector<NORVAUString>& files, NORVAUString& base) {
    NORVAType<KIVOSurfaceDataIO> dataIO = getDataIO(path);
    if (!dataIO || dataIO->getStatus() != 0) return false;
    std::vector<NORVAUString> listed;
    if (dataIO->getAssociatedFiles(listed) != 0) return false;
    base = PathUtilities::folderOf(dataIO->getSourceName().isEmpty() ? path : dataIO->getSourceName());
    dataIO.reset();

    std::vector<NORVAUString> out;
    auto addOnce = [&out](const NORVAUString& entry) {
        if (std::find(out.begin(), out.end(), entry) == out.end()) out.push_back(entry);
    };
    for (NORVAUString entry : listed) {
        if (entry.isEmpty()) continue;
        if (!entry.endsWith("/") && NORVAFileUtils::isDirectory(entry)) entry += "/";
        NORVAUString relative;
        if (belowBase(entry, base, relative)) {
            if (!plainParts(relative)) return false;
            for (int32_t at = relative.indexOf(u'/'); at >= 0; at = relative.indexOf(u'/', at + 1))
                addOnce(base + relative.substring(0, at + 1));
        }
        addOnce(entry);
    }
    files.swap(out);
    return true;
}

}  // namespace

// The data-IO's associated files, in its order. Every folder between the
// surface's own folder and a listed file is listed once, with a trailing "/"
// and so without an extension, before the first file inside it; a listed
// folder is given the same form.
bool getSurfaceFiles(const NORVAUString& path, std::vector<NORVAUString>& files) {
    NORVAUString base;
    return listSurface(path, files, base);
}

// The surface's files first, then its folders, deepest first. A file that is
// already gone is not a failure; every entry is tried. A folder that still
// holds what is not the surface's stays, and so does its content.
bool deleteFiles(const NORVAUString& path) {
    std::vector<NORVAUString> entries;
    NORVAUString base;
    if (!listSurface(path, entries, base)) return false;
    bool ok = true;
    std::vector<NORVAUString> folders;
    for (const NORVAUString& entry : entries) {
        NORVAUString relative;
        if (!belowBase(entry, base, relative)) {
            if (NORVAFileUtils::exists(entry)) ok = false;
            continue;
        }
        if (behindLink(base, relative)) continue;
        if (entry.endsWith("/") || NORVAFileUtils::isDirectory(entry)) {
            folders.push_back(entry);
            continue;
        }
        if (!NORVAFileUtils::removeEntry(entry)) ok = false;
    }
    std::stable_sort(folders.begin(), folders.end(),
                     [](const NORVAUString& a, const NORVAUString& b) { return a.length() > b.length(); });
    for (const NORVAUString& folder : folders) {
        std::vector<NORVAUString> left;
        // Only a folder emptied of the surface's files fails by staying.
        if (!NORVAFileUtils::removeEntry(folder) && NORVAFileUtils::listDirectory(folder, left) && left.empty())
            ok = false;
    }
    return ok;
}

// ".kps" and ".kts" are one format, yet two such files of one stem are two
// surfaces sharing one metadata (and points) file: they count as others too.
// The registry takes an extension in any case, so the folder is listed:
// "v.KPS" keeps its metadata in "v.xml" as "v.kps" would.
NORVAUString metadataOwner(const NORVAUString& path) {
    NORVAUString drive, folder, name;
    PathUtilities::parsePath(path, &drive, &folder, &name, nullptr);
    if (name.isEmpty()) return NORVAUString();
    const NORVAUString dir = drive + folder;
    std::vector<NORVAUString> entries;
    if (!NORVAFileUtils::listDirectory(dir.isEmpty() ? NORVAUString(".") : dir, entries)) return NORVAUString();
    const NORVAUString prefix = name + ".";
    for (const NORVAUString& entry : entries) {
        if (!entry.startsWith(prefix)) continue;
        const RegisteredFormat* format = formatForExtension(entry.substring(name.length()));
        if (format == nullptr || !keepsMetadataBeside(format->type)) continue;
        const NORVAUString other = dir + entry;
        if (other == path || !NORVAFileUtils::exists(other) || NORVAFileUtils::isDirectory(other)) continue;
        if (!NORVAFileUtils::sameFile(other, path)) return other;  // one file under two spellings is no other
    }
    return NORVAUString();
}

long checkNameFree(const NORVAUString& path) { return metadataOwner(path).isEmpty() ? 0 : kNameTaken; }

long requireNameFree(NORVAFileTransaction& commit, const NORVAUString& path, const NORVASurfacePin& pin) {
    if (path.isEmpty() || pin.pinnedAFile() || NORVAFileUtils::exists(path)) return 0;
    if (const long taken = checkNameFree(path)) return taken;
    commit.require([path] { return checkNameFree(path); });
    return 0;
}

}  // namespace KIVOSurfaceUtils
