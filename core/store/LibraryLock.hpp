#pragma once

#include "util/FileLock.hpp"

#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string_view>

namespace quorvel {

// The lock that makes a library's changes single across processes: the desktop app and quorvel-cli
// may share one library. A sync holds it from start to end (SyncEngine::run takes it), and so does
// erasing the library (LocalStore::wipeAll takes it); a sequence that must not interleave with a
// sync, such as a link, a logout or an erase followed by the credentials' removal, holds it across
// all its steps. It is "sync.lock" in the store directory, a FileLock: released by the kernel when
// its holder dies, nested within one thread.
//
// Order: the library lock before the credentials lock (FileTokenStore::hold), never the other way.
class LibraryLock {
public:
    static constexpr std::string_view fileName = "sync.lock";

    static std::filesystem::path path(const std::filesystem::path &storeDirectory) { return storeDirectory / fileName; }

    // Waits while a sync or erase runs in another thread or process; `onWait` is called once if it
    // must wait. Absent when `stop` ended the wait. Throws std::system_error when the lock file
    // cannot be created.
    static std::optional<LibraryLock> acquire(const std::filesystem::path &storeDirectory, std::stop_token stop = {},
                                              const std::function<void()> &onWait = {}) {
        auto lock = FileLock::acquire(path(storeDirectory), std::move(stop), onWait);
        if (!lock) return std::nullopt;
        return LibraryLock(std::move(*lock));
    }
    static std::optional<LibraryLock> tryAcquire(const std::filesystem::path &storeDirectory) {
        auto lock = FileLock::tryAcquire(path(storeDirectory));
        if (!lock) return std::nullopt;
        return LibraryLock(std::move(*lock));
    }

private:
    explicit LibraryLock(FileLock lock) : lock_(std::move(lock)) {}
    FileLock lock_;
};

} // namespace quorvel
