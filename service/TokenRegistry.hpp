#pragma once

#include "ApiFailure.hpp"

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace quorvel::service {

struct DeviceDetails {
    std::string uuid;
    std::string name;
    std::string appVersion;
    std::string osVersion;
};

struct TokenGrant {
    std::string accessToken;
    std::string refreshToken;
    int64_t expiresIn = 0;
    int64_t refreshExpiresIn = 0;
    int64_t deviceId = 0;
};

struct TokenLifetimes {
    double access = 3600;
    double refresh = 30 * 86400;
    double linkCode = 300;
    double refreshReuseGrace = 0;
};

// Link codes, devices and their tokens for the one account the service holds, with the
// account-wide switches (suspension, password change, linking). Not thread-safe: the service
// guards it with its state lock. Every refusal is an ApiFailure carrying the 4xx answer.
class TokenRegistry {
public:
    explicit TokenRegistry(TokenLifetimes lifetimes = {});

    // Called by the link page once the user approves: a single-use code bound to the challenge.
    std::string issueCode(const std::string &challenge, const std::string &deviceName, double now);
    TokenGrant exchange(const std::string &code, const std::string &verifier, const DeviceDetails &device, double now);
    TokenGrant refresh(const std::string &refreshToken, double now);
    // The device the access token belongs to.
    int64_t authenticate(const std::string &accessToken, double now) const;

    void revokeDevice(int64_t deviceId, const std::string &reason = "revoked");
    void revokeAll();
    // Every access token (of one device, or all) counts as expired from now on.
    void expireAccessTokens(double now, std::optional<int64_t> deviceId = {});
    void setSuspended(bool suspended) { suspended_ = suspended; }
    bool suspended() const { return suspended_; }
    // Every token issued up to now stops working with "password_changed".
    void passwordChanged(double now) { passwordChangedAt_ = now; }
    void setLinkingEnabled(bool enabled) { linkingEnabled_ = enabled; }
    bool linkingEnabled() const { return linkingEnabled_; }
    void setLifetimes(TokenLifetimes lifetimes) { lifetimes_ = lifetimes; }
    const TokenLifetimes &lifetimes() const { return lifetimes_; }

    nlohmann::json devicesJSON() const;
    size_t activeDeviceCount() const;

    static bool verifierMatches(const std::string &verifier, const std::string &challenge);
    static bool isWellFormedVerifier(const std::string &verifier);
    static bool isWellFormedChallenge(const std::string &challenge);

private:
    struct Code {
        std::string challenge;
        std::string deviceName;
        double expiresAt = 0;
        bool used = false;
        std::optional<int64_t> deviceId; // the device the code created
    };
    struct Device {
        DeviceDetails details;
        double linkedAt = 0;
        bool revoked = false;
        std::string revokeReason;
    };
    struct Access {
        int64_t deviceId = 0;
        double issuedAt = 0;
        double expiresAt = 0;
    };
    struct Refresh {
        int64_t deviceId = 0;
        double issuedAt = 0;
        double expiresAt = 0;
        std::optional<double> rotatedAt;
        std::optional<TokenGrant> successor;
    };

    TokenGrant issue(int64_t deviceId, double now);
    void checkDevice(int64_t deviceId, double issuedAt) const;

    TokenLifetimes lifetimes_;
    std::map<std::string, Code> codes_;
    std::map<int64_t, Device> devices_;
    std::map<std::string, Access> access_;
    std::map<std::string, Refresh> refresh_;
    int64_t nextDeviceId_ = 1;
    bool suspended_ = false;
    bool linkingEnabled_ = true;
    std::optional<double> passwordChangedAt_;
};

std::string randomToken(size_t bytes = 32);

} // namespace quorvel::service
