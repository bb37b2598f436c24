#pragma once

#include "api/APIClient.hpp"
#include "api/APIError.hpp"

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::test {

// An APIClient whose answers a test scripts per endpoint and which records every call. Set the
// handlers before the client is shared with other threads; calls may then come from any thread.
// An endpoint without a handler fails with a network error; a call whose stop token is already
// requested fails as cancelled without reaching the handler.
class FakeAPIClient : public APIClient {
public:
    struct Call {
        // "exchangeCode", "refresh", "logout", "manifest", "files", "shell" or "latestRelease".
        std::string endpoint{};
        // What the call authenticated with: the access token, the refresh token, or the link code.
        std::string credential{};
        std::string verifier{};             // exchangeCode
        std::optional<DeviceInfo> device{}; // exchangeCode
        std::optional<std::string> etag{};  // manifest
        std::vector<int64_t> ids{};         // files
    };

    std::function<TokenResponse(const std::string &code, const std::string &verifier, const DeviceInfo &device)>
        onExchangeCode;
    std::function<TokenResponse(const std::string &refreshToken)> onRefresh;
    std::function<void(const std::string &accessToken)> onLogout;
    std::function<ManifestResult(const std::string &accessToken, const std::optional<std::string> &etag)> onManifest;
    std::function<std::vector<FileContent>(const std::string &accessToken, const std::vector<int64_t> &ids)> onFiles;
    std::function<ShellDoc(const std::string &accessToken)> onShell;
    std::function<AppRelease()> onLatestRelease;

    TokenResponse exchangeCode(const std::string &code, const std::string &verifier, const DeviceInfo &device,
                               std::stop_token stop = {}) override;
    TokenResponse refresh(const std::string &refreshToken, std::stop_token stop = {}) override;
    void logout(const std::string &accessToken, std::stop_token stop = {}) override;
    ManifestResult manifest(const std::string &accessToken, const std::optional<std::string> &etag,
                            std::stop_token stop = {}) override;
    std::vector<FileContent> files(const std::string &accessToken, const std::vector<int64_t> &ids,
                                   std::stop_token stop = {}) override;
    ShellDoc shell(const std::string &accessToken, std::stop_token stop = {}) override;
    AppRelease latestRelease(std::stop_token stop = {}) override;

    std::vector<Call> calls() const;
    // How many calls reached the endpoint.
    size_t count(std::string_view endpoint) const;
    // The credentials of the endpoint's calls, in order.
    std::vector<std::string> credentials(std::string_view endpoint) const;

    // A token response for user 7 (e-mail "user@example.com") on device 12.
    static TokenResponse tokenResponse(std::string accessToken, std::string refreshToken, int64_t expiresIn = 3600,
                                       int64_t userId = 7, int64_t deviceId = 12,
                                       std::string email = "user@example.com");
    // The service's answer to an expired access token (401 "token_expired").
    static APIError tokenExpired();

private:
    void record(Call call, const std::stop_token &stop);

    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};

} // namespace quorvel::test
