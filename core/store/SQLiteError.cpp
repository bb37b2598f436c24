#include "store/SQLiteError.hpp"

namespace quorvel {

SQLiteError::SQLiteError(int code_, std::string message_, std::optional<std::string> sql_)
    : code(code_), message(std::move(message_)), sql(std::move(sql_)) {
    description_ = "SQLite(" + std::to_string(code) + "): " + message;
    if (sql) description_ += " [" + sql->substr(0, 120) + "]";
}

} // namespace quorvel
