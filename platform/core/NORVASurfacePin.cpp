#include "platform/core/NORVASurfacePin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/core/NORVASurfaceLock.h"

NORVASurfacePin& NORVASurfacePin::operator=(const NORVASurfacePin& other) {
    if (this == &other) return *this;
    clear();
    m_path = other.m_path;
    m_fd = other.m_fd >= 0 ? ::fcntl(other.m_fd, F_DUPFD_CLOEXEC, 0) : -1;
    m_exists = other.m_exists;
    m_device = other.m_device;
    m_inode = other.m_inode;
    return *this;
}

void NORVASurfacePin::take(const NORVAUString& path) {
    clear();
    m_path = path.toUTF8();
    // Not followed through a link: a commit replaces the link itself.
    struct stat st;
    if (::lstat(m_path.c_str(), &st) != 0) return;
    m_exists = true;
    m_device = st.st_dev;
    m_inode = st.st_ino;
    // What is pinned is the file held open; a file replaced between the two
    // looks makes the pin fail later, never hold wrongly. One this user
    // cannot read is compared by its number alone.
    m_fd = ::open(m_path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (m_fd >= 0 && ::fstat(m_fd, &st) == 0) {
        m_device = st.st_dev;
        m_inode = st.st_ino;
    }
}

void NORVASurfacePin::retake() {
    const std::string path = m_path;
    if (!path.empty()) take(NORVAUString(path));
}

void NORVASurfacePin::clear() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_path.clear();
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
