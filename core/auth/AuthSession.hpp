#pragma once

#include "api/APIClient.hpp"
#include "api/APIError.hpp"
#include "auth/AuthError.hpp"
#include "auth/TokenStore.hpp"

#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <type_traits>

namespace quorvel {

// Owns the account's tokens at run time: turns a link code into stored credentials, hands every
// service call a valid access token, refreshes it shortly before it expires and retries a call
// once when the service says the token expired.
//
// Thread-safe. The session's state sits under its own mutex, which is never held across a call to
// the service. At most one refresh request is in flight: it is a shared future that every caller
// needing a refresh waits on, because a refresh token may be single-use on the server and a second
// request would sign the device out. Across processes sharing the token store, the refresh, the
// exchange and the sign-outs run under the store's lock (TokenStore::hold), with the credentials
// read again from disk inside it. `stop` ends a wait for that lock (as APIError kind cancelled),
// never a refresh request already sent: its answer holds the only valid refresh token.
class AuthSession {
public:
    // Seconds since 1970.
    using Clock = std::function<double()>;
    static double systemClock();

    AuthSession(std::shared_ptr<APIClient> api, std::shared_ptr<TokenStore> tokens, double refreshLeeway = 60,
                Clock now = &AuthSession::systemClock);
    AuthSession(const AuthSession &) = delete;
    AuthSession &operator=(const AuthSession &) = delete;

    // True when an access token or a refresh token is stored.
    bool hasCredentials() const;
    std::optional<int64_t> userId() const;
    std::optional<std::string> email() const;
    std::optional<std::string> deviceUUID() const;
    TokenStore &tokens() const { return *tokens_; }
    double refreshLeeway() const { return refreshLeeway_; }

    // Exchanges a link code (with its PKCE verifier) for tokens and stores them together with the
    // device identifier that was sent. Nothing is stored on failure. Throws APIError.
    TokenResponse exchange(const std::string &code, const std::string &verifier, const DeviceInfo &device,
                           std::stop_token stop = {});

    // An access token good for at least the refresh leeway, refreshing when needed. When a refresh
    // cannot reach the service but the current token has not expired yet, the current token is
    // returned. Throws AuthError (nothing to act with) or APIError.
    std::string validAccessToken(std::stop_token stop = {});

    // Obtains a new access token, joining the refresh already in flight if there is one. `replacing`
    // is the token the caller found wanting: if another caller or process has replaced it meanwhile
    // with one that is still fresh, that one is returned without a request. A refresh answered with
    // 401 drops the stored tokens (the account stays known), unless the stored refresh token is no
    // longer the one refused. Throws AuthError or APIError.
    std::string refresh(const std::optional<std::string> &replacing, std::stop_token stop = {});

    // Runs `operation(accessToken)`. If it fails with 401 "token_expired", refreshes once and runs it
    // again; that second result or error is final. Other errors propagate at once.
    template <class Operation>
    std::invoke_result_t<Operation &, const std::string &> perform(Operation &&operation, std::stop_token stop = {}) {
        const std::string token = validAccessToken(stop);
        try {
            return operation(token);
        } catch (const APIError &error) {
            if (!error.isTokenExpired()) throw;
        }
        const std::string fresh = refresh(token, stop);
        return operation(fresh);
    }

    // Revokes this device's tokens on the service. True only when the service confirmed. Never
    // throws and clears nothing locally by itself (only a refresh answered with 401 inside it does).
    bool revokeOnServer(std::stop_token stop = {});

    // Forgets everything but the device identifier.
    void signOutLocally();
    // Forgets the tokens; user, device, e-mail and base URL stay.
    void dropCredentials();

private:
    // The refresh itself, for the one caller in this process that leads it.
    std::string lead(const std::optional<std::string> &replacing, const std::optional<std::string> &seenRefreshToken,
                     std::stop_token stop);
    // The stored access token when it is good for at least the leeway; called with mutex_ held.
    std::optional<std::string> freshToken() const;
    std::string doRefresh(const std::string &refreshToken);
    // Stores a token response; called with mutex_ held.
    void apply(const TokenResponse &response);

    std::shared_ptr<APIClient> api_;
    std::shared_ptr<TokenStore> tokens_;
    double refreshLeeway_;
    Clock now_;

    // Guards the token store's values as the session sees them and the refresh in flight.
    mutable std::mutex mutex_;
    std::optional<std::shared_future<std::string>> refreshTask_;
};

} // namespace quorvel
