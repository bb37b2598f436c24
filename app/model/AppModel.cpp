#include "model/AppModel.hpp"

#include "model/AppConfig.hpp"
#include "model/LinkCoordinator.hpp"
#include "model/SyncScheduler.hpp"
#include "model/UpdateChecker.hpp"

#include "api/CurlTransport.hpp"
#include "api/HTTPAPIClient.hpp"
#include "auth/AuthSession.hpp"
#include "auth/FileTokenStore.hpp"
#include "auth/PendingRevokeStore.hpp"
#include "store/LocalStore.hpp"
#include "sync/CurlAssetFetcher.hpp"
#include "sync/SyncEngine.hpp"

#include <QCoreApplication>

#include <qcoro/qcorotimer.h>

#include <chrono>

namespace quorvel::app {

namespace {

constexpr int64_t imageMaxBytes = 5242880;
constexpr double imageTimeout = 20;
constexpr int allowedIntervals[] = {0, 15, 30, 60};

// QSettings keeps plain text on Linux, so "an integer" is text that reads as one.
std::optional<int> storedInteger(const QVariant &value) {
    bool ok = false;
    const int n = value.toString().trimmed().toInt(&ok);
    return ok ? std::optional<int>(n) : std::nullopt;
}

std::optional<double> storedDouble(const QVariant &value) {
    bool ok = false;
    const double d = value.toString().trimmed().toDouble(&ok);
    return ok ? std::optional<double>(d) : std::nullopt;
}

} // namespace

AppModel::Environment AppModel::defaultEnvironment() {
    Environment env;
    env.baseURL = AppConfig::baseURL();
    env.storeDirectory = AppConfig::storeDirectory();
    env.fallbackDirectory = AppConfig::fallbackDirectory();
    env.deviceName = AppConfig::deviceName();
    env.appVersion = AppConfig::appVersion();
    env.osVersion = AppConfig::osVersion();
    env.now = &SyncEngine::systemClock;
    env.openUrl = desktopUrlOpener();
    return env;
}

std::shared_ptr<LocalStore> AppModel::openStore(const Environment &env) {
    try {
        return std::make_shared<LocalStore>(env.storeDirectory, true);
    } catch (const std::exception &) {
        // The library lives in the temporary directory for this run.
    }
    try {
        return std::make_shared<LocalStore>(env.fallbackDirectory, true);
    } catch (const std::exception &) {
        throw StoreUnavailable("보관소를 열 수 없어요: " + env.fallbackDirectory.string());
    }
}

AppModel::Services AppModel::makeServices(const std::string &base, const std::shared_ptr<FileTokenStore> &tokens,
                                          const std::shared_ptr<LocalStore> &store, const Environment &env) {
    Services s;
    s.api = std::make_shared<HTTPAPIClient>(base, env.appVersion, env.osVersion, std::make_shared<CurlTransport>());
    s.auth = std::make_shared<AuthSession>(s.api, tokens, 60, env.now);
    s.fetcher = std::make_shared<CurlAssetFetcher>(imageMaxBytes, imageTimeout, base);
    s.engine = std::make_shared<SyncEngine>(s.api, s.auth, store, s.fetcher, base, SyncConfig{}, env.now);
    return s;
}

AppModel::AppModel(Environment env, QObject *parent) : QObject(parent), env_(std::move(env)) {
    if (!env_.now) env_.now = &SyncEngine::systemClock;
    if (!env_.openUrl) env_.openUrl = desktopUrlOpener();
    settings_ = env_.settings;
    if (!settings_) {
        ownSettings_ = std::make_unique<QSettings>(QStringLiteral("kr.vatsu"), QStringLiteral("quorvel"));
        settings_ = ownSettings_.get();
    }
    workers_.setMaxThreadCount(4);
    storeQueue_.setMaxThreadCount(1);
    searchTimer_.setSingleShot(true);
    searchTimer_.setInterval(150);
    connect(&searchTimer_, &QTimer::timeout, this, &AppModel::searchNow);

    // The base URL is never taken from preferences.
    settings_->remove(QStringLiteral("BaseURL"));

    const auto authDirectory = env_.storeDirectory / "auth";
    tokens_ = std::make_shared<FileTokenStore>(authDirectory);
    pendingRevoke_ = std::make_shared<PendingRevokeStore>(authDirectory);
    store_ = openStore(env_);

    if (auto bound = tokens_->boundBaseURL(); bound && *bound != env_.baseURL) {
        tokens_->clearAll();
        try {
            store_->wipeAll();
        } catch (const std::exception &) {
            // The credentials are gone either way; an unerased library is merely stale.
        }
        pendingRevoke_->clear();
    }

    services_ = makeServices(env_.baseURL, tokens_, store_, env_);

    QPointer<AppModel> self(this);
    updateChecker_ = new UpdateChecker(
        QString::fromStdString(env_.appVersion), settings_,
        [self]() -> QFuture<std::optional<AppRelease>> {
            if (!self) return QtFuture::makeReadyFuture(std::optional<AppRelease>());
            return self->onWorker([api = self->services_.api]() -> std::optional<AppRelease> {
                try {
                    return api->latestRelease();
                } catch (const std::exception &) {
                    return std::nullopt;
                }
            });
        },
        this, env_.now);
    linkCoordinator_ = new LinkCoordinator(env_.openUrl, this);

    readPreferences();

    if (services_.auth->hasCredentials()) {
        phase_ = store_->isFirstSync() ? AppPhase::initialSync() : AppPhase::main();
    } else if (!store_->isFirstSync() && store_->fileCount() > 0) {
        needsRelogin_ = true;
        phase_ = AppPhase::main();
    }
    lastBadge_ = badge();

    reloadLibrary();
}

AppModel::~AppModel() {
    // Work in flight holds what it uses; stopping it lets the pools' destructors return promptly.
    if (services_.engine) services_.engine->cancel();
    if (searchStop_) searchStop_->request_stop();
    checkStop_->request_stop();
}

void AppModel::readPreferences() {
    const QVariant interval = settings_->value(QStringLiteral("SyncIntervalMinutes"));
    syncIntervalMinutes_ = 15;
    if (auto n = storedInteger(interval)) {
        for (int allowed : allowedIntervals)
            if (*n == allowed) syncIntervalMinutes_ = allowed;
    }
    const auto zoom = storedDouble(settings_->value(QStringLiteral("DocumentZoom")));
    zoom_ = zoom && *zoom >= 0.5 && *zoom <= 3.0 ? *zoom : 1.0;
    treeSort_ = settings_->value(QStringLiteral("TreeSort")).toString() == QLatin1String("name")
                    ? TreeSort::name
                    : TreeSort::updatedDescending;
    expandedFolders_.clear();
    for (const QString &id : settings_->value(QStringLiteral("ExpandedFolders")).toStringList())
        expandedFolders_.insert(id.toStdString());
}

void AppModel::start() {
    if (started_) return;
    started_ = true;
    QPointer<AppModel> self(this);
    scheduler_ = new SyncScheduler(
        [self](SyncTrigger trigger) {
            if (!self) return;
            self->updateChecker_->noteTrigger();
            self->requestSync(trigger);
        },
        [self](bool online) {
            if (self) self->setOnline(online);
        },
        this);
    scheduler_->start(syncIntervalMinutes_);
    updateChecker_->setOnlineTest([self] { return self ? self->isOnline_ : true; });
    updateChecker_->start();
    startUp();
}

QCoro::Task<> AppModel::startUp() {
    QPointer<AppModel> self(this);
    auto revoke = retryPendingRevoke();
    co_await revoke;
    if (!self) co_return;
    auto first = phase_.is(AppPhase::Kind::initialSync) ? runInitialSync() : requestSync(SyncTrigger::launch);
    co_await first;
}

// --- State ---

void AppModel::setPhase(AppPhase phase) {
    assign(phase_, std::move(phase), &AppModel::phaseChanged);
}

void AppModel::setOnline(bool online) {
    assign(isOnline_, online, &AppModel::isOnlineChanged);
}

void AppModel::setLogoutConfirmPresented(bool presented) {
    assign(logoutConfirmPresented_, presented, &AppModel::logoutConfirmPresentedChanged);
}

void AppModel::clearStartError() {
    assign(startError_, std::nullopt, &AppModel::startErrorChanged);
}

void AppModel::noteDerivedState() {
    SyncBadge now = badge();
    if (!(now == lastBadge_)) {
        lastBadge_ = std::move(now);
        Q_EMIT badgeChanged();
    }
    const bool canEdit = canEditOnWeb();
    if (canEdit != lastCanEdit_) {
        lastCanEdit_ = canEdit;
        Q_EMIT canEditOnWebChanged();
    }
}

SyncBadge AppModel::badge() const {
    if (needsRelogin_) return SyncBadge::loginRequired();
    if (upgradeRequired_) return SyncBadge::upgradeRequired(upgradeMinVersion_);
    if (isSyncing_) {
        if (syncProgress_ && syncProgress_->rebuildingStore)
            return SyncBadge::rebuilding(syncProgress_->documentsDone, syncProgress_->documentsTotal);
        if (syncProgress_) return SyncBadge::syncing(syncProgress_->documentsDone, syncProgress_->documentsTotal);
        return SyncBadge::syncing(0, 0);
    }
    if (!isOnline_) return SyncBadge::offline(lastSyncAt_);
    if (lastFailureMessage_) return SyncBadge::failed(*lastFailureMessage_);
    return SyncBadge::upToDate(lastSyncAt_);
}

void AppModel::setSyncIntervalMinutes(int minutes) {
    if (minutes == syncIntervalMinutes_) return;
    syncIntervalMinutes_ = minutes;
    settings_->setValue(QStringLiteral("SyncIntervalMinutes"), minutes);
    if (scheduler_) scheduler_->setInterval(minutes);
    Q_EMIT syncIntervalMinutesChanged();
}

QCoro::Task<> AppModel::waitWhileSyncing(int times) {
    QPointer<AppModel> self(this);
    for (int i = 0; i < times && isSyncing_; ++i) {
        auto pause = QCoro::sleepFor(std::chrono::milliseconds(50));
        co_await pause;
        if (!self) co_return;
    }
}

QFuture<void> AppModel::whenStoreIdle() {
    return QtConcurrent::run(&storeQueue_, [] {}).then(this, [] {});
}

} // namespace quorvel::app
