#include "store/LocalStore.hpp"

#include "html/HTMLText.hpp"
#include "store/LibraryGeneration.hpp"
#include "store/MetaNumber.hpp"
#include "store/SearchCatalog.hpp"
#include "store/StoreSQL.hpp"

#include <unordered_map>
#include <unordered_set>

namespace quorvel {

namespace {

constexpr const char *deleteFolders = "DELETE FROM folders";
constexpr const char *insertFolder = "INSERT INTO folders(id, parent_id, name, order_num) VALUES(?1, ?2, ?3, ?4)";
constexpr const char *deleteFile = "DELETE FROM files WHERE id = ?1";
constexpr const char *deleteRefs = "DELETE FROM asset_refs WHERE file_id = ?1";
constexpr const char *deleteRecent = "DELETE FROM recent WHERE file_id = ?1";
constexpr const char *deleteFTS = "DELETE FROM files_fts WHERE rowid = ?1";
constexpr const char *insertAsset = "INSERT OR IGNORE INTO assets(sha256, bytes, path) VALUES(?1, ?2, ?3)";
constexpr const char *writeURL =
    "INSERT INTO asset_urls(url, sha256) VALUES(?1, ?2) ON CONFLICT(url) DO UPDATE SET sha256 = excluded.sha256";
constexpr const char *upsertFile =
    "INSERT INTO files(id, folder_id, filename, updated_at, file_size, content_hash, seen_hash, content, "
    "render_html, body_text, missing_assets)\n"
    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)\n"
    "ON CONFLICT(id) DO UPDATE SET\n"
    "    folder_id = excluded.folder_id, filename = excluded.filename, updated_at = excluded.updated_at,\n"
    "    file_size = excluded.file_size, content_hash = excluded.content_hash, content = excluded.content,\n"
    "    render_html = excluded.render_html, body_text = excluded.body_text, missing_assets = excluded.missing_assets";
constexpr const char *insertRef = "INSERT OR IGNORE INTO asset_refs(file_id, sha256) VALUES(?1, ?2)";
constexpr const char *insertFTS = "INSERT INTO files_fts(rowid, title, body) VALUES(?1, ?2, ?3)";
constexpr const char *updateMeta =
    "UPDATE files SET folder_id = ?2, filename = ?3, updated_at = ?4, file_size = ?5 WHERE id = ?1";
constexpr const char *updateFTSTitle = "UPDATE files_fts SET title = ?2 WHERE rowid = ?1";
constexpr const char *updateRender = "UPDATE files SET render_html = ?2, missing_assets = ?3 WHERE id = ?1";
constexpr const char *collectAssets = "DELETE FROM assets WHERE sha256 NOT IN (SELECT sha256 FROM asset_refs)";
constexpr const char *collectURLs = "DELETE FROM asset_urls WHERE sha256 NOT IN (SELECT sha256 FROM assets)";
constexpr const char *collectRecent = "DELETE FROM recent WHERE file_id NOT IN (SELECT id FROM files)";

// Prepares each SQL text once per batch and re-binds it for every row.
class Statements {
public:
    explicit Statements(SQLiteDB &db) : db_(db) {}

    void run(const char *sql, const std::vector<SQLiteValue> &params = {}) {
        auto it = cache_.find(sql);
        if (it == cache_.end()) it = cache_.emplace(sql, db_.prepare(sql)).first;
        SQLiteStatement &stmt = it->second;
        stmt.bindAll(params);
        while (stmt.step()) {}
    }

    std::optional<std::string> metaValue(const char *key) {
        SQLiteStatement stmt = db_.prepare(StoreSQL::selectMeta);
        stmt.bindAll({SQLiteValue::text(key)});
        if (!stmt.step()) return std::nullopt;
        return stmt.optText(0);
    }

    void writeMeta(const char *key, const std::optional<std::string> &value) {
        if (value)
            run(StoreSQL::writeMeta, {SQLiteValue::text(key), SQLiteValue::text(*value)});
        else
            run(StoreSQL::deleteMeta, {SQLiteValue::text(key)});
    }

    void replaceRefs(int64_t fileId, const std::vector<std::string> &hashes) {
        run(deleteRefs, {SQLiteValue::i(fileId)});
        std::unordered_set<std::string_view> seen;
        for (const auto &hash : hashes) {
            if (!seen.insert(hash).second) continue;
            run(insertRef, {SQLiteValue::i(fileId), SQLiteValue::text(hash)});
        }
    }

private:
    SQLiteDB &db_;
    // Keyed by the address of the constant SQL text: every text above is a distinct literal.
    std::unordered_map<const char *, SQLiteStatement> cache_;
};

SQLiteValue seconds(double date) {
    return SQLiteValue::i(MetaNumber::wholeSeconds(date));
}

} // namespace

void LocalStore::apply(const SyncApplyBatch &batch) {
    applyBatch(batch, nullptr);
}

void LocalStore::apply(const SyncApplyBatch &batch, UpsertSource &more) {
    applyBatch(batch, &more);
}

void LocalStore::applyBatch(const SyncApplyBatch &batch, UpsertSource *more) {
    std::lock_guard guard(lock_);
    if (!db_) throw LocalStoreError::notOpen();
    SQLiteDB &db = *db_;
    ++localWrites_;
    db.transaction(true, [&] {
        Statements sql(db);

        // 1. The first batch ever applied (or the first after a wipe) stores every document as seen.
        bool firstSync = !sql.metaValue(MetaKey::lastSyncAt).has_value();

        // 2. Account.
        sql.writeMeta(MetaKey::userId,
                      batch.userId ? std::optional<std::string>(std::to_string(*batch.userId)) : std::nullopt);
        sql.writeMeta(MetaKey::email, batch.email);

        // 3. The folder tree is replaced whole.
        sql.run(deleteFolders);
        for (const auto &f : batch.folders) {
            sql.run(insertFolder, {SQLiteValue::i(f.id), SQLiteValue::opt(f.parentId), SQLiteValue::text(f.name),
                                   SQLiteValue::i(f.orderNum)});
        }

        // 4. Deletions.
        for (int64_t id : batch.deletions) {
            sql.run(deleteFile, {SQLiteValue::i(id)});
            sql.run(deleteRefs, {SQLiteValue::i(id)});
            sql.run(deleteRecent, {SQLiteValue::i(id)});
            if (hasFTS_) sql.run(deleteFTS, {SQLiteValue::i(id)});
            if (catalogTable_) sql.run(SearchCatalog::deleteSQL, {SQLiteValue::i(id)});
        }

        // 5. Images staged for this batch.
        for (const auto &a : batch.newAssets) {
            sql.run(insertAsset, {SQLiteValue::text(a.sha256), SQLiteValue::i(a.bytes),
                                  SQLiteValue::text(std::string(assetsDirectoryName) + "/" + a.sha256)});
        }

        // 6. Source URL cache.
        for (const auto &[url, hash] : batch.urlCache)
            sql.run(writeURL, {SQLiteValue::text(url), SQLiteValue::text(hash)});

        // 7. Downloaded documents. seen_hash is only written for new rows: a known document whose
        // content changed keeps its old mark and shows as changed until opened.
        auto writeUpsert = [&](const SyncApplyBatch::FileUpsert &u) {
            sql.run(upsertFile, {SQLiteValue::i(u.id), SQLiteValue::opt(u.folderId), SQLiteValue::text(u.filename),
                                 seconds(u.updatedAt), SQLiteValue::i(u.fileSize), SQLiteValue::text(u.contentHash),
                                 firstSync ? SQLiteValue::text(u.contentHash) : SQLiteValue::null(),
                                 SQLiteValue::text(u.content), SQLiteValue::text(u.renderHTML),
                                 SQLiteValue::text(u.bodyText), SQLiteValue::i(u.missingAssets ? 1 : 0)});
            sql.replaceRefs(u.id, u.assetHashes);
            if (hasFTS_) {
                sql.run(deleteFTS, {SQLiteValue::i(u.id)});
                sql.run(insertFTS, {SQLiteValue::i(u.id), SQLiteValue::text(HTMLText::normalize(u.filename)),
                                    SQLiteValue::text(u.bodyText)});
            }
            if (catalogTable_) {
                sql.run(
                    SearchCatalog::upsertSQL,
                    SearchCatalog::upsertValues(u.id, MetaNumber::wholeSeconds(u.updatedAt), u.filename, u.bodyText));
            }
        };
        for (const auto &u : batch.upserts)
            writeUpsert(u);
        if (more) {
            SyncApplyBatch::FileUpsert u;
            while (more->nextUpsert(u))
                writeUpsert(u);
        }

        // 8. Documents whose place, title, time or size changed but not their content.
        for (const auto &m : batch.metaUpdates) {
            sql.run(updateMeta, {SQLiteValue::i(m.id), SQLiteValue::opt(m.folderId), SQLiteValue::text(m.filename),
                                 seconds(m.updatedAt), SQLiteValue::i(m.fileSize)});
            if (hasFTS_)
                sql.run(updateFTSTitle, {SQLiteValue::i(m.id), SQLiteValue::text(HTMLText::normalize(m.filename))});
            if (catalogTable_) {
                sql.run(SearchCatalog::updateSQL,
                        SearchCatalog::updateValues(m.id, MetaNumber::wholeSeconds(m.updatedAt), m.filename));
            }
        }

        // 9. Documents rendered again; their text is unchanged, so the index is too.
        auto writeRender = [&](const SyncApplyBatch::RenderUpdate &r) {
            sql.run(updateRender,
                    {SQLiteValue::i(r.id), SQLiteValue::text(r.renderHTML), SQLiteValue::i(r.missingAssets ? 1 : 0)});
            sql.replaceRefs(r.id, r.assetHashes);
        };
        for (const auto &r : batch.renderUpdates)
            writeRender(r);
        if (more) {
            SyncApplyBatch::RenderUpdate r;
            while (more->nextRenderUpdate(r))
                writeRender(r);
        }

        // 10. Rows nothing refers to any more; their files go at the next collectGarbageFiles.
        sql.run(collectAssets);
        sql.run(collectURLs);
        sql.run(collectRecent);

        // 11-14. Settings.
        if (batch.shell) {
            sql.writeMeta(MetaKey::shellVersion, batch.shell->version);
            sql.writeMeta(MetaKey::shellHTML, batch.shell->html);
        }
        if (batch.clearETag)
            sql.writeMeta(MetaKey::etag, std::nullopt);
        else if (batch.etag)
            sql.writeMeta(MetaKey::etag, batch.etag);
        if (batch.serverTime) sql.writeMeta(MetaKey::serverTime, MetaNumber::formatSeconds(*batch.serverTime));
        sql.writeMeta(MetaKey::lastSyncAt, MetaNumber::formatSeconds(batch.syncedAt));

        // Whoever reads the library, in this process or another, learns from one row that it changed.
        LibraryGeneration::write(db, LibraryGeneration::read(db) + 1, catalogTable_);

        // 15.
        if (beforeCommitHook) beforeCommitHook();
    });
}

void LocalStore::setShell(const ShellRecord &shell) {
    std::lock_guard guard(lock_);
    if (!db_) throw LocalStoreError::notOpen();
    db_->run(StoreSQL::writeMeta, {SQLiteValue::text(MetaKey::shellVersion), SQLiteValue::text(shell.version)});
    db_->run(StoreSQL::writeMeta, {SQLiteValue::text(MetaKey::shellHTML), SQLiteValue::text(shell.html)});
}

int64_t LocalStore::generation() {
    return quietly<int64_t>(0, [](SQLiteDB &db) { return LibraryGeneration::read(db); });
}

void LocalStore::touchLastSync(double date) {
    std::lock_guard guard(lock_);
    if (!db_) throw LocalStoreError::notOpen();
    db_->run(StoreSQL::writeMeta,
             {SQLiteValue::text(MetaKey::lastSyncAt), SQLiteValue::text(MetaNumber::formatSeconds(date))});
}

} // namespace quorvel
