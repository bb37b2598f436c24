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

// Runs pread or pwrite until all `size` bytes at `offset` are moved; a short count of 0 means the
// disk is full (writing) or the file is shorter than recorded (reading).
template <typename Transfer, typename Bytes>
void transferAll(Transfer transfer, int fd, Bytes *data, size_t size, uint64_t offset, const char *what, int atZero) {
    auto at = static_cast<off_t>(offset);
    while (size > 0) {
        ssize_t n = transfer(fd, data, size, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail(what, n < 0 ? errno : atZero);
        data += n;
        size -= static_cast<size_t>(n);
        at += n;
    }
}

} // namespace

DocumentSpool::DocumentSpool(const std::filesystem::path &directory) : fd_(openAnonymous(directory)) {}

DocumentSpool::~DocumentSpool() {
    if (fd_ >= 0) ::close(fd_);
}

DocumentSpool::Entry DocumentSpool::append(std::string_view bytes) {
    Entry entry{end_, bytes.size()};
    transferAll(::pwrite, fd_, bytes.data(), bytes.size(), end_, "write", ENOSPC);
    end_ += bytes.size();
    return entry;
}

std::string DocumentSpool::read(const Entry &entry) const {
    if (entry.offset > end_ || entry.size > end_ - entry.offset) fail("read", EINVAL);
    std::string bytes(entry.size, '\0');
    transferAll(::pread, fd_, bytes.data(), bytes.size(), entry.offset, "read", EIO);
    return bytes;
}

} // namespace quorvel
