#pragma once

#include "store/SQLiteDB.hpp"

#include <string>
#include <vector>

namespace quorvel::Schema {

// Step k brings user_version from k to k+1. Steps are never edited once shipped; append instead.
const std::vector<SQLiteDB::Step> &migrations();

extern const char *const version1SQL;
extern const char *const ftsTableSQL;
// Compares the full-text index with the text it indexes; fails with SQLITE_CORRUPT_VTAB when they
// differ. Writes nothing, but needs a write transaction.
extern const char *const ftsIntegrityCheckSQL;

} // namespace quorvel::Schema
