#include "store/TrigramVocabulary.hpp"

#include "store/SQLiteError.hpp"
#include "store/TrigramText.hpp"

#include <sqlite3.h>

namespace quorvel {

namespace {

constexpr const char *termsSQL = "SELECT term, doc FROM temp.files_fts_rows WHERE term >= ?1 AND term < ?2 LIMIT ?3";
constexpr const char *documentsSQL = "SELECT rowid FROM files_fts WHERE files_fts MATCH ?";

} // namespace

TrigramVocabulary::TrigramVocabulary(SQLiteDB &db) : db_(db) {
    db.exec("CREATE VIRTUAL TABLE IF NOT EXISTS temp.files_fts_rows USING fts5vocab(main, files_fts, 'row')");
}

std::optional<std::string> TrigramVocabulary::termPrefix(std::string_view word) {
    int64_t characters = 0;
    TrigramText::forEachCharacter(word, [&](int64_t, size_t) { return ++characters <= 2; });
    fts5_api *api = db_.fts5();
    if (characters < 1 || characters > 2 || !api) return std::nullopt;
    void *context = nullptr;
    fts5_tokenizer tokenizer{};
    Fts5Tokenizer *trigram = nullptr;
    if (api->xFindTokenizer(api, "trigram", &context, &tokenizer) != SQLITE_OK ||
        tokenizer.xCreate(context, nullptr, 0, &trigram) != SQLITE_OK)
        return std::nullopt;
    // Padded with spaces, which fold to themselves, the word makes one trigram that begins with it.
    std::string text = std::string(word) + "  ";
    std::optional<std::string> term;
    int rc = tokenizer.xTokenize(trigram, &term, FTS5_TOKENIZE_QUERY, text.data(), static_cast<int>(text.size()),
                                 [](void *out, int, const char *token, int bytes, int, int) {
                                     auto &first = *static_cast<std::optional<std::string> *>(out);
                                     if (!first) first.emplace(token, static_cast<size_t>(bytes));
                                     return SQLITE_OK;
                                 });
    tokenizer.xDelete(trigram);
    const auto padding = static_cast<size_t>(3 - characters);
    if (rc != SQLITE_OK || !term || term->size() <= padding) return std::nullopt;
    term->resize(term->size() - padding);
    return term;
}

std::optional<std::vector<int64_t>> TrigramVocabulary::bodyDocuments(const std::string &prefix, int64_t maxTerms,
                                                                     int64_t maxEntries) {
    if (prefix.empty()) return std::nullopt;
    // Every term beginning with the prefix sorts between it and the prefix with its last byte
    // raised, which a UTF-8 term never leaves at 0xFF.
    std::string end = prefix;
    end.back() = static_cast<char>(static_cast<unsigned char>(end.back()) + 1);
    SQLiteStatement terms = db_.prepare(termsSQL);
    terms.bindAll({SQLiteValue::text(prefix), SQLiteValue::text(end), SQLiteValue::i(maxTerms + 1)});
    // The documents holding any of the terms in their body: the index merges their lists, one
    // entry per document and term rather than one per occurrence.
    std::string match;
    int64_t count = 0, entries = 0;
    while (terms.step()) {
        if (++count > maxTerms || (entries += terms.int64(1)) > maxEntries) return std::nullopt;
        match += match.empty() ? "body : (\"" : " OR \"";
        for (char c : terms.text(0)) {
            if (c == '"') match += '"';
            match += c;
        }
        match += '"';
    }
    if (match.empty()) return std::vector<int64_t>{};
    match += ')';
    std::vector<int64_t> documents;
    try {
        SQLiteStatement listed = db_.prepare(documentsSQL);
        listed.bindAll({SQLiteValue::text(match)});
        while (listed.step())
            documents.push_back(listed.int64(0));
    } catch (const SQLiteError &e) {
        // A term the query syntax cannot spell leaves the word to be found by reading bodies.
        if (e.code == SQLITE_INTERRUPT) throw;
        return std::nullopt;
    }
    return documents;
}

} // namespace quorvel
