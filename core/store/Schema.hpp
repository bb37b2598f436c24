#pragma once

#include "store/SQLiteDB.hpp"

#include <string>
#include <vector>

namespace quorvel::Schema {

// Step k brings user_version from k to k+1. Steps are never edited once shipped; append instead.
const std::vector<SQLiteDB::Step> &migrations();

extern const char *const version1SQL;
extern const char *const ftsTableSQL;

} // namespace quorvel::Schema
