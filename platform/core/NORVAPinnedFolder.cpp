#include "platform/core/NORVAPinnedFolder.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/core/NORVACommitJournal.h"
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
    m_whole = NORVAFileUtils::forEachEntry(fd, [&](const NORVAFileUtils::DirectoryEntry& e) {
        m_entries.emplace(e.name, e.inode);
        if (e.name[0] == '.') m_dotNames.emplace_back(e.name);
        if (e.type == DT_DIR || e.type == DT_UNKNOWN) m_hidden = true;
    });
    ::close(fd);
    if (!m_whole) m_hidden = true;
}

NORVAPinnedFolder::NORVAPinnedFolder(const NORVAPinnedFolder& before, const NORVACommitJournal& committed)
    : NORVAPinnedFolder(before) {
    // The journal names files by absolute paths.
    const std::string absolute = NORVAFileUtils::absolutePath(m_folder);
    const std::string inside = absolute + "/";
    auto nameIn = [&inside](const std::string& path) {
        const bool in =
            path.compare(0, inside.size(), inside) == 0 && path.find('/', inside.size()) == std::string::npos;
        return in ? path.substr(inside.size()) : std::string();
    };
    for (const NORVACommitJournal::Entry& e : committed.entries()) {
        if (e.from == absolute) m_entries.clear();  // the folder itself went
        const std::string from = nameIn(e.from);
        if (!from.empty()) m_entries.erase(from);
        const std::string to = e.kind == NORVACommitJournal::MOVE ? nameIn(e.to) : std::string();
        if (!to.empty()) m_entries[to] = 0;
    }
}

NORVAPinnedFolder::Verdict NORVAPinnedFolder::judge(const std::string& name, const struct stat* now, dev_t device,
                                                    const struct timespec& changedSince) const {
    if (!m_whole) return CHANGED;
    const auto found = m_entries.find(name);
    if (now == nullptr) return found == m_entries.end() ? ABSENT : CHANGED;
    if (found == m_entries.end()) return CHANGED;
    const bool same = now->st_dev == device && now->st_ino == found->second && before(now->st_ctim, changedSince);
    return same ? SAME : CHANGED;
}
