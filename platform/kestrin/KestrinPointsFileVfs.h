#pragma once
// How SQLite reaches a points file and the files beside it. Left to itself,
// SQLite names its side files (rollback journal, WAL, shared memory) after
// the database's path with every symbolic link resolved, and it enters WAL
// mode when the file's header asks for it or a WAL file lies beside it: a
// handed-over folder could then make it create, truncate or remove files
// anywhere, or wait for ever on a FIFO. Through this VFS:
// - paths are taken as given, so every side file is looked for and made
//   beside the name the library opened, in the surface's own folder; but a
//   points file opened through a symbolic link (which is only read) looks
//   for its journal beside the link's target, where its writer keeps it, so
//   that a writer's commit cut short there is seen (the read is refused)
//   rather than read as committed. Nothing is ever made, written or removed
//   beside the target;
// - WAL mode is never entered: a header that asks for it (or for any format
//   but the rollback journal's) reads as damage, a WAL file beside the
//   database is neither seen nor removed, and there is no shared memory;
// - a journal that is not a regular file of this user with one name is not
//   opened (nor made, nor written).
// The library writes rollback-journal points files only, so none of its own
// files is refused.
#include <cstddef>
#include <string>

class KestrinPointsFileVfs {
public:
    // The VFS's name for sqlite3_open_v2; registered, not as the default, on
    // the first call.
    static const char* name();
    // True when a journal, WAL or shared-memory file of the database at
    // `databasePath` (or, when that is a symbolic link, of its target) is
    // there and is not a regular file of this user with one name: SQLite
    // would open it, wait on it or write through it.
    static bool foreignSideFile(const std::string& databasePath);
    // True when the name is there and is not a regular file of this user
    // with one name.
    static bool foreignFile(const char* path);
    // True when the first bytes of a database file are those of a rollback-
    // journal SQLite file (the magic text, and format 1 to write and read).
    // An empty file is a database yet to be written.
    static bool rollbackHeader(const unsigned char* bytes, size_t size);

    // Bytes of the database header that must be read to tell.
    static constexpr size_t kHeaderBytes = 20;
};
