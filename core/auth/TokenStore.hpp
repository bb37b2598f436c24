#pragma once

#include "util/FileLock.hpp"

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>

namespace quorvel {

// What the client remembers about the signed-in account. Every member is safe to call from any
// thread. Points in time are seconds since 1970-01-01T00:00:00Z.
class TokenStore {
public:
    virtual ~TokenStore() = default;

    virtual std::optional<std::string> accessToken() const = 0;
    virtual void setAccessToken(std::optional<std::string> value) = 0;
    virtual std::optional<double> accessExpiry() const = 0;
    virtual void setAccessExpiry(std::optional<double> value) = 0;
    virtual std::optional<std::string> refreshToken() const = 0;
    virtual void setRefreshToken(std::optional<std::string> value) = 0;
    virtual std::optional<int64_t> userId() const = 0;
    virtual void setUserId(std::optional<int64_t> value) = 0;
    // The number the service gave this device when it was linked.
    virtual std::optional<int64_t> deviceId() const = 0;
    virtual void setDeviceId(std::optional<int64_t> value) = 0;
    // This installation's identifier; it outlives every sign-out.
    virtual std::optional<std::string> deviceUUID() const = 0;
    virtual void setDeviceUUID(std::optional<std::string> value) = 0;
    virtual std::optional<std::string> email() const = 0;
    virtual void setEmail(std::optional<std::string> value) = 0;

    // Forgets the access token, its expiry and the refresh token; the account stays known.
    virtual void clearCredentials() = 0;
    // Forgets everything except the device identifier.
    virtual void clearAll() = 0;

    // For a change that reads before it writes across several members (a token refresh): keeps every
    // other thread and process sharing this store from changing it until the returned lock goes,
    // and brings the values up to date with what they wrote before. Absent when `stop` ended the
    // wait. A store that shares nothing returns a lock that holds nothing.
    virtual std::optional<FileLock> hold(std::stop_token stop) {
        (void)stop;
        return FileLock();
    }
};

} // namespace quorvel
