#pragma once

#include "store/DocumentRecord.hpp"
#include "store/DownloadCache.hpp"
#include "store/FileSummary.hpp"
#include "store/FolderRecord.hpp"
#include "store/LocalFileSnapshot.hpp"
#include "store/LocalStoreError.hpp"
#include "store/SQLiteDB.hpp"
#include "store/SearchResult.hpp"
#include "store/ShellRecord.hpp"
#include "store/SnippetSegment.hpp"
#include "store/SyncApplyBatch.hpp"
#include "store/TreeNode.hpp"
#include "store/TreeSort.hpp"
#include "store/UpsertSource.hpp"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel {

class SearchCatalog;
class TrigramVocabulary;

// The one on-disk library: "store.sqlite" plus the content-addressed "assets" directory.
// Every operation runs under one recursive lock, held across whole transactions, so readers on
// other threads see the library either before or after a sync batch, never in between.
// Times are seconds since 1970. Throwing operations throw LocalStoreError::notOpen on a closed
// store and pass SQLiteError through; the others answer absent, 0, false or empty instead.
class LocalStore {
public:
    static constexpr const char *databaseFileName = "store.sqlite";
    static constexpr const char *assetsDirectoryName = "assets";
    static constexpr int recentLimit = 10;
    // Pending full-text terms held in memory before they are written out as an index segment.
    static constexpr int64_t ftsBufferBytes = 8 * 1024 * 1024;

    LocalStore(std::filesystem::path directory, bool enableFTS);
    // Opens an existing library only to read it, as a process beside the app and a syncing CLI
    // may: nothing on disk is created, migrated, repaired or marked. The store stays closed when
    // there is no library yet, when it is at another schema, or when SQLite cannot read it.
    struct ReadOnly {};
    LocalStore(std::filesystem::path directory, ReadOnly);
    ~LocalStore();
    LocalStore(const LocalStore &) = delete;
    LocalStore &operator=(const LocalStore &) = delete;

    const std::filesystem::path &directory() const { return directory_; }
    std::filesystem::path assetsDirectory() const { return directory_ / assetsDirectoryName; }
    bool hasFTS() const;
    bool isOpen() const;

    // Erases every document, image and setting, leaving an empty store at the current schema. Takes
    // the library lock (LibraryLock) itself, so it waits for a sync of this library in any process;
    // a caller that must be able to give up that wait holds the lock first. The tables are emptied
    // in one transaction, which another process with this library open sees as it should; only a
    // database that cannot be emptied or was replaced on disk is removed and created afresh. The
    // download cache goes too.
    void wipeAll();

    // Downloads of runs that ended before applying, in the store directory; wipeAll empties it too.
    DownloadCache &downloadCache() { return downloadCache_; }

    // --- Damage ---
    // The newest damaged database is kept aside under this name, with "-wal" and "-shm" beside it.
    static constexpr const char *damagedCopyName = "store.sqlite.damaged";
    // Left by a store operation SQLite answered with "corrupt" or "not a database", so that the next
    // open or sync, in any process, looks at the file.
    static constexpr const char *damageMarkName = "store.sqlite.suspect";

    // SQLite found the database corrupt or not a database, here or (by the mark) in another process.
    bool isDamaged() const;
    // Records damage. The store's own connection does so whenever SQLite reports it; a check that
    // reads the file on a connection of its own calls it.
    void markDamaged();
    // Heals a damaged store: keeps a copy of the damaged database aside, empties it in place, opens
    // it at the current schema without an entity tag and removes the images, so the next sync
    // downloads the whole library. Damage known only from another process's mark is confirmed
    // first (PRAGMA quick_check and the full-text index's check). Holds the library lock
    // (LibraryLock) while it works. True when it rebuilt the store. Construction does the same, so
    // a damaged store opens empty instead of failing.
    bool rebuildIfDamaged();
    // Rebuilt from a damaged database, and no sync has completed since.
    bool isRebuilding();
    // Removes whatever files hold these image names and marks the documents that use them, so that
    // the next sync downloads those images again and renders the documents with them; clears the
    // entity tag, so that sync reads the whole manifest. Returns the documents marked, ascending.
    std::vector<int64_t> repairImages(const std::vector<std::string> &hashes);

    // Called inside the apply transaction just before it commits; throwing rolls the batch back.
    std::function<void()> beforeCommitHook;

    // Runs `body` with the open connection under the store's lock; throws notOpen when closed.
    template <typename F>
    auto withDB(F &&body) -> std::invoke_result_t<F &, SQLiteDB &> {
        std::lock_guard guard(lock_);
        if (!db_) throw LocalStoreError::notOpen();
        return body(*db_);
    }

    // --- Writing synced data ---

    // Writes the whole batch in one immediate transaction: all of it lands or none of it.
    void apply(const SyncApplyBatch &batch);
    // The same, with more documents drawn from `more` after the batch's own, one at a time, so the
    // batch never has to hold them all. An error thrown by the source rolls everything back.
    void apply(const SyncApplyBatch &batch, UpsertSource &more);
    // Stores an image file under its hash before the batch naming it is applied. A malformed hash
    // (anything but 64 characters of 0-9a-f) is ignored; an existing file is kept.
    void stageAsset(std::string_view sha256, std::span<const uint8_t> data);
    void stageAsset(std::string_view sha256, std::string_view data);
    // Removes image files that neither an assets row nor the download cache names; returns how many
    // were removed.
    int collectGarbageFiles();
    void setShell(const ShellRecord &shell);
    void touchLastSync(double date);

    // --- Library queries ---

    std::vector<FolderRecord> folders();
    std::vector<FileSummary> fileSummaries();
    std::optional<FileSummary> summary(int64_t id);
    std::optional<DocumentRecord> document(int64_t id);
    std::vector<LocalFileSnapshot> snapshot();
    std::vector<int64_t> idsWithMissingAssets();
    std::optional<std::string> content(int64_t id);
    std::vector<TreeNode> tree(TreeSort sort);
    // The last viewed documents, newest first, at most recentLimit.
    std::vector<FileSummary> recent();
    // Puts the document first in the recent list and marks it seen; unknown ids change nothing.
    void recordView(int64_t fileId, double at);
    void markSeen(int64_t fileId);

    int64_t fileCount();
    std::optional<double> latestUpdatedAt();
    // Database files on disk plus the recorded size of every stored image.
    int64_t storageBytes();
    // Where the image with this hash is (or would be) stored; no check.
    std::filesystem::path assetURL(std::string_view sha256) const;
    // The stored image's bytes; absent for a malformed hash, an unreadable file, or bytes that are
    // not the ones the name promises (such a file is handed to repairImages).
    std::optional<std::vector<uint8_t>> assetData(std::string_view sha256);
    // The hash of the stored image last fetched from `url`, if its file is still there.
    std::optional<std::string> cachedAsset(std::string_view url);
    bool hasAsset(std::string_view sha256);

    std::optional<int64_t> userId();
    std::optional<std::string> email();
    std::optional<std::string> etag();
    std::optional<double> lastSyncAt();
    std::optional<double> serverTime();
    // No sync has completed since the store was created or wiped.
    bool isFirstSync();
    std::optional<std::string> shellVersion();
    std::optional<ShellRecord> shell();

    // The library's generation: one more after every apply, whatever it held, and every erase,
    // written in their own transaction. Views, seen marks and a sync the service answered "not
    // modified" leave it. Any connection, in any process, reads the new value once the commit is
    // done; reading it costs one row of `meta`, and PRAGMA data_version, which moves only when
    // another connection commits, tells without reading the file when to read it again. Compare
    // for equality: a store rebuilt from damage starts again at 0, as does one no apply of this
    // build has written. 0 on a closed store.
    int64_t generation();

    // --- Search ---

    // Titles and body text, best first. Uses the full-text index when there is one and the query
    // has a word of 3 or more characters; plain substring matching otherwise.
    std::vector<SearchResult> search(std::string_view query, int limit);
    // The same, for a caller that may supersede it: once `stop` is requested the search ends
    // within a few milliseconds by throwing SearchStopped, leaving the store as it was.
    std::vector<SearchResult> search(std::string_view query, int limit, std::stop_token stop);
    // Splits SQLite snippet text, whose hits sit between U+0001 and U+0002, into segments.
    static std::vector<SnippetSegment> parseSnippet(std::string_view snippet);
    // Cuts a window of `radius` characters either side of the first hit and highlights every hit in it.
    static std::vector<SnippetSegment> makeSnippet(std::string_view body, const std::vector<std::string> &terms,
                                                   int radius);

    static bool isAssetHash(std::string_view sha256);

private:
    void open();
    void openReadOnly();
    void eraseInPlace(SQLiteDB &db);
    static std::optional<std::pair<uintmax_t, uintmax_t>> fileIdentity(const std::filesystem::path &path);
    void openOrRebuild();
    // Opens the database unless it is damaged; false when it is.
    bool openIfSound();
    // PRAGMA quick_check and the full-text index's own check: what an open can afford after damage.
    bool looksSound();
    // With the library lock held.
    void rebuild();
    void keepDamagedCopy();
    void removeDamageMark();
    void repairQuietly(std::string_view sha256);
    std::filesystem::path databasePath() const { return directory_ / databaseFileName; }
    static void enlargeIndexBuffer(SQLiteDB &db);
    void closeDatabase();
    // With `writable`, the catalog table is created or refilled when it is missing or out of step.
    void prepareSearch(bool writable = true);
    // The catalog as of the open read transaction, reloaded when the library changed.
    const SearchCatalog &searchCatalog(SQLiteDB &db);
    void applyBatch(const SyncApplyBatch &batch, UpsertSource *more);
    std::optional<std::string> metaValue(const char *key);

    // For lookups meant for screens: under the lock, `fallback` on a closed store or any failure.
    template <typename T, typename F>
    T quietly(T fallback, F &&body) {
        std::lock_guard guard(lock_);
        if (!db_) return fallback;
        try {
            return body(*db_);
        } catch (const std::exception &) {
            return fallback;
        }
    }

    std::filesystem::path directory_;
    bool wantFTS_;
    bool hasFTS_ = false;
    mutable std::recursive_mutex lock_;
    std::unique_ptr<SQLiteDB> db_;
    // Device and inode of the database file db_ opened.
    std::optional<std::pair<uintmax_t, uintmax_t>> openedFile_;
    DownloadCache downloadCache_;

    // Search's own state, all under the lock. The catalog table is usable when it could be
    // prepared at opening; the snapshot is tagged with the library's version it was read at.
    bool catalogTable_ = false;
    bool indexComplete_ = false; // the full-text index holds every document
    std::unique_ptr<const SearchCatalog> catalog_;
    int64_t catalogDataVersion_ = -1;
    uint64_t catalogWrites_ = 0;
    uint64_t localWrites_ = 0; // bumped by every write of this connection that search reads
    std::unique_ptr<TrigramVocabulary> vocabulary_;
    // The running search's stop token, lent to the snippet function.
    std::stop_token searchStop_;
    // This process saw SQLite call the database damaged since it was last opened or rebuilt.
    std::atomic<bool> damaged_{false};
    // The database's rebuild identity as this process last knew it: a rebuild by another process
    // changes it, so a damage seen before then is not healed twice.
    std::optional<std::string> rebuildId_;
};

} // namespace quorvel
