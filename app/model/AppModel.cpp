#include "model/AppModel.hpp"

#include "model/Account.hpp"
#include "model/Connectivity.hpp"
#include "model/DocumentLinks.hpp"
#include "model/Library.hpp"
#include "model/LibraryWatch.hpp"
#include "model/LinkCoordinator.hpp"
#include "model/Preferences.hpp"
#include "model/Reader.hpp"
#include "model/Revocation.hpp"
#include "model/Search.hpp"
#include "model/Stage.hpp"
#include "model/SyncController.hpp"
#include "model/SyncScheduler.hpp"
#include "model/UpdateChecker.hpp"
#include "model/Workers.hpp"

#include "api/HTTPAPIClient.hpp"
#include "auth/AuthSession.hpp"
#include "store/LocalStore.hpp"
#include "sync/SyncEngine.hpp"

namespace quorvel::app {

namespace {

Environment withDefaults(Environment env) {
    if (!env.now) env.now = &SyncEngine::systemClock;
    if (!env.openUrl) env.openUrl = desktopUrlOpener();
    return env;
}

} // namespace

AppModel::AppModel(Environment env, QObject *parent)
    : QObject(parent), env_(withDefaults(std::move(env))), preferences_(std::make_unique<Preferences>(env_.settings)) {
    preferences_->forgetBaseURL();
    services_ = Services::open(env_);
    workers_ = std::make_unique<Workers>();
    stage_ = std::make_unique<Stage>();
    connectivity_ = std::make_unique<Connectivity>();

    QPointer<Workers> workers(workers_.get());
    updateChecker_ = new UpdateChecker(
        QString::fromStdString(env_.appVersion), *preferences_,
        [workers, api = services_.api]() -> QFuture<std::optional<AppRelease>> {
            if (!workers) return QtFuture::makeReadyFuture(std::optional<AppRelease>());
            return workers->onWorker([api]() -> std::optional<AppRelease> {
                try {
                    return api->latestRelease();
                } catch (const std::exception &) {
                    return std::nullopt;
                }
            });
        },
        this, env_.now);
    linkCoordinator_ = new LinkCoordinator(env_.openUrl, this);

    Workers &w = *workers_;
    library_ = std::make_unique<Library>(w, services_, *preferences_);
    search_ = std::make_unique<Search>(w, services_);
    reader_ = std::make_unique<Reader>(w, services_, *preferences_, *connectivity_, *library_, env_);
    revocation_ = std::make_unique<Revocation>(w, services_, *connectivity_, env_);
    sync_ = std::make_unique<SyncController>(w, services_, *stage_, *connectivity_, *library_, *revocation_,
                                             *preferences_, env_);
    account_ =
        std::make_unique<Account>(w, services_, *stage_, *connectivity_, *library_, *sync_, *linkCoordinator_, env_);
    watch_ = std::make_unique<LibraryWatch>(w, services_, *library_);
    documentLinks_ = std::make_unique<DocumentLinks>(w, services_, *stage_, *reader_);
    wire();
    chooseFirstPhase();
    library_->reload();
    watch_->start();
}

// The children that call into the parts go first; the parts stop their work in flight as they go,
// and the workers, last, wait for it.
AppModel::~AppModel() {
    delete scheduler_;
    delete updateChecker_;
}

// What one part tells another. A part's own inputs (what it reads of the parts below it) it follows
// itself; these are the events that cross.
void AppModel::wire() {
    // A reload of the library moves what is derived from it: the account's address, the open page,
    // the search results; a damaged library asks for the sync that rebuilds it.
    connect(library_.get(), &Library::reloaded, account_.get(),
            [this] { account_->showEmail(library_->storedEmail()); });
    connect(library_.get(), &Library::reloaded, reader_.get(), &Reader::refresh);
    connect(library_.get(), &Library::reloaded, search_.get(), &Search::followLibrary);
    connect(library_.get(), &Library::damageFound, sync_.get(), &SyncController::healDamage);
    connect(library_.get(), &Library::repairWanted, sync_.get(), [this] { sync_->requestSync(SyncTrigger::launch); });
    // Reading a document changes the recent list and the unseen marks.
    connect(reader_.get(), &Reader::documentSeen, library_.get(), &Library::refreshLists);
    connect(search_.get(), &Search::queryCleared, reader_.get(), &Reader::clearSearchSelection);
    connect(sync_.get(), &SyncController::reloginRequested, account_.get(), &Account::beginLogin);
    connect(sync_.get(), &SyncController::libraryErased, this, &AppModel::resetState);
    connect(account_.get(), &Account::libraryErased, this, &AppModel::resetState);
    // Another process's changes. The app's own writes it sees through their own ends.
    const auto quiet = [this] { watch_->setQuiet(sync_->isWriting() || account_->isWriting()); };
    connect(sync_.get(), &SyncController::isWritingChanged, watch_.get(), quiet);
    connect(account_.get(), &Account::isWritingChanged, watch_.get(), quiet);
    connect(watch_.get(), &LibraryWatch::repairMarked, sync_.get(),
            [this] { sync_->requestSync(SyncTrigger::launch); });
    connect(watch_.get(), &LibraryWatch::credentialsChanged, account_.get(), &Account::followCredentials);
}

void AppModel::chooseFirstPhase() {
    const auto &store = services_.store;
    if (services_.auth->hasCredentials()) {
        stage_->setPhase(store->isFirstSync() ? AppPhase::initialSync() : AppPhase::main());
    } else if (!store->isFirstSync() && store->fileCount() > 0) {
        // The stored library stays readable without credentials.
        sync_->requireSignIn();
        stage_->setPhase(AppPhase::main());
    }
}

void AppModel::resetState() {
    workers_->libraryErased();
    search_->clear();
    reader_->close();
    reader_->forgetHistory();
    library_->clear();
    account_->clear();
    sync_->clearStatus();
    watch_->rebase();
}

void AppModel::start() {
    if (started_) return;
    started_ = true;
    scheduler_ = new SyncScheduler(
        [this](SyncTrigger trigger) {
            updateChecker_->noteTrigger();
            sync_->requestSync(trigger);
        },
        [this](bool online) { connectivity_->setOnline(online); }, this);
    scheduler_->start(sync_->syncIntervalMinutes());
    connect(sync_.get(), &SyncController::syncIntervalMinutesChanged, scheduler_,
            [this] { scheduler_->setInterval(sync_->syncIntervalMinutes()); });
    updateChecker_->setOnlineTest(
        [online = QPointer<Connectivity>(connectivity_.get())] { return online ? online->isOnline() : true; });
    updateChecker_->start();
    // What is owed goes first; then the first download, or the sync of a launch.
    revocation_->retry().then(this, [this] {
        if (stage_->is(AppPhase::Kind::initialSync))
            sync_->runInitialSync();
        else
            sync_->requestSync(SyncTrigger::launch);
    });
}

void AppModel::handleURL(const QString &url) {
    if (!documentLinks_->take(url)) account_->handleCallbackURL(url);
}

QFuture<void> AppModel::whenStoreIdle() {
    return workers_->whenStoreIdle();
}

} // namespace quorvel::app
