#include "store/BodyReader.hpp"

#include "store/SQLiteError.hpp"

#include <sqlite3.h>

#include <algorithm>

namespace quorvel {

namespace {

[[noreturn]] void fail(sqlite3 *db, int rc) {
    throw SQLiteError(rc, sqlite3_errmsg(db), "body of a document");
}

} // namespace

BodyReader::~BodyReader() {
    if (blob_) sqlite3_blob_close(blob_);
}

void BodyReader::open(int64_t id) {
    int rc = blob_ ? sqlite3_blob_reopen(blob_, id)
                   : sqlite3_blob_open(db_, "main", fromIndex_ ? "files_fts_content" : "files",
                                       fromIndex_ ? "c1" : "body_text", id, 0, &blob_);
    if (rc != SQLITE_OK) {
        id_ = -1;
        fail(db_, rc);
    }
    id_ = id;
    size_ = static_cast<size_t>(std::max(sqlite3_blob_bytes(blob_), 0));
    buffer_.clear();
}

std::string_view BodyReader::prefix(size_t bytes) {
    bytes = std::min(bytes, size_);
    if (bytes > buffer_.size()) {
        const size_t from = buffer_.size();
        buffer_.resize(bytes);
        int rc =
            sqlite3_blob_read(blob_, buffer_.data() + from, static_cast<int>(bytes - from), static_cast<int>(from));
        if (rc != SQLITE_OK) {
            buffer_.resize(from);
            fail(db_, rc);
        }
    }
    return std::string_view(buffer_).substr(0, bytes);
}

} // namespace quorvel
