#pragma once

#include "model/AppPhase.hpp"
#include "model/LinkResult.hpp"
#include "model/PageContent.hpp"
#include "model/SyncBadge.hpp"
#include "model/SyncTrigger.hpp"
#include "model/UrlOpener.hpp"

#include "api/APIError.hpp"
#include "store/DocumentRecord.hpp"
#include "store/FileSummary.hpp"
#include "store/SearchResult.hpp"
#include "store/ShellRecord.hpp"
#include "store/TreeNode.hpp"
#include "store/TreeSort.hpp"
#include "sync/SyncAction.hpp"
#include "sync/SyncOutcome.hpp"
#include "sync/SyncProgress.hpp"

#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QSettings>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <vector>

namespace quorvel {
class AuthSession;
class CurlAssetFetcher;
class FileTokenStore;
class HTTPAPIClient;
class LocalStore;
class PendingRevokeStore;
class SyncEngine;
} // namespace quorvel

namespace quorvel::app {

class LinkCoordinator;
class SyncScheduler;
class UpdateChecker;

// The application's one model: it owns every service, chooses the screen, runs syncs and turns
// their outcomes into status, serves the library to the screens and runs the account lifecycle.
//
// It lives on the main thread. Every core call that can block (store queries, sync runs, token
// exchange, revocation, credential writes) runs on one of its worker pools and its result comes
// back to the main thread; a result that arrives after the model is gone, or after the library it
// belonged to was erased, is dropped. Store work goes through one ordered queue, so the screens see
// the answers in the order they asked.
//
// Coroutines here name what they await (`auto sync = performSync(); co_await sync;`): GCC 12
// destroys the temporaries of a co_await expression twice (a lambda handed to a worker, say).
class AppModel : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<double()>;

    // Everything the model takes from its surroundings; defaultEnvironment() is the real desktop.
    struct Environment {
        std::string baseURL;
        std::filesystem::path storeDirectory;
        std::filesystem::path fallbackDirectory;
        QSettings *settings = nullptr; // not owned; null: the application's own preferences
        std::string deviceName;
        std::string appVersion;
        std::string osVersion;
        Clock now;
        UrlOpener openUrl;
    };
    static Environment defaultEnvironment();

    // Neither the library directory nor the fallback could be opened. what() is the message shown.
    class StoreUnavailable : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // The replaceable group, rebuilt when the account changes.
    struct Services {
        std::shared_ptr<HTTPAPIClient> api;
        std::shared_ptr<AuthSession> auth;
        std::shared_ptr<CurlAssetFetcher> fetcher;
        std::shared_ptr<SyncEngine> engine;
    };
    static Services makeServices(const std::string &base, const std::shared_ptr<FileTokenStore> &tokens,
                                 const std::shared_ptr<LocalStore> &store, const Environment &env);
    // Throws StoreUnavailable.
    static std::shared_ptr<LocalStore> openStore(const Environment &env);

    explicit AppModel(Environment env = defaultEnvironment(), QObject *parent = nullptr);
    ~AppModel() override;

    // --- Published state ---
    const AppPhase &phase() const { return phase_; }
    const std::optional<QString> &startError() const { return startError_; }
    const std::optional<QString> &initialSyncError() const { return initialSyncError_; }
    bool isRelinking() const { return isRelinking_; }
    bool isLoggingOut() const { return isLoggingOut_; }
    bool isOnline() const { return isOnline_; }
    bool isSyncing() const { return isSyncing_; }
    bool isCheckingLibrary() const { return isCheckingLibrary_; }
    // What the last check of the library found, in a sentence for the settings.
    const std::optional<QString> &libraryCheckMessage() const { return libraryCheckMessage_; }
    const std::optional<SyncProgress> &syncProgress() const { return syncProgress_; }
    const std::optional<double> &lastSyncAt() const { return lastSyncAt_; }
    const std::optional<QString> &lastFailureMessage() const { return lastFailureMessage_; }
    bool needsRelogin() const { return needsRelogin_; }
    bool upgradeRequired() const { return upgradeRequired_; }
    const std::optional<QString> &upgradeMinVersion() const { return upgradeMinVersion_; }
    const std::optional<QString> &accountEmail() const { return accountEmail_; }
    const std::string &baseURL() const { return env_.baseURL; }
    const Environment &environment() const { return env_; }
    // The preferences the model reads and writes; the screens keep theirs there too.
    QSettings &settings() const { return *settings_; }
    bool logoutConfirmPresented() const { return logoutConfirmPresented_; }
    const std::vector<TreeNode> &tree() const { return tree_; }
    const std::vector<FileSummary> &recent() const { return recent_; }
    int64_t fileCount() const { return fileCount_; }
    int64_t storageBytes() const { return storageBytes_; }
    const std::optional<double> &latestUpdated() const { return latestUpdated_; }
    const std::optional<QString> &sidebarSelection() const { return sidebarSelection_; }
    const std::optional<int64_t> &searchSelection() const { return searchSelection_; }
    const std::optional<int64_t> &currentFileID() const { return currentFileID_; }
    const std::optional<DocumentRecord> &openDocument() const { return openDocument_; }
    const std::optional<PageContent> &page() const { return page_; }
    const QString &searchText() const { return searchText_; }
    const std::vector<SearchResult> &searchResults() const { return searchResults_; }
    const QString &searchedQuery() const { return searchedQuery_; }
    double zoom() const { return zoom_; }
    TreeSort treeSort() const { return treeSort_; }
    const std::set<std::string> &expandedFolders() const { return expandedFolders_; }
    int syncIntervalMinutes() const { return syncIntervalMinutes_; }
    // A revocation owed since an offline logout is being sent (the welcome screen waits for it).
    bool isSendingRevocation() const { return pendingRevokeRunning_; }

    SyncBadge badge() const;
    bool isSearchActive() const;
    bool canEditOnWeb() const;

    // --- Services ---
    const std::shared_ptr<LocalStore> &store() const { return store_; }
    FileTokenStore &tokens() const { return *tokens_; }
    PendingRevokeStore &pendingRevoke() const { return *pendingRevoke_; }
    UpdateChecker &updateChecker() const { return *updateChecker_; }
    LinkCoordinator &linkCoordinator() const { return *linkCoordinator_; }
    SyncScheduler *scheduler() const { return scheduler_; }
    const Services &services() const { return services_; }

    // --- Start-up ---
    void start();

    // --- Sync ---
    QCoro::Task<> requestSync(SyncTrigger trigger);
    void syncNow();
    QCoro::Task<> runInitialSync();
    void retryInitialSync();
    void cancelInitialSync();
    void openDownloadPage();

    // --- Library ---
    void reloadLibrary();
    void refreshLists();
    void open(int64_t fileID);
    void clearSelection();
    void refreshOpenDocument();
    // The page for a document inside the stored shell (or the built-in template).
    static PageContent makePage(const DocumentRecord &record, const std::optional<ShellRecord> &shell);
    std::optional<QUrl> webURL(const QString &path) const;
    void editInWeb();
    void printDocument();
    // The viewer registers how to print what it shows; a handler whose owner is gone is dropped.
    void setPrintHandler(QPointer<QObject> owner, std::function<void()> print);

    void setSearchText(const QString &text);
    // Runs after every set of the search text: clears at once, or searches after a 150 ms pause.
    void searchTextChanged();
    // Opens the document a sidebar row stands for ("f12", "r12"); other rows open nothing.
    void sidebarSelectionChanged();
    void setSidebarSelection(const std::optional<QString> &id);
    void setSearchSelection(const std::optional<int64_t> &fileID);
    void setZoom(double zoom);
    void setTreeSort(TreeSort sort);
    void setExpandedFolders(std::set<std::string> ids);
    void setSyncIntervalMinutes(int minutes);
    void setLogoutConfirmPresented(bool presented);
    void clearStartError();

    // --- Account ---
    void beginLogin();
    // The browser's callback URL, from this process's arguments or the single-instance channel.
    void handleCallbackURL(const QString &url);
    // `error` absent: the exchange failed with something other than a service error.
    static QString loginMessage(const std::optional<APIError> &error);
    void requestLogout();
    QCoro::Task<> logout();
    QCoro::Task<> wipeAndResync();
    // Verifies the database and every image. What is found damaged is marked, and a sync is asked
    // for at once to fetch it again.
    QCoro::Task<> checkLibrary();
    QCoro::Task<> retryPendingRevoke();

    // --- For tests and benchmarks ---
    // Resolves once every piece of store work queued so far has been answered on the main thread.
    QFuture<void> whenStoreIdle();
    void setOnline(bool online);

Q_SIGNALS:
    void phaseChanged();
    void startErrorChanged();
    void initialSyncErrorChanged();
    void isRelinkingChanged();
    void isLoggingOutChanged();
    void isOnlineChanged();
    void isSyncingChanged();
    void isCheckingLibraryChanged();
    void libraryCheckMessageChanged();
    void syncProgressChanged();
    void lastSyncAtChanged();
    void lastFailureMessageChanged();
    void needsReloginChanged();
    void upgradeRequiredChanged();
    void upgradeMinVersionChanged();
    void accountEmailChanged();
    void logoutConfirmPresentedChanged();
    void treeChanged();
    void recentChanged();
    void fileCountChanged();
    void storageBytesChanged();
    void latestUpdatedChanged();
    // (The operations searchTextChanged() and sidebarSelectionChanged() take the usual signal names.)
    void sidebarSelectionUpdated();
    void searchSelectionChanged();
    void currentFileIDChanged();
    void openDocumentChanged();
    void pageChanged();
    void searchTextUpdated();
    void searchResultsChanged();
    void searchedQueryChanged();
    void zoomChanged();
    void treeSortChanged();
    void expandedFoldersChanged();
    void syncIntervalMinutesChanged();
    void badgeChanged();
    void canEditOnWebChanged();
    void isSendingRevocationChanged();
    // The window "쿼벨" should come to the front (the logout confirmation is about to show).
    void activationRequested();

private:
    // Store work in order on the store queue; `then` runs on the main thread with the answer,
    // unless the model is gone or the library was erased (resetState) in between.
    template <class Work, class Then>
    void onStore(Work work, Then then);
    // Work that may wait on the network, off the main thread.
    template <class Work>
    auto onWorker(Work work) -> QFuture<std::invoke_result_t<Work>>;
    // Polls every 50 ms, at most `times`, while a sync runs.
    QCoro::Task<> waitWhileSyncing(int times);
    // Stops a running sync (waiting about five seconds at most), erases the library and empties what
    // the screens show. False when the model went away meanwhile.
    QCoro::Task<bool> eraseLibrary();

    QCoro::Task<> performSync(bool initial);
    void receive(const SyncProgress &progress, uint64_t run);
    QCoro::Task<> handle(SyncOutcome outcome, bool initial);
    QCoro::Task<> handle(SyncAction action, bool initial);
    void commonFailure(bool initial);
    void markSuccess();
    void resetState();
    QCoro::Task<> finishLogin(LinkResult result, bool fromMain);
    QCoro::Task<> startUp();
    void searchNow();
    // The search of the present text, without the pause after a keystroke.
    void searchAgain();
    void applyPage(int64_t fileID, DocumentRecord record, std::optional<ShellRecord> shell);
    void readPreferences();

    template <class T, class V>
    void assign(T &field, V &&value, void (AppModel::*changed)());
    void setPhase(AppPhase phase);
    void noteDerivedState();

    Environment env_;
    std::unique_ptr<QSettings> ownSettings_;
    QSettings *settings_ = nullptr;

    // Published.
    AppPhase phase_ = AppPhase::start();
    std::optional<QString> startError_;
    std::optional<QString> initialSyncError_;
    bool isRelinking_ = false;
    bool isLoggingOut_ = false;
    bool isOnline_ = true;
    bool isSyncing_ = false;
    bool isCheckingLibrary_ = false;
    std::optional<QString> libraryCheckMessage_;
    std::optional<SyncProgress> syncProgress_;
    std::optional<double> lastSyncAt_;
    std::optional<QString> lastFailureMessage_;
    bool needsRelogin_ = false;
    bool upgradeRequired_ = false;
    std::optional<QString> upgradeMinVersion_;
    std::optional<QString> accountEmail_;
    bool logoutConfirmPresented_ = false;
    std::vector<TreeNode> tree_;
    std::vector<FileSummary> recent_;
    int64_t fileCount_ = 0;
    int64_t storageBytes_ = 0;
    std::optional<double> latestUpdated_;
    std::optional<QString> sidebarSelection_;
    std::optional<int64_t> searchSelection_;
    std::optional<int64_t> currentFileID_;
    std::optional<DocumentRecord> openDocument_;
    std::optional<PageContent> page_;
    QString searchText_;
    std::vector<SearchResult> searchResults_;
    QString searchedQuery_;
    double zoom_ = 1.0;
    TreeSort treeSort_ = TreeSort::updatedDescending;
    std::set<std::string> expandedFolders_;
    int syncIntervalMinutes_ = 15;

    // Services.
    std::shared_ptr<LocalStore> store_;
    std::shared_ptr<FileTokenStore> tokens_;
    std::shared_ptr<PendingRevokeStore> pendingRevoke_;
    Services services_;
    UpdateChecker *updateChecker_ = nullptr;
    LinkCoordinator *linkCoordinator_ = nullptr;
    SyncScheduler *scheduler_ = nullptr;
    QPointer<QObject> printOwner_;
    std::function<void()> print_;

    // Not published.
    bool started_ = false;
    std::optional<double> lastAttemptAt_;
    std::optional<double> retryNotBefore_;
    bool healRequested_ = false; // a sync was asked for the damage the library last showed
    int64_t generation_ = 0;
    bool pendingRevokeRunning_ = false;
    std::optional<std::string> shellVersionCache_;
    SyncBadge lastBadge_;
    bool lastCanEdit_ = false;

    // Answers from before these counters moved are stale.
    uint64_t epoch_ = 0;   // resetState: the library was erased
    uint64_t run_ = 0;     // the sync run whose progress counts
    uint64_t opening_ = 0; // the newest open/clearSelection
    std::optional<int64_t> openingID_;
    uint64_t searching_ = 0;      // the newest search text
    uint64_t libraryReloads_ = 0; // reloads of the library asked for
    uint64_t searchReload_ = 0;   // the reloads asked for before the newest search was
    std::shared_ptr<std::stop_source> searchStop_;
    std::shared_ptr<std::stop_source> checkStop_ = std::make_shared<std::stop_source>();
    QString pendingQuery_;
    QTimer searchTimer_;

    // Store work runs one piece at a time, in order; network work beside it. Declared last so they
    // are destroyed first, waiting for work in flight while the rest of the model still exists.
    QThreadPool workers_;
    QThreadPool storeQueue_;
};

template <class T, class V>
void AppModel::assign(T &field, V &&value, void (AppModel::*changed)()) {
    if (field == value) return;
    field = std::forward<V>(value);
    Q_EMIT(this->*changed)();
    noteDerivedState();
}

template <class Work>
auto AppModel::onWorker(Work work) -> QFuture<std::invoke_result_t<Work>> {
    return QtConcurrent::run(&workers_, std::move(work));
}

template <class Work, class Then>
void AppModel::onStore(Work work, Then then) {
    QPointer<AppModel> self(this);
    const uint64_t epoch = epoch_;
    QtConcurrent::run(&storeQueue_, std::move(work))
        .then(this, [self, epoch, then = std::move(then)](std::invoke_result_t<Work &> answer) mutable {
            if (!self || self->epoch_ != epoch) return;
            then(std::move(answer));
        });
}

} // namespace quorvel::app
