#pragma once

// SQL texts shared by several parts of LocalStore.
namespace quorvel::StoreSQL {

// The seven columns a FileSummary is read from; the last is "has an unseen change".
inline constexpr const char *summaryColumns =
    "id, folder_id, filename, updated_at, file_size, content_hash, (seen_hash IS NULL OR seen_hash <> content_hash)";

inline constexpr const char *selectMeta = "SELECT value FROM meta WHERE key = ?1";
inline constexpr const char *writeMeta =
    "INSERT INTO meta(key, value) VALUES(?1, ?2) ON CONFLICT(key) DO UPDATE SET value = excluded.value";
inline constexpr const char *deleteMeta = "DELETE FROM meta WHERE key = ?1";
inline constexpr const char *markSeen = "UPDATE files SET seen_hash = content_hash WHERE id = ?1";
inline constexpr const char *selectAllFolders = "SELECT id, parent_id, name, order_num FROM folders";

} // namespace quorvel::StoreSQL

namespace quorvel::MetaKey {
inline constexpr const char *userId = "user_id";
inline constexpr const char *email = "email";
inline constexpr const char *etag = "etag";
inline constexpr const char *serverTime = "server_time";
inline constexpr const char *lastSyncAt = "last_sync_at";
inline constexpr const char *shellVersion = "shell_version";
inline constexpr const char *shellHTML = "shell_html";
// Written when a damaged database is rebuilt; a new value at every rebuild.
inline constexpr const char *rebuildId = "rebuild_id";
// How many times the library's documents changed: one more at every apply and erase, written in
// their transaction. Absent means 0.
inline constexpr const char *generation = "generation";
// The generation the search catalog (search_docs) was last known to match.
inline constexpr const char *searchCatalogGeneration = "search_docs_generation";
} // namespace quorvel::MetaKey
