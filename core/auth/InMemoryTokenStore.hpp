#pragma once

#include "auth/TokenStore.hpp"

#include <mutex>

namespace quorvel {

// A token store that lives only as long as the object (tests, previews, one-off commands).
class InMemoryTokenStore final : public TokenStore {
public:
    struct Values {
        std::optional<std::string> accessToken{};
        std::optional<double> accessExpiry{};
        std::optional<std::string> refreshToken{};
        std::optional<int64_t> userId{};
        std::optional<int64_t> deviceId{};
        std::optional<std::string> deviceUUID{};
        std::optional<std::string> email{};
        bool operator==(const Values &) const = default;
    };

    InMemoryTokenStore() = default;
    explicit InMemoryTokenStore(Values initial) : values_(std::move(initial)) {}

    std::optional<std::string> accessToken() const override { return get(&Values::accessToken); }
    void setAccessToken(std::optional<std::string> v) override { set(&Values::accessToken, std::move(v)); }
    std::optional<double> accessExpiry() const override { return get(&Values::accessExpiry); }
    void setAccessExpiry(std::optional<double> v) override { set(&Values::accessExpiry, v); }
    std::optional<std::string> refreshToken() const override { return get(&Values::refreshToken); }
    void setRefreshToken(std::optional<std::string> v) override { set(&Values::refreshToken, std::move(v)); }
    std::optional<int64_t> userId() const override { return get(&Values::userId); }
    void setUserId(std::optional<int64_t> v) override { set(&Values::userId, v); }
    std::optional<int64_t> deviceId() const override { return get(&Values::deviceId); }
    void setDeviceId(std::optional<int64_t> v) override { set(&Values::deviceId, v); }
    std::optional<std::string> deviceUUID() const override { return get(&Values::deviceUUID); }
    void setDeviceUUID(std::optional<std::string> v) override { set(&Values::deviceUUID, std::move(v)); }
    std::optional<std::string> email() const override { return get(&Values::email); }
    void setEmail(std::optional<std::string> v) override { set(&Values::email, std::move(v)); }

    void clearCredentials() override;
    void clearAll() override;

    // A consistent copy of every value at once.
    Values snapshot() const;

private:
    template <class T>
    T get(T Values::*field) const {
        std::lock_guard lock(mutex_);
        return values_.*field;
    }
    template <class T>
    void set(T Values::*field, T value) {
        std::lock_guard lock(mutex_);
        values_.*field = std::move(value);
    }

    mutable std::mutex mutex_;
    Values values_;
};

} // namespace quorvel
