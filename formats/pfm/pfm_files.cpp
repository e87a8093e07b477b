#include "formats/pfm/pfm_files.h"

#include <sys/stat.h>

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
