// The schema folder of BAG metadata: "BAG_HOME" overrides; an installed
// library finds its own copy by its location, so no variable is needed; the
// library (or a program holding its objects) in its build folder uses the
// source tree's copy.
#include "formats/bag/BagSchemaFolder.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>

#ifndef KIVO_BAG_SCHEMA_FROM_LIBRARY
#define KIVO_BAG_SCHEMA_FROM_LIBRARY "../share/kivo/bag"
#endif
#ifndef KIVO_BAG_SCHEMA_SOURCE
#define KIVO_BAG_SCHEMA_SOURCE ""
#endif
#ifndef KIVO_BUILD_FOLDER
#define KIVO_BUILD_FOLDER ""
#endif

namespace {

// The folder of the file this code was loaded from (the shared library, or
// a program the objects were linked into).
std::string loadedFolder() {
    Dl_info info;
    if (::dladdr(reinterpret_cast<void*>(&bagSchemaFolder), &info) == 0 || !info.dli_fname) return std::string();
    const std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool sameFolder(const std::string& a, const char* b) {
    struct stat sa, sb;
    return !a.empty() && *b && ::stat(a.c_str(), &sa) == 0 && ::stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool holdsSchema(const std::string& folder, const char* schemaFile) {
    struct stat st;
    return !folder.empty() && ::stat((folder + "/" + schemaFile).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string bagSchemaFolder(const char* schemaFile) {
    if (const char* home = std::getenv("BAG_HOME")) return home;
    const std::string loaded = loadedFolder();
    if (sameFolder(loaded, KIVO_BUILD_FOLDER))
        return holdsSchema(KIVO_BAG_SCHEMA_SOURCE, schemaFile) ? KIVO_BAG_SCHEMA_SOURCE : std::string();
    const std::string installed = loaded.empty() ? std::string() : loaded + "/" + KIVO_BAG_SCHEMA_FROM_LIBRARY;
    return holdsSchema(installed, schemaFile) ? installed : std::string();
}
