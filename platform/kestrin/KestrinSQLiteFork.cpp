// SQLite across fork(2). A child inherits SQLite's process-wide mutexes as the
// parent's threads held them at that moment; one held by a thread that is
// storing a tile store would stay held for ever in the child, whose first
// SQLite call then never returns (PROJ's own fork handler closes its
// database in every child, so even a child that never opens a tile store
// would hang inside fork()).
//
// So every fork waits, in the parent, until no thread is inside those
// mutexes and holds them across the fork; parent and child then let go.
// They are held only for single steps of SQLite's work, never for a
// transaction, so a fork waits microseconds and a store never waits for a
// fork. They are taken in the order SQLite nests them, the innermost last.
//
// The fork handlers run in the order they were registered, so ours must
// come before those of any other library using SQLite: that holds when
// SQLite was not yet initialised as this library loaded (nobody had used
// it). Loaded later, the guard stays off rather than risk a child that
// waits for itself.
#include <pthread.h>
#include <sqlite3.h>

#include <iterator>

namespace {

constexpr int kNested[] = {SQLITE_MUTEX_STATIC_MAIN, SQLITE_MUTEX_STATIC_VFS1, SQLITE_MUTEX_STATIC_PRNG,
                           SQLITE_MUTEX_STATIC_MEM};

void holdAll() {
    for (const int id : kNested) sqlite3_mutex_enter(sqlite3_mutex_alloc(id));
}

void releaseAll() {
    for (auto it = std::rbegin(kNested); it != std::rend(kNested); ++it)
        sqlite3_mutex_leave(sqlite3_mutex_alloc(*it));
}

// Setting an option to the value it was built with is the one way to ask
// whether SQLite has been initialised (then it refuses) that changes nothing.
bool uninitialised() {
    const int memoryStatistics = sqlite3_compileoption_used("DEFAULT_MEMSTATUS=0") ? 0 : 1;
    return sqlite3_config(SQLITE_CONFIG_MEMSTATUS, memoryStatistics) == SQLITE_OK;
}

bool guardForks() {
    if (sqlite3_threadsafe() == 0 || !uninitialised()) return false;
    return ::pthread_atfork(holdAll, releaseAll, releaseAll) == 0;
}

const bool kGuarded = guardForks();

}  // namespace
