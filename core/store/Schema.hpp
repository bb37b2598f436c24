#pragma once

#include "store/SQLiteDB.hpp"

#include <string>
#include <vector>

namespace quorvel::Schema {

// Step k brings user_version from k to k+1. Steps are never edited once shipped; append instead.
const std::vector<SQLiteDB::Step> &migrations();

extern const char *const version1SQL;
extern const char *const ftsTableSQL;
// Derived from `files` and kept by SQLite with every change; created on opening when missing. The
// lists (the tree, counts, the newest edit, what a sync compares) read only these: a document's
// row starts a chain of pages holding its HTML, and reading rows reads most of the file.
extern const char *const summaryIndexSQL;
extern const char *const missingAssetsIndexSQL;
// Compares the full-text index with the text it indexes; fails with SQLITE_CORRUPT_VTAB when they
// differ. Writes nothing, but needs a write transaction.
extern const char *const ftsIntegrityCheckSQL;

} // namespace quorvel::Schema
