#pragma once

// What LocalStore::search must answer, computed the slow, obvious way: its two statements run as
// written over the store's own connection, with every title compared in its normalised (NFC) form.
// Header-only, so that both the store tests and a fuzz target can use it.

#include "html/HTMLText.hpp"
#include "store/LocalStore.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace quorvel::test {

inline std::vector<SearchResult> referenceSearch(LocalStore &store, std::string_view query, int limit) {
    std::vector<std::string> words, longWords, shortWords;
    const std::string normalized = HTMLText::normalize(query);
    for (size_t start = 0; start <= normalized.size();) {
        size_t end = std::min(normalized.find(' ', start), normalized.size());
        if (end > start) {
            std::string w = normalized.substr(start, end - start);
            auto scalars = std::count_if(w.begin(), w.end(), [](char c) { return (c & 0xC0) != 0x80; });
            (scalars >= 3 ? longWords : shortWords).push_back(w);
            words.push_back(w);
        }
        start = end + 1;
    }
    if (words.empty()) return {};
    auto pattern = [](const std::string &w) {
        std::string p = "%";
        for (char c : w) {
            if (c == '\\' || c == '%' || c == '_') p += '\\';
            p += c;
        }
        return p + "%";
    };
    const std::string filter = " AND (nfc(f.filename) LIKE ? ESCAPE '\\' OR f.body_text LIKE ? ESCAPE '\\')";

    return store.withDB([&](SQLiteDB &db) {
        sqlite3_create_function(
            db.handle(), "nfc", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
            [](sqlite3_context *c, int, sqlite3_value **v) {
                const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(v[0]));
                std::string out = HTMLText::normalize(text ? text : "");
                sqlite3_result_text(c, out.c_str(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
            },
            nullptr, nullptr);
        std::map<int64_t, std::pair<std::optional<int64_t>, std::string>> folders;
        db.query("SELECT id, parent_id, name FROM folders", {}, [&](SQLiteStatement &s) {
            folders[s.int64(0)] = {s.optInt(1), s.text(2)};
            return 0;
        });
        auto path = [&](std::optional<int64_t> id) {
            std::vector<std::string> names;
            while (id && names.size() < 64 && folders.count(*id)) {
                names.push_back(folders[*id].second);
                id = folders[*id].first;
            }
            std::reverse(names.begin(), names.end());
            return names;
        };
        std::vector<SQLiteValue> params;
        std::string sql;
        const bool fullText = store.hasFTS() && !longWords.empty();
        if (fullText) {
            std::string match;
            for (const auto &w : longWords) {
                std::string quoted = "\"";
                for (char c : w)
                    quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
                match += (match.empty() ? "" : " AND ") + quoted + "\"";
            }
            sql = "SELECT f.id, f.filename, f.folder_id, f.updated_at, snippet(files_fts, 1, char(1), char(2), '…', "
                  "16)\nFROM files_fts JOIN files f ON f.id = files_fts.rowid\nWHERE files_fts MATCH ?";
            params.push_back(SQLiteValue::text(match));
            for (const auto &w : shortWords) {
                sql += filter;
                params.insert(params.end(), 2, SQLiteValue::text(pattern(w)));
            }
            sql += "\nORDER BY bm25(files_fts, 5.0, 1.0), f.updated_at DESC\nLIMIT ?";
        } else {
            sql = "SELECT f.id, f.filename, f.folder_id, f.updated_at, f.body_text FROM files f\nWHERE 1";
            for (const auto &w : words) {
                sql += filter;
                params.insert(params.end(), 2, SQLiteValue::text(pattern(w)));
            }
            sql += "\nORDER BY (nfc(f.filename) LIKE ? ESCAPE '\\') DESC, f.updated_at DESC, f.id DESC\nLIMIT ?";
            params.push_back(SQLiteValue::text(pattern(words.front())));
        }
        params.push_back(SQLiteValue::i(std::max(limit, 0)));
        return db.query(sql, params, [&](SQLiteStatement &s) {
            return SearchResult{s.int64(0), s.text(1), path(s.optInt(2)),
                                fullText ? LocalStore::parseSnippet(s.text(4))
                                         : LocalStore::makeSnippet(s.text(4), words, 40),
                                static_cast<double>(s.int64(3))};
        });
    });
}

} // namespace quorvel::test
