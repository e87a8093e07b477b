#pragma once
// A second process holding an SQLite lock on a points file: it runs the
// statements (say "BEGIN EXCLUSIVE") on its own connection and keeps the
// transaction open until `release` or the holder's end.
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace kestrintest {

class LockHolder {
public:
    LockHolder(const std::string& path, const char* sql) {
        int ready[2], done[2];
        if (::pipe(ready) != 0 || ::pipe(done) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(done[1]);
            sqlite3* db = nullptr;
            char ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                              sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK
                          ? 1
                          : 0;
            (void)!::write(ready[1], &ok, 1);
            char c = 0;
            (void)!::read(done[0], &c, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(done[0]);
        m_release = done[1];
        char ok = 0;
        m_locked = ::read(ready[0], &ok, 1) == 1 && ok == 1;
        ::close(ready[0]);
    }
    ~LockHolder() { release(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    bool locked() const { return m_locked; }
    void release() {
        if (m_pid <= 0) return;
        ::close(m_release);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_locked = false;
};

}  // namespace kestrintest
