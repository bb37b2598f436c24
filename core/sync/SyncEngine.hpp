#pragma once

#include "api/APIClient.hpp"
#include "auth/AuthSession.hpp"
#include "store/LocalStore.hpp"
#include "sync/AssetFetcher.hpp"
#include "sync/BatchPlanner.hpp"
#include "sync/ImageRewriter.hpp"
#include "sync/SyncConfig.hpp"
#include "sync/SyncOutcome.hpp"
#include "sync/SyncProgress.hpp"
#include "sync/SyncReport.hpp"

#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorvel {

class RenderQueue;

// One-way sync of the library: manifest, diff, verified document batches, images made local, and one
// batch applied to the store in one transaction. Never writes to the service.
//
// Thread-safe. The engine's state sits under its own mutex, never held across network I/O. One sync
// runs at a time: a `run` while another is in flight joins it (a shared future) and returns the same
// outcome. Across processes, a run holds the library's lock (LibraryLock) from start to end; a run
// that finds it taken waits, still cancellable, and tells the waiting handler once. Progress handlers are called one at
// a time, in registration order, from the thread doing the work; a handler must not call `run` on the same engine.
class SyncEngine {
public:
    using Clock = std::function<double()>;
    using ProgressHandler = std::function<void(const SyncProgress &)>;

    static double systemClock();

    SyncEngine(std::shared_ptr<APIClient> api, std::shared_ptr<AuthSession> auth, std::shared_ptr<LocalStore> store,
               std::shared_ptr<AssetFetcher> assets, std::string baseURL, SyncConfig config = {},
               Clock now = &SyncEngine::systemClock);
    // Cancels a run still in flight and waits for it.
    ~SyncEngine();
    SyncEngine(const SyncEngine &) = delete;
    SyncEngine &operator=(const SyncEngine &) = delete;

    // Runs one sync, or joins the one in flight: a joining handler first receives the current snapshot,
    // then every later one. Never throws: every failure is folded into the outcome.
    SyncOutcome run(ProgressHandler progress = {});
    bool isRunning() const;
    // Asks the run in flight to stop; nothing is applied unless the store's apply already finished.
    // A run still waiting for the library's lock ends at once, cancelled.
    void cancel();
    // Called, from the running thread, when a run must wait for a sync of this library in another
    // thread or process (or an erase) to end.
    void setWaitingHandler(std::function<void()> handler);
    SyncReport lastReport() const;
    SyncProgress progress() const;
    const SyncConfig &config() const { return config_; }
    // Marks the document's current content as seen.
    void markSeen(int64_t fileId);

private:
    struct Run;
    struct Plan;
    SyncOutcome execute();
    SyncOutcome failedOutcome(const std::exception_ptr &error, const Run &run);
    // One run, in its phases: the manifest (body), what it asks for (makePlan), the documents, the
    // images, and the batch that lands them (applyPlan).
    SyncOutcome body(Run &run);
    SyncOutcome notModified(Run &run);
    Plan makePlan(const Manifest &manifest, std::optional<std::string> etag);
    std::vector<BatchItem> takeCachedDocuments(Plan &plan, RenderQueue &queue);
    void fetchDocuments(Run &run, Plan &plan, RenderQueue &queue);
    void fetchImages(Run &run, Plan &plan, RenderQueue &queue);
    std::unordered_map<std::string, std::string> sortImages(const std::vector<std::string> &urls, Plan &plan);
    void downloadImages(Run &run, Plan &plan);
    SyncOutcome applyPlan(Run &run, Plan &plan, RenderQueue &queue);
    bool forgetDownloads();
    // The size of the staged image file when its bytes still match its name and the image limit, else 0.
    int64_t stagedSize(const std::string &sha256);
    void emit(std::optional<SyncProgress::Phase> phase, std::optional<int64_t> docsDone = std::nullopt,
              std::optional<int64_t> docsTotal = std::nullopt, std::optional<int64_t> imagesDone = std::nullopt,
              std::optional<int64_t> imagesTotal = std::nullopt);
    void checkCancelled(const Run &run) const;
    template <class Operation>
    auto callService(Operation &&operation, std::stop_token stop);

    std::shared_ptr<APIClient> api_;
    std::shared_ptr<AuthSession> auth_;
    std::shared_ptr<LocalStore> store_;
    std::shared_ptr<AssetFetcher> assets_;
    ImageRewriter rewriter_;
    SyncConfig config_;
    Clock now_;

    // Orders every handler call, so a joining handler's first snapshot comes before any later emit.
    std::mutex emitMutex_;
    mutable std::mutex mutex_; // guards everything below
    std::optional<std::shared_future<SyncOutcome>> inFlight_;
    std::stop_source stopSource_;
    std::vector<ProgressHandler> handlers_;
    SyncProgress progress_;
    SyncReport lastReport_;
    std::function<void()> waitingHandler_;
};

} // namespace quorvel
