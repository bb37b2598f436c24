#include "store/LocalStore.hpp"

#include "store/AtomicFile.hpp"
#include "store/LibraryLock.hpp"
#include "util/Hashing.hpp"

#include <system_error>
#include <unordered_set>

namespace fs = std::filesystem;

namespace quorvel {

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
    // The name is the promise that the bytes are complete; keep it after a power loss too.
    AtomicFile::write(target, data, 0644, true);
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
    // Staged by a run that has not applied yet: the next run takes them instead of downloading again.
    for (auto &image : downloadCache_.stagedImages())
        known.insert(std::move(image.sha256));
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

std::optional<std::vector<uint8_t>> LocalStore::assetData(std::string_view sha256) {
    if (!isAssetHash(sha256)) return std::nullopt;
    const fs::path path = assetsDirectory() / sha256;
    auto result = AtomicFile::readBytes(path);
    std::error_code ec;
    if (!result) {
        if (!fs::exists(path, ec) && !ec) repairQuietly(sha256);
        return std::nullopt;
    }
    // The name promises the bytes: a file that breaks the promise would show another picture.
    if (Hashing::sha256Hex(*result) != sha256) {
        repairQuietly(sha256);
        return std::nullopt;
    }
    return result;
}

void LocalStore::repairQuietly(std::string_view sha256) {
    try {
        // A sync in flight may have counted on this file and would write the entity tag back over the
        // repair's; the viewer does not wait for it either. The next read or check repairs it.
        auto library = LibraryLock::tryAcquire(directory_);
        if (!library) return;
        repairImages({std::string(sha256)});
    } catch (const std::exception &) {
        // The placeholder shows either way; a later check finds the file again.
    }
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
