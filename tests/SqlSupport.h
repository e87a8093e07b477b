#pragma once
// Tests that damage a tile store's points file on purpose change it with
// plain SQL, the way another program would.
#include <sqlite3.h>

#include <string>

namespace testsupport {

// Runs `sql` on the SQLite file; true when it opened and every statement ran.
inline bool execSql(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    const bool ok = sqlite3_open(file.c_str(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    return sqlite3_close(db) == SQLITE_OK && ok;
}

}  // namespace testsupport
