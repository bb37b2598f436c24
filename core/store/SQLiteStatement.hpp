#pragma once

#include "store/SQLiteValue.hpp"

#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace quorvel {

class SQLiteDB;

// One prepared SQL text. Finalized on destruction.
class SQLiteStatement {
public:
    // `owner`, when given, hears of every failure before it is thrown.
    SQLiteStatement(sqlite3 *db, std::string sql, const SQLiteDB *owner = nullptr);
    ~SQLiteStatement();
    SQLiteStatement(SQLiteStatement &&other) noexcept;
    SQLiteStatement &operator=(SQLiteStatement &&other) noexcept;
    SQLiteStatement(const SQLiteStatement &) = delete;
    SQLiteStatement &operator=(const SQLiteStatement &) = delete;

    // Resets and clears first, so one statement serves every row of a batch.
    void bindAll(const std::vector<SQLiteValue> &values);
    void bind(int index, const SQLiteValue &value);
    // Binds a pointer only SQL functions asking for `type` can see (SQLite's pointer passing);
    // they must not write through it.
    void bindPointer(int index, const void *pointer, const char *type);
    // True on a row, false when done; anything else throws.
    bool step();
    int reset();
    void finalize();

    int columnCount() const;
    int64_t int64(int i) const;
    int64_t integer(int i) const { return int64(i); }
    std::optional<int64_t> optInt(int i) const;
    double real(int i) const;
    std::string text(int i) const;
    std::optional<std::string> optText(int i) const;
    std::vector<uint8_t> blob(int i) const;
    bool isNull(int i) const;

    const std::string &sql() const { return sql_; }

private:
    [[noreturn]] void fail(int code) const;

    sqlite3_stmt *stmt_ = nullptr;
    sqlite3 *db_ = nullptr;
    const SQLiteDB *owner_ = nullptr;
    std::string sql_;
};

} // namespace quorvel
