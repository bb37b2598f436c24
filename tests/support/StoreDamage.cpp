#include "support/StoreDamage.hpp"

#include "store/SQLiteDB.hpp"

#include <fstream>
#include <stdexcept>
#include <vector>

namespace quorvel::test {

void damageTable(const std::filesystem::path &database, const std::string &table) {
    std::vector<int64_t> pages;
    int64_t pageSize = 0;
    {
        SQLiteDB db(database.string());
        // The table's indexes too: a list may read an index that holds every column it needs.
        pages = db.query("SELECT rootpage FROM sqlite_master WHERE name = ?1 OR (type = 'index' AND tbl_name = ?1)",
                         {SQLiteValue::text(table)}, [](SQLiteStatement &s) { return s.int64(0); });
        pageSize = db.scalarInt("PRAGMA page_size");
    }
    if (pages.empty()) throw std::runtime_error("no table " + table);
    std::fstream file(database, std::ios::in | std::ios::out | std::ios::binary);
    for (int64_t page : pages) {
        if (page < 1) continue;
        file.seekp((page - 1) * pageSize);
        file << std::string(static_cast<size_t>(pageSize), '\xA5');
    }
    if (!file.flush()) throw std::runtime_error("cannot damage " + database.string());
}

} // namespace quorvel::test
