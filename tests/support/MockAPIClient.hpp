#pragma once

#include "api/APIClient.hpp"
#include "api/APIError.hpp"

#include <gmock/gmock.h>

namespace quorvel::test {

// A GoogleMock stand-in for the service client.
class MockAPIClient : public APIClient {
public:
    MOCK_METHOD(TokenResponse, exchangeCode,
                (const std::string &code, const std::string &verifier, const DeviceInfo &device, std::stop_token stop),
                (override));
    MOCK_METHOD(TokenResponse, refresh, (const std::string &refreshToken, std::stop_token stop), (override));
    MOCK_METHOD(void, logout, (const std::string &accessToken, std::stop_token stop), (override));
    MOCK_METHOD(ManifestResult, manifest,
                (const std::string &accessToken, const std::optional<std::string> &etag, std::stop_token stop),
                (override));
    MOCK_METHOD(std::vector<FileContent>, files,
                (const std::string &accessToken, const std::vector<int64_t> &ids, std::stop_token stop), (override));
    MOCK_METHOD(ShellDoc, shell, (const std::string &accessToken, std::stop_token stop), (override));
    MOCK_METHOD(AppRelease, latestRelease, (std::stop_token stop), (override));
};

// A token response for user 7 ("user@example.com") on device 12 unless told otherwise.
inline TokenResponse tokenResponse(std::string accessToken, std::string refreshToken, int64_t expiresIn = 3600,
                                   int64_t userId = 7, int64_t deviceId = 12, std::string email = "user@example.com") {
    return {std::move(accessToken),
            expiresIn,
            std::move(refreshToken),
            30 * 86400,
            deviceId,
            AppUser{userId, std::move(email), std::nullopt}};
}

// The service's answer to an expired access token.
inline APIError tokenExpired() {
    return APIError::server(401, "token_expired", "access token expired");
}

} // namespace quorvel::test
