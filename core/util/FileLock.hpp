#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>

namespace quorvel {

// An exclusive lock on a file, shared by every thread and process that names the same file. It is
// a flock, so the kernel lets go when the holder dies, however it dies. Within one process a thread
// that already holds the lock takes it again at once and the holds nest; every other thread waits
// exactly as another process does. A hold belongs to the thread that took it: the work done under
// it, nested takes included, must run on that thread.
//
// The lock file is created when missing and never removed: removing it would let two holders lock
// two different files.
class FileLock {
public:
    // Holds nothing.
    FileLock() = default;
    FileLock(FileLock &&other) noexcept;
    FileLock &operator=(FileLock &&other) noexcept;
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    ~FileLock();

    // Takes the lock, waiting while another thread or process holds it. `onWait` is called once,
    // before the first wait. Absent when `stop` ended the wait. Throws std::system_error when the
    // lock file cannot be opened.
    static std::optional<FileLock> acquire(const std::filesystem::path &path, std::stop_token stop = {},
                                           const std::function<void()> &onWait = {});
    // Absent at once when another thread or process holds the lock.
    static std::optional<FileLock> tryAcquire(const std::filesystem::path &path);

    bool holds() const { return !key_.empty(); }
    void release();

private:
    static std::optional<FileLock> take(const std::filesystem::path &path, std::stop_token stop,
                                        const std::function<void()> &onWait, bool wait);
    explicit FileLock(std::string key) : key_(std::move(key)) {}

    // The lock file's device and inode: one name for every path that reaches it.
    std::string key_;
};

} // namespace quorvel
