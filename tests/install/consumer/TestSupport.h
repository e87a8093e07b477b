#pragma once
// Stands in for the tests' support header when the consumer borrows their BAG
// fixture writer (BagTestSupport.h): the real one reaches into the library's
// internals, which an installed library does not offer. Found first because
// the consumer's own folder comes first on the include path.
#include <fstream>
#include <string>

namespace testsupport {

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

}  // namespace testsupport
