#pragma once

#include "store/SQLiteDB.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// The full-text index's vocabulary, for words too short to have a trigram of their own. Each
// occurrence of a one- or two-character word begins a trigram of the index, unless it lies in
// the last two characters of its text; the terms beginning with the word therefore list every
// document that can hold it anywhere else.
class TrigramVocabulary {
public:
    // Sets up a per-connection view of the vocabulary (nothing is stored).
    explicit TrigramVocabulary(SQLiteDB &db);

    // The word as the index spells its terms (case-folded by the tokenizer); absent without FTS5's
    // trigram tokenizer or for a word of more than two characters.
    std::optional<std::string> termPrefix(std::string_view word);

    // The documents having a body term that begins with `prefix`, or absent when more than
    // `maxTerms` terms begin with it or their lists hold more than `maxEntries` documents in all.
    std::optional<std::vector<int64_t>> bodyDocuments(const std::string &prefix, int64_t maxTerms, int64_t maxEntries);

private:
    SQLiteDB &db_;
};

} // namespace quorvel
