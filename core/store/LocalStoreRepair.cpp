#include "store/LocalStore.hpp"

#include "store/LibraryLock.hpp"
#include "store/Schema.hpp"
#include "store/StoreSQL.hpp"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <fstream>
#include <random>
#include <set>

namespace fs = std::filesystem;

namespace quorvel {

namespace {

constexpr std::array<const char *, 3> databaseSuffixes = {"", "-wal", "-shm"};

fs::path withSuffix(fs::path path, const char *suffix) {
    path += suffix;
    return path;
}

// An empty or missing file is a store not yet written; anything else must start as SQLite's do.
bool hasSQLiteHeader(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return true;
    std::array<char, 16> header{};
    in.read(header.data(), header.size());
    if (in.gcount() == 0) return true;
    return in.gcount() == static_cast<std::streamsize>(header.size()) &&
           std::memcmp(header.data(), "SQLite format 3", header.size()) == 0;
}

std::string newRebuildId() {
    std::random_device random;
    std::uniform_int_distribution<uint64_t> any;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(any(random)));
    return text;
}

// Empties the file through SQLite's own reset, under SQLite's locks, so that a connection another
// process holds on it follows along. Renaming or removing the files instead would leave such a
// connection on the old file, and its closing would delete the new write-ahead log by name.
void resetDatabase(const fs::path &path) {
    try {
        SQLiteDB db(path.string());
        // Having read the schema, the reset keeps the file in WAL mode: leaving it would need every
        // other connection closed.
        try {
            db.prepare("SELECT 1 FROM sqlite_master");
        } catch (const SQLiteError &) {}
        sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_RESET_DATABASE, 1, nullptr);
        db.exec("VACUUM");
        sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_RESET_DATABASE, 0, nullptr);
        return;
    } catch (const SQLiteError &e) {
        // Busy or out of space: the damage stays known and the next attempt tries again.
        if (!e.meansDamage()) throw;
    }
    // Too broken even for that: start from no file at all.
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        fs::remove(withSuffix(path, suffix));
}

} // namespace

bool LocalStore::isDamaged() const {
    std::error_code ec;
    return damaged_ || fs::exists(directory_ / damageMarkName, ec);
}

void LocalStore::markDamaged() {
    damaged_ = true;
    int fd = ::open((directory_ / damageMarkName).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) ::close(fd);
}

void LocalStore::removeDamageMark() {
    std::error_code ec;
    fs::remove(directory_ / damageMarkName, ec);
}

// Nothing else sees the store while it is being constructed, so its own lock plays no part here.
void LocalStore::openOrRebuild() {
    std::optional<LibraryLock> library;
    // A suspect file is looked at, and rebuilt, by one process at a time and never during a sync.
    std::error_code ec;
    if (fs::exists(directory_ / damageMarkName, ec) || !hasSQLiteHeader(databasePath()))
        library = LibraryLock::acquire(directory_);
    if (openIfSound()) return;
    if (!library) {
        // Damage that showed only as the file was opened: look again under the lock.
        library = LibraryLock::acquire(directory_);
        if (openIfSound()) return;
    }
    rebuild();
}

bool LocalStore::openIfSound() {
    closeDatabase();
    if (!hasSQLiteHeader(databasePath())) return false;
    try {
        open();
        std::error_code ec;
        // Only after damage was seen: on a large library the checks read every page.
        if (fs::exists(directory_ / damageMarkName, ec) && !looksSound()) return false;
        removeDamageMark();
        damaged_ = false;
        return true;
    } catch (const SQLiteError &e) {
        if (!e.meansDamage()) throw;
        return false;
    }
}

bool LocalStore::looksSound() {
    try {
        auto verdict = db_->queryOne("PRAGMA quick_check", {}, [](SQLiteStatement &s) { return s.text(0); });
        if (verdict != "ok") return false;
        // Damage inside the index's pages that keeps their structure shows only here.
        if (hasFTS_) db_->exec(Schema::ftsIntegrityCheckSQL);
        return true;
    } catch (const SQLiteError &e) {
        // A busy or failing disk says nothing about the file; the mark stays for the next look.
        return !e.meansDamage();
    }
}

bool LocalStore::rebuildIfDamaged() {
    if (!isDamaged()) return false;
    // The library lock before the store's own, as every erase takes them.
    auto library = LibraryLock::acquire(directory_);
    std::lock_guard guard(lock_);
    std::error_code ec;
    const bool seenHere = damaged_;
    if (!seenHere && !fs::exists(directory_ / damageMarkName, ec)) return false;
    if (db_ && seenHere) {
        // Another process may have rebuilt it since this one saw the damage.
        try {
            auto current = db_->queryOne(StoreSQL::selectMeta, {SQLiteValue::text(MetaKey::rebuildId)},
                                         [](SQLiteStatement &s) { return s.optText(0); })
                               .value_or(std::nullopt);
            if (current != rebuildId_) {
                rebuildId_ = std::move(current);
                damaged_ = false;
                return false;
            }
        } catch (const SQLiteError &) {
            // Unreadable: damaged still.
        }
    } else if (db_ && looksSound()) {
        removeDamageMark();
        return false;
    }
    rebuild();
    return true;
}

void LocalStore::rebuild() {
    std::lock_guard guard(lock_);
    closeDatabase();
    keepDamagedCopy();
    resetDatabase(databasePath());
    // The images go too: they may be as damaged as the database, and nothing names them now.
    if (fs::exists(assetsDirectory())) fs::remove_all(assetsDirectory());
    open();
    rebuildId_ = newRebuildId();
    db_->run(StoreSQL::writeMeta, {SQLiteValue::text(MetaKey::rebuildId), SQLiteValue::text(*rebuildId_)});
    damaged_ = false;
    removeDamageMark();
}

// Only the newest damage is kept. A copy that cannot be made is given up: the service holds the
// library, and the copy only serves a look at what went wrong.
void LocalStore::keepDamagedCopy() {
    const fs::path copy = directory_ / damagedCopyName;
    std::error_code ec;
    for (const char *suffix : databaseSuffixes)
        fs::remove(withSuffix(copy, suffix), ec);
    for (const char *suffix : databaseSuffixes) {
        fs::path from = withSuffix(databasePath(), suffix);
        if (fs::exists(from, ec)) fs::copy_file(from, withSuffix(copy, suffix), ec);
    }
}

bool LocalStore::isRebuilding() {
    return metaValue(MetaKey::rebuildId).has_value() && isFirstSync();
}

std::vector<int64_t> LocalStore::repairImages(const std::vector<std::string> &hashes) {
    return withDB([&](SQLiteDB &db) {
        std::set<int64_t> users;
        SQLiteStatement find = db.prepare("SELECT file_id FROM asset_refs WHERE sha256 = ?1");
        for (const auto &hash : hashes) {
            if (!isAssetHash(hash)) continue;
            // The sync keeps an existing file as it is, so a wrong one must go before it can come back.
            std::error_code ec;
            fs::remove(assetsDirectory() / hash, ec);
            find.bindAll({SQLiteValue::text(hash)});
            while (find.step())
                users.insert(find.int64(0));
        }
        if (users.empty()) return std::vector<int64_t>();
        db.transaction(true, [&] {
            SQLiteStatement mark = db.prepare("UPDATE files SET missing_assets = 1 WHERE id = ?1");
            for (int64_t id : users) {
                mark.bindAll({SQLiteValue::i(id)});
                while (mark.step()) {}
            }
            // Documents are only rendered again after a full manifest.
            db.run(StoreSQL::deleteMeta, {SQLiteValue::text(MetaKey::etag)});
        });
        return std::vector<int64_t>(users.begin(), users.end());
    });
}

} // namespace quorvel
