#pragma once
// Makes a folder the process's working folder for a test's lifetime, so
// that bare and relative names resolve inside it; the previous working
// folder is restored when the object dies.
#include <unistd.h>

#include <string>
#include <vector>

class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& folder) {
        std::vector<char> buf(4096);
        if (::getcwd(buf.data(), buf.size()) != nullptr) m_saved = buf.data();
        m_entered = ::chdir(folder.c_str()) == 0;
    }
    ~WorkingFolder() {
        if (!m_saved.empty()) (void)::chdir(m_saved.c_str());
    }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;
    bool entered() const { return m_entered; }

private:
    std::string m_saved;
    bool m_entered = false;
};
