#pragma once
// File-system primitives on paths held as NORVAUString (narrow form UTF-8).
// They answer false on failure and never throw.
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/NORVAUString.h"

namespace NORVAFileUtils {

bool exists(const NORVAUString& path);
bool isDirectory(const NORVAUString& path);
bool isRegularFile(const NORVAUString& path);
// The entry itself is a symbolic link (a trailing "/" does not follow it).
bool isSymbolicLink(const NORVAUString& path);
// Something stands at the path, a symbolic link leading nowhere included.
bool isOccupied(const NORVAUString& path);
// A regular file stands at the path itself, not a symbolic link to one.
bool isPlainFile(const NORVAUString& path);
bool fileSize(const NORVAUString& path, uint64_t& size);
// Whole seconds since the epoch.
bool modificationTime(const NORVAUString& path, int64_t& seconds);
// Whether two paths name one file however they are spelled (relative, "..",
// a link to the file or to a folder on the way, a hard link): both exist and
// are the same file, or neither exists and both lead to the same place once
// the folders that exist are resolved.
bool sameFile(const NORVAUString& a, const NORVAUString& b);

// Opens an existing regular file with open(2) `flags` (O_RDONLY, O_RDWR).
// Whatever else stands at the path (a FIFO, which would wait for a writer;
// a device, which may never end) is refused without waiting: -1 with errno
// EINVAL. Links are followed.
int openRegular(const char* path, int flags);
// The same as a stream: for reading ("rb"), or for reading and writing in
// place ("r+b") with `update`; nullptr when refused.
FILE* openRegularFile(const char* path, bool update = false);
inline FILE* openRegularFile(const NORVAUString& path, bool update = false) {
    return openRegularFile(path.toUTF8().c_str(), update);
}

// Overwrites the target; the target is replaced atomically, so a failed copy
// leaves an existing target as it was.
bool copyFile(const NORVAUString& from, const NORVAUString& to);
bool removeFile(const NORVAUString& path);
// Replaces an existing target file.
bool renameFile(const NORVAUString& from, const NORVAUString& to);

// An already existing folder counts as success.
bool makeDirectory(const NORVAUString& path);
// Creates every missing folder of the path.
bool makeDirectories(const NORVAUString& path);
// Without `recursive` only an empty folder is removed. A recursive removal
// never follows a symbolic link: a link met on the way, or named by the path
// itself, is removed as a link and what it points to stays.
bool removeDirectory(const NORVAUString& path, bool recursive = false);
// Removes one entry: a file, a symbolic link (the link, never what it points
// to) or an empty folder. A folder that holds anything stays (false); an
// entry that is not there counts as removed.
bool removeEntry(const NORVAUString& path);
// Makes the folder's entries (files created, renamed or removed in it)
// durable.
bool syncDirectory(const NORVAUString& path);
// The path from the root: a relative one is taken from the current folder
// (a leading "./" dropped); as it was when that cannot be read.
std::string absolutePath(const std::string& path);
// Entry names (not paths) without "." and "..", sorted.
bool listDirectory(const NORVAUString& path, std::vector<NORVAUString>& names);
// Every entry of the open folder `fd` but "." and "..", in the folder's
// order: name, type (DT_REG, DT_DIR, ...; DT_UNKNOWN where the file system
// does not tell) and inode number. Reads the entries straight, with no
// stream to set up: opens, which list folders every time, stay cheap.
// False when the folder could not be read to its end.
struct DirectoryEntry {
    const char* name;
    unsigned char type;
    ino_t inode;
};
bool forEachEntry(int fd, const std::function<void(const DirectoryEntry&)>& visit);

}  // namespace NORVAFileUtils
