#include "CliCommands.hpp"
#include "CliEnvironment.hpp"

#include "api/CurlTransport.hpp"
#include "auth/RevokePending.hpp"

#include <ostream>

namespace quorvel::cli {

void retryPendingRevoke(CliSession &session) {
    auto pending = session.pendingRevoke().load();
    if (!pending) return;
    std::string base;
    try {
        base = CliSession::normalizedBaseURL(pending->baseURL);
    } catch (const CliError &) {
        session.pendingRevoke().clear(*pending);
        return;
    }
    HTTPAPIClient api(base, CliEnvironment::appVersion(), CliEnvironment::osVersion(),
                      std::make_shared<CurlTransport>());
    if (revokePending(*pending, api) != RevokeResult::tryLater) session.pendingRevoke().clear(*pending);
}

int runLogout(CliSession &session, const CliOptions &, CliStreams &io) {
    // Not in the middle of a sync, here or in the app: its outcome would land after the erase.
    LibraryLock library = session.lockLibrary(waitingNotice(io));
    auto &auth = session.auth();
    if (!auth.hasCredentials() && session.store().isFirstSync()) {
        io.err << "This computer is not linked.\n";
        return 0;
    }
    bool revoked = auth.hasCredentials() && auth.revokeOnServer();
    if (!revoked) {
        if (auto refresh = session.tokens().refreshToken())
            session.pendingRevoke().save(PendingRevoke{*refresh, session.baseURL()});
    }
    try {
        session.store().wipeAll();
    } catch (const std::exception &) {
        // Logging out never fails on the disk's account; the credentials go regardless.
    }
    auth.signOutLocally();
    if (revoked || !session.pendingRevoke().load())
        io.out << "logged out" << std::endl;
    else
        io.out << "logged out; the service could not be told now and will be at the next link or sync" << std::endl;
    return 0;
}

int runWipe(CliSession &session, const CliOptions &, CliStreams &io) {
    LibraryLock library = session.lockLibrary(waitingNotice(io));
    try {
        session.store().wipeAll();
    } catch (const std::exception &e) {
        throw CliError(std::string("cannot erase the library: ") + e.what());
    }
    io.out << "library erased" << std::endl;
    return 0;
}

} // namespace quorvel::cli
