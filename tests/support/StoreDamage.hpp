#pragma once

#include <filesystem>
#include <string>

namespace quorvel::test {

// Overwrites the root pages of one table's b-tree and of its indexes in a database file with
// garbage, as a failing disk or a stray write would, so that every read of that table fails as
// malformed. The file must hold
// its pages itself: close the store first (or checkpoint its write-ahead log and drop its cache).
void damageTable(const std::filesystem::path &database, const std::string &table);

} // namespace quorvel::test
