#pragma once

#include "api/APIClient.hpp"

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

} // namespace quorvel::test
