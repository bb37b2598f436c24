#include "store/SQLiteStatement.hpp"

#include "store/SQLiteDB.hpp"
#include "store/SQLiteError.hpp"

#include <sqlite3.h>

namespace quorvel {

SQLiteStatement::SQLiteStatement(sqlite3 *db, std::string sql, const SQLiteDB *owner)
    : db_(db), owner_(owner), sql_(std::move(sql)) {
    int rc = sqlite3_prepare_v2(db_, sql_.c_str(), -1, &stmt_, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = db_ ? sqlite3_errmsg(db_) : "prepare failed";
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        if (owner_) owner_->noteFailure(rc);
        throw SQLiteError(rc, message, sql_);
    }
}

SQLiteStatement::~SQLiteStatement() {
    finalize();
}

SQLiteStatement::SQLiteStatement(SQLiteStatement &&other) noexcept
    : stmt_(other.stmt_), db_(other.db_), owner_(other.owner_), sql_(std::move(other.sql_)) {
    other.stmt_ = nullptr;
}

SQLiteStatement &SQLiteStatement::operator=(SQLiteStatement &&other) noexcept {
    if (this != &other) {
        finalize();
        stmt_ = other.stmt_;
        db_ = other.db_;
        owner_ = other.owner_;
        sql_ = std::move(other.sql_);
        other.stmt_ = nullptr;
    }
    return *this;
}

void SQLiteStatement::fail(int code) const {
    if (owner_) owner_->noteFailure(code);
    throw SQLiteError(code, db_ ? sqlite3_errmsg(db_) : "error", sql_);
}

void SQLiteStatement::bindAll(const std::vector<SQLiteValue> &values) {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    for (size_t k = 0; k < values.size(); ++k)
        bind(static_cast<int>(k + 1), values[k]);
}

void SQLiteStatement::bind(int index, const SQLiteValue &value) {
    int rc = std::visit(
        [&](const auto &v) -> int {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, int64_t>) {
                return sqlite3_bind_int64(stmt_, index, v);
            } else if constexpr (std::is_same_v<T, double>) {
                return sqlite3_bind_double(stmt_, index, v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return sqlite3_bind_text(stmt_, index, v.c_str(), -1, SQLITE_TRANSIENT);
            } else if constexpr (std::is_same_v<T, SQLiteValue::Blob>) {
                // An empty buffer must stay a zero-length blob, not NULL.
                if (v.empty()) return sqlite3_bind_zeroblob(stmt_, index, 0);
                return sqlite3_bind_blob(stmt_, index, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
            } else {
                return sqlite3_bind_null(stmt_, index);
            }
        },
        value.value);
    if (rc != SQLITE_OK) fail(rc);
}

void SQLiteStatement::bindPointer(int index, const void *pointer, const char *type) {
    int rc = sqlite3_bind_pointer(stmt_, index, const_cast<void *>(pointer), type, nullptr);
    if (rc != SQLITE_OK) fail(rc);
}

bool SQLiteStatement::step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    fail(rc);
}

int SQLiteStatement::reset() {
    return sqlite3_reset(stmt_);
}

void SQLiteStatement::finalize() {
    if (stmt_) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

int SQLiteStatement::columnCount() const {
    return sqlite3_column_count(stmt_);
}
int64_t SQLiteStatement::int64(int i) const {
    return sqlite3_column_int64(stmt_, i);
}
double SQLiteStatement::real(int i) const {
    return sqlite3_column_double(stmt_, i);
}
bool SQLiteStatement::isNull(int i) const {
    return sqlite3_column_type(stmt_, i) == SQLITE_NULL;
}

std::optional<int64_t> SQLiteStatement::optInt(int i) const {
    if (isNull(i)) return std::nullopt;
    return int64(i);
}

std::string SQLiteStatement::text(int i) const {
    auto p = sqlite3_column_text(stmt_, i);
    if (!p) return {};
    return std::string(reinterpret_cast<const char *>(p), static_cast<size_t>(sqlite3_column_bytes(stmt_, i)));
}

std::optional<std::string> SQLiteStatement::optText(int i) const {
    if (isNull(i)) return std::nullopt;
    return text(i);
}

std::vector<uint8_t> SQLiteStatement::blob(int i) const {
    auto p = static_cast<const uint8_t *>(sqlite3_column_blob(stmt_, i));
    int n = sqlite3_column_bytes(stmt_, i);
    if (!p || n <= 0) return {};
    return {p, p + n};
}

} // namespace quorvel
