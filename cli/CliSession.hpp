#pragma once

#include "CliOptions.hpp"

#include "api/HTTPAPIClient.hpp"
#include "auth/AuthSession.hpp"
#include "auth/FileTokenStore.hpp"
#include "auth/PendingRevokeStore.hpp"
#include "store/LibraryLock.hpp"
#include "store/LocalStore.hpp"
#include "sync/CurlAssetFetcher.hpp"
#include "sync/SyncEngine.hpp"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace quorvel::cli {

// A failure to report in plain words, with a non-zero exit status.
class CliError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The library, the credentials and the services built on them. Opening changes nothing: a command
// that changes the library or the credentials first calls `bindToService`, the desktop app's
// start-up rule; one that only reads never erases what it reads.
class CliSession {
public:
    // Throws CliError when the base URL is unusable or no library directory can be opened.
    explicit CliSession(const CliOptions &options);

    const std::string &baseURL() const { return baseURL_; }
    const std::filesystem::path &storeDirectory() const { return storeDirectory_; }
    // The service the stored credentials belong to, when it is not the one in use.
    std::optional<std::string> foreignService() const;
    // Credentials bound to another service are cleared together with the library and the pending
    // revocation, under the library's lock (`onWait` is told when that lock is busy). True when
    // that happened.
    bool bindToService(const std::function<void()> &onWait);
    // Waits for a sync of this library in another process to end, telling `onWait` if it must.
    LibraryLock lockLibrary(const std::function<void()> &onWait);

    LocalStore &store() { return *store_; }
    FileTokenStore &tokens() { return *tokens_; }
    PendingRevokeStore &pendingRevoke() { return *pendingRevoke_; }
    APIClient &api() { return *api_; }
    AuthSession &auth() { return *auth_; }
    SyncEngine &engine() { return *engine_; }

    // "http(s)://host[:port][/path]" without trailing slashes; throws CliError for anything else.
    static std::string normalizedBaseURL(const std::string &text);

private:
    std::string baseURL_;
    std::filesystem::path storeDirectory_;
    std::shared_ptr<LocalStore> store_;
    std::shared_ptr<FileTokenStore> tokens_;
    std::unique_ptr<PendingRevokeStore> pendingRevoke_;
    std::shared_ptr<APIClient> api_;
    std::shared_ptr<AuthSession> auth_;
    std::shared_ptr<CurlAssetFetcher> fetcher_;
    std::unique_ptr<SyncEngine> engine_;
};

} // namespace quorvel::cli
