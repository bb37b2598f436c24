#pragma once

#include "store/SQLiteError.hpp"
#include "store/SQLiteStatement.hpp"
#include "store/SQLiteValue.hpp"

#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

struct sqlite3;
struct fts5_api;

namespace quorvel {

// One connection. No locking of its own: the store serialises every use.
class SQLiteDB {
public:
    using Step = std::function<void(SQLiteDB &)>;

    enum class Access { readWrite, readOnly };

    // readWrite creates the file when it is missing; readOnly never writes it. `vfs` names a
    // registered SQLite file layer; null for the default one.
    explicit SQLiteDB(std::string path, Access access = Access::readWrite, const char *vfs = nullptr);
    ~SQLiteDB();
    SQLiteDB(const SQLiteDB &) = delete;
    SQLiteDB &operator=(const SQLiteDB &) = delete;

    void close();
    bool isOpen() const { return handle_ != nullptr; }
    const std::string &path() const { return path_; }
    int transactionDepth() const { return transactionDepth_; }
    sqlite3 *handle() const { return handle_; }
    // The connection's FTS5 interface; null when SQLite was built without FTS5.
    fts5_api *fts5() const;

    static std::string versionString();
    int64_t lastInsertRowID() const;
    int changes() const;

    void exec(const std::string &sql);
    SQLiteStatement prepare(const std::string &sql);
    void run(const std::string &sql, const std::vector<SQLiteValue> &params = {});

    template <typename F>
    auto query(const std::string &sql, const std::vector<SQLiteValue> &params, F &&map) {
        using T = std::invoke_result_t<F &, SQLiteStatement &>;
        SQLiteStatement stmt = prepare(sql);
        stmt.bindAll(params);
        std::vector<T> rows;
        while (stmt.step())
            rows.push_back(map(stmt));
        return rows;
    }

    template <typename F>
    auto queryOne(const std::string &sql, const std::vector<SQLiteValue> &params, F &&map)
        -> std::optional<std::invoke_result_t<F &, SQLiteStatement &>> {
        SQLiteStatement stmt = prepare(sql);
        stmt.bindAll(params);
        if (stmt.step()) return map(stmt);
        return std::nullopt;
    }

    int64_t scalarInt(const std::string &sql, const std::vector<SQLiteValue> &params = {});

    // Outermost level is BEGIN [IMMEDIATE]/COMMIT; nested levels are savepoints sp1, sp2, ...
    template <typename F>
    auto transaction(bool immediate, F &&body) -> std::invoke_result_t<F &> {
        beginLevel(immediate);
        try {
            if constexpr (std::is_void_v<std::invoke_result_t<F &>>) {
                body();
                endLevel();
            } else {
                auto result = body();
                endLevel();
                return result;
            }
        } catch (...) {
            abortLevel();
            throw;
        }
    }

    void migrate(const std::vector<Step> &steps);

    int64_t userVersion();
    void setUserVersion(int64_t version);
    bool tableExists(const std::string &name);

    // Test seam: called with each SQL text before it runs; throwing from it fails that statement.
    std::function<void(const std::string &sql)> statementHook;
    // Called when SQLite finds the file corrupt or not a database, before that error is thrown.
    std::function<void()> damageHook;
    // Every failure of this connection and its statements passes here.
    void noteFailure(int code) const;

private:
    void checkOpen(const std::string &sql) const;
    void beginLevel(bool immediate);
    // Commits or releases the innermost level; on failure rolls it back and throws.
    void endLevel();
    void abortLevel();

    sqlite3 *handle_ = nullptr;
    std::string path_;
    int transactionDepth_ = 0;
    // Set between a failed COMMIT and its rollback so the level is not unwound twice.
    bool levelClosed_ = false;
};

} // namespace quorvel
