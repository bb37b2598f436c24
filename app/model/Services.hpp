#pragma once

#include <memory>
#include <stdexcept>

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

struct Environment;

// The core's services the parts share: the library, the credentials, the revocation still owed,
// and the client, token session, image fetcher and sync engine built on them. Each serialises itself;
// they are used from the workers, and their shared pointers keep them alive for work in flight.
struct Services {
    // Neither the library directory nor the fallback could be opened. what() is the message shown.
    class StoreUnavailable : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // Opens the library (in the fallback directory when the usual one fails; throws StoreUnavailable
    // when that fails too), drops credentials bound to another service together with the library and
    // the owed revocation, and builds the services on them.
    static Services open(const Environment &env);

    // Credentials bound to another service go with the library and the revocation owed, at start-up
    // and when another process rebinds them.
    static void forgetOtherService(FileTokenStore &tokens, PendingRevokeStore &pendingRevoke, LocalStore &store);

    std::shared_ptr<LocalStore> store;
    std::shared_ptr<FileTokenStore> tokens;
    std::shared_ptr<PendingRevokeStore> pendingRevoke;
    std::shared_ptr<HTTPAPIClient> api;
    std::shared_ptr<AuthSession> auth;
    std::shared_ptr<CurlAssetFetcher> fetcher;
    std::shared_ptr<SyncEngine> engine;
};

} // namespace quorvel::app
