#include "support/StoreDamage.hpp"

#include "store/SQLiteDB.hpp"

#include <fstream>
#include <stdexcept>

namespace quorvel::test {

void damageTable(const std::filesystem::path &database, const std::string &table) {
    int64_t page = 0, pageSize = 0;
    {
        SQLiteDB db(database.string());
        page = db.scalarInt("SELECT rootpage FROM sqlite_master WHERE name = ?1", {SQLiteValue::text(table)});
        pageSize = db.scalarInt("PRAGMA page_size");
    }
    if (page < 1) throw std::runtime_error("no table " + table);
    std::fstream file(database, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp((page - 1) * pageSize);
    file << std::string(static_cast<size_t>(pageSize), '\xA5');
    if (!file.flush()) throw std::runtime_error("cannot damage " + database.string());
}

} // namespace quorvel::test
