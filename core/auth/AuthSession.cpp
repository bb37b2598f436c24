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
    std::lock_guard lock(mutex_);
    tokens_->setDeviceUUID(device.uuid);
    apply(response);
    return response;
}

std::string AuthSession::validAccessToken() {
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
            return refresh(token);
        } catch (const APIError &error) {
            // Offline, but the token still works for a while: better than failing now.
            if (error.isNetwork() && *expiry > now_()) return *token;
            throw;
        }
    }
    if (!canRefresh) throw AuthError::notLinked();
    return refresh(std::nullopt);
}

std::string AuthSession::refresh(const std::optional<std::string> &replacing) {
    std::unique_lock lock(mutex_);
    if (refreshTask_) {
        auto inFlight = *refreshTask_;
        lock.unlock();
        return inFlight.get();
    }
    if (replacing) {
        // Another caller has refreshed since this one read its token.
        auto current = tokens_->accessToken();
        if (current && *current != *replacing) {
            auto expiry = tokens_->accessExpiry();
            if (expiry && *expiry - now_() >= refreshLeeway_) return *current;
        }
    }
    auto refreshToken = tokens_->refreshToken();
    if (!refreshToken) throw AuthError::notLinked();

    std::promise<std::string> promise;
    refreshTask_ = promise.get_future().share();
    lock.unlock();

    // The request runs on this thread without any stop token: abandoning it half way could leave a
    // single-use refresh token spent on the server with its answer lost.
    std::string token;
    std::exception_ptr error;
    try {
        token = doRefresh(*refreshToken);
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
        token = validAccessToken();
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
        api_->logout(refresh(token), stop);
        return true;
    } catch (...) {
        return false;
    }
}

void AuthSession::signOutLocally() {
    std::lock_guard lock(mutex_);
    tokens_->clearAll();
}

void AuthSession::dropCredentials() {
    std::lock_guard lock(mutex_);
    tokens_->clearCredentials();
}

} // namespace quorvel
