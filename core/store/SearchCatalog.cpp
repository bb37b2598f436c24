#include "store/SearchCatalog.hpp"

#include "html/HTMLText.hpp"
#include "html/UTF8.hpp"
#include "store/ByteSearch.hpp"
#include "store/LibraryGeneration.hpp"
#include "store/TrigramText.hpp"

#include <algorithm>

namespace quorvel {

namespace {

constexpr const char *createSQL = "CREATE TABLE IF NOT EXISTS search_docs(id INTEGER PRIMARY KEY, updated_at INTEGER "
                                  "NOT NULL, title TEXT NOT NULL, tail TEXT NOT NULL, plain INTEGER NOT NULL)";
constexpr const char *selectSQL =
    "SELECT id, updated_at, title, tail, plain FROM search_docs ORDER BY updated_at DESC, id DESC";
// The same rows before they are derived: filename and body in place of title and tail.
constexpr const char *deriveSQL =
    "SELECT id, updated_at, filename, body_text, 0 FROM files ORDER BY updated_at DESC, id DESC";

constexpr const char *staleSQL = "SELECT count(*) FROM files f LEFT JOIN search_docs s ON s.id = f.id WHERE s.id IS "
                                 "NULL OR s.updated_at != f.updated_at";

// The text a column holds after binding `text`: binds end at a NUL.
std::string_view stored(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

} // namespace

const char *const SearchCatalog::upsertSQL =
    "INSERT OR REPLACE INTO search_docs(id, updated_at, title, tail, plain) VALUES(?1, ?2, ?3, ?4, ?5)";
const char *const SearchCatalog::updateSQL = "UPDATE search_docs SET updated_at = ?2, title = ?3 WHERE id = ?1";
const char *const SearchCatalog::deleteSQL = "DELETE FROM search_docs WHERE id = ?1";

std::vector<SQLiteValue> SearchCatalog::upsertValues(int64_t id, int64_t updatedAt, std::string_view filename,
                                                     std::string_view body) {
    body = stored(body);
    return {SQLiteValue::i(id), SQLiteValue::i(updatedAt), SQLiteValue::text(HTMLText::normalize(stored(filename))),
            SQLiteValue::text(std::string(TrigramText::tail(body))), SQLiteValue::i(UTF8::isValid(body) ? 1 : 0)};
}

std::vector<SQLiteValue> SearchCatalog::updateValues(int64_t id, int64_t updatedAt, std::string_view filename) {
    return {SQLiteValue::i(id), SQLiteValue::i(updatedAt), SQLiteValue::text(HTMLText::normalize(stored(filename)))};
}

std::string SearchCatalog::likeKey(std::string_view text) {
    std::string key = ByteSearch::lowerASCII(text);
    for (size_t k = key.find('\xEF'); k != std::string::npos && k + 2 < key.size(); k = key.find('\xEF', k + 1)) {
        if (key[k + 1] == '\xBF' && (key[k + 2] == '\xBE' || key[k + 2] == '\xBF')) key[k + 2] = '\xBD';
    }
    return key;
}

// Every apply of this build stamps the catalog with the generation it wrote, so comparing the two
// costs two rows of `meta`, however large the library. A store last written by a build that kept
// no stamp is compared row by row: every document has its row at its time.
bool SearchCatalog::inStep(SQLiteDB &db) {
    if (!db.tableExists("search_docs")) return false;
    if (LibraryGeneration::catalogStamp(db) == LibraryGeneration::read(db)) return true;
    return db.scalarInt("SELECT count(*) FROM search_docs") == db.scalarInt("SELECT count(*) FROM files") &&
           db.scalarInt(staleSQL) == 0;
}

void SearchCatalog::prepare(SQLiteDB &db) {
    const bool stamped = db.transaction(false, [&] {
        return db.tableExists("search_docs") && LibraryGeneration::catalogStamp(db) == LibraryGeneration::read(db);
    });
    if (stamped) return;
    db.transaction(true, [&] {
        if (!inStep(db)) {
            db.exec(createSQL);
            db.exec("DELETE FROM search_docs");
            SQLiteStatement insert = db.prepare(upsertSQL);
            SQLiteStatement files = db.prepare("SELECT id, updated_at, filename, body_text FROM files");
            while (files.step()) {
                insert.bindAll(upsertValues(files.int64(0), files.int64(1), files.text(2), files.text(3)));
                while (insert.step()) {}
            }
        }
        // A stamp spares the next open the check by rows.
        LibraryGeneration::stampCatalog(db, LibraryGeneration::read(db));
    });
}

SearchCatalog::SearchCatalog(SQLiteDB &db, bool fromTable, bool indexed) {
    SQLiteStatement rows = db.prepare(fromTable ? selectSQL : deriveSQL);
    while (rows.step()) {
        Document d{rows.int64(0), rows.int64(1), rows.text(2), rows.text(3), rows.int64(4) != 0, {}, {}};
        if (!fromTable) {
            auto values = upsertValues(d.id, d.updatedAt, d.title, d.tail);
            d.title = std::get<std::string>(values[2].value);
            d.tail = std::get<std::string>(values[3].value);
            d.plain = std::get<int64_t>(values[4].value) != 0;
        }
        d.titleKey = likeKey(d.title);
        documents_.push_back(std::move(d));
    }
    // Ranking looks up every row that matches; ids that are few and small (as services hand them
    // out, counting up) index a plain array instead of a hash table.
    const auto [least, most] = std::minmax_element(documents_.begin(), documents_.end(),
                                                   [](const Document &a, const Document &b) { return a.id < b.id; });
    const auto count = static_cast<int64_t>(documents_.size());
    if (count > 0 && least->id >= 0 && most->id < 4 * count + 4096) {
        dense_.assign(static_cast<size_t>(most->id) + 1, -1);
        for (int64_t at = 0; at < count; ++at)
            dense_[static_cast<size_t>(documents_[static_cast<size_t>(at)].id)] = static_cast<int32_t>(at);
    } else {
        for (int64_t at = 0; at < count; ++at)
            index_.emplace(documents_[static_cast<size_t>(at)].id, at);
    }
    if (!indexed) return;
    // The index keeps each row's size per column as varints; their sum is what its auxiliary
    // functions see as the row's size.
    SQLiteStatement sizes = db.prepare("SELECT id, sz FROM files_fts_docsize");
    while (sizes.step()) {
        int64_t at = indexOf(sizes.int64(0));
        if (at < 0) continue;
        ++indexed_;
        std::vector<uint8_t> bytes = sizes.blob(1);
        int64_t total = 0;
        for (size_t i = 0; i < bytes.size();) {
            uint64_t value = 0;
            for (int k = 0; i < bytes.size(); ++k) {
                uint8_t byte = bytes[i++];
                if (k == 8) {
                    value = (value << 8) | byte;
                    break;
                }
                value = (value << 7) | (byte & 0x7F);
                if (!(byte & 0x80)) break;
            }
            total += static_cast<int64_t>(value);
        }
        documents_[static_cast<size_t>(at)].tokens = static_cast<int>(total);
    }
}

std::optional<int> SearchCatalog::tokens(int64_t id) const {
    int64_t at = indexOf(id);
    return at < 0 ? std::nullopt : documents_[static_cast<size_t>(at)].tokens;
}

int64_t SearchCatalog::indexOf(int64_t id) const {
    if (dense_.empty()) {
        auto it = index_.find(id);
        return it == index_.end() ? -1 : it->second;
    }
    return id >= 0 && static_cast<uint64_t>(id) < dense_.size() ? dense_[static_cast<size_t>(id)] : -1;
}

} // namespace quorvel
