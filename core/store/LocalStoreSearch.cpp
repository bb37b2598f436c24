#include "store/LocalStore.hpp"

#include "html/HTMLText.hpp"
#include "store/StoreSQL.hpp"

#include <algorithm>
#include <unordered_map>

namespace quorvel {

namespace {

constexpr size_t longWordScalars = 3;
constexpr size_t maxFolderPathNames = 64;
constexpr int snippetRadius = 40;
constexpr const char *snippetSQL =
    "SELECT snippet(files_fts, 1, char(1), char(2), '…', 16) FROM files_fts WHERE files_fts MATCH ? AND rowid = ?";
constexpr const char *likeClause = "(f.filename LIKE ? ESCAPE '\\' OR f.body_text LIKE ? ESCAPE '\\')";

size_t scalarCount(std::string_view word) {
    return static_cast<size_t>(
        std::count_if(word.begin(), word.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// A literal substring pattern: the escape character, "%" and "_" lose their meaning.
std::string likePattern(std::string_view word) {
    std::string escaped;
    for (char c : word) {
        if (c == '\\' || c == '%' || c == '_') escaped += '\\';
        escaped += c;
    }
    return "%" + escaped + "%";
}

// A quoted phrase, so whatever the user typed never forms FTS5 syntax.
std::string phrase(std::string_view word) {
    std::string quoted = "\"";
    for (char c : word) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

class FolderPaths {
public:
    explicit FolderPaths(SQLiteDB &db) {
        db.query(StoreSQL::selectAllFolders, {}, [&](SQLiteStatement &s) {
            folders_.emplace(s.int64(0), Folder{s.optInt(1), s.text(2)});
            return 0;
        });
    }

    // Top level first; a cycle in the parent links stops after a bounded number of names.
    std::vector<std::string> path(std::optional<int64_t> folderId) const {
        std::vector<std::string> names;
        while (folderId && names.size() < maxFolderPathNames) {
            auto it = folders_.find(*folderId);
            if (it == folders_.end()) break;
            names.push_back(it->second.name);
            folderId = it->second.parentId;
        }
        std::reverse(names.begin(), names.end());
        return names;
    }

private:
    struct Folder {
        std::optional<int64_t> parentId;
        std::string name;
    };
    std::unordered_map<int64_t, Folder> folders_;
};

} // namespace

std::vector<SearchResult> LocalStore::search(std::string_view query, int limit) {
    std::lock_guard guard(lock_);
    if (!db_) throw LocalStoreError::notOpen();
    SQLiteDB &db = *db_;

    std::vector<std::string> words, longWords, shortWords;
    std::string normalized = HTMLText::normalize(query);
    for (size_t start = 0; start <= normalized.size();) {
        size_t end = normalized.find(' ', start);
        if (end == std::string::npos) end = normalized.size();
        if (end > start) {
            std::string word = normalized.substr(start, end - start);
            (scalarCount(word) >= longWordScalars ? longWords : shortWords).push_back(word);
            words.push_back(std::move(word));
        }
        start = end + 1;
    }
    if (words.empty()) return {};
    // SQLite reads a negative LIMIT as "no limit".
    SQLiteValue limitValue = SQLiteValue::i(std::max(limit, 0));

    FolderPaths paths(db);
    std::vector<SearchResult> results;
    auto row = [&](SQLiteStatement &s, std::vector<SnippetSegment> snippet) {
        results.push_back(SearchResult{s.int64(0), s.text(1), paths.path(s.optInt(2)), std::move(snippet),
                                       static_cast<double>(s.int64(3))});
        return 0;
    };

    if (hasFTS_ && !longWords.empty()) {
        std::string match;
        for (const auto &w : longWords)
            match += (match.empty() ? "" : " AND ") + phrase(w);
        // Ranked without snippets first: SQLite would cut a snippet for every match before the
        // LIMIT applies, re-reading whole bodies of documents that are never shown.
        std::string sql = "SELECT f.id, f.filename, f.folder_id, f.updated_at\nFROM files_fts JOIN files f ON f.id = "
                          "files_fts.rowid\nWHERE files_fts MATCH ?";
        std::vector<SQLiteValue> params{SQLiteValue::text(match)};
        for (const auto &w : shortWords) {
            sql += std::string(" AND ") + likeClause;
            params.push_back(SQLiteValue::text(likePattern(w)));
            params.push_back(SQLiteValue::text(likePattern(w)));
        }
        sql += "\nORDER BY bm25(files_fts, 5.0, 1.0), f.updated_at DESC\nLIMIT ?";
        params.push_back(limitValue);
        db.query(sql, params, [&](SQLiteStatement &s) { return row(s, {}); });
        SQLiteStatement cut = db.prepare(snippetSQL);
        for (auto &result : results) {
            cut.bindAll({SQLiteValue::text(match), SQLiteValue::i(result.fileId)});
            if (cut.step()) result.snippet = parseSnippet(cut.text(0));
        }
    } else {
        std::string clauses;
        std::vector<SQLiteValue> params;
        for (const auto &w : words) {
            if (!clauses.empty()) clauses += " AND ";
            clauses += likeClause;
            params.push_back(SQLiteValue::text(likePattern(w)));
            params.push_back(SQLiteValue::text(likePattern(w)));
        }
        std::string sql = "SELECT f.id, f.filename, f.folder_id, f.updated_at, f.body_text FROM files f\nWHERE " +
                          clauses +
                          "\nORDER BY (f.filename LIKE ? ESCAPE '\\') DESC, f.updated_at DESC, f.id DESC\nLIMIT ?";
        // Title hits on the first word come first.
        params.push_back(SQLiteValue::text(likePattern(words.front())));
        params.push_back(limitValue);
        db.query(sql, params, [&](SQLiteStatement &s) { return row(s, makeSnippet(s.text(4), words, snippetRadius)); });
    }
    return results;
}

} // namespace quorvel
