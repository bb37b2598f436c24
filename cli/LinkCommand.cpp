#include "CliCommands.hpp"
#include "CliEnvironment.hpp"

#include "auth/LinkCallbackError.hpp"
#include "auth/LinkCallbackParser.hpp"
#include "auth/LinkURL.hpp"
#include "auth/PKCE.hpp"

#include <istream>
#include <ostream>

namespace quorvel::cli {

namespace {

std::string trimmed(const std::string &s) {
    size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

std::string exchangeFailure(const APIError &error) {
    if (error.kind() == APIError::Kind::network) return "cannot reach the service: " + error.description();
    if (error.status() == 400) return "the link code expired or was already used; run link again";
    if (error.status() == 403 && error.reason() == "link_disabled") return "the service is not accepting links now";
    if (error.status() == 426) return "this version is too old for the service; please upgrade";
    if (error.status() == 429) return "too many attempts; try again in a while";
    return "the link could not be completed: " + error.description();
}

} // namespace

int runLink(CliSession &session, const CliOptions &, CliStreams &io) {
    retryPendingRevoke(session);
    const PKCE pkce = PKCE::generate();
    auto url = LinkURL::make(session.baseURL(), pkce.challenge, pkce.state, CliEnvironment::deviceName());
    if (!url) throw CliError("cannot build a link address from " + session.baseURL());
    io.err << "Open this address in a browser, sign in and approve this computer:\n";
    io.out << *url << std::endl;
    io.err << "Then paste the quorvel://link address the browser was sent to:\n";

    std::string line;
    while (trimmed(line).empty()) {
        if (!std::getline(io.in, line)) {
            io.err << "quorvel-cli: no link address was given\n";
            return 1;
        }
    }
    std::string code;
    try {
        auto callback = LinkCallbackParser::parse(trimmed(line), pkce.state);
        if (std::holds_alternative<LinkCallback::Denied>(callback.value)) {
            io.err << "quorvel-cli: the link was refused in the browser\n";
            return 1;
        }
        code = std::get<LinkCallback::Code>(callback.value).code;
    } catch (const LinkCallbackError &e) {
        io.err << "quorvel-cli: that is not the address for this link attempt (" << e.what() << ")\n";
        return 1;
    }

    // The new link, and the erase of another account's library, must not land in the middle of a
    // sync of this library.
    LibraryLock library = session.lockLibrary(waitingNotice(io));
    DeviceInfo device{session.tokens().ensureDeviceUUID(), CliEnvironment::deviceName(), CliEnvironment::appVersion(),
                      CliEnvironment::osVersion()};
    TokenResponse response;
    try {
        response = session.auth().exchange(code, pkce.verifier, device);
    } catch (const APIError &e) {
        io.err << "quorvel-cli: " << exchangeFailure(e) << "\n";
        return 1;
    }
    session.tokens().setBoundBaseURL(session.baseURL());
    session.pendingRevoke().clear();
    if (auto stored = session.store().userId(); stored && *stored != response.user.id) {
        // Another account's library must not be shown to this one.
        try {
            session.store().wipeAll();
        } catch (const std::exception &) {}
    }
    io.err << "Linked. Run \"quorvel-cli sync\" to download the library.\n";
    io.out << response.user.email << std::endl;
    return 0;
}

} // namespace quorvel::cli
