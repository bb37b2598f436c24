#include "store/LocalStore.hpp"

#include "store/Schema.hpp"

namespace fs = std::filesystem;

namespace quorvel {

LocalStore::LocalStore(fs::path directory, bool enableFTS) : directory_(std::move(directory)), wantFTS_(enableFTS) {
    open();
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
    auto db = std::make_unique<SQLiteDB>((directory_ / databaseFileName).string());
    try {
        db->exec("PRAGMA journal_mode = WAL");
    } catch (const SQLiteError &) {}
    try {
        db->exec("PRAGMA synchronous = NORMAL");
    } catch (const SQLiteError &) {}
    db->migrate(Schema::migrations());
    db_ = std::move(db);
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

void LocalStore::wipeAll() {
    std::lock_guard guard(lock_);
    db_.reset();
    hasFTS_ = false;
    fs::path base = directory_ / databaseFileName;
    for (const char *suffix : {"", "-wal", "-shm", "-journal"}) {
        fs::path p = base;
        p += suffix;
        if (fs::exists(p)) fs::remove(p);
    }
    if (fs::exists(assetsDirectory())) fs::remove_all(assetsDirectory());
    open();
}

} // namespace quorvel
