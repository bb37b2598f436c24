#include "store/LocalStore.hpp"

#include "store/Bm25Rank.hpp"
#include "store/LibraryGeneration.hpp"
#include "store/LibraryLock.hpp"
#include "store/RandomAccessVFS.hpp"
#include "store/Schema.hpp"
#include "store/SearchCatalog.hpp"
#include "store/StoreSQL.hpp"
#include "store/TrigramSnippet.hpp"
#include "store/TrigramVocabulary.hpp"

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace quorvel {

LocalStore::LocalStore(fs::path directory, bool enableFTS)
    : directory_(std::move(directory)), wantFTS_(enableFTS), downloadCache_(directory_ / DownloadCache::directoryName) {
    openOrRebuild();
}

LocalStore::LocalStore(fs::path directory, ReadOnly)
    : directory_(std::move(directory)), wantFTS_(true), downloadCache_(directory_ / DownloadCache::directoryName) {
    try {
        openReadOnly();
    } catch (const SQLiteError &) {
        closeDatabase();
    }
}

LocalStore::~LocalStore() = default;

bool LocalStore::hasFTS() const {
    std::lock_guard guard(lock_);
    return hasFTS_;
}

bool LocalStore::isOpen() const {
    std::lock_guard guard(lock_);
    return db_ != nullptr;
}

void LocalStore::open() {
    fs::create_directories(directory_);
    fs::create_directories(assetsDirectory());
    auto db = std::make_unique<SQLiteDB>(databasePath().string(), SQLiteDB::Access::readWrite, RandomAccessVFS::name());
    db->damageHook = [this] { markDamaged(); };
    try {
        db->exec("PRAGMA journal_mode = WAL");
    } catch (const SQLiteError &) {}
    try {
        db->exec("PRAGMA synchronous = NORMAL");
    } catch (const SQLiteError &) {}
    // Pages read through a mapping instead of a read call each: a search testing bodies reads
    // megabytes a query, a page at a time. SQLite caps the size at what it was built with. The
    // file layer keeps a page not yet in memory from bringing in the pages around it.
    if (RandomAccessVFS::name()) {
        try {
            db->exec("PRAGMA mmap_size = 2147418112");
        } catch (const SQLiteError &) {}
    }
    db->migrate(Schema::migrations());
    for (const char *index : {Schema::summaryIndexSQL, Schema::missingAssetsIndexSQL}) {
        try {
            db->exec(index);
        } catch (const SQLiteError &) {
            // Busy with another process's sync, say: the lists read the rows instead, only slower.
        }
    }
    rebuildId_ = db->queryOne(StoreSQL::selectMeta, {SQLiteValue::text(MetaKey::rebuildId)}, [](SQLiteStatement &s) {
                       return s.optText(0);
                   }).value_or(std::nullopt);
    db_ = std::move(db);
    openedFile_ = fileIdentity(directory_ / databaseFileName);
    hasFTS_ = false;
    if (wantFTS_) {
        try {
            db_->exec(Schema::ftsTableSQL);
            hasFTS_ = true;
        } catch (const SQLiteError &) {
            // No FTS5 or no trigram tokenizer: search falls back to LIKE.
        }
    }
    if (hasFTS_) enlargeIndexBuffer(*db_);
    // The snippet function lives as long as the connection; an emptied library keeps it.
    if (hasFTS_ &&
        (!TrigramSnippet::install(*db_, &searchStop_, "files_fts") || !Bm25Rank::install(*db_, &searchStop_)))
        hasFTS_ = false;
    prepareSearch();
}

void LocalStore::openReadOnly() {
    std::error_code ec;
    if (!fs::is_regular_file(databasePath(), ec)) return;
    auto db = std::make_unique<SQLiteDB>(databasePath().string(), SQLiteDB::Access::readOnly, RandomAccessVFS::name());
    if (RandomAccessVFS::name()) {
        try {
            db->exec("PRAGMA mmap_size = 2147418112");
        } catch (const SQLiteError &) {}
    }
    // A library the app has not yet brought to this schema may lack what the queries read.
    if (db->userVersion() != static_cast<int64_t>(Schema::migrations().size())) return;
    db_ = std::move(db);
    openedFile_ = fileIdentity(databasePath());
    hasFTS_ = db_->tableExists("files_fts") && TrigramSnippet::install(*db_, &searchStop_, "files_fts") &&
              Bm25Rank::install(*db_, &searchStop_);
    prepareSearch(false);
}

// Search's state holds statements of the connection, so it goes first.
void LocalStore::closeDatabase() {
    vocabulary_.reset();
    catalog_.reset();
    db_.reset();
    hasFTS_ = false;
}

void LocalStore::prepareSearch(bool writable) {
    catalog_.reset();
    vocabulary_.reset();
    catalogTable_ = false;
    try {
        if (writable) SearchCatalog::prepare(*db_);
        catalogTable_ = writable || SearchCatalog::inStep(*db_);
    } catch (const SQLiteError &) {
        // Search derives the same from `files` at each change of the library: only slower.
    }
    if (!hasFTS_) return;
    try {
        vocabulary_ = std::make_unique<TrigramVocabulary>(*db_);
    } catch (const SQLiteError &) {
        // Short words are then found by reading bodies: only slower.
    }
}

// FTS5 writes its pending terms out as a new segment every 1 MB by default. Trigram bodies fill
// that within a few documents, and merging the many small segments of a large sync then costs a
// third of the indexing time. The setting is kept in the index, so it is written once.
void LocalStore::enlargeIndexBuffer(SQLiteDB &db) {
    const std::string size = std::to_string(ftsBufferBytes);
    try {
        auto current = db.queryOne("SELECT v FROM files_fts_config WHERE k = 'hashsize'", {},
                                   [](SQLiteStatement &s) { return s.text(0); });
        if (current != size) db.exec("INSERT INTO files_fts(files_fts, rank) VALUES('hashsize', " + size + ")");
    } catch (const SQLiteError &) {
        // Only slower.
    }
}

std::optional<std::pair<uintmax_t, uintmax_t>> LocalStore::fileIdentity(const fs::path &path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return std::pair<uintmax_t, uintmax_t>(info.st_dev, info.st_ino);
}

void LocalStore::wipeAll() {
    // Not while a sync of this library runs in another thread or process.
    auto library = LibraryLock::acquire(directory_);
    std::lock_guard guard(lock_);
    bool erased = false;
    // The damaged copy holds the same library, and the mark speaks of a database that is gone.
    for (const char *suffix : {"", "-wal", "-shm"}) {
        fs::path p = directory_ / damagedCopyName;
        p += suffix;
        if (fs::exists(p)) fs::remove(p);
    }
    removeDamageMark();
    damaged_ = false;
    rebuildId_.reset();
    if (db_ && openedFile_ && fileIdentity(directory_ / databaseFileName) == openedFile_) {
        try {
            eraseInPlace(*db_);
            erased = true;
            prepareSearch();
        } catch (const std::exception &) {
            // A database that cannot be emptied is started again from nothing.
        }
    }
    if (!erased) {
        closeDatabase();
        fs::path base = directory_ / databaseFileName;
        for (const char *suffix : {"", "-wal", "-shm", "-journal"}) {
            fs::path p = base;
            p += suffix;
            if (fs::exists(p)) fs::remove(p);
        }
        if (fs::exists(assetsDirectory())) fs::remove_all(assetsDirectory());
        open();
    }
    // What an unfinished sync downloaded is this library's too.
    downloadCache_.clear();
}

// Another process may have this database open (the app beside quorvel-cli). Removing the files
// under it would leave it on an unlinked copy, and its closing would delete the new write-ahead log
// by name. Emptying the tables in one transaction is seen by every connection, atomically.
void LocalStore::eraseInPlace(SQLiteDB &db) {
    const auto tables =
        db.query("SELECT name, type FROM pragma_table_list WHERE schema = 'main' AND type IN ('table', 'virtual') "
                 "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'",
                 {}, [](SQLiteStatement &s) { return std::pair(s.text(0), s.text(1)); });
    db.transaction(true, [&] {
        // Counted on across the erase, so that another process never mistakes the new library
        // for the one it read.
        const int64_t generation = LibraryGeneration::read(db);
        for (const auto &[name, type] : tables) {
            std::string quoted = "\"";
            for (char c : name)
                quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
            quoted += '"';
            // A virtual table (the full-text index) goes whole, its shadow tables with it.
            db.exec((type == "virtual" ? "DROP TABLE " : "DELETE FROM ") + quoted);
        }
        hasFTS_ = false;
        if (wantFTS_) {
            try {
                db.exec(Schema::ftsTableSQL);
                hasFTS_ = true;
            } catch (const SQLiteError &) {
                // As on opening: search falls back to LIKE.
            }
        }
        // The search catalog, if there is one, was emptied with the documents.
        LibraryGeneration::write(db, generation + 1, true);
    });
    if (hasFTS_) enlargeIndexBuffer(db);
    // Giving the space back is a nicety: another reader may keep it from happening now.
    try {
        db.exec("VACUUM");
        db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    } catch (const SQLiteError &) {}
    fs::remove_all(assetsDirectory());
    fs::create_directories(assetsDirectory());
}

} // namespace quorvel
