#include "platform/core/NORVASurfacePin.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/core/NORVAPinnedFolder.h"
#include "platform/core/NORVASurfaceLock.h"

namespace {

std::string leafOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The path without the extension of its last part.
std::string stemOf(const std::string& path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? path : path.substr(0, dot);
}

}  // namespace

NORVASurfacePin& NORVASurfacePin::operator=(const NORVASurfacePin& other) {
    if (this == &other) return *this;
    clear();
    m_path = other.m_path;
    m_fd = other.m_fd >= 0 ? ::fcntl(other.m_fd, F_DUPFD_CLOEXEC, 0) : -1;
    m_exists = other.m_exists;
    m_device = other.m_device;
    m_inode = other.m_inode;
    m_watching = other.m_watching;
    m_listing = other.m_listing;
    return *this;
}

void NORVASurfacePin::take(const NORVAUString& path) {
    const bool watching = m_watching;
    clear();
    m_watching = watching;
    m_path = path.toUTF8();
    if (m_watching) m_listing = std::make_shared<const NORVAPinnedFolder>(stemOf(m_path));
    // Not followed through a link: a commit replaces the link itself. What
    // is pinned is the file held open; one this user cannot open (or a
    // link) is compared by its number alone.
    struct stat st;
    m_fd = ::open(m_path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (m_fd >= 0 && ::fstat(m_fd, &st) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_fd < 0 && (errno == ENOENT || ::lstat(m_path.c_str(), &st) != 0)) return;
    m_exists = true;
    m_device = st.st_dev;
    m_inode = st.st_ino;
}

void NORVASurfacePin::retake(const NORVACommitJournal* committed) {
    const std::string path = m_path;
    if (path.empty()) return;
    std::shared_ptr<const NORVAPinnedFolder> listing = m_listing;
    if (committed == nullptr || !listing) return take(NORVAUString(path));
    m_watching = false;  // listed below from what the commit did
    take(NORVAUString(path));
    m_watching = true;
    m_listing = std::make_shared<const NORVAPinnedFolder>(*listing, *committed);
}

void NORVASurfacePin::follow(const NORVAUString& path) {
    m_path = path.toUTF8();
    m_listing.reset();  // its names are the old ones: nothing is served by them
}

void NORVASurfacePin::clear() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_path.clear();
    m_watching = false;
    m_listing.reset();
    m_exists = false;
    m_device = 0;
    m_inode = 0;
}

bool NORVASurfacePin::unchanged() const {
    if (m_path.empty()) return true;
    struct stat st;
    if (::lstat(m_path.c_str(), &st) != 0) return !m_exists;
    return m_exists && st.st_dev == m_device && st.st_ino == m_inode;
}

long NORVASurfacePin::holdUnchanged(NORVASurfaceLock& hold) const {
    if (m_path.empty()) return 0;
    if (hold.lock(NORVASurfaceLock::folderOf(m_path), NORVASurfaceLock::SHARED) != 0) return NORVASurfaceLock::kBusy;
    return unchanged() ? 0 : kChanged;
}

long NORVASurfacePin::holdFile(NORVASurfaceLock& hold, const NORVAUString& file) const {
    const long held = holdUnchanged(hold);
    if (held != kChanged || !m_listing) return held;
    const std::string path = file.toUTF8();
    // The replaced main file, held open, carries when the first commit after
    // the pin replaced it (or renamed it away).
    struct stat pinned, st;
    if (m_fd < 0 || ::fstat(m_fd, &pinned) != 0 || NORVASurfaceLock::folderOf(path) != m_listing->folder())
        return kChanged;
    const bool present = ::lstat(path.c_str(), &st) == 0;
    const auto verdict = m_listing->judge(leafOf(path), present ? &st : nullptr, m_device, pinned.st_ctim);
    return verdict == NORVAPinnedFolder::CHANGED ? kChanged : 0;
}

bool NORVASurfacePin::listed(const NORVAUString& file) const {
    const std::string path = file.toUTF8();
    return m_listing && NORVASurfaceLock::folderOf(path) == m_listing->folder() && m_listing->listed(leafOf(path));
}
