#include "platform/pathkit/PathUtilities.h"

namespace PathUtilities {

void parsePath(const NORVAUString& path, NORVAUString* drive, NORVAUString* folder, NORVAUString* name,
               NORVAUString* extension) {
    const int32_t slash = path.lastIndexOf(u'/');
    const int32_t nameStart = slash + 1;
    const NORVAUString base = path.substring(nameStart);
    int32_t dot = base.lastIndexOf(u'.');
    if (dot <= 0) dot = base.length();  // no dot, or only a leading one
    if (drive) *drive = NORVAUString();
    if (folder) *folder = path.substring(0, nameStart);
    if (name) *name = base.substring(0, dot);
    if (extension) *extension = base.substring(dot);
}

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

}  // namespace PathUtilities
