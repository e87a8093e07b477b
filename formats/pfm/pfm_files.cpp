#include "formats/pfm/pfm_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/core/NORVAAtomicFile.h"

const char* pfm_file_name_part(const char* path) {
    if (!path) return "";
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

char* pfm_ngets(char* buffer, int size, FILE* stream) {
    if (!buffer || size <= 0 || !stream) return nullptr;
    if (!std::fgets(buffer, size, stream)) return nullptr;
    size_t n = std::strlen(buffer);
    while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r')) buffer[--n] = '\0';
    return buffer;
}

bool pfm_write_whole_file(const char* path, const void* data, size_t size) {
    NORVAAtomicFile file;
    if (!file.open(NORVAUString(path))) return false;
    if (size > 0 && !file.write(data, size)) return false;
    return file.commit();
}

bool pfm_file_exists(const char* path) {
    struct stat st;
    return path && ::stat(path, &st) == 0;
}

// Opening a FIFO for reading waits for a writer: the open does not wait, and
// whatever is not a regular file is closed again unread.
int pfm_open_regular(const char* path, int flags) {
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

FILE* pfm_fopen_regular(const char* path, bool update) {
    const int fd = pfm_open_regular(path, update ? O_RDWR : O_RDONLY);
    if (fd < 0) return nullptr;
    FILE* f = ::fdopen(fd, update ? "r+b" : "rb");
    if (!f) ::close(fd);
    return f;
}

bool pfm_copy_path(char* field, size_t fieldSize, const char* text) {
    const size_t n = text ? std::strlen(text) : 0;
    if (n >= fieldSize) {
        field[0] = '\0';
        return false;
    }
    std::memcpy(field, text ? text : "", n);
    field[n] = '\0';
    return true;
}
