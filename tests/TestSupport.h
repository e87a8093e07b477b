#pragma once
// Small helpers shared by the tests: a scratch folder removed at the end and
// whole-file reads and writes.
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "TempFolder.h"

namespace testsupport {

// The shared scratch folder with paths as narrow (UTF-8) strings.
class ScratchDir {
public:
    std::string path() const { return m_folder.path().toUTF8(); }
    std::string file(const std::string& name) const { return m_folder.file(name).toUTF8(); }

private:
    TempFolder m_folder;
};

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool fileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

}  // namespace testsupport
