#include "store/Schema.hpp"

namespace quorvel::Schema {

const char *const version1SQL = R"SQL(CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT);
CREATE TABLE folders(
    id INTEGER PRIMARY KEY,
    parent_id INTEGER,
    name TEXT NOT NULL,
    order_num INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE files(
    id INTEGER PRIMARY KEY,
    folder_id INTEGER,
    filename TEXT NOT NULL,
    updated_at INTEGER NOT NULL,
    file_size INTEGER NOT NULL DEFAULT 0,
    content_hash TEXT NOT NULL,
    seen_hash TEXT,
    content TEXT NOT NULL,
    render_html TEXT NOT NULL,
    body_text TEXT NOT NULL DEFAULT '',
    missing_assets INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX idx_files_folder ON files(folder_id);
CREATE TABLE assets(
    sha256 TEXT PRIMARY KEY,
    bytes INTEGER NOT NULL,
    path TEXT NOT NULL
);
CREATE TABLE asset_urls(url TEXT PRIMARY KEY, sha256 TEXT NOT NULL);
CREATE TABLE asset_refs(
    file_id INTEGER NOT NULL,
    sha256 TEXT NOT NULL,
    PRIMARY KEY(file_id, sha256)
);
CREATE INDEX idx_refs_sha ON asset_refs(sha256);
CREATE TABLE recent(file_id INTEGER PRIMARY KEY, viewed_at REAL NOT NULL);
)SQL";

const char *const ftsTableSQL =
    "CREATE VIRTUAL TABLE IF NOT EXISTS files_fts USING fts5(title, body, tokenize='trigram')";
const char *const summaryIndexSQL = "CREATE INDEX IF NOT EXISTS files_summary ON files(updated_at, folder_id, "
                                    "filename, file_size, content_hash, seen_hash)";
const char *const missingAssetsIndexSQL =
    "CREATE INDEX IF NOT EXISTS files_missing_assets ON files(id, missing_assets) WHERE missing_assets <> 0";
const char *const ftsIntegrityCheckSQL = "INSERT INTO files_fts(files_fts) VALUES('integrity-check')";

const std::vector<SQLiteDB::Step> &migrations() {
    static const std::vector<SQLiteDB::Step> steps = {
        [](SQLiteDB &db) { db.exec(version1SQL); },
    };
    return steps;
}

} // namespace quorvel::Schema
