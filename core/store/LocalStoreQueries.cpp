#include "store/LocalStore.hpp"

#include "store/MetaNumber.hpp"
#include "store/StoreSQL.hpp"

#include <algorithm>

namespace quorvel {

namespace {

// Without ORDER BY SQLite reads the summary index, which holds every column asked for; in id
// order it would read the documents' rows. The caller sorts.
const std::string selectSummaries = std::string("SELECT ") + StoreSQL::summaryColumns + " FROM files";
const std::string selectSummary = std::string("SELECT ") + StoreSQL::summaryColumns + " FROM files WHERE id = ?1";
const std::string selectDocument =
    std::string("SELECT ") + StoreSQL::summaryColumns + ", content, render_html FROM files WHERE id = ?1";
// From the recent rows to their documents, whatever SQLite knows of the tables' sizes: the other
// way round reads every document's row.
const std::string selectRecent = std::string("SELECT ") + StoreSQL::summaryColumns +
                                 " FROM recent CROSS JOIN files ON recent.file_id = files.id\n"
                                 "ORDER BY recent.viewed_at DESC, recent.rowid DESC LIMIT " +
                                 std::to_string(LocalStore::recentLimit);
const std::string pruneRecent = "DELETE FROM recent WHERE file_id NOT IN\n"
                                "(SELECT file_id FROM recent ORDER BY viewed_at DESC, rowid DESC LIMIT " +
                                std::to_string(LocalStore::recentLimit) + ")";

FileSummary readSummary(const SQLiteStatement &s, int at = 0) {
    return FileSummary{s.int64(at),     s.optInt(at + 1), s.text(at + 2),      static_cast<double>(s.int64(at + 3)),
                       s.int64(at + 4), s.text(at + 5),   s.int64(at + 6) != 0};
}

FileSummary mapSummary(SQLiteStatement &s) {
    return readSummary(s);
}

template <typename Row>
std::vector<Row> byId(std::vector<Row> rows) {
    std::sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) { return a.id < b.id; });
    return rows;
}

} // namespace

std::vector<FolderRecord> LocalStore::folders() {
    return withDB([](SQLiteDB &db) {
        return db.query("SELECT id, parent_id, name, order_num FROM folders ORDER BY order_num, name, id", {},
                        [](SQLiteStatement &s) {
                            return FolderRecord{s.int64(0), s.optInt(1), s.text(2), s.int64(3)};
                        });
    });
}

std::vector<FileSummary> LocalStore::fileSummaries() {
    return withDB([](SQLiteDB &db) { return byId(db.query(selectSummaries, {}, mapSummary)); });
}

std::optional<FileSummary> LocalStore::summary(int64_t id) {
    return withDB([&](SQLiteDB &db) { return db.queryOne(selectSummary, {SQLiteValue::i(id)}, mapSummary); });
}

std::optional<DocumentRecord> LocalStore::document(int64_t id) {
    return withDB([&](SQLiteDB &db) {
        return db.queryOne(selectDocument, {SQLiteValue::i(id)}, [](SQLiteStatement &s) {
            return DocumentRecord{readSummary(s), s.text(7), s.text(8)};
        });
    });
}

std::vector<LocalFileSnapshot> LocalStore::snapshot() {
    return withDB([](SQLiteDB &db) {
        return byId(
            db.query("SELECT id, folder_id, filename, updated_at, content_hash FROM files", {}, [](SQLiteStatement &s) {
                return LocalFileSnapshot{s.int64(0), s.optInt(1), s.text(2), static_cast<double>(s.int64(3)),
                                         s.text(4)};
            }));
    });
}

std::vector<int64_t> LocalStore::idsWithMissingAssets() {
    return withDB([](SQLiteDB &db) {
        return db.query("SELECT id FROM files WHERE missing_assets <> 0 ORDER BY id", {},
                        [](SQLiteStatement &s) { return s.int64(0); });
    });
}

std::optional<std::string> LocalStore::content(int64_t id) {
    return withDB([&](SQLiteDB &db) {
        return db.queryOne("SELECT content FROM files WHERE id = ?1", {SQLiteValue::i(id)},
                           [](SQLiteStatement &s) { return s.text(0); });
    });
}

std::vector<FileSummary> LocalStore::recent() {
    return withDB([](SQLiteDB &db) { return db.query(selectRecent, {}, mapSummary); });
}

void LocalStore::recordView(int64_t fileId, double at) {
    withDB([&](SQLiteDB &db) {
        db.transaction(true, [&] {
            if (db.scalarInt("SELECT count(*) FROM files WHERE id = ?1", {SQLiteValue::i(fileId)}) == 0) return;
            db.run("INSERT INTO recent(file_id, viewed_at) VALUES(?1, ?2) ON CONFLICT(file_id) DO UPDATE SET "
                   "viewed_at = excluded.viewed_at",
                   {SQLiteValue::i(fileId), SQLiteValue::real(at)});
            db.run(pruneRecent);
            db.run(StoreSQL::markSeen, {SQLiteValue::i(fileId)});
        });
    });
}

void LocalStore::markSeen(int64_t fileId) {
    withDB([&](SQLiteDB &db) { db.run(StoreSQL::markSeen, {SQLiteValue::i(fileId)}); });
}

int64_t LocalStore::fileCount() {
    return quietly<int64_t>(0, [](SQLiteDB &db) { return db.scalarInt("SELECT count(*) FROM files"); });
}

std::optional<double> LocalStore::latestUpdatedAt() {
    return quietly<std::optional<double>>(std::nullopt, [](SQLiteDB &db) -> std::optional<double> {
        auto row = db.queryOne("SELECT max(updated_at) FROM files", {}, [](SQLiteStatement &s) { return s.optInt(0); });
        if (!row || !*row) return std::nullopt;
        return static_cast<double>(**row);
    });
}

// --- Stored settings ---

std::optional<std::string> LocalStore::metaValue(const char *key) {
    return quietly<std::optional<std::string>>(std::nullopt, [&](SQLiteDB &db) {
        auto row = db.queryOne(StoreSQL::selectMeta, {SQLiteValue::text(key)},
                               [](SQLiteStatement &s) { return s.optText(0); });
        return row ? *row : std::nullopt;
    });
}

std::optional<int64_t> LocalStore::userId() {
    auto text = metaValue(MetaKey::userId);
    return text ? MetaNumber::parseInteger(*text) : std::nullopt;
}

std::optional<std::string> LocalStore::email() {
    return metaValue(MetaKey::email);
}
std::optional<std::string> LocalStore::etag() {
    return metaValue(MetaKey::etag);
}

std::optional<double> LocalStore::lastSyncAt() {
    auto text = metaValue(MetaKey::lastSyncAt);
    return text ? MetaNumber::parseSeconds(*text) : std::nullopt;
}

std::optional<double> LocalStore::serverTime() {
    auto text = metaValue(MetaKey::serverTime);
    return text ? MetaNumber::parseSeconds(*text) : std::nullopt;
}

bool LocalStore::isFirstSync() {
    return !lastSyncAt().has_value();
}

std::optional<std::string> LocalStore::shellVersion() {
    return metaValue(MetaKey::shellVersion);
}

std::optional<ShellRecord> LocalStore::shell() {
    // Both keys under one lock, so a concurrent apply cannot pair an old version with new HTML.
    std::lock_guard guard(lock_);
    auto version = metaValue(MetaKey::shellVersion);
    auto html = metaValue(MetaKey::shellHTML);
    if (!version || !html) return std::nullopt;
    return ShellRecord{std::move(*version), std::move(*html)};
}

} // namespace quorvel
