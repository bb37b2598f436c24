#include "store/TrigramSnippet.hpp"

#include "store/SQLiteDB.hpp"
#include "store/TrigramText.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>

namespace quorvel::TrigramSnippet {

namespace {

// How often, in characters, a long walk looks at the stop token.
constexpr int64_t stopCheckInterval = 1 << 20;
// How often, in instances, a walk over the instances does.
constexpr int64_t stopCheckInstances = 1 << 16;
// How often, in bytes, a scan of the whole column does.
constexpr size_t stopCheckBytes = 1 << 20;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// snippet() counts a token as the start of a sentence when spaces follow a full stop or a colon
// before it.
bool startsSentence(std::string_view text, size_t offset) {
    size_t i = offset;
    while (i > 0 && isSpace(text[i - 1]))
        --i;
    return i < offset && i > 0 && (text[i - 1] == '.' || text[i - 1] == ':');
}

// The hits in [start, start + tokens), for starts that never decrease.
class Window {
public:
    Window(const Column &column, int tokens)
        : hits_(column.hits), sizes_(column.phraseTokens), tokens_(tokens), seen_(column.phraseTokens.size()) {}

    void moveTo(int64_t start) {
        const int64_t end = start + tokens_;
        for (; high_ < hits_.size() && hits_[high_].offset < end; ++high_) {
            if (seen_[phrase(high_)]++ == 0) ++distinct_;
        }
        for (; low_ < high_ && hits_[low_].offset < start; ++low_) {
            if (--seen_[phrase(low_)] == 0) --distinct_;
        }
    }
    // snippet()'s score: 1000 for each phrase present, 1 for each further instance of it.
    int64_t score() const { return 1000 * distinct_ + static_cast<int64_t>(high_ - low_) - distinct_; }
    int64_t first() const { return hits_[low_].offset; }
    // One past the last token of the instance the index reports last.
    int64_t last() const { return hits_[high_ - 1].offset + sizes_[phrase(high_ - 1)]; }

private:
    size_t phrase(size_t k) const { return static_cast<size_t>(hits_[k].phrase); }

    const std::vector<Hit> &hits_;
    const std::vector<int> &sizes_;
    int64_t tokens_;
    std::vector<int> seen_;
    int64_t distinct_ = 0;
    size_t low_ = 0, high_ = 0;
};

// The hits merged where they share tokens, as snippet() highlights them.
class Highlights {
public:
    explicit Highlights(const Column &column) : column_(column) { next(); }

    void next() {
        start = end = -1;
        for (; index_ < column_.hits.size(); ++index_) {
            const Hit &h = column_.hits[index_];
            const int64_t hitEnd = h.offset - 1 + column_.phraseTokens[static_cast<size_t>(h.phrase)];
            if (start < 0) {
                start = h.offset;
                end = hitEnd;
            } else if (h.offset <= end) {
                end = std::max(end, hitEnd);
            } else {
                break;
            }
        }
    }

    int64_t start = -1, end = -1; // first and last token

private:
    const Column &column_;
    size_t index_ = 0;
};

// For each hit, the last token at or before it that starts a sentence; the first token does.
// Absent when a stop is requested.
std::optional<std::vector<int64_t>> sentenceStarts(std::string_view text, bool countable, const std::vector<Hit> &hits,
                                                   std::stop_token &stop) {
    std::vector<int64_t> found;
    found.reserve(hits.size());
    int64_t latest = 0;
    size_t pending = 0;
    if (!countable) {
        bool stopped = false;
        TrigramText::forEachCharacter(text, [&](int64_t index, size_t offset) {
            if (index % stopCheckInterval == 0 && stop.stop_requested()) return !(stopped = true);
            if (index > 0 && startsSentence(text, offset)) latest = index;
            for (; pending < hits.size() && hits[pending].offset <= index; ++pending)
                found.push_back(latest);
            return pending < hits.size();
        });
        if (stopped) return std::nullopt;
    } else {
        // Every character but the first after a full stop or colon and spaces starts a sentence;
        // the characters before are counted, not walked.
        size_t counted = 0, dot = text.find('.'), colon = text.find(':');
        int64_t index = 0; // characters starting before byte `counted`
        for (int64_t steps = 1; pending < hits.size(); ++steps) {
            if (steps % 4096 == 0 && stop.stop_requested()) return std::nullopt;
            const size_t mark = std::min(dot, colon);
            if (mark == std::string_view::npos) break;
            (mark == dot ? dot : colon) = text.find(text[mark], mark + 1);
            size_t end = mark + 1;
            while (end < text.size() && isSpace(text[end]))
                ++end;
            if (end == mark + 1) continue;
            index += TrigramText::countCharacters(text.substr(counted, mark + 1 - counted));
            counted = mark + 1;
            const int64_t first = index + 1, last = index + static_cast<int64_t>(end - mark - 1);
            for (; pending < hits.size() && hits[pending].offset < first; ++pending)
                found.push_back(latest);
            for (; pending < hits.size() && hits[pending].offset <= last; ++pending)
                found.push_back(hits[pending].offset);
            latest = last;
        }
    }
    found.resize(hits.size(), latest);
    return found;
}

// The window snippet() picks: for each instance, the window around the instances that follow it,
// and the window from the start of the instance's sentence, whichever scores highest first.
std::optional<int64_t> bestStart(const Column &column, std::string_view text, bool countable, int tokens,
                                 std::stop_token &stop) {
    const auto &hits = column.hits;
    for (const Hit &h : hits) {
        if (h.offset > column.tokens || h.phrase < 0 || static_cast<size_t>(h.phrase) >= column.phraseTokens.size())
            return std::nullopt;
    }
    // The start of the sentence holding each instance, when snippet() would look for one.
    std::vector<int64_t> sentence;
    if (column.tokens > tokens && !hits.empty()) {
        auto found = sentenceStarts(text, countable, hits, stop);
        if (!found) return std::nullopt;
        sentence = std::move(*found);
    }

    Window around(column, tokens), fromSentence(column, tokens);
    int64_t best = 0, start = 0;
    for (size_t k = 0; k < hits.size(); ++k) {
        const int64_t at = hits[k].offset;
        around.moveTo(at);
        if (around.score() > best) {
            // Centred on the instances it holds, and kept inside the column.
            int64_t adjusted = around.first() - (tokens - (around.last() - around.first())) / 2;
            if (adjusted + tokens > column.tokens) adjusted = column.tokens - tokens;
            best = around.score();
            start = std::max<int64_t>(adjusted, 0);
        }
        if (!sentence.empty() && sentence[k] < at) {
            fromSentence.moveTo(sentence[k]);
            int64_t score = fromSentence.score() + (sentence[k] == 0 ? 120 : 100);
            if (score > best) {
                best = score;
                start = sentence[k];
            }
        }
    }
    return start;
}

} // namespace

std::optional<std::string> cut(const Column &column, const Marks &marks, int tokens, const Tokenize &tokenize,
                               std::stop_token stop, bool *needsWhole) {
    if (tokens < 2) return std::nullopt;
    bool beyondPrefix = false;
    // The tokenizer stops at a NUL, and the text snippet() copies ends there.
    std::string_view text = TrigramText::indexed(column.text);
    bool countable = true;
    for (size_t at = 0; !column.utf8 && countable && at < text.size(); at += stopCheckBytes) {
        if (stop.stop_requested()) return std::nullopt;
        const auto previous = static_cast<unsigned char>(at > 0 ? text[at - 1] : 0);
        countable = !TrigramText::hasLoneContinuation(text.substr(at, stopCheckBytes), previous);
    }
    auto chosen = bestStart(column, text, countable, tokens, stop);
    if (!chosen) return std::nullopt;
    const int64_t rangeStart = *chosen, rangeEnd = rangeStart + tokens - 1;

    // The window's tokens as the tokenizer reports them. A token starts where its first
    // character does, but its end is reported as its start plus the length of its case-folded
    // bytes, which differs from the text's where folding changes a character's length (K, Ⱥ) or
    // the text is not UTF-8; snippet() copies by those ends, so they are asked for, not derived.
    if (stop.stop_requested()) return std::nullopt;
    const size_t from = TrigramText::characterStart(text, countable, rangeStart);
    const std::vector<Token> window = tokenize(text.substr(from), tokens);
    std::string out;
    size_t copied = 0;
    // snippet() copies up to `to`; when `to` lies before what it has copied, it copies to the end.
    // Ends past the text (a folded character longer than the original) stop at the text's end,
    // where snippet() would read beyond it.
    auto copy = [&](size_t to) {
        if (!column.whole && (to < copied || to > text.size())) beyondPrefix = true;
        const size_t at = std::min(copied, text.size());
        out.append(text.substr(at, to >= copied ? to - at : std::string_view::npos));
    };
    if (rangeStart > 0) out += marks.ellipsis;
    Highlights hit(column);
    while (hit.start >= 0 && hit.start < rangeStart)
        hit.next();
    for (int64_t pos = rangeStart; pos <= rangeEnd && static_cast<size_t>(pos - rangeStart) < window.size(); ++pos) {
        const size_t tokenStart = from + window[static_cast<size_t>(pos - rangeStart)].start;
        const size_t tokenEnd = from + window[static_cast<size_t>(pos - rangeStart)].end;
        if (rangeStart > 0 && pos == rangeStart) copied = tokenStart;
        if (pos == hit.start) {
            copy(tokenStart);
            out += marks.open;
            copied = tokenStart;
        }
        if (pos == hit.end) {
            if (hit.start < rangeStart) out += marks.open;
            copy(tokenEnd);
            out += marks.close;
            copied = tokenEnd;
            hit.next();
        }
        if (pos == rangeEnd) {
            copy(tokenEnd);
            copied = tokenEnd;
            if (pos >= hit.start && pos < hit.end) out += marks.close;
        }
    }
    if (rangeEnd >= column.tokens - 1) {
        beyondPrefix |= !column.whole;
        copy(text.size());
    } else {
        out += marks.ellipsis;
    }
    if (!column.whole && window.size() < static_cast<size_t>(tokens)) beyondPrefix = true;
    if (beyondPrefix) {
        if (needsWhole) *needsWhole = true;
        return std::nullopt;
    }
    return out;
}

namespace {

std::string_view textArgument(sqlite3_value *value) {
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
    return text ? std::string_view(text) : std::string_view();
}

struct UserData {
    const std::stop_token *stop;
    std::string contentTable;
};

// Column `col` of row `rowid` as the index keeps it, at most its first `limit` bytes (`whole`
// when that is all of it), read from its content table a block at a time so that a stop request
// is seen while a long body is read (xColumnText reads it whole, in one step no progress handler
// interrupts). SQLITE_INTERRUPT once a stop is requested.
int readContent(sqlite3 *db, const std::string &table, int64_t rowid, int col, int64_t limit,
                const std::stop_token *stop, std::unique_ptr<char[]> &out, int &bytes, bool &whole) {
    const std::string column = "c" + std::to_string(col);
    sqlite3_blob *blob = nullptr;
    int rc = sqlite3_blob_open(db, "main", table.c_str(), column.c_str(), rowid, 0, &blob);
    if (rc == SQLITE_OK) {
        const int size = std::max(sqlite3_blob_bytes(blob), 0);
        bytes = static_cast<int>(std::min<int64_t>(size, limit));
        whole = bytes == size;
        // Not zeroed first: touching every page of a long body twice costs as much as reading it.
        out = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(bytes));
        const int block = static_cast<int>(stopCheckBytes);
        for (int at = 0; rc == SQLITE_OK && at < bytes; at += block) {
            if (stop && stop->stop_requested()) rc = SQLITE_INTERRUPT;
            if (rc == SQLITE_OK) rc = sqlite3_blob_read(blob, out.get() + at, std::min(block, bytes - at), at);
        }
    }
    sqlite3_blob_close(blob);
    return rc;
}

// The phrase instances in column `col`, in the index's instance order: by offset, then by
// phrase. Walked phrase by phrase, which costs half of collecting every instance of every column
// first, and looks at the stop token now and then.
int collectHits(const Fts5ExtensionApi *api, Fts5Context *fts, int col, const std::stop_token *stop,
                std::vector<Hit> &hits) {
    int64_t walked = 0;
    for (int phrase = 0; phrase < api->xPhraseCount(fts); ++phrase) {
        const auto before = static_cast<std::ptrdiff_t>(hits.size());
        Fts5PhraseIter it{};
        int column = 0, offset = 0;
        int rc = api->xPhraseFirst(fts, phrase, &it, &column, &offset);
        for (; rc == SQLITE_OK && column >= 0; api->xPhraseNext(fts, &it, &column, &offset)) {
            if (++walked % stopCheckInstances == 0 && stop && stop->stop_requested()) return SQLITE_INTERRUPT;
            if (column == col) hits.push_back({phrase, offset});
        }
        if (rc != SQLITE_OK) return rc;
        // Stable: of instances at one offset, the earlier phrase stays first.
        std::inplace_merge(hits.begin(), hits.begin() + before, hits.end(),
                           [](const Hit &a, const Hit &b) { return a.offset < b.offset; });
    }
    return SQLITE_OK;
}

void snippetFunction(const Fts5ExtensionApi *api, Fts5Context *fts, sqlite3_context *context, int count,
                     sqlite3_value **values) {
    if (count != 5 && count != 6) {
        sqlite3_result_error(context, "wrong number of arguments to function quorvel_snippet()", -1);
        return;
    }
    bool utf8 = false;
    if (count == 6) {
        const auto *rows = static_cast<const Rows *>(sqlite3_value_pointer(values[5], rowsType));
        const auto row = rows ? rows->find(api->xRowid(fts)) : Rows::const_iterator();
        if (!rows || row == rows->end()) {
            sqlite3_result_null(context);
            return;
        }
        utf8 = row->second;
    }
    const int col = sqlite3_value_int(values[0]);
    if (col < 0 || col >= api->xColumnCount(fts)) {
        sqlite3_result_error(context, "quorvel_snippet() cuts one column", -1);
        return;
    }
    const auto *user = static_cast<const UserData *>(api->xUserData(fts));
    const std::stop_token *stop = user->stop;
    Column column;
    int rc = collectHits(api, fts, col, stop, column.hits);
    for (int p = 0; p < api->xPhraseCount(fts); ++p)
        column.phraseTokens.push_back(api->xPhraseSize(fts, p));
    const int tokens = sqlite3_value_int(values[4]);
    // The window never starts past the last instance by more than half a phrase, and ends a
    // window's length later; tokens are three characters, and UTF-8 spends at most four bytes on
    // each. The rest of the column is read only when the cut asks for it.
    int64_t limit = std::numeric_limits<int>::max();
    if (utf8) {
        int64_t reach = column.hits.empty() ? 0 : column.hits.back().offset;
        for (int size : column.phraseTokens)
            reach += std::max(size, 0);
        reach += 2 * static_cast<int64_t>(std::max(tokens, 0)) + 8;
        limit = std::min(limit, 4 * reach);
    }
    if (rc == SQLITE_OK) rc = api->xColumnSize(fts, col, &column.tokens);
    column.utf8 = utf8;
    auto tokenize = [&](std::string_view part, int wanted) {
        struct Collected {
            std::vector<Token> tokens;
            size_t wanted;
        } collected{{}, static_cast<size_t>(wanted)};
        api->xTokenize(fts, part.data(), static_cast<int>(part.size()), &collected,
                       [](void *into, int flags, const char *, int, int start, int end) {
                           auto &c = *static_cast<Collected *>(into);
                           if (flags & FTS5_TOKEN_COLOCATED) return SQLITE_OK;
                           c.tokens.push_back({static_cast<size_t>(start), static_cast<size_t>(end)});
                           return c.tokens.size() < c.wanted ? SQLITE_OK : SQLITE_DONE;
                       });
        return collected.tokens;
    };
    std::unique_ptr<char[]> content;
    std::optional<std::string> fragment;
    // A cut asks for the whole column when instances overlap in characters but not in tokens,
    // as "aaa" does in "aaaa": snippet() then copies to the end of the column.
    for (bool needsWhole = true; rc == SQLITE_OK && needsWhole; limit = std::numeric_limits<int>::max()) {
        const char *text = nullptr;
        int bytes = 0;
        rc = readContent(sqlite3_context_db_handle(context), user->contentTable, api->xRowid(fts), col, limit, stop,
                         content, bytes, column.whole);
        if (rc == SQLITE_OK) {
            text = content.get();
        } else if (rc != SQLITE_INTERRUPT) {
            rc = api->xColumnText(fts, col, &text, &bytes);
            column.whole = true;
        }
        if (rc != SQLITE_OK) break;
        if (!text) {
            sqlite3_result_null(context);
            return;
        }
        column.text = std::string_view(text, static_cast<size_t>(std::max(bytes, 0)));
        needsWhole = false;
        fragment = cut(column, {textArgument(values[1]), textArgument(values[2]), textArgument(values[3])}, tokens,
                       tokenize, stop ? *stop : std::stop_token(), &needsWhole);
    }
    if (rc != SQLITE_OK) {
        sqlite3_result_error_code(context, rc);
        return;
    }
    if (!fragment) {
        sqlite3_result_error_code(context, stop && stop->stop_requested() ? SQLITE_INTERRUPT : SQLITE_CORRUPT_VTAB);
        return;
    }
    sqlite3_result_text64(context, fragment->data(), fragment->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

} // namespace

bool install(SQLiteDB &db, const std::stop_token *stop, std::string_view table) {
    fts5_api *api = db.fts5();
    if (!api) return false;
    auto user = std::make_unique<UserData>(UserData{stop, std::string(table) + "_content"});
    if (api->xCreateFunction(api, functionName, user.get(), snippetFunction,
                             [](void *p) { delete static_cast<UserData *>(p); }) != SQLITE_OK)
        return false;
    user.release(); // the connection owns it now
    return true;
}

} // namespace quorvel::TrigramSnippet
