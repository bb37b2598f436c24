#include "model/AppModel.hpp"

#include "model/LinkCoordinator.hpp"

#include "api/CurlTransport.hpp"
#include "api/HTTPAPIClient.hpp"
#include "auth/AuthSession.hpp"
#include "auth/FileTokenStore.hpp"
#include "auth/PendingRevokeStore.hpp"
#include "auth/RevokePending.hpp"
#include "store/LibraryLock.hpp"
#include "store/LocalStore.hpp"
#include "sync/SyncEngine.hpp"

#include <system_error>

namespace quorvel::app {

namespace {

struct Exchange {
    std::optional<TokenResponse> response;
    std::optional<APIError> error;
};

void wipeQuietly(LocalStore &store) {
    try {
        store.wipeAll();
    } catch (const std::exception &) {
        // Erasing is best effort in every account path; the credentials go regardless.
    }
}

} // namespace

void AppModel::beginLogin() {
    if (isLoggingOut_) return;
    assign(startError_, std::nullopt, &AppModel::startErrorChanged);
    const bool fromMain = phase_.is(AppPhase::Kind::main);
    if (fromMain)
        assign(isRelinking_, true, &AppModel::isRelinkingChanged);
    else
        setPhase(AppPhase::linking());
    QPointer<AppModel> self(this);
    linkCoordinator_->start(env_.baseURL, env_.deviceName, [self, fromMain](const LinkResult &result) {
        if (!self) return;
        [[maybe_unused]] auto task = self->finishLogin(result, fromMain);
    });
}

void AppModel::handleCallbackURL(const QString &url) {
    if (linkCoordinator_->handleCallback(url)) Q_EMIT activationRequested();
}

QCoro::Task<> AppModel::finishLogin(LinkResult result, bool fromMain) {
    QPointer<AppModel> self(this);
    auto restore = [this, fromMain] {
        if (fromMain)
            assign(isRelinking_, false, &AppModel::isRelinkingChanged);
        else
            setPhase(AppPhase::start());
    };
    switch (result.kind) {
    case LinkResult::Kind::failed:
        restore();
        assign(startError_, result.message, &AppModel::startErrorChanged);
        co_return;
    case LinkResult::Kind::denied:
    case LinkResult::Kind::cancelled:
        restore();
        co_return;
    case LinkResult::Kind::code:
        break;
    }

    auto exchanging = onWorker([auth = services_.auth, tokens = tokens_, env = env_, result] {
        DeviceInfo device{tokens->ensureDeviceUUID(), env.deviceName, env.appVersion, env.osVersion};
        try {
            return Exchange{auth->exchange(result.code, result.verifier, device), std::nullopt};
        } catch (const APIError &e) {
            return Exchange{std::nullopt, e};
        } catch (const std::exception &) {
            return Exchange{};
        }
    });
    Exchange exchange = co_await exchanging;
    if (!self) co_return;
    if (!exchange.response) {
        restore();
        assign(startError_, loginMessage(exchange.error), &AppModel::startErrorChanged);
        co_return;
    }

    auto binding = onWorker([tokens = tokens_, pending = pendingRevoke_, store = store_, base = env_.baseURL,
                             user = exchange.response->user.id] {
        tokens->setBoundBaseURL(base);
        pending->clear();
        auto stored = store->userId();
        return stored.has_value() && *stored != user;
    });
    const bool anotherAccount = co_await binding;
    if (!self) co_return;
    if (anotherAccount) {
        // The old account's library goes before anything of the new one is shown or synced; a run of
        // the old account that is still going must not land in the erased store.
        ++generation_;
        ++run_; // nor may its progress
        auto erasing = eraseLibrary();
        if (!co_await erasing || !self) co_return;
    }

    assign(needsRelogin_, false, &AppModel::needsReloginChanged);
    assign(upgradeRequired_, false, &AppModel::upgradeRequiredChanged);
    assign(lastFailureMessage_, std::nullopt, &AppModel::lastFailureMessageChanged);
    assign(startError_, std::nullopt, &AppModel::startErrorChanged);
    assign(isRelinking_, false, &AppModel::isRelinkingChanged);
    reloadLibrary();

    auto checking = onWorker([store = store_] { return store->isFirstSync(); });
    const bool firstSync = co_await checking;
    if (!self) co_return;
    if (firstSync) {
        auto download = runInitialSync();
        co_await download;
    } else {
        setPhase(AppPhase::main());
        auto sync = performSync(false);
        co_await sync;
    }
}

QString AppModel::loginMessage(const std::optional<APIError> &error) {
    const QString generic = QStringLiteral("연결하지 못했어요. 다시 시도해 주세요.");
    if (!error) return generic;
    if (error->kind() == APIError::Kind::network) return QStringLiteral("인터넷 연결을 확인해 주세요.");
    if (error->kind() != APIError::Kind::server || !error->status()) return generic;
    switch (*error->status()) {
    case 400:
        return QStringLiteral("연결 시간이 지났어요. 다시 로그인해 주세요.");
    case 403:
        if (error->reason() == "link_disabled")
            return QStringLiteral("지금은 데스크톱 앱을 연결할 수 없어요. 잠시 후 다시 시도해 주세요.");
        return generic;
    case 426:
        return QStringLiteral("앱을 최신 버전으로 업데이트한 뒤 다시 시도해 주세요.");
    case 429:
        return QStringLiteral("시도가 너무 많아요. 잠시 후 다시 시도해 주세요.");
    default:
        return generic;
    }
}

void AppModel::requestLogout() {
    if (phase_.is(AppPhase::Kind::start) || phase_.is(AppPhase::Kind::revoked) || isLoggingOut_) return;
    setLogoutConfirmPresented(true);
    Q_EMIT activationRequested();
}

QCoro::Task<> AppModel::logout() {
    if (isLoggingOut_) co_return;
    QPointer<AppModel> self(this);
    assign(isLoggingOut_, true, &AppModel::isLoggingOutChanged);
    ++generation_;
    ++run_; // late progress of the cancelled run must not show its screen again
    services_.engine->cancel();
    auto settling = waitWhileSyncing(100);
    co_await settling;
    if (!self) co_return;

    auto signingOut = onWorker([auth = services_.auth, tokens = tokens_, pending = pendingRevoke_, store = store_,
                                base = env_.baseURL, online = isOnline_] {
        // The whole sign-out, as one step for a CLI sharing the library: no sync of it in between.
        std::optional<LibraryLock> library;
        try {
            library = LibraryLock::acquire(store->directory());
        } catch (const std::system_error &) {
            // Without a lock file the steps still run; only their order against other processes is lost.
        }
        const bool revoked = online && auth->revokeOnServer();
        if (!revoked) {
            if (auto refresh = tokens->refreshToken()) pending->save(PendingRevoke{*refresh, base});
        }
        wipeQuietly(*store);
        auth->signOutLocally();
        return true;
    });
    co_await signingOut;
    if (!self) co_return;
    resetState();
    assign(isLoggingOut_, false, &AppModel::isLoggingOutChanged);
    setPhase(AppPhase::start());
}

QCoro::Task<bool> AppModel::eraseLibrary() {
    QPointer<AppModel> self(this);
    services_.engine->cancel();
    auto settling = waitWhileSyncing(100);
    co_await settling;
    if (!self) co_return false;
    auto erasing = onWorker([store = store_] {
        wipeQuietly(*store);
        return true;
    });
    co_await erasing;
    if (!self) co_return false;
    resetState();
    co_return true;
}

QCoro::Task<> AppModel::wipeAndResync() {
    if (isLoggingOut_) co_return;
    QPointer<AppModel> self(this);
    auto erasing = eraseLibrary();
    if (!co_await erasing || !self) co_return;
    auto download = runInitialSync();
    co_await download;
}

QCoro::Task<> AppModel::retryPendingRevoke() {
    if (pendingRevokeRunning_ || !isOnline_) co_return;
    QPointer<AppModel> self(this);
    assign(pendingRevokeRunning_, true, &AppModel::isSendingRevocationChanged);
    auto sending = onWorker([pending = pendingRevoke_, env = env_] {
        auto owed = pending->load();
        if (!owed) return false;
        HTTPAPIClient api(owed->baseURL, env.appVersion, env.osVersion, std::make_shared<CurlTransport>());
        // An address that does not parse is refused by the client like any other answer: dropped.
        if (revokePending(*owed, api) != RevokeResult::tryLater) pending->clear(*owed);
        return true;
    });
    co_await sending;
    if (!self) co_return;
    assign(pendingRevokeRunning_, false, &AppModel::isSendingRevocationChanged);
}

} // namespace quorvel::app
