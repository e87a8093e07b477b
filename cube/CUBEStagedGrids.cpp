#include "cube/CUBEStagedGrids.h"

#include <errno.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "cube/CUBEUtils.h"
#include "platform/core/NORVAAtomicFile.h"
#include "platform/core/NORVAFileTransaction.h"
#include "platform/core/NORVALockedFiles.h"
#include "platform/pathkit/PathUtilities.h"

namespace {

NORVAUString namePart(const NORVAUString& path) { return path.substring(path.lastIndexOf(u'/') + 1); }

// The staged file as its descriptor reaches it, whatever name it has now.
std::string throughDescriptor(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

bool isFileOf(const std::string& name, const struct stat& own) {
    struct stat st;
    return ::lstat(name.c_str(), &st) == 0 && st.st_dev == own.st_dev && st.st_ino == own.st_ino;
}

std::string leafOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Another object's rename of the surface may have carried the staged file
// into the renamed folder: it goes from wherever it is now, and only while
// that name is still this very file under its own name (a commit that moved
// it over its grid file made it a grid file, which stays). The name it went
// from; empty when none.
std::string removeStaged(const std::string& recorded, int fd) {
    struct stat own;
    if (fd < 0 || ::fstat(fd, &own) != 0) return ::unlink(recorded.c_str()) == 0 ? recorded : std::string();
    char now[PATH_MAX];
    const ssize_t n = ::readlink(throughDescriptor(fd).c_str(), now, sizeof now - 1);
    const std::string current = n > 0 ? std::string(now, static_cast<size_t>(n)) : std::string();
    for (const std::string& name : {current, recorded})
        if (leafOf(name) == leafOf(recorded) && isFileOf(name, own))
            return ::unlink(name.c_str()) == 0 ? name : std::string();
    return std::string();
}

// Only an empty folder goes, and only while no header stands beside it: a
// surface made under the name again keeps its folder.
void removeFolderOfGoneSurface(const std::string& removed) {
    const size_t slash = removed.rfind('/');
    if (slash == std::string::npos || slash == 0) return;
    const std::string folder = removed.substr(0, slash);
    struct stat st;
    if (::lstat((folder + ".vcs").c_str(), &st) == 0 || errno != ENOENT) return;
    (void)::rmdir(folder.c_str());
}

}  // namespace

CUBEStagedGrids& CUBEStagedGrids::operator=(CUBEStagedGrids&& other) noexcept {
    if (this == &other) return *this;
    clear();
    m_files = std::move(other.m_files);
    m_tidyFolders = other.m_tidyFolders;
    other.m_files.clear();
    return *this;
}

bool CUBEStagedGrids::keep(const CUBEGridIdx& key, NORVAAtomicFile& file) {
    Staged staged;
    staged.lock = file.keep(staged.path);
    if (staged.lock < 0) return false;
    drop(key);
    m_files.emplace(key, staged);
    return true;
}

NORVAUString CUBEStagedGrids::fileOf(const CUBEGridIdx& key) const {
    const auto found = m_files.find(key);
    if (found == m_files.end()) return NORVAUString();
    const Staged& staged = found->second;
    const std::string through = staged.lock >= 0 ? throughDescriptor(staged.lock) : std::string();
    return !through.empty() && ::access(through.c_str(), R_OK) == 0 ? NORVAUString(through) : staged.path;
}

// Removed while its lock is still held, so that no recovery running
// meanwhile takes it for a leftover of its own.
void CUBEStagedGrids::drop(const CUBEGridIdx& key) {
    const auto found = m_files.find(key);
    if (found == m_files.end()) return;
    const std::string removed = removeStaged(found->second.path.toUTF8(), found->second.lock);
    closeLock(found->second);
    m_files.erase(found);
    if (m_tidyFolders && !removed.empty()) removeFolderOfGoneSurface(removed);
}

void CUBEStagedGrids::clear() {
    while (!m_files.empty()) drop(m_files.begin()->first);
}

void CUBEStagedGrids::followFolder(const NORVAUString& prefix) {
    for (auto& item : m_files)
        item.second.path = PathUtilities::folderOf(CUBEUtils::gridFileName(prefix, item.first.row, item.first.column)) +
                           namePart(item.second.path);
}

void CUBEStagedGrids::commitInto(NORVAFileTransaction& transaction, const NORVAUString& prefix) {
    for (auto it = m_files.begin(); it != m_files.end();) {
        const NORVAUString target = CUBEUtils::gridFileName(prefix, it->first.row, it->first.column);
        if (!transaction.isNested()) {
            transaction.move(it->second.path, target);
            ++it;
            continue;
        }
        transaction.stage(it->second.path, target, it->second.lock);
        it = m_files.erase(it);
    }
}

void CUBEStagedGrids::committed() {
    for (auto& item : m_files) closeLock(item.second);
    m_files.clear();
}

void CUBEStagedGrids::closeLock(Staged& staged) {
    NORVALockedFiles::release(staged.lock);
    staged.lock = -1;
}
