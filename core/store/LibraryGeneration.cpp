#include "store/LibraryGeneration.hpp"

#include "store/MetaNumber.hpp"
#include "store/StoreSQL.hpp"

#include <string>

namespace quorvel::LibraryGeneration {

namespace {

std::optional<int64_t> number(SQLiteDB &db, const char *key) {
    auto text = db.queryOne(StoreSQL::selectMeta, {SQLiteValue::text(key)}, [](SQLiteStatement &s) {
                      return s.optText(0);
                  }).value_or(std::nullopt);
    return text ? MetaNumber::parseInteger(*text) : std::nullopt;
}

void writeNumber(SQLiteDB &db, const char *key, int64_t value) {
    db.run(StoreSQL::writeMeta, {SQLiteValue::text(key), SQLiteValue::text(std::to_string(value))});
}

} // namespace

int64_t read(SQLiteDB &db) {
    return number(db, MetaKey::generation).value_or(0);
}

std::optional<int64_t> catalogStamp(SQLiteDB &db) {
    return number(db, MetaKey::searchCatalogGeneration);
}

void stampCatalog(SQLiteDB &db, int64_t generation) {
    writeNumber(db, MetaKey::searchCatalogGeneration, generation);
}

void write(SQLiteDB &db, int64_t generation, bool stampCatalog) {
    writeNumber(db, MetaKey::generation, generation);
    if (stampCatalog) writeNumber(db, MetaKey::searchCatalogGeneration, generation);
}

} // namespace quorvel::LibraryGeneration
