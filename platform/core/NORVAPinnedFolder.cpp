#include "platform/core/NORVAPinnedFolder.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/core/NORVAFileUtils.h"

namespace {

bool before(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

}  // namespace

NORVAPinnedFolder::NORVAPinnedFolder(const std::string& folder) : m_folder(folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        m_whole = errno == ENOENT;  // no folder: nothing in it
        return;
    }
    struct stat st;
    m_whole = ::fstat(fd, &st) == 0 && NORVAFileUtils::forEachEntry(fd, [&](const NORVAFileUtils::DirectoryEntry& e) {
                  m_entries.emplace(e.name, e.inode);
              });
    m_device = st.st_dev;
    ::close(fd);
}

NORVAPinnedFolder::Verdict NORVAPinnedFolder::judge(const std::string& name, const struct stat* now,
                                                    const struct timespec& changedSince) const {
    if (!m_whole) return CHANGED;
    const auto found = m_entries.find(name);
    if (now == nullptr) return found == m_entries.end() ? ABSENT : CHANGED;
    if (found == m_entries.end()) return CHANGED;
    const bool same = now->st_dev == m_device && now->st_ino == found->second && before(now->st_ctim, changedSince);
    return same ? SAME : CHANGED;
}
