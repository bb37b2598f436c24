#include "auth/AuthSession.hpp"

#include <chrono>
#include <stdexcept>

namespace quorvel {

double AuthSession::systemClock() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

AuthSession::AuthSession(std::shared_ptr<APIClient> api, std::shared_ptr<TokenStore> tokens, double refreshLeeway,
                         Clock now)
    : api_(std::move(api)), tokens_(std::move(tokens)), refreshLeeway_(refreshLeeway),
      now_(now ? std::move(now) : Clock(&AuthSession::systemClock)) {
    if (!api_ || !tokens_) throw std::invalid_argument("AuthSession needs a client and a token store");
}

bool AuthSession::hasCredentials() const {
    std::lock_guard lock(mutex_);
    return tokens_->accessToken().has_value() || tokens_->refreshToken().has_value();
}

std::optional<int64_t> AuthSession::userId() const {
    return tokens_->userId();
}
std::optional<std::string> AuthSession::email() const {
    return tokens_->email();
}
std::optional<std::string> AuthSession::deviceUUID() const {
    return tokens_->deviceUUID();
}

TokenResponse AuthSession::exchange(const std::string &code, const std::string &verifier, const DeviceInfo &device,
                                    std::stop_token stop) {
    TokenResponse response = api_->exchangeCode(code, verifier, device, std::move(stop));
    // The code is spent: its answer is stored whatever else waits, so this wait is not cancellable.
    auto held = tokens_->hold({});
    std::lock_guard lock(mutex_);
    tokens_->setDeviceUUID(device.uuid);
    apply(response);
    return response;
}

std::string AuthSession::validAccessToken(std::stop_token stop) {
    std::optional<std::string> token;
    std::optional<double> expiry;
    bool canRefresh = false;
    {
        std::lock_guard lock(mutex_);
        token = tokens_->accessToken();
        expiry = tokens_->accessExpiry();
        canRefresh = tokens_->refreshToken().has_value();
    }
    if (token && expiry) {
        if (*expiry - now_() >= refreshLeeway_) return *token;
        try {
            return refresh(token, stop);
        } catch (const APIError &error) {
            // Offline, but the token still works for a while: better than failing now.
            if (error.isNetwork() && *expiry > now_()) return *token;
            throw;
        }
    }
    if (!canRefresh) throw AuthError::notLinked();
    return refresh(std::nullopt, stop);
}

std::string AuthSession::refresh(const std::optional<std::string> &replacing, std::stop_token stop) {
    std::unique_lock lock(mutex_);
    if (refreshTask_) {
        auto inFlight = *refreshTask_;
        lock.unlock();
        while (inFlight.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
            if (stop.stop_requested()) throw APIError::cancelled();
        return inFlight.get();
    }
    // Another caller has refreshed since this one read its token.
    if (auto current = freshToken(); current && replacing && *current != *replacing) return *current;
    const auto seenRefreshToken = tokens_->refreshToken();

    std::promise<std::string> promise;
    refreshTask_ = promise.get_future().share();
    lock.unlock();

    std::string token;
    std::exception_ptr error;
    try {
        token = lead(replacing, seenRefreshToken, std::move(stop));
    } catch (...) {
        error = std::current_exception();
    }

    lock.lock();
    refreshTask_.reset();
    lock.unlock();
    if (error) {
        promise.set_exception(error);
        std::rethrow_exception(error);
    }
    promise.set_value(token);
    return token;
}

std::optional<std::string> AuthSession::freshToken() const {
    auto current = tokens_->accessToken();
    auto expiry = tokens_->accessExpiry();
    if (!current || !expiry || *expiry - now_() < refreshLeeway_) return std::nullopt;
    return current;
}

std::string AuthSession::lead(const std::optional<std::string> &replacing,
                              const std::optional<std::string> &seenRefreshToken, std::stop_token stop) {
    // Another process may be refreshing with the same single-use token: one at a time, and each
    // looks at what the one before left on disk.
    auto held = tokens_->hold(std::move(stop));
    if (!held) throw APIError::cancelled();
    std::optional<std::string> refreshToken;
    {
        std::lock_guard lock(mutex_);
        refreshToken = tokens_->refreshToken();
        // Refreshed by another caller or process while this one waited: its fresh token serves.
        auto current = freshToken();
        if (current && ((replacing && *current != *replacing) || refreshToken != seenRefreshToken)) return *current;
    }
    if (!refreshToken) throw AuthError::notLinked();
    // The request runs without any stop token: abandoning it half way could leave a single-use
    // refresh token spent on the server with its answer lost.
    return doRefresh(*refreshToken);
}

std::string AuthSession::doRefresh(const std::string &refreshToken) {
    TokenResponse response;
    try {
        response = api_->refresh(refreshToken);
    } catch (const APIError &error) {
        if (error.kind() == APIError::Kind::server && error.status() == 401) {
            std::lock_guard lock(mutex_);
            // Drop only the refused credentials, not those of a sign-in that happened meanwhile.
            if (tokens_->refreshToken() == refreshToken) tokens_->clearCredentials();
        }
        throw;
    }
    std::lock_guard lock(mutex_);
    if (tokens_->refreshToken() != refreshToken) {
        // Signed out or linked afresh while the request was out: storing this answer would bring
        // back credentials the user has just removed.
        if (auto current = tokens_->accessToken(); current && tokens_->refreshToken()) return *current;
        throw AuthError::notLinked();
    }
    apply(response);
    return response.accessToken;
}

void AuthSession::apply(const TokenResponse &response) {
    tokens_->setAccessToken(response.accessToken);
    tokens_->setAccessExpiry(now_() + static_cast<double>(response.expiresIn));
    tokens_->setRefreshToken(response.refreshToken);
    tokens_->setUserId(response.user.id);
    tokens_->setDeviceId(response.deviceId);
    tokens_->setEmail(response.user.email);
}

bool AuthSession::revokeOnServer(std::stop_token stop) {
    std::string token;
    try {
        token = validAccessToken(stop);
    } catch (...) {
        return false;
    }
    try {
        api_->logout(token, stop);
        return true;
    } catch (const APIError &error) {
        if (!error.isTokenExpired()) return false;
    } catch (...) {
        return false;
    }
    try {
        api_->logout(refresh(token, stop), stop);
        return true;
    } catch (...) {
        return false;
    }
}

void AuthSession::signOutLocally() {
    auto held = tokens_->hold({});
    std::lock_guard lock(mutex_);
    tokens_->clearAll();
}

void AuthSession::dropCredentials() {
    auto held = tokens_->hold({});
    std::lock_guard lock(mutex_);
    tokens_->clearCredentials();
}

} // namespace quorvel
