#pragma once

#include "store/UpsertSource.hpp"
#include "sync/DocumentSpool.hpp"
#include "sync/ImageRewriter.hpp"

#include <cstdint>
#include <filesystem>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace quorvel {

// The documents of one sync run waiting for their images. Each one's HTML sits in a spool file as
// soon as it arrives; memory holds only its id, its manifest fields and the image URLs it needs.
// Once the images are known, the store draws the documents one at a time inside its apply
// transaction, each rewritten and its text extracted just then, so the run holds at most one
// document's HTML however large the library.
//
// Rendering checks the run's stop token: a run cancelled while the store applies rolls back.
class RenderQueue : public UpsertSource {
public:
    RenderQueue(const ImageRewriter &rewriter, int64_t maxImagesPerDocument,
                const std::filesystem::path &spoolDirectory, std::stop_token stop);

    // A downloaded document: `upsert` holds everything but what rendering produces (content,
    // renderHTML, bodyText, assetHashes, missingAssets). A second call for the same id replaces it.
    void addDownloaded(SyncApplyBatch::FileUpsert upsert, std::string_view content);
    // Puts the downloaded documents in this order; ids missing from it are dropped. Call once all
    // downloads are in.
    void arrange(const std::vector<int64_t> &order);
    // A stored document only rendered again, after every downloaded one.
    void addStored(int64_t id, std::string_view content);

    // Every image the documents need, each once, in order of first use (downloaded documents in
    // their order, then stored ones): at most maxImagesPerDocument per document.
    std::vector<std::string> imageURLs() const;
    // What the image stage found: the stored image of each URL, and the URLs that failed.
    void setImages(std::unordered_map<std::string, std::string> urlToHash, std::unordered_set<std::string> failed);

    size_t downloadedCount() const { return downloaded_.size(); }
    size_t storedCount() const { return stored_.size(); }

    bool nextUpsert(SyncApplyBatch::FileUpsert &out) override;
    bool nextRenderUpdate(SyncApplyBatch::RenderUpdate &out) override;

private:
    struct Target {
        SyncApplyBatch::FileUpsert upsert; // only the id for a stored document
        DocumentSpool::Entry html;
        std::vector<std::string> urls;
    };
    struct Rendered {
        std::string content;
        std::string html;
        std::vector<std::string> assetHashes;
        bool missingAssets = false;
    };

    Target spool(SyncApplyBatch::FileUpsert upsert, std::string_view content);
    Rendered render(const Target &target) const;

    const ImageRewriter &rewriter_;
    size_t maxImages_;
    DocumentSpool spool_;
    std::stop_token stop_;
    std::unordered_map<int64_t, Target> arriving_;
    std::vector<Target> downloaded_;
    std::vector<Target> stored_;
    std::unordered_map<std::string, std::string> urlToHash_;
    std::unordered_set<std::string> failed_;
    size_t nextDownloaded_ = 0;
    size_t nextStored_ = 0;
};

} // namespace quorvel
