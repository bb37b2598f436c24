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

    // SQLite found the file corrupt or not a database: the library needs rebuilding, not a retry.
    bool meansDamage() const { return meansDamage(code); }
    static bool meansDamage(int code);

    // "SQLite(<code>): <message>" plus " [<first 120 characters of the SQL>]" when there is SQL.
    const std::string &description() const { return description_; }
    const char *what() const noexcept override { return description_.c_str(); }
    bool operator==(const SQLiteError &o) const { return code == o.code && message == o.message && sql == o.sql; }

private:
    std::string description_;
};

} // namespace quorvel
