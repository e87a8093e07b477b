#include "platform/core/NORVAAtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/pathkit/PathUtilities.h"

namespace {

// The final file gets the target's mode when it replaces one, else the
// usual mode of a new file (mkstemp's 0600 would hide it from other users).
void giveTargetMode(int fd, const std::string& target) {
    struct stat st;
    mode_t mode = 0644;
    if (::stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;
    (void)::fchmod(fd, mode);
}

void syncFolderOf(const std::string& target) {
    NORVAUString folder;
    PathUtilities::parsePath(NORVAUString(target), nullptr, &folder, nullptr, nullptr);
    const std::string f = folder.isEmpty() ? std::string(".") : folder.toUTF8();
    const int fd = ::open(f.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

}  // namespace

bool NORVAAtomicFile::open(const NORVAUString& target) {
    discard();
    m_failed = false;
    m_target = target;
    const std::string t = target.toUTF8();
    if (t.empty() || t.back() == '/') return false;
    NORVAUString folder, name, extension;
    PathUtilities::parsePath(target, nullptr, &folder, &name, &extension);
    std::string pattern = (folder + "." + name + extension + ".tmp-XXXXXX").toUTF8();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const int fd = ::mkstemp(buf.data());
    if (fd < 0) return false;
    giveTargetMode(fd, t);
    m_temp = NORVAUString(std::string(buf.data()));
    m_file = ::fdopen(fd, "wb");
    if (!m_file) {
        ::close(fd);
        ::unlink(buf.data());
        m_temp = NORVAUString();
        return false;
    }
    return true;
}

bool NORVAAtomicFile::write(const void* data, size_t size) {
    if (!m_file) return false;
    if (size == 0) return true;
    if (!data || std::fwrite(data, 1, size, m_file) != size) m_failed = true;
    return !m_failed;
}

bool NORVAAtomicFile::hasFailed() const { return m_failed || (m_file && std::ferror(m_file)); }

bool NORVAAtomicFile::commit() {
    if (!m_file) return false;
    bool ok = !hasFailed() && std::fflush(m_file) == 0 && ::fsync(::fileno(m_file)) == 0;
    ok = std::fclose(m_file) == 0 && ok;
    m_file = nullptr;
    const std::string temp = m_temp.toUTF8(), target = m_target.toUTF8();
    if (ok) ok = std::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        m_temp = NORVAUString();
        return false;
    }
    m_temp = NORVAUString();
    syncFolderOf(target);
    return true;
}

void NORVAAtomicFile::discard() {
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_temp.isEmpty()) {
        ::unlink(m_temp.toUTF8().c_str());
        m_temp = NORVAUString();
    }
}
