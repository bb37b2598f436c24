#include "store/AtomicFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace fs = std::filesystem;

namespace quorvel::AtomicFile {

namespace {

[[noreturn]] void throwIO(const char *what, const fs::path &path, int error) {
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

} // namespace

void write(const fs::path &target, std::span<const uint8_t> data, mode_t mode, bool durable) {
    std::string pattern = (target.parent_path() / (".staging-" + target.filename().string() + "-XXXXXX")).string();
    int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) throwIO("cannot create a staging file", target, errno);
    fs::path temp = pattern;
    auto fail = [&](const char *what) {
        int error = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        throwIO(what, target, error);
    };
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("cannot write a file");
        }
        done += static_cast<size_t>(n);
    }
    if (durable && ::fdatasync(fd) != 0) fail("cannot flush a file");
    if (::fchmod(fd, mode) != 0) fail("cannot set a file's mode");
    if (::close(fd) != 0) {
        int error = errno;
        ::unlink(temp.c_str());
        throwIO("cannot write a file", target, error);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        int error = errno;
        ::unlink(temp.c_str());
        throwIO("cannot put a file in place", target, error);
    }
}

namespace {

template <class Bytes>
std::optional<Bytes> readAs(const fs::path &path, int flags) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
    if (fd < 0) return std::nullopt;
    std::optional<Bytes> result;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        Bytes bytes(static_cast<size_t>(info.st_size), 0);
        size_t done = 0;
        bool failed = false;
        while (done < bytes.size()) {
            ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                failed = true;
                break;
            }
            done += static_cast<size_t>(n);
        }
        if (!failed) result = std::move(bytes);
    }
    ::close(fd);
    return result;
}

} // namespace

std::optional<std::string> read(const fs::path &path) {
    return readAs<std::string>(path, O_NOFOLLOW);
}

std::optional<std::vector<uint8_t>> readBytes(const fs::path &path) {
    return readAs<std::vector<uint8_t>>(path, 0);
}

} // namespace quorvel::AtomicFile
