#pragma once

#include "store/LocalStoreError.hpp"
#include "store/SQLiteDB.hpp"

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>

namespace quorvel {

// The one on-disk library: "store.sqlite" plus the content-addressed "assets" directory.
// Every operation runs under one recursive lock, held across whole transactions.
class LocalStore {
public:
    static constexpr const char *databaseFileName = "store.sqlite";
    static constexpr const char *assetsDirectoryName = "assets";
    static constexpr int recentLimit = 10;

    LocalStore(std::filesystem::path directory, bool enableFTS);
    ~LocalStore();
    LocalStore(const LocalStore &) = delete;
    LocalStore &operator=(const LocalStore &) = delete;

    const std::filesystem::path &directory() const { return directory_; }
    std::filesystem::path assetsDirectory() const { return directory_ / assetsDirectoryName; }
    bool hasFTS() const;
    bool isOpen() const;

    // Erases the database and every image, then opens an empty store again.
    void wipeAll();

    // Called inside the apply transaction just before it commits.
    std::function<void()> beforeCommitHook;

    // Runs `body` with the open connection under the store's lock; throws notOpen when closed.
    template <typename F>
    auto withDB(F &&body) -> std::invoke_result_t<F &, SQLiteDB &> {
        std::lock_guard guard(lock_);
        if (!db_) throw LocalStoreError::notOpen();
        return body(*db_);
    }

private:
    void open();

    std::filesystem::path directory_;
    bool wantFTS_;
    bool hasFTS_ = false;
    mutable std::recursive_mutex lock_;
    std::unique_ptr<SQLiteDB> db_;
};

} // namespace quorvel
