#pragma once

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorvel {
class SQLiteDB;
}

// The fragment FTS5's snippet() cuts from a column indexed with the trigram tokenizer, found from
// the phrase instances alone. snippet() tokenizes the whole column again and scores every
// candidate start against every instance, which grows with the square of the hits. With trigrams
// token i begins at character i, so characters are counted instead, the scores come from windows
// sliding over the sorted instances, and only the chosen window's tokens are asked of the
// tokenizer: the same bytes, in time linear in the column.
namespace quorvel::TrigramSnippet {

// One phrase instance in the column being cut.
struct Hit {
    int phrase = 0;
    int offset = 0; // in tokens
};

struct Column {
    std::string_view text;
    bool utf8 = false;     // the text is known to be valid UTF-8, so no scan need prove it
    bool whole = true;     // false when `text` is only the column's first part
    int tokens = 0;        // the column's size in tokens, as the index stored it
    std::vector<Hit> hits; // in the index's instance order: by offset, then by phrase
    std::vector<int> phraseTokens;
};

struct Marks {
    std::string_view open, close, ellipsis;
};

// A token as the tokenizer reports it: byte offsets of its start and of its reported end.
struct Token {
    size_t start = 0, end = 0;
};

// Tokenizes `text` as the index does, up to `count` tokens, offsets relative to `text`.
using Tokenize = std::function<std::vector<Token>(std::string_view text, int count)>;

// The fragment of at most `tokens` tokens (at least 2), hits between the open and close marks.
// Absent when an instance lies past the column's end (a damaged index), when `stop` is requested
// before the cut is done, or, setting `*needsWhole`, when the text is only the column's first part
// and the fragment needs more of it.
std::optional<std::string> cut(const Column &column, const Marks &marks, int tokens, const Tokenize &tokenize,
                               std::stop_token stop = {}, bool *needsWhole = nullptr);

// The rows to cut, each with whether its column is known to be valid UTF-8: such a column is read
// only as far as its last instance needs, at most four bytes a character.
using Rows = std::unordered_map<int64_t, bool>;

// The SQL name of the auxiliary function. It takes snippet()'s arguments and, optionally, a sixth:
// a pointer of type `rowsType` to Rows; it answers NULL for other rows, so that one pass over the
// matches cuts the snippets of a chosen few.
inline constexpr const char *functionName = "quorvel_snippet";
inline constexpr const char *rowsType = "quorvel_rows";

// Registers the function with the connection's FTS5, for the full-text table `table`. While it
// runs it consults `*stop`, and fails with SQLITE_INTERRUPT once a stop is requested. False when
// the connection has no FTS5.
bool install(SQLiteDB &db, const std::stop_token *stop, std::string_view table);

} // namespace quorvel::TrigramSnippet
