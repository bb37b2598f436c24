#include "sync/DocumentSpool.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace quorvel {

namespace {

[[noreturn]] void fail(const char *what, int error = errno) {
    throw std::system_error(error, std::generic_category(), std::string("document spool: ") + what);
}

int openAnonymous(const std::filesystem::path &directory) {
#ifdef O_TMPFILE
    int fd = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    // Filesystems without anonymous files fall through to a name removed at once.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) fail("create");
#endif
    std::string pattern = (directory / "quorvel-spool-XXXXXX").string();
    int named = ::mkstemp(pattern.data());
    if (named < 0) fail("create");
    ::unlink(pattern.c_str());
    ::fcntl(named, F_SETFD, FD_CLOEXEC);
    return named;
}

} // namespace

DocumentSpool::DocumentSpool(const std::filesystem::path &directory) : fd_(openAnonymous(directory)) {}

DocumentSpool::~DocumentSpool() {
    if (fd_ >= 0) ::close(fd_);
}

DocumentSpool::Entry DocumentSpool::append(std::string_view bytes) {
    Entry entry{end_, bytes.size()};
    const char *data = bytes.data();
    size_t left = bytes.size();
    auto at = static_cast<off_t>(end_);
    while (left > 0) {
        ssize_t n = ::pwrite(fd_, data, left, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail("write", n < 0 ? errno : ENOSPC);
        data += n;
        left -= static_cast<size_t>(n);
        at += n;
    }
    end_ += bytes.size();
    return entry;
}

std::string DocumentSpool::read(const Entry &entry) const {
    if (entry.offset > end_ || entry.size > end_ - entry.offset) fail("read", EINVAL);
    std::string bytes(entry.size, '\0');
    char *data = bytes.data();
    size_t left = bytes.size();
    auto at = static_cast<off_t>(entry.offset);
    while (left > 0) {
        ssize_t n = ::pread(fd_, data, left, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail("read", n < 0 ? errno : EIO);
        data += n;
        left -= static_cast<size_t>(n);
        at += n;
    }
    return bytes;
}

} // namespace quorvel
