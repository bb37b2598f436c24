#include "model/SyncController.hpp"

#include "model/Connectivity.hpp"
#include "model/Environment.hpp"
#include "model/Library.hpp"
#include "model/OwnWork.hpp"
#include "model/Polling.hpp"
#include "model/Preferences.hpp"
#include "model/Revocation.hpp"
#include "model/Services.hpp"
#include "model/Stage.hpp"
#include "model/Workers.hpp"

#include "auth/AuthSession.hpp"
#include "store/LocalStore.hpp"
#include "sync/SyncEngine.hpp"

#include <QCoreApplication>
#include <QMetaObject>

#include <qcoro/qcorofuture.h>

#include <algorithm>
#include <mutex>

namespace quorvel::app {

namespace {

const QString kNetworkFailed = QStringLiteral("인터넷에 연결하지 못했어요.");
const QString kSyncFailed = QStringLiteral("동기화에 실패했어요.");
const QString kServerUnreachable = QStringLiteral("서버에 연결하지 못했어요. 잠시 후 다시 시도할게요.");
const QString kOffline = QStringLiteral("인터넷에 연결되어 있지 않아요.");
const QString kAlreadySyncing = QStringLiteral("동기화가 이미 진행 중이에요. 잠시 후 다시 시도해 주세요.");
const QString kLoginAgain = QStringLiteral("다시 로그인해 주세요.");

// Coalesces the engine's progress reports: the worker keeps only the newest, and the main thread is
// woken once per batch, however fast the engine reports.
struct ProgressMailbox {
    std::mutex mutex;
    std::optional<SyncProgress> latest;
    bool posted = false;
};

} // namespace

// The coroutines behind the operations. They suspend across worker calls, so they hold the
// controller through a QPointer and end where it is found gone.
struct SyncController::Flow {
    using Self = QPointer<SyncController>;
    static QCoro::Task<> request(Self self, SyncTrigger trigger);
    static QCoro::Task<> initial(Self self);
    static QCoro::Task<> perform(Self self, bool initial);
    static QCoro::Task<> handle(Self self, SyncOutcome outcome, bool initial);
    static QCoro::Task<> act(Self self, SyncAction action, bool initial);
    static SyncEngine::ProgressHandler reporter(Self self, uint64_t run);
};

SyncController::SyncController(Workers &workers, const Services &services, Stage &stage, Connectivity &connectivity,
                               Library &library, Revocation &revocation, Preferences &preferences,
                               const Environment &environment, QObject *parent)
    : QObject(parent), workers_(workers), stage_(stage), connectivity_(connectivity), library_(library),
      revocation_(revocation), preferences_(preferences), environment_(environment), store_(services.store),
      auth_(services.auth), engine_(services.engine) {
    syncIntervalMinutes_ = preferences_.syncIntervalMinutes();
    for (auto changed : {&SyncController::isSyncingChanged, &SyncController::progressChanged,
                         &SyncController::lastFailureMessageChanged, &SyncController::needsReloginChanged,
                         &SyncController::upgradeRequiredChanged, &SyncController::upgradeMinVersionChanged})
        connect(this, changed, this, &SyncController::refreshBadge);
    connect(&connectivity_, &Connectivity::isOnlineChanged, this, &SyncController::refreshBadge);
    connect(&library_, &Library::lastSyncAtChanged, this, &SyncController::refreshBadge);
    refreshBadge();
}

// A run in flight stops rather than holding up the workers' end.
SyncController::~SyncController() {
    engine_->cancel();
}

void SyncController::refreshBadge() {
    SyncBadge badge;
    if (needsRelogin_) {
        badge = SyncBadge::loginRequired();
    } else if (upgradeRequired_) {
        badge = SyncBadge::upgradeRequired(upgradeMinVersion());
    } else if (isSyncing_) {
        const auto &p = progress();
        if (p && p->rebuildingStore)
            badge = SyncBadge::rebuilding(p->documentsDone, p->documentsTotal);
        else
            badge = p ? SyncBadge::syncing(p->documentsDone, p->documentsTotal) : SyncBadge::syncing(0, 0);
    } else if (!connectivity_.isOnline()) {
        badge = SyncBadge::offline(library_.lastSyncAt());
    } else if (lastFailureMessage()) {
        badge = SyncBadge::failed(*lastFailureMessage());
    } else {
        badge = SyncBadge::upToDate(library_.lastSyncAt());
    }
    badge_ = std::move(badge);
}

bool SyncController::admits(SyncTrigger trigger) const {
    if (!stage_.is(AppPhase::Kind::main) || isSyncing_ || !auth_->hasCredentials()) return false;
    if (trigger == SyncTrigger::manual) return true;
    if (upgradeRequired_ || !connectivity_.isOnline()) return false;
    const double now = environment_.now();
    if (retryNotBefore_ && *retryNotBefore_ > now) return false;
    return trigger != SyncTrigger::windowKey || !lastAttemptAt_ || now - *lastAttemptAt_ >= 300;
}

void SyncController::requestSync(SyncTrigger trigger) {
    [[maybe_unused]] auto task = Flow::request(this, trigger);
}

QCoro::Task<> SyncController::Flow::request(Self self, SyncTrigger trigger) {
    if (!self->admits(trigger)) co_return;
    if (trigger == SyncTrigger::launch || trigger == SyncTrigger::network || trigger == SyncTrigger::wake) {
        auto revoke = self->revocation_.retry();
        co_await revoke;
        if (!self) co_return;
    }
    auto sync = perform(self, false);
    co_await sync;
}

void SyncController::syncNow() {
    if (needsRelogin_) {
        Q_EMIT reloginRequested();
        return;
    }
    if (stage_.is(AppPhase::Kind::main) && connectivity_.isOnline() && !isSyncing_) requestSync(SyncTrigger::manual);
}

void SyncController::runNow() {
    [[maybe_unused]] auto task = Flow::perform(this, false);
}

void SyncController::runInitialSync() {
    [[maybe_unused]] auto task = Flow::initial(this);
}

QCoro::Task<> SyncController::Flow::initial(Self self) {
    self->initialSyncError_ = std::nullopt;
    self->stage_.setPhase(AppPhase::initialSync());
    auto settling = pollWhile(
        self.data(), [s = self.data()] { return s->isSyncing(); }, 1200);
    if (!co_await settling || !self->stage_.is(AppPhase::Kind::initialSync)) co_return;
    if (self->isSyncing_) {
        self->initialSyncError_ = kAlreadySyncing;
        co_return;
    }
    auto sync = perform(self, true);
    co_await sync;
}

void SyncController::cancelInitialSync() {
    engine_->cancel();
    if (initialSyncError() || !isSyncing_) stage_.setPhase(AppPhase::main());
}

SyncEngine::ProgressHandler SyncController::Flow::reporter(Self self, uint64_t run) {
    auto mailbox = std::make_shared<ProgressMailbox>();
    return [self, run, mailbox](const SyncProgress &progress) {
        std::lock_guard lock(mailbox->mutex);
        mailbox->latest = progress;
        if (mailbox->posted) return;
        mailbox->posted = true;
        // Posted to the application object, which outlives the controller; the controller is looked up there.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, run, mailbox] {
                std::optional<SyncProgress> latest;
                {
                    std::lock_guard inner(mailbox->mutex);
                    latest = mailbox->latest;
                    mailbox->posted = false;
                }
                if (self && latest) self->receive(*latest, run);
            },
            Qt::QueuedConnection);
    };
}

QCoro::Task<> SyncController::Flow::perform(Self self, bool initial) {
    if (self->isSyncing_) co_return;
    OwnWork writing(self.data());
    const int64_t generation = self->generation_;
    const uint64_t run = ++self->run_;
    self->isSyncing_ = true;
    self->progress_ = std::nullopt;
    self->lastAttemptAt_ = self->environment_.now();
    auto running =
        self->workers_.onWorker([engine = self->engine_, report = reporter(self, run)] { return engine->run(report); });
    SyncOutcome outcome = co_await running;
    if (!self) co_return;

    self->isSyncing_ = false;
    self->progress_ = std::nullopt;
    if (self->generation_ != generation) co_return; // the account changed meanwhile: this outcome belongs to no one
    auto handling = handle(self, std::move(outcome), initial);
    co_await handling;
    if (!self) co_return;
    self->library_.reload();
}

void SyncController::receive(const SyncProgress &progress, uint64_t run) {
    if (!isSyncing_ || run != run_) return;
    progress_ = progress;
    if (stage_.is(AppPhase::Kind::initialSync)) stage_.setPhase(AppPhase::initialSync(progress));
}

QCoro::Task<> SyncController::Flow::handle(Self self, SyncOutcome outcome, bool initial) {
    if (outcome.is<SyncOutcome::Updated>() || outcome.is<SyncOutcome::UpToDate>()) {
        self->markSuccess();
        if (initial) self->stage_.setPhase(AppPhase::main());
    } else if (outcome.is<SyncOutcome::Cancelled>()) {
        if (initial) self->stage_.setPhase(AppPhase::main());
    } else if (auto failed = outcome.get<SyncOutcome::Failed>()) {
        const auto &api = failed->failure.api;
        const QString message = api && api->kind() == APIError::Kind::network ? kNetworkFailed : kSyncFailed;
        self->lastFailureMessage_ = message;
        if (initial) self->initialSyncError_ = message;
    } else if (auto needs = outcome.get<SyncOutcome::NeedsAction>()) {
        auto acting = act(self, needs->action, initial);
        co_await acting;
    }
}

QCoro::Task<> SyncController::Flow::act(Self self, SyncAction action, bool initial) {
    if (auto upgrade = action.get<SyncAction::UpgradeRequired>()) {
        self->upgradeRequired_ = true;
        self->upgradeMinVersion_ =
            upgrade->minVersion ? std::optional<QString>(QString::fromStdString(*upgrade->minVersion)) : std::nullopt;
        if (initial) self->stage_.setPhase(AppPhase::main());
    } else if (auto retry = action.get<SyncAction::RetryLater>()) {
        if (retry->after)
            self->retryNotBefore_ = self->environment_.now() + std::min(3600.0, std::max(0.0, *retry->after));
        self->commonFailure(initial);
    } else if (action.is<SyncAction::Refresh>() || action.is<SyncAction::ReportFailure>()) {
        self->commonFailure(initial);
    } else if (action.is<SyncAction::Wipe>()) {
        auto erasing = self->workers_.onWorker([store = self->store_, auth = self->auth_] {
            try {
                store->wipeAll();
            } catch (const std::exception &) {
                // Erasing is best effort; the unlinked device shows nothing either way.
            }
            auth->signOutLocally();
            return true;
        });
        co_await erasing;
        if (!self) co_return;
        Q_EMIT self->libraryErased();
        self->stage_.setPhase(AppPhase::revoked());
    } else if (action.is<SyncAction::ReloginKeepData>()) {
        auto dropping = self->workers_.onWorker([store = self->store_, auth = self->auth_] {
            auth->dropCredentials();
            return store->isFirstSync();
        });
        const bool nothingStored = co_await dropping;
        if (!self) co_return;
        if (initial && nothingStored) {
            Q_EMIT self->libraryErased();
            self->stage_.setStartError(kLoginAgain);
            self->stage_.setPhase(AppPhase::start());
        } else {
            self->needsRelogin_ = true;
            if (initial) self->stage_.setPhase(AppPhase::main());
        }
    }
}

void SyncController::commonFailure(bool initial) {
    const bool online = connectivity_.isOnline();
    lastFailureMessage_ = online ? std::optional<QString>(kServerUnreachable) : std::nullopt;
    if (initial) initialSyncError_ = online ? kServerUnreachable : kOffline;
}

void SyncController::markSuccess() {
    healRequested_ = false;
    needsRelogin_ = false;
    upgradeRequired_ = false;
    upgradeMinVersion_ = std::nullopt;
    lastFailureMessage_ = std::nullopt;
    retryNotBefore_.reset();
}

void SyncController::healDamage() {
    // Once per damage, so a disk that keeps failing is not asked again in a loop.
    if (healRequested_ || isSyncing_) return;
    healRequested_ = true;
    requestSync(SyncTrigger::launch);
}

void SyncController::openDownloadPage() {
    environment_.openWebPage(QStringLiteral("/download"));
}

void SyncController::setSyncIntervalMinutes(int minutes) {
    if (minutes == syncIntervalMinutes_) return;
    preferences_.setSyncIntervalMinutes(minutes);
    syncIntervalMinutes_ = minutes;
}

void SyncController::cancel() {
    engine_->cancel();
}

void SyncController::dropRunInFlight() {
    ++generation_;
    ++run_; // nor may its progress show
}

void SyncController::noteSignedIn() {
    needsRelogin_ = false;
    upgradeRequired_ = false;
    lastFailureMessage_ = std::nullopt;
}

void SyncController::requireSignIn() {
    needsRelogin_ = true;
}

void SyncController::clearStatus() {
    needsRelogin_ = false;
    upgradeRequired_ = false;
    upgradeMinVersion_ = std::nullopt;
    lastFailureMessage_ = std::nullopt;
    retryNotBefore_.reset();
    initialSyncError_ = std::nullopt;
    progress_ = std::nullopt;
}

} // namespace quorvel::app
