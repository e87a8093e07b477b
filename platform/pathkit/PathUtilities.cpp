#include "platform/pathkit/PathUtilities.h"

#include <vector>

namespace PathUtilities {

namespace {

// Built on first use: extensions are added from static initialisers of
// other source files, in whatever order the runtime runs them.
std::vector<NORVAUString>& knownExtensions() {
    static std::vector<NORVAUString> extensions;
    return extensions;
}

}  // namespace

void addKnownExtension(const NORVAUString& extension) {
    if (extension.length() < 2 || !extension.startsWith(".") || isKnownExtension(extension)) return;
    knownExtensions().push_back(extension);
}

bool isKnownExtension(const NORVAUString& extension) {
    for (const NORVAUString& known : knownExtensions())
        if (known.equalsIgnoreCase(extension)) return true;
    return false;
}

void parsePath(const NORVAUString& path, NORVAUString* drive, NORVAUString* folder, NORVAUString* name,
               NORVAUString* extension) {
    const int32_t slash = path.lastIndexOf(u'/');
    const int32_t nameStart = slash + 1;
    const NORVAUString base = path.substring(nameStart);
    int32_t dot = base.lastIndexOf(u'.');
    // No dot, only a leading one, or a dot inside the name.
    if (dot <= 0 || !isKnownExtension(base.substring(dot))) dot = base.length();
    if (drive) *drive = NORVAUString();
    if (folder) *folder = path.substring(0, nameStart);
    if (name) *name = base.substring(0, dot);
    if (extension) *extension = base.substring(dot);
}

NORVAUString folderOf(const NORVAUString& path) { return path.substring(0, path.lastIndexOf(u'/') + 1); }

NORVAUString appendPath(const NORVAUString& first, const NORVAUString& second) {
    if (first.isEmpty()) return second;
    if (second.isEmpty()) return first;
    int32_t end = first.length();
    while (end > 0 && first.at(end - 1) == u'/') --end;
    int32_t start = 0;
    while (start < second.length() && second.at(start) == u'/') ++start;
    // A first part of only slashes is the root.
    return first.substring(0, end) + "/" + second.substring(start);
}

bool isPlainName(const NORVAUString& name) {
    if (name.isEmpty() || name == NORVAUString(".") || name == NORVAUString("..")) return false;
    return name.indexOf(u'/') < 0 && name.indexOf(u'\0') < 0;
}

}  // namespace PathUtilities
