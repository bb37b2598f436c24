#include "store/SQLiteDB.hpp"

#include <sqlite3.h>

namespace quorvel {

SQLiteDB::SQLiteDB(std::string path, Access access, const char *vfs) : path_(std::move(path)) {
    sqlite3 *db = nullptr;
    const int mode = access == Access::readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    int rc = sqlite3_open_v2(path_.c_str(), &db, mode | SQLITE_OPEN_FULLMUTEX, vfs);
    if (rc != SQLITE_OK) {
        std::string message = "open failed";
        if (db) {
            message = sqlite3_errmsg(db);
            sqlite3_close(db);
        }
        throw SQLiteError(rc, message);
    }
    handle_ = db;
    sqlite3_busy_timeout(handle_, 5000);
}

SQLiteDB::~SQLiteDB() {
    close();
}

void SQLiteDB::close() {
    if (handle_) {
        sqlite3_close_v2(handle_);
        handle_ = nullptr;
    }
}

std::string SQLiteDB::versionString() {
    return sqlite3_libversion();
}
fts5_api *SQLiteDB::fts5() const {
    fts5_api *api = nullptr;
    sqlite3_stmt *stmt = nullptr;
    if (handle_ && sqlite3_prepare_v2(handle_, "SELECT fts5(?1)", -1, &stmt, nullptr) == SQLITE_OK) {
        sqlite3_bind_pointer(stmt, 1, static_cast<void *>(&api), "fts5_api_ptr", nullptr);
        sqlite3_step(stmt);
    }
    sqlite3_finalize(stmt);
    return api;
}

int64_t SQLiteDB::lastInsertRowID() const {
    return handle_ ? sqlite3_last_insert_rowid(handle_) : 0;
}
int SQLiteDB::changes() const {
    return handle_ ? sqlite3_changes(handle_) : 0;
}

void SQLiteDB::checkOpen(const std::string &sql) const {
    if (!handle_) throw SQLiteError(SQLITE_MISUSE, "database closed", sql);
}

void SQLiteDB::exec(const std::string &sql) {
    checkOpen(sql);
    if (statementHook) statementHook(sql);
    char *err = nullptr;
    int rc = sqlite3_exec(handle_, sql.c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::string message = err ? err : "exec failed";
        sqlite3_free(err);
        noteFailure(rc);
        throw SQLiteError(rc, message, sql);
    }
}

SQLiteStatement SQLiteDB::prepare(const std::string &sql) {
    checkOpen(sql);
    if (statementHook) statementHook(sql);
    return SQLiteStatement(handle_, sql, this);
}

void SQLiteDB::run(const std::string &sql, const std::vector<SQLiteValue> &params) {
    SQLiteStatement stmt = prepare(sql);
    stmt.bindAll(params);
    while (stmt.step()) {}
}

void SQLiteDB::noteFailure(int code) const {
    if (damageHook && SQLiteError::meansDamage(code)) damageHook();
}

int64_t SQLiteDB::scalarInt(const std::string &sql, const std::vector<SQLiteValue> &params) {
    auto row = queryOne(sql, params, [](SQLiteStatement &s) { return s.int64(0); });
    return row.value_or(0);
}

void SQLiteDB::beginLevel(bool immediate) {
    if (transactionDepth_ == 0) {
        exec(immediate ? "BEGIN IMMEDIATE" : "BEGIN");
    } else {
        exec("SAVEPOINT sp" + std::to_string(transactionDepth_));
    }
    ++transactionDepth_;
}

void SQLiteDB::endLevel() {
    --transactionDepth_;
    if (transactionDepth_ == 0) {
        try {
            exec("COMMIT");
        } catch (...) {
            // The failed commit is rolled back here; the caller's handler must not unwind again.
            try {
                exec("ROLLBACK");
            } catch (...) {}
            levelClosed_ = true;
            throw;
        }
    } else {
        std::string name = "sp" + std::to_string(transactionDepth_);
        try {
            exec("RELEASE " + name);
        } catch (...) {
            try {
                exec("ROLLBACK TO " + name);
                exec("RELEASE " + name);
            } catch (...) {}
            levelClosed_ = true;
            throw;
        }
    }
}

void SQLiteDB::abortLevel() {
    if (levelClosed_) {
        levelClosed_ = false;
        return;
    }
    --transactionDepth_;
    // Rollback failures never replace the error that caused them.
    if (transactionDepth_ == 0) {
        try {
            exec("ROLLBACK");
        } catch (...) {}
    } else {
        std::string name = "sp" + std::to_string(transactionDepth_);
        try {
            exec("ROLLBACK TO " + name);
        } catch (...) {}
        try {
            exec("RELEASE " + name);
        } catch (...) {}
    }
}

void SQLiteDB::migrate(const std::vector<Step> &steps) {
    int64_t current = 0;
    try {
        current = scalarInt("PRAGMA user_version");
    } catch (const SQLiteError &) {
        current = 0;
    }
    for (auto k = static_cast<size_t>(current < 0 ? 0 : current); k < steps.size(); ++k) {
        transaction(true, [&] {
            steps[k](*this);
            exec("PRAGMA user_version = " + std::to_string(k + 1));
        });
    }
}

int64_t SQLiteDB::userVersion() {
    try {
        return scalarInt("PRAGMA user_version");
    } catch (const SQLiteError &) {
        return 0;
    }
}

void SQLiteDB::setUserVersion(int64_t version) {
    try {
        exec("PRAGMA user_version = " + std::to_string(version));
    } catch (const SQLiteError &) {}
}

bool SQLiteDB::tableExists(const std::string &name) {
    try {
        return scalarInt("SELECT count(*) FROM sqlite_master WHERE name = ?1", {SQLiteValue::text(name)}) > 0;
    } catch (const SQLiteError &) {
        return false;
    }
}

} // namespace quorvel
