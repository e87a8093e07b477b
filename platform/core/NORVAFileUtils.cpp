#include "platform/core/NORVAFileUtils.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/core/NORVAAtomicFile.h"

namespace NORVAFileUtils {
namespace {

bool statPath(const NORVAUString& path, struct stat& st) {
    const std::string p = path.toUTF8();
    return !p.empty() && ::stat(p.c_str(), &st) == 0;
}

// A trailing "/" would make the system resolve a final symbolic link.
std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The path with its folder resolved (links, ".", "..") when that folder
// exists; as given otherwise.
std::string resolvedPath(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    char* real = ::realpath(folder.c_str(), nullptr);
    if (!real) return path;
    std::string out(real);
    std::free(real);
    return out + "/" + path.substr(slash == std::string::npos ? 0 : slash + 1);
}

bool isDotEntry(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool removeTree(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) return ::unlink(path.c_str()) == 0;
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return false;
    bool ok = true;
    while (struct dirent* e = ::readdir(dir)) {
        if (!isDotEntry(e->d_name)) ok = removeTree(path + "/" + e->d_name) && ok;
    }
    ::closedir(dir);
    return ::rmdir(path.c_str()) == 0 && ok;
}

}  // namespace

bool exists(const NORVAUString& path) {
    struct stat st;
    return statPath(path, st);
}

bool sameFile(const NORVAUString& a, const NORVAUString& b) {
    struct stat sa, sb;
    const bool hasA = statPath(a, sa), hasB = statPath(b, sb);
    if (hasA || hasB) return hasA && hasB && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return resolvedPath(a.toUTF8()) == resolvedPath(b.toUTF8());
}

bool isDirectory(const NORVAUString& path) {
    struct stat st;
    return statPath(path, st) && S_ISDIR(st.st_mode);
}

bool isRegularFile(const NORVAUString& path) {
    struct stat st;
    return statPath(path, st) && S_ISREG(st.st_mode);
}

bool isSymbolicLink(const NORVAUString& path) {
    const std::string p = withoutTrailingSlashes(path.toUTF8());
    struct stat st;
    return !p.empty() && ::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool isOccupied(const NORVAUString& path) { return exists(path) || isSymbolicLink(path); }

bool isPlainFile(const NORVAUString& path) { return !isSymbolicLink(path) && isRegularFile(path); }

bool fileSize(const NORVAUString& path, uint64_t& size) {
    struct stat st;
    if (!statPath(path, st) || !S_ISREG(st.st_mode)) return false;
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool modificationTime(const NORVAUString& path, int64_t& seconds) {
    struct stat st;
    if (!statPath(path, st)) return false;
    seconds = static_cast<int64_t>(st.st_mtime);
    return true;
}

int openRegular(const char* path, int flags) {
    if (!path || !*path) return -1;
    const int fd = ::open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!regular || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        errno = regular ? EIO : EINVAL;
        return -1;
    }
    return fd;
}

FILE* openRegularFile(const char* path, bool update) {
    const int fd = openRegular(path, update ? O_RDWR : O_RDONLY);
    if (fd < 0) return nullptr;
    FILE* file = ::fdopen(fd, update ? "r+b" : "rb");
    if (!file) ::close(fd);
    return file;
}

bool copyFile(const NORVAUString& from, const NORVAUString& to) {
    FILE* in = openRegularFile(from);
    if (!in) return false;
    NORVAAtomicFile out(to);
    char buf[65536];
    size_t n = 0;
    while (out.isOpen() && (n = std::fread(buf, 1, sizeof buf, in)) > 0) {
        if (!out.write(buf, n)) break;
    }
    const bool readOk = !std::ferror(in) && std::feof(in);
    std::fclose(in);
    if (!readOk) out.markFailed();
    return out.commit();
}

bool removeFile(const NORVAUString& path) {
    const std::string p = path.toUTF8();
    return !p.empty() && ::unlink(p.c_str()) == 0;
}

bool renameFile(const NORVAUString& from, const NORVAUString& to) {
    const std::string a = from.toUTF8(), b = to.toUTF8();
    return !a.empty() && !b.empty() && std::rename(a.c_str(), b.c_str()) == 0;
}

bool makeDirectory(const NORVAUString& path) {
    const std::string p = path.toUTF8();
    if (p.empty()) return false;
    if (::mkdir(p.c_str(), 0777) == 0) return true;
    return errno == EEXIST && isDirectory(path);
}

bool makeDirectories(const NORVAUString& path) {
    const std::string p = path.toUTF8();
    if (p.empty()) return false;
    for (size_t i = p.find('/', 1); i != std::string::npos; i = p.find('/', i + 1)) {
        const NORVAUString prefix(p.substr(0, i));
        if (!isDirectory(prefix) && !makeDirectory(prefix)) return false;
    }
    return makeDirectory(path);
}

bool removeDirectory(const NORVAUString& path, bool recursive) {
    const std::string p = withoutTrailingSlashes(path.toUTF8());
    if (p.empty() || !isDirectory(path)) return false;
    return recursive ? removeTree(p) : ::rmdir(p.c_str()) == 0;
}

bool removeEntry(const NORVAUString& path) {
    const std::string p = withoutTrailingSlashes(path.toUTF8());
    struct stat st;
    if (p.empty()) return false;
    if (::lstat(p.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR;
    return S_ISDIR(st.st_mode) ? ::rmdir(p.c_str()) == 0 : ::unlink(p.c_str()) == 0;
}

bool syncDirectory(const NORVAUString& path) {
    const std::string p = path.toUTF8();
    const int fd = p.empty() ? -1 : ::open(p.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

std::string absolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char buf[4096];
    if (!::getcwd(buf, sizeof buf)) return path;
    return std::string(buf) + "/" + (path.compare(0, 2, "./") == 0 ? path.substr(2) : path);
}

bool listDirectory(const NORVAUString& path, std::vector<NORVAUString>& names) {
    const std::string p = path.toUTF8();
    const int fd = p.empty() ? -1 : ::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    std::vector<NORVAUString> found;
    const bool ok = forEachEntry(fd, [&](const DirectoryEntry& e) { found.emplace_back(std::string(e.name)); });
    ::close(fd);
    if (!ok) return false;
    std::sort(found.begin(), found.end());
    names.swap(found);
    return true;
}

bool forEachEntry(int fd, const std::function<void(const DirectoryEntry&)>& visit) {
    // The kernel's own records (struct linux_dirent64, read with getdents64):
    // inode (8 bytes), offset (8), record length (2), type (1), name.
    const size_t kHead = 19;
    alignas(8) char buffer[32768];
    for (;;) {
        const long got = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (size_t at = 0; at + kHead < static_cast<size_t>(got);) {
            uint64_t inode = 0;
            unsigned short length = 0;
            std::memcpy(&inode, buffer + at, sizeof inode);
            std::memcpy(&length, buffer + at + 16, sizeof length);
            if (length <= kHead || at + length > static_cast<size_t>(got)) return false;
            const char* name = buffer + at + kHead;
            const unsigned char type = static_cast<unsigned char>(buffer[at + 18]);
            if (!isDotEntry(name)) visit(DirectoryEntry{name, type, static_cast<ino_t>(inode)});
            at += length;
        }
    }
}

}  // namespace NORVAFileUtils
