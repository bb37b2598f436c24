#include "StoreFixtures.hpp"

#include "util/Hashing.hpp"

namespace quorvel::test {

SyncApplyBatch::FileUpsert upsert(int64_t id, std::optional<int64_t> folderId, std::string filename, std::string body,
                                  double updatedAt, std::string contentHash) {
    if (contentHash.empty()) contentHash = "hash-" + std::to_string(id);
    std::string html = "<p>" + body + "</p>";
    return SyncApplyBatch::FileUpsert(id, folderId, std::move(filename), updatedAt, static_cast<int64_t>(html.size()),
                                      std::move(contentHash), html, html, body, {}, false);
}

std::string dumpStore(LocalStore &store) {
    return store.withDB([&](SQLiteDB &db) {
        std::string out;
        std::vector<std::string> tables = {"meta", "folders", "files", "assets", "asset_urls", "asset_refs", "recent"};
        if (db.tableExists("files_fts")) tables.push_back("files_fts");
        for (const auto &t : tables) {
            std::string sql = t == "files_fts" ? "SELECT rowid, title, body FROM files_fts ORDER BY rowid"
                                               : "SELECT * FROM " + t + " ORDER BY 1, 2";
            out += "[" + t + "]\n";
            db.query(sql, {}, [&](SQLiteStatement &s) {
                for (int i = 0; i < s.columnCount(); ++i)
                    out += (s.isNull(i) ? "NULL" : "'" + s.text(i) + "'") + "|";
                out += "\n";
                return 0;
            });
        }
        return out;
    });
}

int64_t scalar(LocalStore &store, const std::string &sql, const std::vector<SQLiteValue> &params) {
    return store.withDB([&](SQLiteDB &db) { return db.scalarInt(sql, params); });
}

TestAsset asset(const std::string &bytes) {
    return {bytes, Hashing::sha256Hex(std::string_view(bytes))};
}

} // namespace quorvel::test
