#include "store/TrigramVocabulary.hpp"

#include "store/TrigramText.hpp"

#include <sqlite3.h>

#include <algorithm>

namespace quorvel {

namespace {

constexpr const char *termsSQL = "SELECT doc, col = 'body' FROM temp.files_fts_terms WHERE term >= ?1 AND term < ?2";

} // namespace

TrigramVocabulary::TrigramVocabulary(SQLiteDB &db) : db_(db) {
    db.exec("CREATE VIRTUAL TABLE IF NOT EXISTS temp.files_fts_terms USING fts5vocab(main, files_fts, 'instance')");
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

std::optional<std::vector<int64_t>> TrigramVocabulary::bodyDocuments(const std::string &prefix, int64_t budget) {
    if (prefix.empty()) return std::nullopt;
    // Every term beginning with the prefix sorts between it and the prefix with its last byte
    // raised, which a UTF-8 term never leaves at 0xFF.
    std::string end = prefix;
    end.back() = static_cast<char>(static_cast<unsigned char>(end.back()) + 1);
    SQLiteStatement terms = db_.prepare(termsSQL);
    terms.bindAll({SQLiteValue::text(prefix), SQLiteValue::text(end)});
    std::vector<int64_t> documents;
    for (int64_t read = 0; terms.step(); ++read) {
        if (read >= budget) return std::nullopt;
        if (terms.int64(1) != 0) documents.push_back(terms.int64(0));
    }
    std::sort(documents.begin(), documents.end());
    documents.erase(std::unique(documents.begin(), documents.end()), documents.end());
    return documents;
}

} // namespace quorvel
