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

std::string marked(const std::vector<SnippetSegment> &segments) {
    std::string out;
    for (const auto &s : segments)
        out += s.highlighted ? "[" + s.text + "]" : s.text;
    return out;
}

void put(LocalStore &store, std::vector<SyncApplyBatch::FileUpsert> files, std::vector<FolderRecord> folders,
         std::vector<int64_t> deletions) {
    SyncApplyBatch b(1, "e", 1);
    b.upserts = std::move(files);
    b.folders = std::move(folders);
    b.deletions = std::move(deletions);
    store.apply(b);
}

int64_t scalar(LocalStore &store, const std::string &sql, const std::vector<SQLiteValue> &params) {
    return store.withDB([&](SQLiteDB &db) { return db.scalarInt(sql, params); });
}

TestAsset asset(const std::string &bytes) {
    return {bytes, Hashing::sha256Hex(std::string_view(bytes))};
}

} // namespace quorvel::test
