#include "auth/SecureFile.hpp"

#include "auth/SecureRandom.hpp"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace quorvel::SecureFile {

namespace {

constexpr mode_t directoryMode = 0700;
constexpr mode_t fileMode = 0600;

std::filesystem::path directoryOf(const std::filesystem::path &file) {
    auto dir = file.parent_path();
    return dir.empty() ? std::filesystem::path(".") : dir;
}

// Like create_directories, but every directory it creates is 0700 from the start.
void createDirectories(const std::filesystem::path &dir) {
    std::filesystem::path partial;
    for (const auto &part : dir) {
        partial /= part;
        if (part == partial.root_path() || part == "." || part == "..") continue;
        if (::mkdir(partial.c_str(), directoryMode) != 0 && errno != EEXIST) return;
    }
}

void markExcludedFromBackup(const std::filesystem::path &path) {
    (void)::setxattr(path.c_str(), backupExclusionAttribute, backupExclusionValue.data(), backupExclusionValue.size(),
                     0);
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Opens a fresh temporary file next to the target. O_EXCL with mode 0600 means it is never
// readable by anyone else, not even for an instant, and never an existing file or symlink.
int createTemporary(const std::filesystem::path &file, std::filesystem::path &temporary) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::array<uint8_t, 8> noise{};
        try {
            SecureRandom::fill(noise);
        } catch (const std::exception &) {
            noise[0] = static_cast<uint8_t>(attempt);
            noise[1] = static_cast<uint8_t>(::getpid());
        }
        std::string name = "." + file.filename().string() + ".";
        static constexpr char digits[] = "0123456789abcdef";
        for (uint8_t b : noise) {
            name.push_back(digits[b >> 4]);
            name.push_back(digits[b & 15]);
        }
        name += ".tmp";
        temporary = file.parent_path() / name;
        int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, fileMode);
        if (fd >= 0) return fd;
        if (errno != EEXIST) return -1;
    }
    return -1;
}

void syncDirectory(const std::filesystem::path &dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

} // namespace

bool write(std::string_view data, const std::filesystem::path &file) {
    if (file.filename().empty()) return false;
    const auto dir = directoryOf(file);
    createDirectories(dir);
    // Tighten an existing directory before the new file appears in it.
    (void)::chmod(dir.c_str(), directoryMode);

    std::filesystem::path temporary;
    int fd = createTemporary(file, temporary);
    if (fd < 0) return false;
    // The umask may have taken bits away; set exactly owner read-write.
    (void)::fchmod(fd, fileMode);
    (void)::fsetxattr(fd, backupExclusionAttribute, backupExclusionValue.data(), backupExclusionValue.size(), 0);
    bool ok = writeAll(fd, data) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temporary.c_str(), file.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // Make the rename itself durable, so a crash cannot bring back the old content.
    syncDirectory(dir);

    (void)::chmod(dir.c_str(), directoryMode);
    (void)::chmod(file.c_str(), fileMode);
    markExcludedFromBackup(file);
    markExcludedFromBackup(dir);
    return true;
}

void makeDirectory(const std::filesystem::path &dir) {
    createDirectories(dir.empty() ? std::filesystem::path(".") : dir);
}

void tighten(const std::filesystem::path &file) {
    int dir = ::open(directoryOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) return;
    struct stat info {};
    if (::fstat(dir, &info) == 0 && (info.st_mode & 077) != 0) (void)::fchmod(dir, directoryMode);
    int fd = ::openat(dir, file.filename().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 077) != 0) (void)::fchmod(fd, fileMode);
        ::close(fd);
    }
    ::close(dir);
}

void remove(const std::filesystem::path &file) {
    if (::unlink(file.c_str()) == 0) syncDirectory(directoryOf(file));
}

} // namespace quorvel::SecureFile
