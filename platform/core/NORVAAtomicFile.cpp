#include "platform/core/NORVAAtomicFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <new>
#include <string>

#include "platform/core/NORVAAtomicFileFaults.h"
#include "platform/core/NORVAFileTransaction.h"
#include "platform/core/NORVALockedFiles.h"
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

// Under a fault plan the stream writes through these, unbuffered, so that
// every write of a writer is one step the plan counts. A cookie's write
// function answers a failure with a short count (0 at most), never a
// negative one: the C library takes that for a byte count and reads past
// the caller's buffer.
ssize_t countedWrite(void* cookie, const char* data, size_t size) {
    if (NORVAAtomicFileFaults::shouldFail(NORVAAtomicFileFaults::WRITE)) {
        errno = EIO;
        return 0;
    }
    const int fd = *static_cast<int*>(cookie);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

int countedSeek(void* cookie, off64_t* position, int whence) {
    const off_t at = ::lseek(*static_cast<int*>(cookie), static_cast<off_t>(*position), whence);
    if (at < 0) return -1;
    *position = at;
    return 0;
}

int countedClose(void* cookie) {
    int* fd = static_cast<int*>(cookie);
    const int result = ::close(*fd);
    delete fd;
    return result;
}

FILE* countedStream(int fd) {
    cookie_io_functions_t io = {nullptr, countedWrite, countedSeek, countedClose};
    int* cookie = new (std::nothrow) int(fd);
    if (!cookie) return nullptr;
    FILE* file = ::fopencookie(cookie, "wb", io);
    if (!file) {
        delete cookie;
        return nullptr;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
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
    const int fd = makeTemporary(pattern);
    if (fd < 0) return false;
    giveTargetMode(fd, t);
    m_temp = NORVAUString(pattern);
    m_file = NORVAAtomicFileFaults::planned() ? countedStream(fd) : ::fdopen(fd, "wb");
    m_fd = fd;
    if (!m_file) {
        m_fd = -1;
        ::close(fd);
        ::unlink(pattern.c_str());
        m_temp = NORVAUString();
        return false;
    }
    return true;
}

// The lock is held while the temporary lives, so that recovery run by
// another process never removes a temporary that a live writer owns. Between
// mkstemp and flock such a sweep may take it: then it is gone, or about to go.
int NORVAAtomicFile::makeTemporary(std::string& pattern) {
    const std::string model = pattern;
    for (int attempt = 0; attempt < 16; ++attempt) {
        pattern = model;
        const int fd = ::mkostemp(&pattern[0], O_CLOEXEC);
        if (fd < 0) return -1;
        const int refused = ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
        if (refused != 0 && refused != EWOULDBLOCK) return fd;  // a file system without such locks
        struct stat st;
        if (refused == 0 && ::fstat(fd, &st) == 0 && st.st_nlink > 0) return fd;
        NORVALockedFiles::release(fd);
    }
    return -1;
}

bool NORVAAtomicFile::write(const void* data, size_t size) {
    if (!m_file) return false;
    if (size == 0) return true;
    if (!data || std::fwrite(data, 1, size, m_file) != size) m_failed = true;
    return !m_failed;
}

bool NORVAAtomicFile::hasFailed() const { return m_failed || (m_file && std::ferror(m_file)); }

bool NORVAAtomicFile::finish(int* lock) {
    using namespace NORVAAtomicFileFaults;
    bool ok = !hasFailed();
    ok = ok && !shouldFail(FLUSH) && std::fflush(m_file) == 0;
    ok = ok && !shouldFail(SYNC) && ::fsync(m_fd) == 0;
    if (lock) *lock = ok ? ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0) : -1;
    ok = std::fclose(m_file) == 0 && ok;
    m_file = nullptr;
    m_fd = -1;
    return ok;
}

bool NORVAAtomicFile::commit() {
    if (!m_file) return false;
    NORVAFileTransaction* transaction = NORVAFileTransaction::current();
    int lock = -1;
    bool ok = finish(transaction ? &lock : nullptr);
    if (transaction) return handOver(*transaction, ok, lock);
    using namespace NORVAAtomicFileFaults;
    const std::string temp = m_temp.toUTF8(), target = m_target.toUTF8();
    if (ok) ok = !shouldFail(RENAME) && std::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        m_temp = NORVAUString();
        return false;
    }
    m_temp = NORVAUString();
    syncFolderOf(target);
    return true;
}

// Inside a file transaction the synced temporary goes to the transaction,
// which renames it together with the surface's other files; a failure makes
// the whole transaction fail.
bool NORVAAtomicFile::handOver(NORVAFileTransaction& transaction, bool ok, int lock) {
    if (ok && lock >= 0) {
        transaction.stage(m_temp, m_target, lock);
        m_temp = NORVAUString();
        return true;
    }
    NORVALockedFiles::release(lock);
    ::unlink(m_temp.toUTF8().c_str());
    m_temp = NORVAUString();
    transaction.fail();
    return false;
}

int NORVAAtomicFile::keep(NORVAUString& temporary) {
    if (!m_file) return -1;
    int lock = -1;
    const bool ok = finish(&lock);
    if (ok && lock >= 0) {
        temporary = m_temp;
        m_temp = NORVAUString();
        return lock;
    }
    NORVALockedFiles::release(lock);
    discard();
    return -1;
}

void NORVAAtomicFile::discard() {
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
        m_fd = -1;
    }
    if (!m_temp.isEmpty()) {
        ::unlink(m_temp.toUTF8().c_str());
        m_temp = NORVAUString();
    }
}
