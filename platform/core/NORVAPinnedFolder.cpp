#include "platform/core/NORVAPinnedFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace {

bool before(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

}  // namespace

NORVAPinnedFolder::NORVAPinnedFolder(const std::string& folder) : m_folder(folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st;
    DIR* dir = ::fstat(fd, &st) == 0 ? ::fdopendir(fd) : nullptr;
    if (dir == nullptr) {
        ::close(fd);
        return;
    }
    m_device = st.st_dev;
    while (const struct dirent* e = ::readdir(dir))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) m_entries.emplace(e->d_name, e->d_ino);
    ::closedir(dir);
}

NORVAPinnedFolder::Verdict NORVAPinnedFolder::judge(const std::string& name, const struct stat* now,
                                                    const struct timespec& changedSince) const {
    const auto found = m_entries.find(name);
    if (now == nullptr) return found == m_entries.end() ? ABSENT : CHANGED;
    if (found == m_entries.end()) return CHANGED;
    const bool same = now->st_dev == m_device && now->st_ino == found->second && before(now->st_ctim, changedSince);
    return same ? SAME : CHANGED;
}
