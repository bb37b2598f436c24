#pragma once

#include "store/FolderRecord.hpp"
#include "store/ShellRecord.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

// Everything one sync run learned, written by LocalStore::apply in one transaction.
// Times are seconds since 1970.
struct SyncApplyBatch {
    // A document downloaded in this run.
    struct FileUpsert {
        int64_t id = 0;
        std::optional<int64_t> folderId;
        std::string filename;
        double updatedAt = 0;
        int64_t fileSize = 0;
        std::string contentHash;
        // The HTML as downloaded.
        std::string content;
        // The HTML after its images were pointed at stored assets.
        std::string renderHTML;
        // Plain text for search.
        std::string bodyText;
        // Every stored image renderHTML refers to; duplicates allowed.
        std::vector<std::string> assetHashes;
        bool missingAssets = false;

        FileUpsert() = default;
        // Without bodyText, it is extracted from `content` (the downloaded HTML, not the rewritten one).
        FileUpsert(int64_t id, std::optional<int64_t> folderId, std::string filename, double updatedAt,
                   int64_t fileSize, std::string contentHash, std::string content, std::string renderHTML,
                   std::optional<std::string> bodyText, std::vector<std::string> assetHashes, bool missingAssets);

        bool operator==(const FileUpsert &) const = default;
    };

    // A document whose content is unchanged but whose place, title, time or size changed.
    struct MetaUpdate {
        int64_t id = 0;
        std::optional<int64_t> folderId;
        std::string filename;
        double updatedAt = 0;
        int64_t fileSize = 0;

        bool operator==(const MetaUpdate &) const = default;
    };

    // A document whose stored HTML was rendered again, for example after its images arrived.
    struct RenderUpdate {
        int64_t id = 0;
        std::string renderHTML;
        std::vector<std::string> assetHashes;
        bool missingAssets = false;

        bool operator==(const RenderUpdate &) const = default;
    };

    // An image staged as a file in this run.
    struct AssetRecord {
        std::string sha256;
        int64_t bytes = 0;

        bool operator==(const AssetRecord &) const = default;
    };

    std::optional<int64_t> userId;
    std::optional<std::string> email;
    // The complete folder tree; replaces the stored one.
    std::vector<FolderRecord> folders;
    std::vector<FileUpsert> upserts;
    std::vector<MetaUpdate> metaUpdates;
    std::vector<RenderUpdate> renderUpdates;
    std::vector<int64_t> deletions;
    std::vector<AssetRecord> newAssets;
    // Image source URL -> hash of the stored image.
    std::map<std::string, std::string> urlCache;
    std::optional<ShellRecord> shell;
    std::optional<std::string> etag;
    // Wins over `etag`.
    bool clearETag = false;
    std::optional<double> serverTime;
    double syncedAt = 0;

    SyncApplyBatch() = default;
    SyncApplyBatch(std::optional<int64_t> user, std::optional<std::string> mail, double completedAt)
        : userId(user), email(std::move(mail)), syncedAt(completedAt) {}

    bool operator==(const SyncApplyBatch &) const = default;
};

} // namespace quorvel
