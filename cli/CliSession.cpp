#include "CliSession.hpp"

#include "CliEnvironment.hpp"

#include "api/CurlTransport.hpp"
#include "api/ServiceAddress.hpp"

#include <system_error>

namespace fs = std::filesystem;

namespace quorvel::cli {

std::string CliSession::normalizedBaseURL(const std::string &text) {
    if (auto base = ServiceAddress::normalized(text)) return *base;
    throw CliError("\"" + text + "\" is not a service address (expected http://host:port or https://host)");
}

CliSession::CliSession(const CliOptions &options)
    : baseURL_(normalizedBaseURL(options.baseURL.value_or(CliEnvironment::compiledBaseURL()))) {
    // The desktop app falls back to a temporary library when its own directory cannot be used; a
    // directory named on the command line is taken as meant and never replaced.
    if (options.storeDirectory) {
        storeDirectory_ = fs::absolute(*options.storeDirectory);
        try {
            store_ = std::make_shared<LocalStore>(storeDirectory_, true);
        } catch (const std::exception &e) {
            throw CliError("cannot open the library in " + storeDirectory_.string() + ": " + e.what());
        }
    } else {
        storeDirectory_ = CliEnvironment::defaultStoreDirectory();
        try {
            store_ = std::make_shared<LocalStore>(storeDirectory_, true);
        } catch (const std::exception &) {
            storeDirectory_ = CliEnvironment::fallbackStoreDirectory();
            try {
                store_ = std::make_shared<LocalStore>(storeDirectory_, true);
            } catch (const std::exception &e) {
                throw CliError("cannot open the library in " + storeDirectory_.string() + ": " + e.what());
            }
        }
    }

    tokens_ = std::make_shared<FileTokenStore>(storeDirectory_ / "auth");
    pendingRevoke_ = std::make_unique<PendingRevokeStore>(storeDirectory_ / "auth");

    api_ = std::make_shared<HTTPAPIClient>(baseURL_, CliEnvironment::appVersion(), CliEnvironment::osVersion(),
                                           std::make_shared<CurlTransport>());
    auth_ = std::make_shared<AuthSession>(api_, tokens_);
    fetcher_ = std::make_shared<CurlAssetFetcher>(CurlAssetFetcher::defaultMaxBytes, 20.0, baseURL_);
    engine_ = std::make_unique<SyncEngine>(api_, auth_, store_, fetcher_, baseURL_);
}

std::optional<std::string> CliSession::foreignService() const {
    auto bound = tokens_->boundBaseURL();
    if (bound && *bound != baseURL_) return bound;
    return std::nullopt;
}

LibraryLock CliSession::lockLibrary(const std::function<void()> &onWait) {
    try {
        // Ctrl-C ends the wait: the process goes, and the kernel drops whatever it held.
        if (auto lock = LibraryLock::acquire(storeDirectory_, {}, onWait)) return std::move(*lock);
    } catch (const std::system_error &e) {
        throw CliError(std::string("cannot lock the library: ") + e.what());
    }
    throw CliError("cannot lock the library");
}

bool CliSession::bindToService(const std::function<void()> &onWait) {
    if (!foreignService()) return false;
    LibraryLock library = lockLibrary(onWait);
    // Looked at again inside the lock: another process may have settled it meanwhile.
    if (!foreignService()) return false;
    tokens_->clearAll();
    try {
        store_->wipeAll();
    } catch (const std::exception &) {
        // As at the app's start-up: the credentials are gone either way.
    }
    pendingRevoke_->clear();
    return true;
}

} // namespace quorvel::cli
