#include "support/FakeAPIClient.hpp"

namespace quorvel::test {

namespace {

template <class Handler>
const Handler &require(const Handler &handler, const char *endpoint) {
    if (!handler) throw APIError::network(std::string("FakeAPIClient: no answer scripted for ") + endpoint);
    return handler;
}

} // namespace

void FakeAPIClient::record(Call call, const std::stop_token &stop) {
    if (stop.stop_requested()) throw APIError::cancelled();
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
}

TokenResponse FakeAPIClient::exchangeCode(const std::string &code, const std::string &verifier,
                                          const DeviceInfo &device, std::stop_token stop) {
    record({.endpoint = "exchangeCode", .credential = code, .verifier = verifier, .device = device}, stop);
    return require(onExchangeCode, "exchangeCode")(code, verifier, device);
}

TokenResponse FakeAPIClient::refresh(const std::string &refreshToken, std::stop_token stop) {
    record({.endpoint = "refresh", .credential = refreshToken}, stop);
    return require(onRefresh, "refresh")(refreshToken);
}

void FakeAPIClient::logout(const std::string &accessToken, std::stop_token stop) {
    record({.endpoint = "logout", .credential = accessToken}, stop);
    require(onLogout, "logout")(accessToken);
}

ManifestResult FakeAPIClient::manifest(const std::string &accessToken, const std::optional<std::string> &etag,
                                       std::stop_token stop) {
    record({.endpoint = "manifest", .credential = accessToken, .etag = etag}, stop);
    return require(onManifest, "manifest")(accessToken, etag);
}

std::vector<FileContent> FakeAPIClient::files(const std::string &accessToken, const std::vector<int64_t> &ids,
                                              std::stop_token stop) {
    record({.endpoint = "files", .credential = accessToken, .ids = ids}, stop);
    return require(onFiles, "files")(accessToken, ids);
}

ShellDoc FakeAPIClient::shell(const std::string &accessToken, std::stop_token stop) {
    record({.endpoint = "shell", .credential = accessToken}, stop);
    return require(onShell, "shell")(accessToken);
}

AppRelease FakeAPIClient::latestRelease(std::stop_token stop) {
    record({.endpoint = "latestRelease"}, stop);
    return require(onLatestRelease, "latestRelease")();
}

std::vector<FakeAPIClient::Call> FakeAPIClient::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

size_t FakeAPIClient::count(std::string_view endpoint) const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (const auto &call : calls_)
        n += call.endpoint == endpoint ? 1 : 0;
    return n;
}

std::vector<std::string> FakeAPIClient::credentials(std::string_view endpoint) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto &call : calls_)
        if (call.endpoint == endpoint) out.push_back(call.credential);
    return out;
}

TokenResponse FakeAPIClient::tokenResponse(std::string accessToken, std::string refreshToken, int64_t expiresIn,
                                           int64_t userId, int64_t deviceId, std::string email) {
    TokenResponse r;
    r.accessToken = std::move(accessToken);
    r.expiresIn = expiresIn;
    r.refreshToken = std::move(refreshToken);
    r.refreshExpiresIn = 30 * 86400;
    r.deviceId = deviceId;
    r.user.id = userId;
    r.user.email = std::move(email);
    return r;
}

APIError FakeAPIClient::tokenExpired() {
    return APIError::server(401, "token_expired", "access token expired");
}

} // namespace quorvel::test
