#include "model/Services.hpp"

#include "model/Environment.hpp"

#include "api/CurlTransport.hpp"
#include "api/HTTPAPIClient.hpp"
#include "auth/AuthSession.hpp"
#include "auth/FileTokenStore.hpp"
#include "auth/PendingRevokeStore.hpp"
#include "store/LocalStore.hpp"
#include "sync/CurlAssetFetcher.hpp"
#include "sync/SyncEngine.hpp"

namespace quorvel::app {

namespace {

constexpr int64_t imageMaxBytes = 5242880;
constexpr double imageTimeout = 20;

std::shared_ptr<LocalStore> openStore(const Environment &env) {
    try {
        return std::make_shared<LocalStore>(env.storeDirectory, true);
    } catch (const std::exception &) {
        // The library lives in the temporary directory for this run.
    }
    try {
        return std::make_shared<LocalStore>(env.fallbackDirectory, true);
    } catch (const std::exception &) {
        throw Services::StoreUnavailable("보관소를 열 수 없어요: " + env.fallbackDirectory.string());
    }
}

} // namespace

void Services::forgetOtherService(FileTokenStore &tokens, PendingRevokeStore &pendingRevoke, LocalStore &store) {
    tokens.clearAll();
    try {
        store.wipeAll();
    } catch (const std::exception &) {
        // The credentials are gone either way; an unerased library is merely stale.
    }
    pendingRevoke.clear();
}

Services Services::open(const Environment &env) {
    Services s;
    const auto authDirectory = env.storeDirectory / "auth";
    s.tokens = std::make_shared<FileTokenStore>(authDirectory);
    s.pendingRevoke = std::make_shared<PendingRevokeStore>(authDirectory);
    s.store = openStore(env);

    if (auto bound = s.tokens->boundBaseURL(); bound && *bound != env.baseURL)
        forgetOtherService(*s.tokens, *s.pendingRevoke, *s.store);

    const std::string &base = env.baseURL;
    s.api = std::make_shared<HTTPAPIClient>(base, env.appVersion, env.osVersion, std::make_shared<CurlTransport>());
    s.auth = std::make_shared<AuthSession>(s.api, s.tokens, 60, env.now);
    s.fetcher = std::make_shared<CurlAssetFetcher>(imageMaxBytes, imageTimeout, base);
    s.engine = std::make_shared<SyncEngine>(s.api, s.auth, s.store, s.fetcher, base, SyncConfig{}, env.now);
    return s;
}

} // namespace quorvel::app
