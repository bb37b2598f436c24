#include "store/SQLiteError.hpp"

#include <sqlite3.h>

namespace quorvel {

SQLiteError::SQLiteError(int code_, std::string message_, std::optional<std::string> sql_)
    : code(code_), message(std::move(message_)), sql(std::move(sql_)) {
    description_ = "SQLite(" + std::to_string(code) + "): " + message;
    if (sql) description_ += " [" + sql->substr(0, 120) + "]";
}

bool SQLiteError::meansDamage(int code) {
    // Extended codes (an FTS5 index's SQLITE_CORRUPT_VTAB among them) keep the primary code in the low byte.
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

} // namespace quorvel
