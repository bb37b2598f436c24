#pragma once

#include "store/LocalStore.hpp"
#include "support/StoreDump.hpp"

#include <ostream>
#include <string>

namespace quorvel {
// Readable failure messages: plain segments in quotes, highlighted ones in brackets.
inline void PrintTo(const SnippetSegment &s, std::ostream *os) {
    *os << (s.highlighted ? "[" : "\"") << s.text << (s.highlighted ? "]" : "\"");
}
} // namespace quorvel

namespace quorvel::test {

// A downloaded document whose body text is `body` and whose HTML wraps it in a paragraph.
SyncApplyBatch::FileUpsert upsert(int64_t id, std::optional<int64_t> folderId, std::string filename,
                                  std::string body = "본문", double updatedAt = 1000, std::string contentHash = "");

// Segments joined, highlighted ones in brackets.
std::string marked(const std::vector<SnippetSegment> &segments);

// One sync's batch of these documents, folders and deletions, applied to `store`.
void put(LocalStore &store, std::vector<SyncApplyBatch::FileUpsert> files, std::vector<FolderRecord> folders = {},
         std::vector<int64_t> deletions = {});

int64_t scalar(LocalStore &store, const std::string &sql, const std::vector<SQLiteValue> &params = {});

// A content-addressed image: its bytes and their hash.
struct TestAsset {
    std::string bytes;
    std::string sha256;
};
TestAsset asset(const std::string &bytes);

} // namespace quorvel::test
