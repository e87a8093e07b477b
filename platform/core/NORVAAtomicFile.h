#pragma once
// The one way the library writes a file: everything goes to a temporary file
// beside the target, which replaces the target only when every write, the
// flush to disk and the close succeeded. Until then, and whenever anything
// fails, the old target stays untouched; an uncommitted temporary file is
// removed when the object dies. While a NORVAFileTransaction is open on the
// thread, commit hands the synced temporary to it instead of renaming it.
#include <cstddef>
#include <cstdio>
#include <string>

#include "platform/core/NORVAUString.h"

class NORVAFileTransaction;

class NORVAAtomicFile {
public:
    NORVAAtomicFile() = default;
    explicit NORVAAtomicFile(const NORVAUString& target) { open(target); }
    ~NORVAAtomicFile() { discard(); }
    NORVAAtomicFile(const NORVAAtomicFile&) = delete;
    NORVAAtomicFile& operator=(const NORVAAtomicFile&) = delete;

    // Creates the temporary file; false when it cannot be created.
    bool open(const NORVAUString& target);
    bool isOpen() const { return m_file != nullptr; }
    // The binary stream of the temporary file, null when not open. Writers
    // that use it directly are checked through the stream's error flag.
    FILE* file() const { return m_file; }
    bool write(const void* data, size_t size);
    // A writer that detected a failure of its own makes commit refuse.
    void markFailed() { m_failed = true; }
    bool hasFailed() const;

    // Flushes, syncs, closes and renames over the target; false (and the
    // target untouched, the temporary removed) when any of that failed.
    // Inside a file transaction the rename waits for the transaction's commit.
    bool commit();
    // Flushes, syncs and closes, but leaves the temporary file where it is
    // for the caller, who owns it from now on (its path in `temporary`),
    // whether a file transaction is open or not. Returns a descriptor that
    // holds the temporary's lock until NORVALockedFiles::release lets go of
    // it, or -1 (and the temporary removed) when anything failed.
    int keep(NORVAUString& temporary);
    // Drops the temporary file; the target stays as it was.
    void discard();

    const NORVAUString& target() const { return m_target; }
    const NORVAUString& temporaryPath() const { return m_temp; }

    // A new temporary from a mkstemp(3) pattern (the name replaces it),
    // holding its lock before it counts as the caller's: another process's
    // sweep of leftovers that took the lock first removes it, and another is
    // made. The descriptor (to be let go of with NORVALockedFiles::release),
    // or -1.
    static int makeTemporary(std::string& pattern);

private:
    // Flushes, syncs and closes the stream; with `lock`, a descriptor that
    // holds the temporary's lock once it is closed (-1 on failure).
    bool finish(int* lock);
    bool handOver(NORVAFileTransaction& transaction, bool ok, int lock);

    FILE* m_file = nullptr;
    int m_fd = -1;  // the temporary file's descriptor, owned by the stream
    bool m_failed = false;
    NORVAUString m_target;
    NORVAUString m_temp;
};
