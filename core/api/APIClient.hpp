#pragma once

#include "api/WireRecords.hpp"

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace quorvel {

// Every call the rest of the system makes to the service, so that a fake can stand in. The client holds
// no tokens (callers pass the access token into each call) and does no retrying, refreshing or caching.
// Every failure is an APIError; a stop requested on `stop` ends the call with kind cancelled.
class APIClient {
public:
    virtual ~APIClient() = default;

    // POST token with grant_type "authorization_code".
    virtual TokenResponse exchangeCode(const std::string &code, const std::string &verifier, const DeviceInfo &device,
                                       std::stop_token stop = {}) = 0;
    // POST token with grant_type "refresh_token".
    virtual TokenResponse refresh(const std::string &refreshToken, std::stop_token stop = {}) = 0;
    // POST logout; revokes the device's tokens on the service.
    virtual void logout(const std::string &accessToken, std::stop_token stop = {}) = 0;
    // GET manifest; an etag that is given and non-empty is sent as If-None-Match.
    virtual ManifestResult manifest(const std::string &accessToken, const std::optional<std::string> &etag,
                                    std::stop_token stop = {}) = 0;
    // GET files for the ids in the given order. Order and completeness of the answer are the service's:
    // index it by id.
    virtual std::vector<FileContent> files(const std::string &accessToken, const std::vector<int64_t> &ids,
                                           std::stop_token stop = {}) = 0;
    // GET shell.
    virtual ShellDoc shell(const std::string &accessToken, std::stop_token stop = {}) = 0;
    // GET latest (no authentication).
    virtual AppRelease latestRelease(std::stop_token stop = {}) = 0;
};

} // namespace quorvel
