#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_blob;

namespace quorvel {

// Document bodies read from their start only as far as a caller needs: deciding whether a
// common word occurs, or cutting a snippet near the top, seldom needs a whole body. One blob
// handle moves from document to document. Throws SQLiteError when reading fails.
class BodyReader {
public:
    // `fromIndex` reads the full-text index's copy of each body, which every document must have.
    // It is the same text, but stored right after the title: in the documents' own rows the HTML
    // comes first, and reaching the body means walking the pages of that HTML.
    BodyReader(sqlite3 *db, bool fromIndex) : db_(db), fromIndex_(fromIndex) {}
    ~BodyReader();
    BodyReader(const BodyReader &) = delete;
    BodyReader &operator=(const BodyReader &) = delete;

    // Moves to document `id`.
    void open(int64_t id);
    int64_t id() const { return id_; }
    size_t size() const { return size_; }
    // The first `bytes` bytes of the body, or all of it when it is shorter.
    std::string_view prefix(size_t bytes);
    std::string_view all() { return prefix(size_); }
    // What has been read so far.
    std::string_view read() const { return buffer_; }

private:
    sqlite3 *db_;
    bool fromIndex_;
    sqlite3_blob *blob_ = nullptr;
    int64_t id_ = -1;
    size_t size_ = 0;
    std::string buffer_;
};

} // namespace quorvel
