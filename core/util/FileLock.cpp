#include "util/FileLock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace quorvel {

namespace {

// Another process's hold cannot be waited on, only polled: this often.
constexpr auto pollInterval = std::chrono::milliseconds(50);

struct Held {
    int fd = -1;
    std::thread::id owner;
    int depth = 0;
};

// The holds of this process, by lock file. Never destroyed, so a hold released during exit finds it.
struct Registry {
    std::mutex mutex;
    std::condition_variable_any released;
    std::map<std::string, Held> held;
};

Registry &registry() {
    static auto *instance = new Registry;
    return *instance;
}

class Descriptor {
public:
    explicit Descriptor(const std::filesystem::path &path)
        : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
        if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "cannot open lock file " + path.string());
    }
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fd_; }
    int take() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

} // namespace

FileLock::FileLock(FileLock &&other) noexcept : key_(std::exchange(other.key_, {})) {}

FileLock &FileLock::operator=(FileLock &&other) noexcept {
    if (this != &other) {
        release();
        key_ = std::exchange(other.key_, {});
    }
    return *this;
}

FileLock::~FileLock() {
    release();
}

std::optional<FileLock> FileLock::acquire(const std::filesystem::path &path, std::stop_token stop,
                                          const std::function<void()> &onWait) {
    return take(path, std::move(stop), onWait, true);
}

std::optional<FileLock> FileLock::tryAcquire(const std::filesystem::path &path) {
    return take(path, {}, {}, false);
}

std::optional<FileLock> FileLock::take(const std::filesystem::path &path, std::stop_token stop,
                                       const std::function<void()> &onWait, bool wait) {
    Descriptor file(path);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0)
        throw std::system_error(errno, std::generic_category(), "cannot inspect lock file " + path.string());
    const std::string key = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    const auto self = std::this_thread::get_id();

    Registry &r = registry();
    bool told = false;
    std::unique_lock guard(r.mutex);
    for (;;) {
        if (stop.stop_requested()) return std::nullopt;
        auto it = r.held.find(key);
        if (it != r.held.end() && it->second.owner == self) {
            ++it->second.depth;
            return FileLock(key);
        }
        bool busy = it != r.held.end();
        if (!busy) {
            if (::flock(file.get(), LOCK_EX | LOCK_NB) == 0) {
                r.held.emplace(key, Held{file.take(), self, 1});
                return FileLock(key);
            }
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK)
                throw std::system_error(errno, std::generic_category(), "cannot lock " + path.string());
        }
        if (!wait) return std::nullopt;
        if (!told && onWait) {
            told = true;
            guard.unlock();
            onWait();
            guard.lock();
            continue;
        }
        // A thread of this process releasing wakes the wait at once; another process's release is
        // seen at the next poll.
        r.released.wait_for(guard, stop, pollInterval, [] { return false; });
    }
}

void FileLock::release() {
    if (key_.empty()) return;
    Registry &r = registry();
    {
        std::lock_guard guard(r.mutex);
        auto it = r.held.find(key_);
        if (it != r.held.end() && --it->second.depth == 0) {
            ::close(it->second.fd); // closing the last descriptor drops the flock
            r.held.erase(it);
        }
    }
    key_.clear();
    r.released.notify_all();
}

} // namespace quorvel
