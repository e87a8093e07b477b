#pragma once
// A fresh folder under the system's temporary folder, removed with its
// contents when the object dies. Its name is not ASCII on purpose.
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/core/NORVAFileUtils.h"
#include "platform/core/NORVAUString.h"

class TempFolder {
public:
    TempFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/kivo-\xc3\xa9t\xc3\xa9-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (::mkdtemp(buf.data())) m_path = NORVAUString(std::string(buf.data()));
    }
    ~TempFolder() {
        if (!m_path.isEmpty()) NORVAFileUtils::removeDirectory(m_path, true);
    }
    const NORVAUString& path() const { return m_path; }
    NORVAUString file(const std::string& name) const { return m_path + "/" + NORVAUString(name); }

private:
    NORVAUString m_path;
};
