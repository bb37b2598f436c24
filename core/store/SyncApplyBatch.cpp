#include "store/SyncApplyBatch.hpp"

#include "html/HTMLText.hpp"

namespace quorvel {

SyncApplyBatch::FileUpsert::FileUpsert(int64_t id_, std::optional<int64_t> folderId_, std::string filename_,
                                       double updatedAt_, int64_t fileSize_, std::string contentHash_,
                                       std::string content_, std::string renderHTML_,
                                       std::optional<std::string> bodyText_, std::vector<std::string> assetHashes_,
                                       bool missingAssets_)
    : id(id_), folderId(folderId_), filename(std::move(filename_)), updatedAt(updatedAt_), fileSize(fileSize_),
      contentHash(std::move(contentHash_)), content(std::move(content_)), renderHTML(std::move(renderHTML_)),
      assetHashes(std::move(assetHashes_)), missingAssets(missingAssets_) {
    bodyText = bodyText_ ? std::move(*bodyText_) : HTMLText::extract(content);
}

} // namespace quorvel
