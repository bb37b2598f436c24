#include "store/LocalStore.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <unordered_set>

namespace fs = std::filesystem;

namespace quorvel {

namespace {

[[noreturn]] void throwIO(const char *what, const fs::path &path, int error) {
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

// Writes to a fresh temporary name beside the target, flushes it to disk, then renames it into
// place: a reader or a crash sees no file or the whole file, never a part of it.
void writeAtomically(const fs::path &target, std::span<const uint8_t> data) {
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
            fail("cannot write an image file");
        }
        done += static_cast<size_t>(n);
    }
    // The name is the promise that the bytes are complete; keep it after a power loss too.
    if (::fdatasync(fd) != 0) fail("cannot flush an image file");
    if (::fchmod(fd, 0644) != 0) fail("cannot set an image file's mode");
    if (::close(fd) != 0) {
        int error = errno;
        ::unlink(temp.c_str());
        throwIO("cannot write an image file", target, error);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        int error = errno;
        ::unlink(temp.c_str());
        throwIO("cannot store an image file", target, error);
    }
}

} // namespace

bool LocalStore::isAssetHash(std::string_view sha256) {
    if (sha256.size() != 64) return false;
    for (char c : sha256) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

void LocalStore::stageAsset(std::string_view sha256, std::span<const uint8_t> data) {
    if (!isAssetHash(sha256)) return;
    std::lock_guard guard(lock_);
    fs::path target = assetsDirectory() / sha256;
    std::error_code ec;
    // Content-addressed: an existing file already holds these bytes.
    if (fs::exists(target, ec)) return;
    fs::create_directories(assetsDirectory());
    writeAtomically(target, data);
}

void LocalStore::stageAsset(std::string_view sha256, std::string_view data) {
    stageAsset(sha256, std::span(reinterpret_cast<const uint8_t *>(data.data()), data.size()));
}

int LocalStore::collectGarbageFiles() {
    std::lock_guard guard(lock_);
    if (!db_) return 0;
    std::unordered_set<std::string> known;
    try {
        for (auto &hash : db_->query("SELECT sha256 FROM assets", {}, [](SQLiteStatement &s) { return s.text(0); }))
            known.insert(std::move(hash));
    } catch (const SQLiteError &) {
        // Without the list every file would look unknown; removing nothing is the safe answer.
        return 0;
    }
    std::error_code ec;
    fs::directory_iterator it(assetsDirectory(), ec);
    if (ec) return 0;
    std::vector<fs::path> unknown;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) return 0;
        if (!known.count(it->path().filename().string())) unknown.push_back(it->path());
    }
    int removed = 0;
    for (const auto &path : unknown) {
        std::error_code removeError;
        if (fs::remove(path, removeError)) ++removed;
    }
    return removed;
}

int64_t LocalStore::storageBytes() {
    std::lock_guard guard(lock_);
    int64_t total = 0;
    fs::path base = directory_ / databaseFileName;
    for (const char *suffix : {"", "-wal", "-shm"}) {
        fs::path p = base;
        p += suffix;
        std::error_code ec;
        auto size = fs::file_size(p, ec);
        if (!ec) total += static_cast<int64_t>(size);
    }
    total +=
        quietly<int64_t>(0, [](SQLiteDB &db) { return db.scalarInt("SELECT coalesce(sum(bytes), 0) FROM assets"); });
    return total;
}

fs::path LocalStore::assetURL(std::string_view sha256) const {
    return assetsDirectory() / sha256;
}

std::optional<std::vector<uint8_t>> LocalStore::assetData(std::string_view sha256) const {
    if (!isAssetHash(sha256)) return std::nullopt;
    int fd = ::open((assetsDirectory() / sha256).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<std::vector<uint8_t>> result;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        std::vector<uint8_t> bytes(static_cast<size_t>(info.st_size));
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

std::optional<std::string> LocalStore::cachedAsset(std::string_view url) {
    return quietly<std::optional<std::string>>(std::nullopt, [&](SQLiteDB &db) -> std::optional<std::string> {
        auto hash =
            db.queryOne("SELECT a.sha256 FROM asset_urls u JOIN assets a ON a.sha256 = u.sha256 WHERE u.url = ?1",
                        {SQLiteValue::text(std::string(url))}, [](SQLiteStatement &s) { return s.text(0); });
        if (!hash || !isAssetHash(*hash)) return std::nullopt;
        std::error_code ec;
        if (!fs::exists(assetsDirectory() / *hash, ec)) return std::nullopt;
        return hash;
    });
}

bool LocalStore::hasAsset(std::string_view sha256) {
    if (!isAssetHash(sha256)) return false;
    return quietly(false, [&](SQLiteDB &db) {
        if (db.scalarInt("SELECT count(*) FROM assets WHERE sha256 = ?1", {SQLiteValue::text(std::string(sha256))}) ==
            0)
            return false;
        std::error_code ec;
        return fs::exists(assetsDirectory() / sha256, ec);
    });
}

} // namespace quorvel
