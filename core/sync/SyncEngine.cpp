#include "sync/SyncEngine.hpp"

#include "store/DownloadCache.hpp"
#include "store/LibraryLock.hpp"
#include "sync/BatchPlanner.hpp"
#include "sync/ManifestDiff.hpp"
#include "sync/RenderQueue.hpp"
#include "sync/SyncCancelled.hpp"
#include "sync/SyncPolicy.hpp"
#include "util/Hashing.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

namespace quorvel {

using Phase = SyncProgress::Phase;

struct SyncEngine::Run {
    std::stop_token stop;
};

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool verified(const FileContent &content) {
    return Hashing::sha256Hex(std::string_view(content.content)) == lower(content.contentHash);
}

std::vector<FolderRecord> folderRecords(const std::vector<ManifestFolder> &folders) {
    std::vector<FolderRecord> records;
    records.reserve(folders.size());
    for (const auto &f : folders)
        records.push_back({f.id, f.parentId, f.name, f.orderNum});
    return records;
}

// Order does not matter, and the store reads folders back in its own order.
bool sameFolderSet(std::vector<FolderRecord> a, std::vector<FolderRecord> b) {
    auto key = [](const FolderRecord &f) { return std::tie(f.id, f.parentId, f.name, f.orderNum); };
    auto less = [&](const FolderRecord &x, const FolderRecord &y) { return key(x) < key(y); };
    std::sort(a.begin(), a.end(), less);
    a.erase(std::unique(a.begin(), a.end()), a.end());
    std::sort(b.begin(), b.end(), less);
    b.erase(std::unique(b.begin(), b.end()), b.end());
    return a == b;
}

// A downloaded document as the store writes it. The manifest's size and time stand when the content
// is the one it lists; a newer content brings its own.
SyncApplyBatch::FileUpsert upsertFor(const ManifestFile &entry, FileContent &c) {
    SyncApplyBatch::FileUpsert upsert;
    upsert.id = c.id;
    upsert.folderId = entry.folderId;
    upsert.filename = entry.filename;
    if (c.contentHash == entry.contentHash) {
        upsert.updatedAt = entry.updatedAt;
        upsert.fileSize = entry.fileSize;
    } else {
        upsert.updatedAt = c.updatedAt;
        upsert.fileSize = static_cast<int64_t>(c.content.size());
    }
    upsert.contentHash = std::move(c.contentHash);
    return upsert;
}

// What one image download left behind; the bytes are already staged as a file.
struct DownloadResult {
    std::string url;
    std::optional<std::string> sha256;
    int64_t bytes = 0;
};

} // namespace

double SyncEngine::systemClock() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

SyncEngine::SyncEngine(std::shared_ptr<APIClient> api, std::shared_ptr<AuthSession> auth,
                       std::shared_ptr<LocalStore> store, std::shared_ptr<AssetFetcher> assets, std::string baseURL,
                       SyncConfig config, Clock now)
    : api_(std::move(api)), auth_(std::move(auth)), store_(std::move(store)), assets_(std::move(assets)),
      rewriter_(std::move(baseURL)), config_(config), now_(std::move(now)) {}

SyncEngine::~SyncEngine() {
    std::optional<std::shared_future<SyncOutcome>> running;
    {
        std::lock_guard guard(mutex_);
        running = inFlight_;
        if (running) stopSource_.request_stop();
    }
    if (running) running->wait();
}

SyncOutcome SyncEngine::run(ProgressHandler handler) {
    std::promise<SyncOutcome> promise;
    std::optional<std::shared_future<SyncOutcome>> joined;
    {
        std::lock_guard emitGuard(emitMutex_);
        SyncProgress snapshot;
        {
            std::lock_guard guard(mutex_);
            if (handler) handlers_.push_back(handler);
            if (inFlight_) {
                joined = inFlight_;
                snapshot = progress_;
            } else {
                progress_ = SyncProgress{};
                lastReport_ = SyncReport{};
                stopSource_ = std::stop_source();
                inFlight_ = promise.get_future().share();
            }
        }
        if (joined && handler) handler(snapshot);
    }
    if (joined) return joined->get();

    SyncOutcome outcome = execute();
    {
        std::lock_guard emitGuard(emitMutex_);
        std::lock_guard guard(mutex_);
        inFlight_.reset();
        handlers_.clear();
    }
    promise.set_value(outcome);
    return outcome;
}

bool SyncEngine::isRunning() const {
    std::lock_guard guard(mutex_);
    return inFlight_.has_value();
}

void SyncEngine::setWaitingHandler(std::function<void()> handler) {
    std::lock_guard guard(mutex_);
    waitingHandler_ = std::move(handler);
}

void SyncEngine::cancel() {
    std::lock_guard guard(mutex_);
    if (inFlight_) stopSource_.request_stop();
}

SyncReport SyncEngine::lastReport() const {
    std::lock_guard guard(mutex_);
    return lastReport_;
}

SyncProgress SyncEngine::progress() const {
    std::lock_guard guard(mutex_);
    return progress_;
}

void SyncEngine::markSeen(int64_t fileId) {
    store_->markSeen(fileId);
}

void SyncEngine::emit(std::optional<Phase> phase, std::optional<int64_t> docsDone, std::optional<int64_t> docsTotal,
                      std::optional<int64_t> imagesDone, std::optional<int64_t> imagesTotal) {
    std::lock_guard emitGuard(emitMutex_);
    SyncProgress snapshot;
    std::vector<ProgressHandler> handlers;
    {
        std::lock_guard guard(mutex_);
        if (phase) progress_.phase = *phase;
        if (docsDone) progress_.documentsDone = *docsDone;
        if (docsTotal) progress_.documentsTotal = *docsTotal;
        if (imagesDone) progress_.imagesDone = *imagesDone;
        if (imagesTotal) progress_.imagesTotal = *imagesTotal;
        snapshot = progress_;
        handlers = handlers_;
    }
    for (const auto &h : handlers) {
        try {
            h(snapshot);
        } catch (...) {
            // An observer's failure is not the sync's.
        }
    }
}

void SyncEngine::checkCancelled(const Run &run) const {
    if (run.stop.stop_requested()) throw SyncCancelled();
}

template <class Operation>
auto SyncEngine::callService(Operation &&operation, std::stop_token stop) {
    return auth_->perform([&](const std::string &token) { return operation(token); }, std::move(stop));
}

SyncOutcome SyncEngine::execute() {
    Run run;
    std::function<void()> onWait;
    {
        std::lock_guard guard(mutex_);
        run.stop = stopSource_.get_token();
        onWait = waitingHandler_;
    }
    // One sync per library across processes (the app and quorvel-cli); the next one usually finds the
    // manifest unchanged. Held until the outcome is settled, an erase for a revoked link included.
    std::optional<LibraryLock> library;
    for (bool again = false;; again = true) {
        try {
            if (!library) {
                library = LibraryLock::acquire(store_->directory(), run.stop, onWait);
                if (!library) return SyncOutcome::cancelled();
            }
            return body(run);
        } catch (...) {
            // Damage found on the way: the next body starts by rebuilding the store. Once.
            if (again || run.stop.stop_requested() || !store_->isDamaged())
                return failedOutcome(std::current_exception(), run);
        }
        std::lock_guard guard(mutex_);
        lastReport_ = SyncReport{};
    }
}

// The library now holds everything a run could have kept for the next one, or no longer needs it.
// True when images had been staged: files of theirs that the library does not hold then want collecting.
bool SyncEngine::forgetDownloads() {
    DownloadCache &cache = store_->downloadCache();
    const bool staged = !cache.stagedImages().empty();
    try {
        cache.clear();
    } catch (const std::exception &) {
        // What stays is checked before any use, and dropped by the next run that needs other material.
    }
    return staged;
}

int64_t SyncEngine::stagedSize(const std::string &sha256) {
    auto bytes = store_->assetData(sha256);
    if (!bytes || bytes->empty() || static_cast<int64_t>(bytes->size()) > config_.maxImageBytes) return 0;
    if (Hashing::sha256Hex(std::span<const uint8_t>(*bytes)) != sha256) return 0;
    return static_cast<int64_t>(bytes->size());
}

SyncOutcome SyncEngine::failedOutcome(const std::exception_ptr &error, const Run &run) {
    SyncOutcome outcome = SyncPolicy::outcome(error, run.stop.stop_requested());
    const auto *needs = outcome.get<SyncOutcome::NeedsAction>();
    if (needs && needs->action.is<SyncAction::Wipe>() && config_.wipeOnRevoke) {
        try {
            store_->wipeAll();
        } catch (...) {
            // The credentials still go: the link is gone whatever the disk says.
        }
        auth_->signOutLocally();
    }
    return outcome;
}

SyncOutcome SyncEngine::notModified(Run &run) {
    // The entity tag vouches for the service's side only. Reading back what the library shows makes
    // a store that cannot be read fail here, which rebuilds it, instead of passing as up to date.
    store_->folders();
    store_->snapshot();
    if (!store_->shell()) {
        emit(Phase::shell);
        ShellDoc doc = callService([&](const std::string &token) { return api_->shell(token, run.stop); }, run.stop);
        store_->setShell(ShellRecord{doc.version, doc.html});
    }
    store_->touchLastSync(now_());
    if (forgetDownloads()) store_->collectGarbageFiles();
    emit(Phase::done);
    return SyncOutcome::upToDate();
}

// What one run found to do, from the manifest and the store, and the batch it fills on the way.
struct SyncEngine::Plan {
    Plan(const Manifest &m, std::optional<std::string> e, ManifestDiffResult d)
        : manifest(m), etag(std::move(e)), diff(std::move(d)), batch(m.user.id, m.user.email, 0) {}

    const Manifest &manifest;
    std::optional<std::string> etag; // the manifest's new entity tag
    ManifestDiffResult diff;
    std::unordered_map<int64_t, const ManifestFile *> listed;
    std::vector<int64_t> rerender; // stored documents whose images are missing
    bool sameFolders = false;
    bool needShell = false;
    SyncApplyBatch batch;
    std::vector<int64_t> skipped; // asked for but not delivered, or delivered unverified twice
    std::vector<std::string> toDownload;
    std::vector<DownloadResult> images;

    bool nothingToDo() const { return diff.isEmpty() && sameFolders && !needShell && rerender.empty(); }
};

SyncOutcome SyncEngine::body(Run &run) {
    store_->rebuildIfDamaged();
    {
        const bool rebuilding = store_->isRebuilding();
        std::lock_guard guard(mutex_);
        progress_.rebuildingStore = rebuilding;
        lastReport_.rebuiltStore = rebuilding;
    }
    emit(Phase::starting);
    {
        auto signedIn = auth_->userId();
        auto stored = store_->userId();
        if (signedIn && stored && *signedIn != *stored) store_->wipeAll();
    }
    checkCancelled(run);

    emit(Phase::manifest);
    const std::optional<std::string> etag = store_->etag();
    ManifestResult result =
        callService([&](const std::string &token) { return api_->manifest(token, etag, run.stop); }, run.stop);
    if (result.isNotModified()) return notModified(run);
    checkCancelled(run);
    const Manifest &manifest = result.fresh()->manifest;
    if (auto stored = store_->userId(); stored && *stored != manifest.user.id) store_->wipeAll();

    Plan plan = makePlan(manifest, result.fresh()->etag);
    if (plan.nothingToDo()) {
        plan.batch.etag = plan.etag;
        plan.batch.syncedAt = now_();
        store_->apply(plan.batch);
        if (forgetDownloads()) store_->collectGarbageFiles();
        emit(Phase::done);
        return SyncOutcome::upToDate();
    }
    if (plan.needShell) {
        emit(Phase::shell);
        ShellDoc doc = callService([&](const std::string &token) { return api_->shell(token, run.stop); }, run.stop);
        plan.batch.shell = ShellRecord{std::move(doc.version), std::move(doc.html)};
        checkCancelled(run);
    }
    store_->downloadCache().bindAccount(manifest.user.id);
    // Documents go to disk as they arrive: a large library never sits in memory.
    RenderQueue queue(rewriter_, config_.maxImagesPerDocument,
                      config_.spoolDirectory.empty() ? store_->directory() : config_.spoolDirectory, run.stop);
    fetchDocuments(run, plan, queue);
    fetchImages(run, plan, queue);
    return applyPlan(run, plan, queue);
}

SyncEngine::Plan SyncEngine::makePlan(const Manifest &manifest, std::optional<std::string> etag) {
    Plan plan(manifest, std::move(etag), ManifestDiff::diff(store_->snapshot(), manifest.files));
    plan.listed.reserve(manifest.files.size());
    for (const auto &f : manifest.files)
        plan.listed.emplace(f.id, &f); // the first entry of an id wins

    std::vector<FolderRecord> folders = folderRecords(manifest.folders);
    plan.sameFolders = sameFolderSet(store_->folders(), folders);
    const auto storedShell = store_->shell();
    plan.needShell = !storedShell || storedShell->version != manifest.shellVersion;

    const std::unordered_set<int64_t> toFetch(plan.diff.toFetch.begin(), plan.diff.toFetch.end());
    for (int64_t id : store_->idsWithMissingAssets())
        if (plan.listed.count(id) && !toFetch.count(id)) plan.rerender.push_back(id);

    plan.batch.folders = std::move(folders);
    plan.batch.serverTime = manifest.serverTime;
    return plan;
}

// What an earlier run that ended early downloaded comes from the download cache, when the manifest
// still lists it; the answer is what is left to download.
std::vector<BatchItem> SyncEngine::takeCachedDocuments(Plan &plan, RenderQueue &queue) {
    DownloadCache &cache = store_->downloadCache();
    std::vector<std::pair<int64_t, std::string>> cacheKeys;
    cacheKeys.reserve(plan.diff.toFetch.size());
    for (int64_t id : plan.diff.toFetch)
        cacheKeys.emplace_back(id, lower(plan.listed.at(id)->contentHash));
    cache.keepDocuments(cacheKeys);
    std::vector<BatchItem> items;
    items.reserve(cacheKeys.size());
    int64_t docsCached = 0;
    for (const auto &[id, hash] : cacheKeys) {
        const ManifestFile &entry = *plan.listed.at(id);
        if (auto content = cache.document(id, hash)) {
            FileContent c{id, std::move(*content), entry.contentHash, entry.updatedAt};
            queue.addDownloaded(upsertFor(entry, c), c.content);
            ++docsCached;
        } else {
            items.push_back({id, entry.fileSize});
        }
    }
    {
        std::lock_guard guard(mutex_);
        progress_.documentsCached = docsCached;
    }
    emit(Phase::documents, docsCached, static_cast<int64_t>(plan.diff.toFetch.size()));
    return items;
}

// Documents, in bounded batches, each content checked against its hash.
void SyncEngine::fetchDocuments(Run &run, Plan &plan, RenderQueue &queue) {
    const std::vector<BatchItem> items = takeCachedDocuments(plan, queue);
    const auto docsCached = static_cast<int64_t>(plan.diff.toFetch.size() - items.size());
    DownloadCache &cache = store_->downloadCache();
    // Takes each verified document of an answer once; ids asked for but absent are skipped, ids
    // that came back unverified go to `unverified`.
    auto take = [&](std::vector<FileContent> answer, const std::vector<int64_t> &asked,
                    std::vector<int64_t> &unverified) {
        const std::unordered_set<int64_t> wanted(asked.begin(), asked.end());
        std::unordered_set<int64_t> seen;
        for (auto &c : answer) {
            if (!wanted.count(c.id) || !seen.insert(c.id).second) continue;
            if (!verified(c)) {
                unverified.push_back(c.id);
                continue;
            }
            cache.putDocument(c.id, lower(c.contentHash), c.content);
            queue.addDownloaded(upsertFor(*plan.listed.at(c.id), c), c.content);
        }
        for (int64_t id : asked)
            if (!seen.count(id)) plan.skipped.push_back(id);
    };
    auto files = [&](const std::vector<int64_t> &ids) {
        checkCancelled(run);
        return callService([&](const std::string &token) { return api_->files(token, ids, run.stop); }, run.stop);
    };
    int64_t docsDone = docsCached;
    for (const auto &ids : BatchPlanner::plan(items, config_.maxBatchCount, config_.maxBatchBytes)) {
        std::vector<int64_t> mismatched;
        take(files(ids), ids, mismatched);
        // One repeat request; what still fails its hash is skipped until the next run.
        if (!mismatched.empty()) take(files(mismatched), mismatched, plan.skipped);
        docsDone += static_cast<int64_t>(ids.size());
        emit(Phase::documents, docsDone);
    }
    std::vector<int64_t> sorted = plan.skipped;
    std::sort(sorted.begin(), sorted.end());
    std::lock_guard guard(mutex_);
    lastReport_.skippedIDs = std::move(sorted);
}

// Images: what the documents need and the library does not hold comes from the network, unless an
// earlier run that ended early staged it already.
void SyncEngine::fetchImages(Run &run, Plan &plan, RenderQueue &queue) {
    queue.arrange(plan.diff.toFetch);
    for (int64_t id : plan.rerender)
        if (auto stored = store_->content(id)) queue.addStored(id, *stored);

    std::unordered_map<std::string, std::string> urlToHash = sortImages(queue.imageURLs(), plan);
    const auto imagesCached = static_cast<int64_t>(plan.images.size());
    {
        std::lock_guard guard(mutex_);
        progress_.imagesCached = imagesCached;
    }
    emit(Phase::images, std::nullopt, std::nullopt, imagesCached,
         imagesCached + static_cast<int64_t>(plan.toDownload.size()));
    if (!plan.toDownload.empty()) {
        checkCancelled(run);
        downloadImages(run, plan);
        checkCancelled(run);
    }

    std::unordered_set<std::string> failed;
    std::unordered_set<std::string> recorded;
    for (auto &r : plan.images) {
        if (!r.sha256) {
            failed.insert(r.url);
            continue;
        }
        urlToHash[r.url] = *r.sha256;
        plan.batch.urlCache[r.url] = *r.sha256;
        if (recorded.insert(*r.sha256).second) plan.batch.newAssets.push_back({*r.sha256, r.bytes});
    }
    std::vector<std::string> failedInOrder;
    for (const auto &u : plan.toDownload)
        if (failed.count(u)) failedInOrder.push_back(u);
    {
        std::lock_guard guard(mutex_);
        lastReport_.failedImageURLs = std::move(failedInOrder);
    }
    queue.setImages(std::move(urlToHash), std::move(failed));
}

// Sorts the images the documents show: held by the library already (the answer), staged by an
// earlier run (to plan.images), or still to download (to plan.toDownload).
std::unordered_map<std::string, std::string> SyncEngine::sortImages(const std::vector<std::string> &urls, Plan &plan) {
    DownloadCache &cache = store_->downloadCache();
    std::unordered_map<std::string, std::string> urlToHash;
    std::unordered_map<std::string, std::string> staged;
    for (auto &image : cache.stagedImages())
        staged.insert_or_assign(std::move(image.url), std::move(image.sha256));
    std::unordered_map<std::string, int64_t> checked; // hash → size of its sound file, 0 for none
    std::vector<DownloadCache::StagedImage> kept;
    for (const auto &u : urls) {
        if (auto hash = store_->cachedAsset(u)) {
            urlToHash.emplace(u, std::move(*hash));
            continue;
        }
        if (auto s = staged.find(u); s != staged.end()) {
            auto [check, first] = checked.try_emplace(s->second, 0);
            if (first) check->second = stagedSize(s->second);
            if (check->second > 0) {
                plan.images.push_back({u, s->second, check->second});
                kept.push_back({u, s->second});
                continue;
            }
        }
        plan.toDownload.push_back(u);
    }
    // Images no document needs any more, or whose file is damaged, are forgotten, and their files go
    // before this run stages any: staged files never grow beyond one library's worth.
    if (!staged.empty()) {
        cache.keepImages(kept);
        store_->collectGarbageFiles();
    }
    return urlToHash;
}

// Downloads plan.toDownload with up to imageConcurrency in flight, staging each as it arrives, so a
// large library never holds its images in memory. A failed image is only marked missing.
void SyncEngine::downloadImages(Run &run, Plan &plan) {
    DownloadCache &cache = store_->downloadCache();
    const std::vector<std::string> &urls = plan.toDownload;
    plan.images.reserve(plan.images.size() + urls.size());
    std::mutex resultsMutex;
    std::atomic<size_t> next{0};
    std::exception_ptr stageError;
    auto worker = [&] {
        for (;;) {
            const size_t index = next.fetch_add(1);
            if (index >= urls.size()) return;
            DownloadResult r{urls[index], std::nullopt, 0};
            std::optional<FetchedAsset> asset;
            if (!run.stop.stop_requested()) {
                try {
                    asset = assets_->fetch(r.url, run.stop);
                } catch (...) {
                    // Any failure of one image only marks it missing.
                }
            }
            const auto size = asset ? static_cast<int64_t>(asset->bytes.size()) : 0;
            if (asset && size > 0 && size <= config_.maxImageBytes) {
                try {
                    store_->stageAsset(asset->sha256, asset->bytes);
                    cache.recordImage(r.url, asset->sha256);
                    r.sha256 = std::move(asset->sha256);
                    r.bytes = size;
                } catch (...) {
                    std::lock_guard guard(resultsMutex);
                    if (!stageError) stageError = std::current_exception();
                }
            }
            asset.reset();
            std::lock_guard guard(resultsMutex);
            plan.images.push_back(std::move(r));
            emit(Phase::images, std::nullopt, std::nullopt, static_cast<int64_t>(plan.images.size()));
        }
    };
    const size_t workers =
        std::min<size_t>(static_cast<size_t>(std::max<int64_t>(config_.imageConcurrency, 1)), urls.size());
    {
        std::vector<std::jthread> helpers;
        for (size_t i = 1; i < workers; ++i)
            helpers.emplace_back(worker);
        worker();
    }
    if (stageError) std::rethrow_exception(stageError);
}

SyncOutcome SyncEngine::applyPlan(Run &run, Plan &plan, RenderQueue &queue) {
    SyncApplyBatch &batch = plan.batch;
    for (const auto &f : plan.diff.metaOnly)
        batch.metaUpdates.push_back({f.id, f.folderId, f.filename, f.updatedAt, f.fileSize});
    batch.deletions = plan.diff.toDelete;
    if (plan.skipped.empty()) {
        batch.etag = plan.etag;
    } else {
        // The next run then fetches the full manifest and retries what was skipped.
        batch.clearETag = true;
    }
    batch.syncedAt = now_();

    emit(Phase::applying);
    checkCancelled(run);
    // The documents are rendered one at a time as the store writes them.
    store_->apply(batch, queue);
    forgetDownloads();
    store_->collectGarbageFiles();
    emit(Phase::done);
    return SyncOutcome::updated(
        static_cast<int64_t>(queue.downloadedCount()), static_cast<int64_t>(batch.metaUpdates.size()),
        static_cast<int64_t>(batch.deletions.size()), static_cast<int64_t>(plan.skipped.size()));
}

} // namespace quorvel
