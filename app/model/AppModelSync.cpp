#include "model/AppModel.hpp"

#include "auth/AuthSession.hpp"
#include "store/LibraryCheck.hpp"
#include "store/LocalStore.hpp"
#include "sync/SyncEngine.hpp"

#include <QCoreApplication>
#include <QMetaObject>

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

QCoro::Task<> AppModel::requestSync(SyncTrigger trigger) {
    if (!phase_.is(AppPhase::Kind::main) || isSyncing_ || !services_.auth->hasCredentials()) co_return;
    if (trigger != SyncTrigger::manual) {
        if (upgradeRequired_ || !isOnline_) co_return;
        const double now = env_.now();
        if (retryNotBefore_ && *retryNotBefore_ > now) co_return;
        if (trigger == SyncTrigger::windowKey && lastAttemptAt_ && now - *lastAttemptAt_ < 300) co_return;
        if (trigger == SyncTrigger::launch || trigger == SyncTrigger::network || trigger == SyncTrigger::wake) {
            QPointer<AppModel> self(this);
            auto revoke = retryPendingRevoke();
            co_await revoke;
            if (!self) co_return;
        }
    }
    auto sync = performSync(false);
    co_await sync;
}

void AppModel::syncNow() {
    if (needsRelogin_) {
        beginLogin();
        return;
    }
    if (phase_.is(AppPhase::Kind::main) && isOnline_ && !isSyncing_) {
        [[maybe_unused]] auto task = requestSync(SyncTrigger::manual);
    }
}

QCoro::Task<> AppModel::runInitialSync() {
    QPointer<AppModel> self(this);
    assign(initialSyncError_, std::nullopt, &AppModel::initialSyncErrorChanged);
    setPhase(AppPhase::initialSync());
    auto settling = waitWhileSyncing(1200);
    co_await settling;
    if (!self || !phase_.is(AppPhase::Kind::initialSync)) co_return;
    if (isSyncing_) {
        assign(initialSyncError_, kAlreadySyncing, &AppModel::initialSyncErrorChanged);
        co_return;
    }
    auto sync = performSync(true);
    co_await sync;
}

void AppModel::retryInitialSync() {
    [[maybe_unused]] auto task = runInitialSync();
}

void AppModel::cancelInitialSync() {
    services_.engine->cancel();
    if (initialSyncError_ || !isSyncing_) setPhase(AppPhase::main());
}

QCoro::Task<> AppModel::performSync(bool initial) {
    if (isSyncing_) co_return;
    const int64_t gen = generation_;
    const uint64_t run = ++run_;
    assign(isSyncing_, true, &AppModel::isSyncingChanged);
    assign(syncProgress_, std::nullopt, &AppModel::syncProgressChanged);
    lastAttemptAt_ = env_.now();

    QPointer<AppModel> self(this);
    auto mailbox = std::make_shared<ProgressMailbox>();
    auto report = [self, run, mailbox](const SyncProgress &progress) {
        std::lock_guard lock(mailbox->mutex);
        mailbox->latest = progress;
        if (mailbox->posted) return;
        mailbox->posted = true;
        // Posted to the application object, which outlives the model; the model is looked up there.
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
    auto running = onWorker([engine = services_.engine, report] { return engine->run(report); });
    SyncOutcome outcome = co_await running;
    if (!self) co_return;

    assign(isSyncing_, false, &AppModel::isSyncingChanged);
    assign(syncProgress_, std::nullopt, &AppModel::syncProgressChanged);
    if (generation_ != gen) co_return; // the account changed meanwhile: this outcome belongs to no one
    auto handling = handle(std::move(outcome), initial);
    co_await handling;
    if (!self) co_return;
    reloadLibrary();
}

void AppModel::receive(const SyncProgress &progress, uint64_t run) {
    if (!isSyncing_ || run != run_) return;
    assign(syncProgress_, progress, &AppModel::syncProgressChanged);
    if (phase_.is(AppPhase::Kind::initialSync)) setPhase(AppPhase::initialSync(progress));
}

QCoro::Task<> AppModel::handle(SyncOutcome outcome, bool initial) {
    if (outcome.is<SyncOutcome::Updated>() || outcome.is<SyncOutcome::UpToDate>()) {
        markSuccess();
        if (initial) setPhase(AppPhase::main());
    } else if (outcome.is<SyncOutcome::Cancelled>()) {
        if (initial) setPhase(AppPhase::main());
    } else if (auto failed = outcome.get<SyncOutcome::Failed>()) {
        const auto &api = failed->failure.api;
        const QString message = api && api->kind() == APIError::Kind::network ? kNetworkFailed : kSyncFailed;
        assign(lastFailureMessage_, message, &AppModel::lastFailureMessageChanged);
        if (initial) assign(initialSyncError_, message, &AppModel::initialSyncErrorChanged);
    } else if (auto needs = outcome.get<SyncOutcome::NeedsAction>()) {
        auto handling = handle(needs->action, initial);
        co_await handling;
    }
}

QCoro::Task<> AppModel::handle(SyncAction action, bool initial) {
    QPointer<AppModel> self(this);
    if (auto upgrade = action.get<SyncAction::UpgradeRequired>()) {
        assign(upgradeRequired_, true, &AppModel::upgradeRequiredChanged);
        assign(upgradeMinVersion_,
               upgrade->minVersion ? std::optional<QString>(QString::fromStdString(*upgrade->minVersion))
                                   : std::nullopt,
               &AppModel::upgradeMinVersionChanged);
        if (initial) setPhase(AppPhase::main());
    } else if (auto retry = action.get<SyncAction::RetryLater>()) {
        if (retry->after) retryNotBefore_ = env_.now() + std::min(3600.0, std::max(0.0, *retry->after));
        commonFailure(initial);
    } else if (action.is<SyncAction::Refresh>() || action.is<SyncAction::ReportFailure>()) {
        commonFailure(initial);
    } else if (action.is<SyncAction::Wipe>()) {
        auto erasing = onWorker([store = store_, auth = services_.auth] {
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
        resetState();
        setPhase(AppPhase::revoked());
    } else if (action.is<SyncAction::ReloginKeepData>()) {
        auto dropping = onWorker([store = store_, auth = services_.auth] {
            auth->dropCredentials();
            return store->isFirstSync();
        });
        const bool nothingStored = co_await dropping;
        if (!self) co_return;
        if (initial && nothingStored) {
            resetState();
            assign(startError_, kLoginAgain, &AppModel::startErrorChanged);
            setPhase(AppPhase::start());
        } else {
            assign(needsRelogin_, true, &AppModel::needsReloginChanged);
            if (initial) setPhase(AppPhase::main());
        }
    }
}

void AppModel::commonFailure(bool initial) {
    assign(lastFailureMessage_, isOnline_ ? std::optional<QString>(kServerUnreachable) : std::nullopt,
           &AppModel::lastFailureMessageChanged);
    if (initial)
        assign(initialSyncError_, isOnline_ ? kServerUnreachable : kOffline, &AppModel::initialSyncErrorChanged);
}

void AppModel::markSuccess() {
    healRequested_ = false;
    assign(needsRelogin_, false, &AppModel::needsReloginChanged);
    assign(upgradeRequired_, false, &AppModel::upgradeRequiredChanged);
    assign(upgradeMinVersion_, std::nullopt, &AppModel::upgradeMinVersionChanged);
    assign(lastFailureMessage_, std::nullopt, &AppModel::lastFailureMessageChanged);
    retryNotBefore_.reset();
}

void AppModel::resetState() {
    ++epoch_;
    setSearchText(QString());
    assign(searchResults_, std::vector<SearchResult>{}, &AppModel::searchResultsChanged);
    assign(searchedQuery_, QString(), &AppModel::searchedQueryChanged);
    clearSelection();
    assign(tree_, std::vector<TreeNode>{}, &AppModel::treeChanged);
    assign(recent_, std::vector<FileSummary>{}, &AppModel::recentChanged);
    assign(fileCount_, int64_t{0}, &AppModel::fileCountChanged);
    assign(storageBytes_, int64_t{0}, &AppModel::storageBytesChanged);
    assign(latestUpdated_, std::nullopt, &AppModel::latestUpdatedChanged);
    assign(lastSyncAt_, std::nullopt, &AppModel::lastSyncAtChanged);
    assign(accountEmail_, std::nullopt, &AppModel::accountEmailChanged);
    assign(needsRelogin_, false, &AppModel::needsReloginChanged);
    assign(upgradeRequired_, false, &AppModel::upgradeRequiredChanged);
    assign(upgradeMinVersion_, std::nullopt, &AppModel::upgradeMinVersionChanged);
    assign(lastFailureMessage_, std::nullopt, &AppModel::lastFailureMessageChanged);
    retryNotBefore_.reset();
    assign(initialSyncError_, std::nullopt, &AppModel::initialSyncErrorChanged);
    assign(syncProgress_, std::nullopt, &AppModel::syncProgressChanged);
    setExpandedFolders({});
}

QCoro::Task<> AppModel::checkLibrary() {
    if (isCheckingLibrary_) co_return;
    QPointer<AppModel> self(this);
    assign(isCheckingLibrary_, true, &AppModel::isCheckingLibraryChanged);
    assign(libraryCheckMessage_, std::nullopt, &AppModel::libraryCheckMessageChanged);
    auto checking = onWorker([store = store_, stop = checkStop_->get_token()]() -> std::optional<LibraryCheckReport> {
        try {
            return LibraryCheck::run(*store, stop);
        } catch (const std::exception &) {
            return std::nullopt;
        }
    });
    const std::optional<LibraryCheckReport> report = co_await checking;
    if (!self) co_return;
    assign(isCheckingLibrary_, false, &AppModel::isCheckingLibraryChanged);
    QString message;
    if (!report) {
        message = QStringLiteral("보관소를 검사하지 못했어요.");
    } else if (!report->complete) {
        co_return;
    } else if (!report->databaseProblems.empty()) {
        message = QStringLiteral("보관소가 손상되어 있어요. 다음 동기화에서 처음부터 다시 내려받아요.");
    } else if (!report->alteredImages.empty() || !report->missingImages.empty()) {
        message = QStringLiteral("이미지 %1개가 손상되었거나 없어요. 다음 동기화에서 문서 %2개의 이미지를 다시 받아요.")
                      .arg(report->alteredImages.size() + report->missingImages.size())
                      .arg(report->documentsToRepair.size());
    } else {
        message = QStringLiteral("문제가 없어요. 이미지 %1개를 확인했어요.").arg(report->imagesChecked);
    }
    assign(libraryCheckMessage_, std::optional<QString>(message), &AppModel::libraryCheckMessageChanged);
    if (report && !report->isSound()) {
        auto healing = requestSync(SyncTrigger::launch);
        co_await healing;
    }
}

void AppModel::openDownloadPage() {
    if (auto url = webURL(QStringLiteral("/download"))) env_.openUrl(*url);
}

} // namespace quorvel::app
