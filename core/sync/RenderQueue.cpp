#include "sync/RenderQueue.hpp"

#include "html/HTMLText.hpp"
#include "sync/SyncCancelled.hpp"

#include <algorithm>

namespace quorvel {

RenderQueue::RenderQueue(const ImageRewriter &rewriter, int64_t maxImagesPerDocument,
                         const std::filesystem::path &spoolDirectory, std::stop_token stop)
    : rewriter_(rewriter), maxImages_(static_cast<size_t>(std::max<int64_t>(maxImagesPerDocument, 0))),
      spool_(spoolDirectory), stop_(std::move(stop)) {}

RenderQueue::Target RenderQueue::spool(SyncApplyBatch::FileUpsert upsert, std::string_view content) {
    // Rewriting without hashes only lists what the document would download.
    std::vector<std::string> urls = rewriter_.rewrite(content, {}).downloads;
    if (urls.size() > maxImages_) urls.resize(maxImages_);
    return Target{std::move(upsert), spool_.append(content), std::move(urls)};
}

void RenderQueue::addDownloaded(SyncApplyBatch::FileUpsert upsert, std::string_view content) {
    const int64_t id = upsert.id;
    arriving_.insert_or_assign(id, spool(std::move(upsert), content));
}

void RenderQueue::arrange(const std::vector<int64_t> &order) {
    for (int64_t id : order) {
        auto it = arriving_.find(id);
        if (it == arriving_.end()) continue;
        downloaded_.push_back(std::move(it->second));
        arriving_.erase(it);
    }
    arriving_.clear();
}

void RenderQueue::addStored(int64_t id, std::string_view content) {
    SyncApplyBatch::FileUpsert only;
    only.id = id;
    stored_.push_back(spool(std::move(only), content));
}

std::vector<std::string> RenderQueue::imageURLs() const {
    std::vector<std::string> distinct;
    std::unordered_set<std::string_view> seen;
    for (const auto *targets : {&downloaded_, &stored_})
        for (const auto &t : *targets)
            for (const auto &u : t.urls)
                if (seen.insert(u).second) distinct.push_back(u);
    return distinct;
}

void RenderQueue::setImages(std::unordered_map<std::string, std::string> urlToHash,
                            std::unordered_set<std::string> failed) {
    urlToHash_ = std::move(urlToHash);
    failed_ = std::move(failed);
}

RenderQueue::Rendered RenderQueue::render(const Target &target) const {
    if (stop_.stop_requested()) throw SyncCancelled();
    Rendered out;
    out.content = spool_.read(target.html);
    // Every image points at its stored copy, or at the placeholder while it is missing.
    ImageRewriter::AssetHashes hashes;
    for (const auto &u : target.urls) {
        if (auto h = urlToHash_.find(u); h != urlToHash_.end()) hashes.emplace(u, h->second);
        if (failed_.count(u)) out.missingAssets = true;
    }
    for (const auto &[url, hash] : hashes)
        out.assetHashes.push_back(hash);
    std::sort(out.assetHashes.begin(), out.assetHashes.end());
    out.assetHashes.erase(std::unique(out.assetHashes.begin(), out.assetHashes.end()), out.assetHashes.end());
    out.html = rewriter_.rewrite(out.content, hashes).html;
    return out;
}

bool RenderQueue::nextUpsert(SyncApplyBatch::FileUpsert &out) {
    if (nextDownloaded_ >= downloaded_.size()) return false;
    const Target &target = downloaded_[nextDownloaded_++];
    Rendered r = render(target);
    out = target.upsert;
    out.bodyText = HTMLText::extract(r.content);
    out.content = std::move(r.content);
    out.renderHTML = std::move(r.html);
    out.assetHashes = std::move(r.assetHashes);
    out.missingAssets = r.missingAssets;
    return true;
}

bool RenderQueue::nextRenderUpdate(SyncApplyBatch::RenderUpdate &out) {
    if (nextStored_ >= stored_.size()) return false;
    const Target &target = stored_[nextStored_++];
    Rendered r = render(target);
    out = SyncApplyBatch::RenderUpdate{target.upsert.id, std::move(r.html), std::move(r.assetHashes), r.missingAssets};
    return true;
}

} // namespace quorvel
