#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace quorvel {

class SQLiteError : public std::exception {
public:
    SQLiteError(int code, std::string message, std::optional<std::string> sql = std::nullopt);

    int code;
    std::string message;
    std::optional<std::string> sql;

    // "SQLite(<code>): <message>" plus " [<first 120 characters of the SQL>]" when there is SQL.
    const std::string &description() const { return description_; }
    const char *what() const noexcept override { return description_.c_str(); }
    bool operator==(const SQLiteError &o) const { return code == o.code && message == o.message && sql == o.sql; }

private:
    std::string description_;
};

} // namespace quorvel
