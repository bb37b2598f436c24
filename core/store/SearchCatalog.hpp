#pragma once

#include "store/Bm25Rank.hpp"
#include "store/SQLiteDB.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorvel {

// What search keeps beside the library, derived from `files`: for each document its update
// time, its title as search matches it (normalised and NFC, as the full-text index holds it),
// the last two characters of its body (where a one- or two-character word can sit without
// beginning any trigram of the index), and whether the body is plain, that is valid UTF-8, so
// that a byte search answers exactly as LIKE does. Apply keeps the table in step inside its
// own transaction and stamps it with the generation it wrote; opening rebuilds it from `files`
// when it is missing or its stamp is not the library's generation.
// An instance is a snapshot of the table, newest document first, for searches to share until
// the library changes.
class SearchCatalog : public Bm25Rank::Sizes {
public:
    struct Document {
        int64_t id = 0;
        int64_t updatedAt = 0;
        std::string title;
        std::string tail;
        bool plain = false;
        std::string titleKey;      // likeKey(title)
        std::optional<int> tokens; // the document's size in the full-text index
    };

    // Valid UTF-8 as LIKE compares it: ASCII letters lowered, and U+FFFE and U+FFFF, which
    // SQLite reads as U+FFFD, written as U+FFFD.
    static std::string likeKey(std::string_view text);

    static const char *const upsertSQL; // ?1 id, ?2 updated_at, ?3 title, ?4 tail, ?5 plain
    static const char *const updateSQL; // ?1 id, ?2 updated_at, ?3 title
    static const char *const deleteSQL; // ?1 id

    static std::vector<SQLiteValue> upsertValues(int64_t id, int64_t updatedAt, std::string_view filename,
                                                 std::string_view body);
    static std::vector<SQLiteValue> updateValues(int64_t id, int64_t updatedAt, std::string_view filename);

    // Creates the table, and fills it from `files` unless its stamp says it matches the library's
    // generation, or, for a store without a stamp, it holds one row per document at its time.
    static void prepare(SQLiteDB &db);
    // The table is there and holds one row per document, as `files` has it now.
    static bool inStep(SQLiteDB &db);

    // Reads the table, or, when it could not be prepared, derives the same from `files`; with
    // `indexed`, also each document's size in the full-text index.
    SearchCatalog(SQLiteDB &db, bool fromTable, bool indexed);

    // By update time, newest first, then by larger id: the order of the substring statement.
    const std::vector<Document> &documents() const { return documents_; }
    // Position in documents(), or -1.
    int64_t indexOf(int64_t id) const;
    std::optional<int> tokens(int64_t id) const override;
    // How many of the documents the full-text index holds (rows of other ids are not counted).
    int64_t indexedCount() const { return indexed_; }

private:
    std::vector<Document> documents_;
    // Position by id: in dense_ when ids are small enough, otherwise in index_.
    std::vector<int32_t> dense_;
    std::unordered_map<int64_t, int64_t> index_;
    int64_t indexed_ = 0;
};

} // namespace quorvel
