#include "support/StoreDump.hpp"

namespace quorvel::test {

std::string dumpStore(LocalStore &store, bool withSyncTimes) {
    return store.withDB([&](SQLiteDB &db) {
        std::string out;
        std::vector<std::string> tables = {"meta", "folders", "files", "assets", "asset_urls", "asset_refs", "recent"};
        if (db.tableExists("files_fts")) tables.push_back("files_fts");
        for (const auto &t : tables) {
            std::string sql = "SELECT * FROM " + t + " ORDER BY 1, 2";
            if (t == "files_fts") sql = "SELECT rowid, title, body FROM files_fts ORDER BY rowid";
            // The generation counts applies across erases, so equal libraries may differ in it.
            if (t == "meta")
                sql = std::string("SELECT * FROM meta WHERE key NOT IN ('generation', 'search_docs_generation'") +
                      (withSyncTimes ? "" : ", 'last_sync_at', 'server_time'") + ") ORDER BY 1, 2";
            out += "[" + t + "]\n";
            db.query(sql, {}, [&](SQLiteStatement &s) {
                for (int i = 0; i < s.columnCount(); ++i)
                    out += (s.isNull(i) ? "NULL" : "'" + s.text(i) + "'") + "|";
                out += "\n";
                return 0;
            });
        }
        return out;
    });
}

} // namespace quorvel::test
