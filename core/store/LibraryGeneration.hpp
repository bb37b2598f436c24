#pragma once

#include "store/SQLiteDB.hpp"

#include <cstdint>
#include <optional>

// The library's generation: a number in `meta` that every apply and erase raises by one inside its
// own transaction, so that any connection, in any process, learns from one row whether the
// documents changed. Derived data carries the generation it was last made for.
namespace quorvel::LibraryGeneration {

// 0 for a store that no apply of this build has written.
int64_t read(SQLiteDB &db);
// The generation the search catalog was last known to match; absent when it was never stamped.
std::optional<int64_t> catalogStamp(SQLiteDB &db);
void stampCatalog(SQLiteDB &db, int64_t generation);
// Sets the generation, and stamps the catalog with it when asked: inside the transaction that
// changes the documents, with one more than it read there.
void write(SQLiteDB &db, int64_t generation, bool stampCatalog);

} // namespace quorvel::LibraryGeneration
