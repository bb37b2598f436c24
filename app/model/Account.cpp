#include "model/Account.hpp"

#include "model/Connectivity.hpp"
#include "model/Environment.hpp"
#include "model/Library.hpp"
#include "model/LinkCoordinator.hpp"
#include "model/OwnWork.hpp"
#include "model/Polling.hpp"
#include "model/Services.hpp"
#include "model/Stage.hpp"
#include "model/SyncController.hpp"
#include "model/Workers.hpp"

#include "auth/AuthSession.hpp"
#include "auth/FileTokenStore.hpp"
#include "auth/PendingRevokeStore.hpp"
#include "store/LibraryLock.hpp"
#include "store/LocalStore.hpp"

#include <qcoro/qcorofuture.h>

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

// The whole sign-out, as one step for a CLI sharing the library: no sync of it in between.
void signOut(AuthSession &auth, FileTokenStore &tokens, PendingRevokeStore &pending, LocalStore &store,
             const std::string &base, bool online) {
    std::optional<LibraryLock> library;
    try {
        library = LibraryLock::acquire(store.directory());
    } catch (const std::system_error &) {
        // Without a lock file the steps still run; only their order against other processes is lost.
    }
    const bool revoked = online && auth.revokeOnServer();
    if (!revoked) {
        if (auto refresh = tokens.refreshToken()) pending.save(PendingRevoke{*refresh, base});
    }
    wipeQuietly(store);
    auth.signOutLocally();
}

} // namespace

// The coroutines behind the operations. They suspend across worker calls, so they hold the account
// through a QPointer and end where it is found gone.
struct Account::Flow {
    using Self = QPointer<Account>;
    static QCoro::Task<> finishLogin(Self self, LinkResult result, bool fromMain);
    static QCoro::Task<> enter(Self self);
    static QCoro::Task<> logout(Self self);
    static QCoro::Task<bool> erase(Self self);
    static QCoro::Task<> wipeAndResync(Self self);
    static QCoro::Task<> follow(Self self, bool present, std::optional<std::string> bound);
};

Account::Account(Workers &workers, const Services &services, Stage &stage, Connectivity &connectivity, Library &library,
                 SyncController &sync, LinkCoordinator &link, const Environment &environment, QObject *parent)
    : QObject(parent), workers_(workers), stage_(stage), connectivity_(connectivity), library_(library), sync_(sync),
      link_(link), environment_(environment), store_(services.store), tokens_(services.tokens),
      pendingRevoke_(services.pendingRevoke), auth_(services.auth) {}

bool Account::canLogOut() const {
    return !stage_.is(AppPhase::Kind::start) && !stage_.is(AppPhase::Kind::revoked) && !isLoggingOut_;
}

void Account::beginLogin() {
    if (isLoggingOut_) return;
    stage_.clearStartError();
    const bool fromMain = stage_.is(AppPhase::Kind::main);
    if (fromMain)
        isRelinking_ = true;
    else
        stage_.setPhase(AppPhase::linking());
    QPointer<Account> self(this);
    link_.start(environment_.baseURL, environment_.deviceName, [self, fromMain](const LinkResult &result) {
        if (!self) return;
        [[maybe_unused]] auto task = Flow::finishLogin(self, result, fromMain);
    });
}

void Account::cancelLogin() {
    link_.cancel();
}

void Account::handleCallbackURL(const QString &url) {
    if (link_.handleCallback(url)) Q_EMIT browserReturned();
}

void Account::restore(bool fromMain) {
    if (fromMain)
        isRelinking_ = false;
    else
        stage_.setPhase(AppPhase::start());
}

QCoro::Task<> Account::Flow::finishLogin(Self self, LinkResult result, bool fromMain) {
    if (result.kind != LinkResult::Kind::code) {
        self->restore(fromMain);
        if (result.kind == LinkResult::Kind::failed) self->stage_.setStartError(result.message);
        co_return;
    }
    const Environment &env = self->environment_;
    auto exchanging = self->workers_.onWorker([auth = self->auth_, tokens = self->tokens_, result,
                                               device = env.deviceName, version = env.appVersion, os = env.osVersion] {
        DeviceInfo info{tokens->ensureDeviceUUID(), device, version, os};
        try {
            return Exchange{auth->exchange(result.code, result.verifier, info), std::nullopt};
        } catch (const APIError &e) {
            return Exchange{std::nullopt, e};
        } catch (const std::exception &) {
            return Exchange{};
        }
    });
    Exchange exchange = co_await exchanging;
    if (!self) co_return;
    if (!exchange.response) {
        self->restore(fromMain);
        self->stage_.setStartError(loginMessage(exchange.error));
        co_return;
    }

    auto binding =
        self->workers_.onWorker([tokens = self->tokens_, pending = self->pendingRevoke_, store = self->store_,
                                 base = env.baseURL, user = exchange.response->user.id] {
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
        self->sync_.dropRunInFlight();
        auto erasing = erase(self);
        if (!co_await erasing || !self) co_return;
    }
    auto entering = enter(self);
    co_await entering;
}

// Signed in: the library again, through its first download when nothing is stored yet.
QCoro::Task<> Account::Flow::enter(Self self) {
    self->sync_.noteSignedIn();
    self->stage_.clearStartError();
    self->isRelinking_ = false;
    self->library_.reload();
    auto checking = self->workers_.onWorker([store = self->store_] { return store->isFirstSync(); });
    const bool firstSync = co_await checking;
    if (!self) co_return;
    if (firstSync) {
        self->sync_.runInitialSync();
    } else {
        self->stage_.setPhase(AppPhase::main());
        self->sync_.runNow();
    }
}

QString Account::loginMessage(const std::optional<APIError> &error) {
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

void Account::logout() {
    [[maybe_unused]] auto task = Flow::logout(this);
}

QCoro::Task<> Account::Flow::logout(Self self) {
    if (self->isLoggingOut_) co_return;
    OwnWork writing(self.data());
    self->isLoggingOut_ = true;
    self->sync_.dropRunInFlight(); // late progress of the cancelled run must not show its screen again
    self->sync_.cancel();
    auto settling = pollWhile(
        self.data(), [sync = &self->sync_] { return sync->isSyncing(); }, 100);
    if (!co_await settling) co_return;

    auto signingOut = self->workers_.onWorker(
        [auth = self->auth_, tokens = self->tokens_, pending = self->pendingRevoke_, store = self->store_,
         base = self->environment_.baseURL, online = self->connectivity_.isOnline()] {
            signOut(*auth, *tokens, *pending, *store, base, online);
            return true;
        });
    co_await signingOut;
    if (!self) co_return;
    Q_EMIT self->libraryErased();
    self->isLoggingOut_ = false;
    self->stage_.setPhase(AppPhase::start());
}

// Stops a running sync (waiting about five seconds at most), erases the library and empties what
// the screens show. False when the account went away meanwhile.
QCoro::Task<bool> Account::Flow::erase(Self self) {
    OwnWork writing(self.data());
    self->sync_.cancel();
    auto settling = pollWhile(
        self.data(), [sync = &self->sync_] { return sync->isSyncing(); }, 100);
    if (!co_await settling) co_return false;
    auto erasing = self->workers_.onWorker([store = self->store_] {
        wipeQuietly(*store);
        return true;
    });
    co_await erasing;
    if (!self) co_return false;
    Q_EMIT self->libraryErased();
    co_return true;
}

void Account::wipeAndResync() {
    [[maybe_unused]] auto task = Flow::wipeAndResync(this);
}

QCoro::Task<> Account::Flow::wipeAndResync(Self self) {
    if (self->isLoggingOut_) co_return;
    auto erasing = erase(self);
    if (!co_await erasing || !self) co_return;
    self->sync_.runInitialSync();
}

void Account::followCredentials(bool present, const std::optional<std::string> &boundBaseURL) {
    [[maybe_unused]] auto task = Flow::follow(this, present, boundBaseURL);
}

QCoro::Task<> Account::Flow::follow(Self self, bool present, std::optional<std::string> bound) {
    // The app's own sign-in and logout write them too, and end where they should by themselves.
    if (self->isLoggingOut_ || self->isRelinking_ || self->stage_.is(AppPhase::Kind::linking)) co_return;
    const bool atStart = self->stage_.is(AppPhase::Kind::start) || self->stage_.is(AppPhase::Kind::revoked);
    if (present && bound && *bound != self->environment_.baseURL) {
        OwnWork writing(self.data());
        self->sync_.dropRunInFlight();
        self->sync_.cancel();
        auto settling = pollWhile(
            self.data(), [sync = &self->sync_] { return sync->isSyncing(); }, 100);
        if (!co_await settling) co_return;
        auto dropping =
            self->workers_.onWorker([tokens = self->tokens_, pending = self->pendingRevoke_, store = self->store_] {
                Services::forgetOtherService(*tokens, *pending, *store);
                return true;
            });
        co_await dropping;
        if (!self) co_return;
        Q_EMIT self->libraryErased();
        self->stage_.setPhase(AppPhase::start());
    } else if (present) {
        if (!atStart && !self->sync_.needsRelogin()) co_return;
        auto entering = enter(self);
        co_await entering;
    } else if (!atStart) {
        // A run still going would only find its token gone.
        self->sync_.dropRunInFlight();
        self->sync_.cancel();
        auto looking =
            self->workers_.onWorker([store = self->store_] { return !store->isFirstSync() && store->fileCount() > 0; });
        const bool stored = co_await looking;
        if (!self) co_return;
        if (stored) {
            // What that process left stays readable, as at start-up.
            self->sync_.requireSignIn();
            self->stage_.setPhase(AppPhase::main());
        } else {
            Q_EMIT self->libraryErased();
            self->stage_.setPhase(AppPhase::start());
        }
    }
}

void Account::showEmail(const std::optional<std::string> &stored) {
    auto email = auth_->email();
    if (!email) email = stored;
    email_ = email ? std::optional<QString>(QString::fromStdString(*email)) : std::nullopt;
}

void Account::clear() {
    email_ = std::nullopt;
}

} // namespace quorvel::app
