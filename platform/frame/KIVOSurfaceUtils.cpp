#include "platform/frame/KIVOSurfaceUtils.h"

#include <algorithm>
#include <new>

#include "platform/core/NORVAFileUtils.h"
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

NORVAUString folderOf(const NORVAUString& path) {
    NORVAUString folder;
    PathUtilities::parsePath(path, nullptr, &folder, nullptr, nullptr);
    return folder;
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

// The data-IO's associated files, in its order. Every folder between the
// surface's own folder and a listed file is listed once, with a trailing "/"
// and so without an extension, before the first file inside it; a listed
// folder is given the same form.
bool getSurfaceFiles(const NORVAUString& path, std::vector<NORVAUString>& files) {
    NORVAType<KIVOSurfaceDataIO> dataIO = getDataIO(path);
    if (!dataIO || dataIO->getStatus() != 0) return false;
    std::vector<NORVAUString> listed;
    if (dataIO->getAssociatedFiles(listed) != 0) return false;
    const NORVAUString base = folderOf(dataIO->getSourceName().isEmpty() ? path : dataIO->getSourceName());
    dataIO.reset();

    std::vector<NORVAUString> out;
    auto addOnce = [&out](const NORVAUString& entry) {
        if (std::find(out.begin(), out.end(), entry) == out.end()) out.push_back(entry);
    };
    for (NORVAUString entry : listed) {
        if (entry.isEmpty()) continue;
        if (!entry.endsWith("/") && NORVAFileUtils::isDirectory(entry)) entry += "/";
        const NORVAUString folder = entry.endsWith("/") ? entry : folderOf(entry);
        const bool related = !base.isEmpty() || !folder.startsWith("/");
        if (related && folder.length() > base.length() && folder.startsWith(base)) {
            for (int32_t at = folder.indexOf(u'/', base.length()); at >= 0; at = folder.indexOf(u'/', at + 1)) {
                if (at + 1 > base.length()) addOnce(folder.substring(0, at + 1));
            }
        }
        addOnce(entry);
    }
    files.swap(out);
    return true;
}

// The surface's files first, then its folders, deepest first. A file that is
// already gone is not a failure; every entry is tried.
bool deleteFiles(const NORVAUString& path) {
    std::vector<NORVAUString> entries;
    if (!getSurfaceFiles(path, entries)) return false;
    bool ok = true;
    std::vector<NORVAUString> folders;
    for (const NORVAUString& entry : entries) {
        if (entry.endsWith("/")) {
            folders.push_back(entry);
            continue;
        }
        if (!NORVAFileUtils::exists(entry)) continue;
        if (NORVAFileUtils::isDirectory(entry)) {
            folders.push_back(entry);
            continue;
        }
        if (!NORVAFileUtils::removeFile(entry)) ok = false;
    }
    std::stable_sort(folders.begin(), folders.end(),
                     [](const NORVAUString& a, const NORVAUString& b) { return a.length() > b.length(); });
    for (const NORVAUString& folder : folders) {
        if (!NORVAFileUtils::exists(folder)) continue;
        if (!NORVAFileUtils::removeDirectory(folder, true)) ok = false;
    }
    return ok;
}

}  // namespace KIVOSurfaceUtils
