#include "platform/kestrin/KestrinPointsFileVfs.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kName = "kivo-points";
constexpr const char* kSideSuffixes[] = {"-journal", "-wal", "-shm"};
// Where the write and read format versions lie in the header.
constexpr int kWriteFormat = 18, kReadFormat = 19;

constexpr const char* kJournalSuffix = "-journal";

sqlite3_vfs* g_base = nullptr;

// Databases open through a symbolic link, in this process: only while there
// is one are journal names looked at twice (see linkedJournal).
std::atomic<int> g_linked{0};

bool endsWith(const char* name, const char* suffix) {
    const size_t n = std::strlen(name), s = std::strlen(suffix);
    return n >= s && std::strcmp(name + n - s, suffix) == 0;
}

// A file as the file system's VFS opened it (held right after this header,
// in the same allocation), and the name it was opened under.
struct Database {
    sqlite3_file base;
    sqlite3_file* real;
    char* opened;  // null: the name SQLite gave
    bool linked;   // a database opened through a symbolic link
};

constexpr size_t kDatabaseBytes = (sizeof(Database) + 7) & ~size_t(7);

sqlite3_file* realOf(sqlite3_file* file) { return reinterpret_cast<Database*>(file)->real; }

int closeFile(sqlite3_file* file) {
    Database* db = reinterpret_cast<Database*>(file);
    const int rc = db->real->pMethods ? db->real->pMethods->xClose(db->real) : SQLITE_OK;
    sqlite3_free(db->opened);
    db->opened = nullptr;
    if (db->linked) g_linked.fetch_sub(1, std::memory_order_relaxed);
    db->linked = false;
    return rc;
}

// Every read of the format bytes is looked at, whenever it comes, so that a
// file changed after it was opened cannot switch SQLite to WAL either.
int readFile(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
    sqlite3_file* real = realOf(file);
    const int rc = real->pMethods->xRead(real, buffer, amount, offset);
    if (rc != SQLITE_OK || offset > kWriteFormat || offset + amount <= kReadFormat) return rc;
    const unsigned char* bytes = static_cast<const unsigned char*>(buffer);
    return bytes[kWriteFormat - offset] == 1 && bytes[kReadFormat - offset] == 1 ? SQLITE_OK : SQLITE_NOTADB;
}

// Everything else goes straight to the file system's VFS.
template <auto Method, class... Arguments>
int forward(sqlite3_file* file, Arguments... arguments) {
    sqlite3_file* real = realOf(file);
    return (real->pMethods->*Method)(real, arguments...);
}

// Version 1: no shared memory, so SQLite cannot open a database in WAL mode
// (nor map it into memory).
template <int (*Read)(sqlite3_file*, void*, int, sqlite3_int64)>
const sqlite3_io_methods kMethods = {
    1,
    closeFile,
    Read,
    forward<&sqlite3_io_methods::xWrite, const void*, int, sqlite3_int64>,
    forward<&sqlite3_io_methods::xTruncate, sqlite3_int64>,
    forward<&sqlite3_io_methods::xSync, int>,
    forward<&sqlite3_io_methods::xFileSize, sqlite3_int64*>,
    forward<&sqlite3_io_methods::xLock, int>,
    forward<&sqlite3_io_methods::xUnlock, int>,
    forward<&sqlite3_io_methods::xCheckReservedLock, int*>,
    forward<&sqlite3_io_methods::xFileControl, int, void*>,
    forward<&sqlite3_io_methods::xSectorSize>,
    forward<&sqlite3_io_methods::xDeviceCharacteristics>,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr};

const sqlite3_io_methods& kDatabaseMethods = kMethods<readFile>;
// The journal beside a linked database's target, opened to be read.
const sqlite3_io_methods& kJournalMethods = kMethods<forward<&sqlite3_io_methods::xRead, void*, int, sqlite3_int64>>;

// A name laid out as SQLite lays out its own (four zero bytes before, and an
// empty list of URI parameters after); null when out of memory.
char* heldName(const std::string& path) {
    const size_t n = path.size();
    char* held = static_cast<char*>(sqlite3_malloc64(n + 6));
    if (held != nullptr) {
        std::memset(held, 0, n + 6);
        std::memcpy(held + 4, path.data(), n);
    }
    return held;
}

// True when the name is a symbolic link; `target` is then where it leads in
// the end, or empty when it leads nowhere now.
bool linkTarget(const char* name, std::string& target) {
    struct stat st {};
    if (::lstat(name, &st) != 0 || !S_ISLNK(st.st_mode)) return false;
    char* resolved = ::realpath(name, nullptr);
    target = resolved ? std::string(resolved) : std::string();
    std::free(resolved);
    return true;
}

// The file system's VFS opens with O_NOFOLLOW: a database name that is a
// symbolic link (a points file the library only reads) is opened where it
// leads.
char* resolvedName(const char* name) {
    std::string target;
    return linkTarget(name, target) && !target.empty() ? heldName(target) : nullptr;
}

// SQLite names a database's journal after the name it was given, which for
// a database opened through a symbolic link is the link's: the journal that
// tells whether its pages are committed is the one beside the target, where
// its writer keeps it. True when `name` is such a linked database's journal
// name; `target` is then the target's journal, or empty when the link leads
// nowhere now. Nothing is ever made, written or removed under either name.
bool linkedJournal(const char* name, std::string& target) {
    if (g_linked.load(std::memory_order_relaxed) == 0 || !endsWith(name, kJournalSuffix)) return false;
    const std::string database(name, std::strlen(name) - std::strlen(kJournalSuffix));
    if (!linkTarget(database.c_str(), target)) return false;
    if (!target.empty()) target += kJournalSuffix;
    return true;
}

// Holding a database's write lock, its writer's journal is the writer's;
// without one, SQLite reads a journal it finds to tell whether it is hot (a
// writer's commit cut short). One that is hot it does not roll back for a
// database opened only to read: the read fails (SQLITE_READONLY_ROLLBACK)
// until the writer's side opens the database and rolls it back.
int openWrapped(const char* name, sqlite3_file* file, int flags, int* outFlags, const sqlite3_io_methods* methods,
                char* opened) {
    Database* db = reinterpret_cast<Database*>(file);
    db->base.pMethods = nullptr;
    db->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + kDatabaseBytes);
    db->opened = opened;
    db->linked = false;
    const int rc = g_base->xOpen(g_base, db->opened ? db->opened + 4 : name, db->real, flags, outFlags);
    if (rc != SQLITE_OK) {
        sqlite3_free(db->opened);
        db->opened = nullptr;
        return rc;
    }
    db->base.pMethods = methods;
    return SQLITE_OK;
}

int openDatabase(const char* name, sqlite3_file* file, int flags, int* outFlags) {
    char* resolved = name ? resolvedName(name) : nullptr;
    const int rc = openWrapped(name, file, flags, outFlags, &kDatabaseMethods, resolved);
    if (rc == SQLITE_OK && resolved != nullptr) {
        reinterpret_cast<Database*>(file)->linked = true;
        g_linked.fetch_add(1, std::memory_order_relaxed);
    }
    return rc;
}

int openFile(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    if (flags & SQLITE_OPEN_MAIN_DB) return openDatabase(name, file, flags, outFlags);
    file->pMethods = nullptr;
    // The library never attaches databases and never asks for WAL mode.
    if (flags & (SQLITE_OPEN_WAL | SQLITE_OPEN_SUPER_JOURNAL)) return SQLITE_CANTOPEN;
    std::string target;
    if ((flags & SQLITE_OPEN_MAIN_JOURNAL) && name && linkedJournal(name, target)) {
        // Only looked at: a linked database is only read. A journal that
        // cannot be read is taken for a hot one.
        if (!(flags & SQLITE_OPEN_READONLY) || target.empty() || KestrinPointsFileVfs::foreignFile(target.c_str()))
            return SQLITE_CANTOPEN;
        char* held = heldName(target);
        if (held == nullptr) return SQLITE_NOMEM;
        return openWrapped(name, file, flags, outFlags, &kJournalMethods, held);
    }
    if ((flags & SQLITE_OPEN_MAIN_JOURNAL) && name && KestrinPointsFileVfs::foreignFile(name)) return SQLITE_CANTOPEN;
    // Temporary files and journals go to the file system's VFS as they are.
    return g_base->xOpen(g_base, name, file, flags, outFlags);
}

// A WAL or shared-memory file beside a database is not the library's, and
// stays where it is; so does a journal beside a linked database's target.
int deleteFile(sqlite3_vfs*, const char* name, int syncDir) {
    if (endsWith(name, "-wal") || endsWith(name, "-shm")) return SQLITE_OK;
    std::string target;
    if (linkedJournal(name, target)) return SQLITE_IOERR_DELETE;
    return g_base->xDelete(g_base, name, syncDir);
}

int accessFile(sqlite3_vfs*, const char* name, int flags, int* result) {
    if (endsWith(name, "-wal")) {
        *result = 0;
        return SQLITE_OK;
    }
    std::string target;
    if (linkedJournal(name, target)) {
        // A link leading nowhere, or a journal SQLite must not open, is there
        // to be refused.
        if (target.empty() || KestrinPointsFileVfs::foreignFile(target.c_str())) {
            *result = 1;
            return SQLITE_OK;
        }
        return g_base->xAccess(g_base, target.c_str(), flags, result);
    }
    return g_base->xAccess(g_base, name, flags, result);
}

// Absolute, with no symbolic link resolved: the side files' names follow.
int fullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
    std::string path = name;
    if (path.empty() || path[0] != '/') {
        char here[PATH_MAX];
        if (::getcwd(here, sizeof here) == nullptr) return SQLITE_CANTOPEN;
        path = std::string(here) + "/" + path;
    }
    if (path.size() + 1 > static_cast<size_t>(size)) return SQLITE_CANTOPEN;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return SQLITE_OK;
}

void* dlOpen(sqlite3_vfs*, const char* name) { return g_base->xDlOpen(g_base, name); }
void dlError(sqlite3_vfs*, int size, char* out) { g_base->xDlError(g_base, size, out); }
void (*dlSym(sqlite3_vfs*, void* handle, const char* symbol))(void) { return g_base->xDlSym(g_base, handle, symbol); }
void dlClose(sqlite3_vfs*, void* handle) { g_base->xDlClose(g_base, handle); }
int randomness(sqlite3_vfs*, int size, char* out) { return g_base->xRandomness(g_base, size, out); }
int sleepFor(sqlite3_vfs*, int microseconds) { return g_base->xSleep(g_base, microseconds); }
int currentTime(sqlite3_vfs*, double* now) { return g_base->xCurrentTime(g_base, now); }
int lastError(sqlite3_vfs*, int size, char* out) {
    return g_base->xGetLastError ? g_base->xGetLastError(g_base, size, out) : 0;
}
int currentTimeInt64(sqlite3_vfs*, sqlite3_int64* now) { return g_base->xCurrentTimeInt64(g_base, now); }

sqlite3_vfs g_vfs{};

void registerOnce() {
    g_base = sqlite3_vfs_find("unix");
    if (g_base == nullptr) g_base = sqlite3_vfs_find(nullptr);
    g_vfs.iVersion = 2;
    g_vfs.szOsFile = static_cast<int>(kDatabaseBytes) + g_base->szOsFile;
    g_vfs.mxPathname = g_base->mxPathname;
    g_vfs.zName = kName;
    g_vfs.xOpen = openFile;
    g_vfs.xDelete = deleteFile;
    g_vfs.xAccess = accessFile;
    g_vfs.xFullPathname = fullPathname;
    g_vfs.xDlOpen = dlOpen;
    g_vfs.xDlError = dlError;
    g_vfs.xDlSym = dlSym;
    g_vfs.xDlClose = dlClose;
    g_vfs.xRandomness = randomness;
    g_vfs.xSleep = sleepFor;
    g_vfs.xCurrentTime = currentTime;
    g_vfs.xGetLastError = lastError;
    g_vfs.xCurrentTimeInt64 = currentTimeInt64;
    sqlite3_vfs_register(&g_vfs, 0);
}

}  // namespace

const char* KestrinPointsFileVfs::name() {
    static const bool registered = (registerOnce(), true);
    (void)registered;
    return kName;
}

bool KestrinPointsFileVfs::foreignFile(const char* path) {
    struct stat st {};
    // What cannot be looked at now, SQLite cannot open either.
    if (::lstat(path, &st) != 0) return false;
    return !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1;
}

bool KestrinPointsFileVfs::foreignSideFile(const std::string& databasePath) {
    for (const char* suffix : kSideSuffixes)
        if (foreignFile((databasePath + suffix).c_str())) return true;
    // Through a symbolic link, SQLite looks at the journal beside the target.
    std::string resolved;
    if (!linkTarget(databasePath.c_str(), resolved) || resolved.empty()) return false;
    for (const char* suffix : kSideSuffixes)
        if (foreignFile((resolved + suffix).c_str())) return true;
    return false;
}

bool KestrinPointsFileVfs::rollbackHeader(const unsigned char* bytes, size_t size) {
    static const char kMagic[] = "SQLite format 3";  // with its terminating zero byte
    if (size == 0) return true;
    return size >= kHeaderBytes && std::memcmp(bytes, kMagic, sizeof kMagic) == 0 && bytes[kWriteFormat] == 1 &&
           bytes[kReadFormat] == 1;
}
