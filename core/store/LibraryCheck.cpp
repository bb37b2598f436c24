#include "store/LibraryCheck.hpp"

#include "store/LibraryLock.hpp"
#include "store/Schema.hpp"
#include "util/Hashing.hpp"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>

namespace fs = std::filesystem;

namespace quorvel::LibraryCheck {

namespace {

constexpr int maxDatabaseProblems = 100;

std::vector<std::string> databaseProblems(LocalStore &store, std::stop_token &stop, bool &complete) {
    SQLiteDB db((store.directory() / LocalStore::databaseFileName).string());
    // Lets a stop request interrupt the check between steps of SQLite's virtual machine.
    sqlite3_progress_handler(
        db.handle(), 10000, [](void *token) { return static_cast<std::stop_token *>(token)->stop_requested() ? 1 : 0; },
        &stop);
    try {
        auto rows = db.query("PRAGMA integrity_check(" + std::to_string(maxDatabaseProblems) + ")", {},
                             [](SQLiteStatement &s) { return s.text(0); });
        if (rows.size() != 1 || rows.front() != "ok") return rows;
        // PRAGMA integrity_check does not look inside the full-text index.
        if (store.hasFTS()) db.exec(Schema::ftsIntegrityCheckSQL);
        return {};
    } catch (const SQLiteError &e) {
        if (e.meansDamage()) return {e.message};
        if (stop.stop_requested()) {
            complete = false;
            return {};
        }
        throw;
    }
}

bool matchesName(const fs::path &file, const std::string &sha256) {
    int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    Hashing::Sha256Stream hash;
    std::vector<uint8_t> buffer(256 * 1024);
    bool readable = true;
    for (;;) {
        ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) readable = false;
        if (n <= 0) break;
        hash.update(std::span(buffer.data(), static_cast<size_t>(n)));
    }
    ::close(fd);
    // A file that cannot be read cannot be shown either: it is replaced like a wrong one.
    return readable && hash.finishHex() == sha256;
}

} // namespace

LibraryCheckReport run(LocalStore &store, std::stop_token stop, const std::function<void(Step)> &step) {
    LibraryCheckReport report;
    auto begin = [&](Step s) {
        if (step) step(s);
    };
    {
        // A sync in any process waits meanwhile: its batch is not checked half applied, and the
        // index's check, which needs a write transaction, does not make it fail as busy.
        auto library = LibraryLock::acquire(store.directory(), stop);
        if (!library) {
            report.complete = false;
            return report;
        }
        begin(Step::database);
        report.databaseProblems = databaseProblems(store, stop, report.complete);
        if (!report.databaseProblems.empty()) {
            store.markDamaged();
            return report;
        }
    }

    begin(Step::images);
    std::error_code ec;
    for (fs::directory_iterator it(store.assetsDirectory(), ec), end; !ec && it != end; it.increment(ec)) {
        if (stop.stop_requested()) {
            report.complete = false;
            break;
        }
        std::string name = it->path().filename().string();
        // Staging files and other strays are the garbage collection's business.
        if (!LocalStore::isAssetHash(name)) continue;
        ++report.imagesChecked;
        std::error_code kind;
        if (!it->is_regular_file(kind) || it->is_symlink(kind) || !matchesName(it->path(), name))
            report.alteredImages.push_back(std::move(name));
    }
    std::sort(report.alteredImages.begin(), report.alteredImages.end());

    // The repair clears the entity tag, which a sync applying its batch meanwhile would write again.
    auto library = LibraryLock::acquire(store.directory(), stop);
    if (!library) {
        report.complete = false;
        return report;
    }
    const std::set<std::string> altered(report.alteredImages.begin(), report.alteredImages.end());
    auto shown = store.withDB([](SQLiteDB &db) {
        return db.query("SELECT DISTINCT sha256 FROM asset_refs ORDER BY sha256", {},
                        [](SQLiteStatement &s) { return s.text(0); });
    });
    for (auto &hash : shown) {
        if (!LocalStore::isAssetHash(hash) || altered.count(hash)) continue;
        std::error_code missing;
        if (!fs::is_regular_file(store.assetsDirectory() / hash, missing)) report.missingImages.push_back(hash);
    }

    std::vector<std::string> repair = report.alteredImages;
    repair.insert(repair.end(), report.missingImages.begin(), report.missingImages.end());
    if (!repair.empty()) report.documentsToRepair = store.repairImages(repair);
    return report;
}

} // namespace quorvel::LibraryCheck
