#include "store/LocalStore.hpp"

#include "html/HTMLText.hpp"
#include "store/Bm25Rank.hpp"
#include "store/BodyReader.hpp"
#include "store/ByteSearch.hpp"
#include "store/SearchCatalog.hpp"
#include "store/SearchStopped.hpp"
#include "store/StoreSQL.hpp"
#include "store/TextSnippet.hpp"
#include "store/TrigramSnippet.hpp"
#include "store/TrigramVocabulary.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <unordered_map>

// Search answers exactly what two statements would. Full text:
//   SELECT f.id, f.filename, f.folder_id, f.updated_at, snippet(files_fts, 1, char(1), char(2), '…', 16)
//   FROM files_fts JOIN files f ON f.id = files_fts.rowid WHERE files_fts MATCH ? [AND <word filter>]...
//   ORDER BY bm25(files_fts, 5.0, 1.0), f.updated_at DESC LIMIT ?
// and substrings:
//   SELECT f.id, f.filename, f.folder_id, f.updated_at, f.body_text FROM files f WHERE <word filter> AND ...
//   ORDER BY (<title> LIKE ? ESCAPE '\') DESC, f.updated_at DESC, f.id DESC LIMIT ?
// where a word filter is "(<title> LIKE ? ESCAPE '\' OR f.body_text LIKE ? ESCAPE '\')" and the title
// is the document's title normalised to NFC, as the full-text index holds it. Run as written they
// read every matching body; this file reaches the same rows, order and snippets reading few.
namespace quorvel {

namespace {

constexpr size_t longWordScalars = 3;
constexpr size_t maxFolderPathNames = 64;
constexpr int snippetRadius = 40;
// bm25(files_fts, 5.0, 1.0), with row sizes from the catalog (?2).
constexpr const char *rankSQL =
    "SELECT rowid, quorvel_bm25(files_fts, 5.0, 1.0, ?2) FROM files_fts WHERE files_fts MATCH ?1";
// One pass over the matches cuts the snippets of the rows asked for (?2) and skips the others:
// looking each row up by id would set up the match again for every row.
constexpr const char *snippetSQL = "SELECT rowid, quorvel_snippet(files_fts, 1, char(1), char(2), '…', 16, ?2) FROM "
                                   "files_fts WHERE files_fts MATCH ?1";
constexpr const char *rowSQL = "SELECT filename, folder_id, updated_at FROM files WHERE id = ?";
constexpr const char *bodyLikeSQL = "SELECT body_text LIKE ? ESCAPE '\\' FROM files WHERE id = ?";
// Virtual machine steps between two looks at the stop token: a few microseconds.
constexpr int stopCheckSteps = 1000;
// Bodies read to test a word before the index may be asked which documents can hold it. It is
// asked when fewer than one in `missesPerHit` + 1 of them held the word: a word found more often
// fills the answer sooner by reading on than the index lists its documents.
constexpr int64_t bodiesBeforeIndex = 24;
constexpr int64_t missesPerHit = 2;
// Past this many terms beginning with a short word, or this many entries in their lists of
// documents, the index is not asked: merging the lists would cost more than reading on.
constexpr int64_t indexTerms = 256;
constexpr int64_t indexEntries = 50000;
// The first read of a body when testing a word, growing fourfold while the word is not found.
constexpr size_t firstRead = 8192;

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

// The query's words: normalised like titles and text, split on spaces.
struct Words {
    std::vector<std::string> all, longWords, shortWords;

    explicit Words(std::string_view query) {
        std::string normalized = HTMLText::normalize(query);
        for (size_t start = 0; start <= normalized.size();) {
            size_t end = normalized.find(' ', start);
            if (end == std::string::npos) end = normalized.size();
            if (end > start) {
                std::string word = normalized.substr(start, end - start);
                (scalarCount(word) >= longWordScalars ? longWords : shortWords).push_back(word);
                all.push_back(std::move(word));
            }
            start = end + 1;
        }
    }
};

// For as long as it lives, SQLite interrupts statements once `stop` is requested, and the snippet
// function sees the token.
class StopBinding {
public:
    StopBinding(SQLiteDB &db, std::stop_token &slot, std::stop_token stop) : db_(db.handle()), slot_(slot) {
        slot_ = std::move(stop);
        if (slot_.stop_possible()) sqlite3_progress_handler(db_, stopCheckSteps, &StopBinding::stopped, &slot_);
    }
    ~StopBinding() {
        sqlite3_progress_handler(db_, 0, nullptr, nullptr);
        slot_ = std::stop_token();
    }
    StopBinding(const StopBinding &) = delete;
    StopBinding &operator=(const StopBinding &) = delete;

private:
    static int stopped(void *token) { return static_cast<std::stop_token *>(token)->stop_requested() ? 1 : 0; }

    sqlite3 *db_;
    std::stop_token &slot_;
};

// Tests documents against query words as "(<title> LIKE %w% OR f.body_text LIKE %w%)" does.
// Titles (normalised, valid UTF-8) and plain bodies are searched as bytes in their LIKE keys,
// which is what LIKE does with valid UTF-8; other bodies go to SQLite's LIKE. So does a word
// holding U+FFFD, which a body's U+FFFE or U+FFFF also matches. Before a body is read, the index
// may rule it out.
class WordTests {
public:
    struct Word {
        std::string text, key, pattern;
        bool likeOnly = false; // bodies are tested by SQLite's LIKE, never ruled out by the index
        // Which documents (by catalog position) may hold the word in their body; empty for all.
        std::vector<bool> bodyMay;
        bool asked = false;
        int64_t reads = 0, hits = 0; // bodies read for the word, and those that held it
    };

    // `indexComplete` when the full-text index holds every document: bodies are then read from it.
    WordTests(SQLiteDB &db, const SearchCatalog &catalog, bool indexComplete, TrigramVocabulary *vocabulary,
              const std::stop_token &stop)
        : catalog_(catalog), vocabulary_(indexComplete ? vocabulary : nullptr), stop_(stop),
          reader_(db.handle(), indexComplete), bodyLike_(db.prepare(bodyLikeSQL)) {}

    void add(const std::string &word) {
        std::string key = SearchCatalog::likeKey(word);
        const bool likeOnly = key.find("\uFFFD") != std::string::npos;
        words_.push_back({word, std::move(key), likePattern(word), likeOnly, {}, false, 0, 0});
    }
    const std::vector<Word> &words() const { return words_; }
    // The reader, moved to document `id` unless it is there already with what it has read.
    BodyReader &bodyOf(int64_t id) {
        if (reader_.id() != id) {
            reader_.open(id);
            lowered_.clear();
        }
        return reader_;
    }

    static bool inTitle(const SearchCatalog::Document &d, const Word &w) {
        return d.titleKey.find(w.key) != std::string::npos;
    }

    // Whether document `index` of the catalog holds every word, in its title or its body.
    bool holdsAll(int64_t index) {
        const auto &d = catalog_.documents()[static_cast<size_t>(index)];
        // What the index rules out costs nothing to learn; a body is read only for words it allows.
        for (const auto &w : words_) {
            if (ruledOut(index, w) && !inTitle(d, w)) return false;
        }
        for (auto &w : words_) {
            if (!inTitle(d, w) && !inBody(d, index, w)) return false;
        }
        return true;
    }

    bool inBody(const SearchCatalog::Document &d, int64_t index, Word &w) {
        if (ruledOut(index, w)) return false;
        if (!w.asked && w.reads >= bodiesBeforeIndex && w.hits * (missesPerHit + 1) < w.reads) askIndex(w);
        if (ruledOut(index, w)) return false;
        ++w.reads;
        const bool found = bodyHolds(d, w);
        w.hits += found ? 1 : 0;
        return found;
    }

private:
    static bool ruledOut(int64_t index, const Word &w) {
        return !w.bodyMay.empty() && !w.bodyMay[static_cast<size_t>(index)];
    }

    bool bodyHolds(const SearchCatalog::Document &d, const Word &w) {
        if (!d.plain || w.likeOnly) {
            bodyLike_.bindAll({SQLiteValue::text(w.pattern), SQLiteValue::i(d.id)});
            return bodyLike_.step() && bodyLike_.int64(0) != 0;
        }
        bodyOf(d.id);
        // A word without ASCII letters is found in the body as it is; others in a lowered copy.
        const bool fold = std::any_of(w.key.begin(), w.key.end(), [](char c) { return c >= 'a' && c <= 'z'; });
        size_t searched = 0;
        for (size_t want = firstRead;; want *= 4) {
            if (stop_.stop_requested()) throw SearchStopped();
            std::string_view text = reader_.prefix(want);
            if (fold && lowered_.size() < text.size())
                ByteSearch::appendLowerASCII(lowered_, text.substr(lowered_.size()));
            const std::string_view haystack = fold ? std::string_view(lowered_).substr(0, text.size()) : text;
            size_t from = searched + 1 > w.key.size() ? searched + 1 - w.key.size() : 0;
            if (ByteSearch::find(haystack, w.key, from) != std::string_view::npos) return true;
            if (text.size() >= reader_.size()) return false;
            searched = text.size();
        }
    }

    // Asks the index, once, which documents can hold the word in their body: those with a body
    // term beginning with it, and those ending with it, which no term begins with.
    void askIndex(Word &w) {
        w.asked = true;
        if (!vocabulary_ || w.likeOnly) return;
        auto prefix = vocabulary_->termPrefix(w.text);
        if (!prefix) return;
        auto listed = vocabulary_->bodyDocuments(*prefix, indexTerms, indexEntries);
        if (!listed) return;
        const auto &docs = catalog_.documents();
        w.bodyMay.assign(docs.size(), false);
        for (int64_t id : *listed) {
            int64_t at = catalog_.indexOf(id);
            if (at >= 0) w.bodyMay[static_cast<size_t>(at)] = true;
        }
        for (size_t k = 0; k < docs.size(); ++k) {
            if (!docs[k].plain || ByteSearch::lowerASCII(docs[k].tail).find(w.key) != std::string::npos)
                w.bodyMay[k] = true;
        }
    }

    const SearchCatalog &catalog_;
    TrigramVocabulary *vocabulary_;
    const std::stop_token &stop_;
    BodyReader reader_;
    SQLiteStatement bodyLike_;
    std::string lowered_; // what reader_ has read, ASCII letters lowered
    std::vector<Word> words_;
};

} // namespace

const SearchCatalog &LocalStore::searchCatalog(SQLiteDB &db) {
    const int64_t version = db.scalarInt("PRAGMA data_version");
    if (!catalog_ || version != catalogDataVersion_ || localWrites_ != catalogWrites_) {
        catalog_ = std::make_unique<SearchCatalog>(db, catalogTable_, hasFTS_);
        catalogDataVersion_ = version;
        catalogWrites_ = localWrites_;
        // A store filled while it had no index has documents the index never saw.
        indexComplete_ = hasFTS_ && catalog_->indexedCount() == static_cast<int64_t>(catalog_->documents().size());
    }
    return *catalog_;
}

std::vector<SearchResult> LocalStore::search(std::string_view query, int limit) {
    return search(query, limit, std::stop_token());
}

std::vector<SearchResult> LocalStore::search(std::string_view query, int limit, std::stop_token stop) {
    std::lock_guard guard(lock_);
    if (!db_) throw LocalStoreError::notOpen();
    SQLiteDB &db = *db_;
    const Words words(query);
    if (words.all.empty()) return {};
    if (stop.stop_requested()) throw SearchStopped();
    // SQLite would read a negative LIMIT as "no limit"; none is meant.
    if (limit <= 0) return {};
    const auto wanted = static_cast<size_t>(limit);

    auto run = [&]() -> std::vector<SearchResult> {
        // Unbound before the transaction ends, so that its rollback is never interrupted.
        StopBinding binding(db, searchStop_, stop);
        const SearchCatalog &catalog = searchCatalog(db);
        const auto &docs = catalog.documents();
        FolderPaths paths(db);
        const bool fullText = hasFTS_ && !words.longWords.empty();
        WordTests tests(db, catalog, indexComplete_, vocabulary_.get(), searchStop_);
        for (const auto &w : fullText ? words.shortWords : words.all)
            tests.add(w);

        std::vector<int64_t> chosen;                                   // catalog positions, in answer order
        std::unordered_map<int64_t, std::vector<SnippetSegment>> cuts; // by id
        std::string match;
        if (fullText) {
            for (const auto &w : words.longWords)
                match += (match.empty() ? "" : " AND ") + phrase(w);
            // Every match ranked: by score, then newer first; rows the statement's sorter holds
            // equal keep the order the index returns them in, by id.
            struct Ranked {
                double score;
                int64_t updatedAt;
                int64_t index;
            };
            std::vector<Ranked> ranked;
            SQLiteStatement rank = db.prepare(rankSQL);
            rank.bindAll({SQLiteValue::text(match)});
            rank.bindPointer(2, static_cast<const Bm25Rank::Sizes *>(&catalog), Bm25Rank::sizesType);
            while (rank.step()) {
                int64_t at = catalog.indexOf(rank.int64(0));
                if (at >= 0) ranked.push_back({rank.real(1), docs[static_cast<size_t>(at)].updatedAt, at});
            }
            std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked &a, const Ranked &b) {
                return a.score != b.score ? a.score < b.score : a.updatedAt > b.updatedAt;
            });
            for (size_t k = 0; k < ranked.size() && chosen.size() < wanted; ++k) {
                if (k % 64 == 0 && stop.stop_requested()) throw SearchStopped();
                if (tests.holdsAll(ranked[k].index)) chosen.push_back(ranked[k].index);
            }
        } else {
            // Title hits on the first word first, then the rest; each part newest first. A
            // snippet is cut while the body that was just searched is still at hand.
            const auto &first = tests.words().front();
            for (int pass = 0; pass < 2 && chosen.size() < wanted; ++pass) {
                for (size_t k = 0; k < docs.size() && chosen.size() < wanted; ++k) {
                    if (k % 64 == 0 && stop.stop_requested()) throw SearchStopped();
                    if (WordTests::inTitle(docs[k], first) != (pass == 0) || !tests.holdsAll(static_cast<int64_t>(k)))
                        continue;
                    chosen.push_back(static_cast<int64_t>(k));
                    BodyReader &body = tests.bodyOf(docs[k].id);
                    std::optional<std::vector<SnippetSegment>> snippet;
                    for (size_t want = std::max(body.read().size(), firstRead); !snippet; want *= 4) {
                        if (stop.stop_requested()) throw SearchStopped();
                        std::string_view text = body.prefix(want);
                        snippet = TextSnippet::cut(text, text.size() >= body.size(), words.all, snippetRadius);
                    }
                    cuts[docs[k].id] = std::move(*snippet);
                }
            }
        }

        if (fullText && !chosen.empty()) {
            TrigramSnippet::Rows rows;
            for (int64_t at : chosen)
                rows.emplace(docs[static_cast<size_t>(at)].id, docs[static_cast<size_t>(at)].plain);
            SQLiteStatement cut = db.prepare(snippetSQL);
            cut.bindAll({SQLiteValue::text(match)});
            cut.bindPointer(2, &rows, TrigramSnippet::rowsType);
            while (cut.step()) {
                if (!cut.isNull(1)) cuts[cut.int64(0)] = parseSnippet(cut.text(1));
            }
        }

        std::vector<SearchResult> results;
        SQLiteStatement row = db.prepare(rowSQL);
        for (int64_t at : chosen) {
            const int64_t id = docs[static_cast<size_t>(at)].id;
            row.bindAll({SQLiteValue::i(id)});
            if (!row.step()) continue;
            results.push_back(
                {id, row.text(0), paths.path(row.optInt(1)), std::move(cuts[id]), static_cast<double>(row.int64(2))});
        }
        return results;
    };

    try {
        return db.transaction(false, run);
    } catch (const SQLiteError &e) {
        if (e.code == SQLITE_INTERRUPT && stop.stop_requested()) throw SearchStopped();
        // Bodies are read past the connection's own error path.
        if (e.meansDamage()) markDamaged();
        throw;
    }
}

} // namespace quorvel
