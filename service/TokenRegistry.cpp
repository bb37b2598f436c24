#include "TokenRegistry.hpp"

#include "util/Base64URL.hpp"
#include "util/Hashing.hpp"

#include <cmath>
#include <openssl/rand.h>
#include <stdexcept>
#include <vector>

namespace quorvel::service {

namespace {

bool isUnreserved(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

ApiFailure unauthorized(const std::string &reason) {
    static const std::map<std::string, std::string> messages{
        {"invalid", "인증 정보가 올바르지 않아요. 다시 로그인해 주세요."},
        {"token_expired", "인증이 만료되었어요."},
        {"expired", "로그인이 만료되었어요. 다시 로그인해 주세요."},
        {"revoked", "이 기기의 연결이 해제되었어요."},
        {"reuse", "이미 사용한 인증 정보예요. 보안을 위해 다시 로그인해 주세요."},
        {"suspended", "계정이 정지되었어요."},
        {"password_changed", "비밀번호가 바뀌었어요. 다시 로그인해 주세요."},
    };
    auto it = messages.find(reason);
    return ApiFailure(401, reason, it == messages.end() ? "인증에 실패했어요." : it->second);
}

ApiFailure invalidGrant(const std::string &message) {
    return ApiFailure(400, "invalid_grant", message);
}

} // namespace

std::string randomToken(size_t bytes) {
    std::vector<uint8_t> buf(bytes);
    if (RAND_bytes(buf.data(), static_cast<int>(buf.size())) != 1) throw std::runtime_error("no secure random bytes");
    return Base64URL::encode(buf);
}

TokenRegistry::TokenRegistry(TokenLifetimes lifetimes) : lifetimes_(lifetimes), nextDeviceId_(101) {}

bool TokenRegistry::isWellFormedVerifier(const std::string &verifier) {
    if (verifier.size() < 43 || verifier.size() > 128) return false;
    for (char c : verifier)
        if (!isUnreserved(c)) return false;
    return true;
}

bool TokenRegistry::isWellFormedChallenge(const std::string &challenge) {
    // S256 challenges are the unpadded Base64URL of 32 bytes.
    if (challenge.size() != 43) return false;
    for (char c : challenge)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'))
            return false;
    return true;
}

bool TokenRegistry::verifierMatches(const std::string &verifier, const std::string &challenge) {
    auto digest = Hashing::sha256(std::span(reinterpret_cast<const uint8_t *>(verifier.data()), verifier.size()));
    return Hashing::constantTimeEquals(Base64URL::encode(digest), challenge);
}

std::string TokenRegistry::issueCode(const std::string &challenge, const std::string &deviceName, double now) {
    std::string code = randomToken(24);
    codes_[code] = Code{challenge, deviceName, now + lifetimes_.linkCode, false, std::nullopt};
    return code;
}

TokenGrant TokenRegistry::issue(int64_t deviceId, double now) {
    TokenGrant grant;
    grant.accessToken = "qat_" + randomToken();
    grant.refreshToken = "qrt_" + randomToken();
    grant.expiresIn = std::llround(lifetimes_.access);
    grant.refreshExpiresIn = std::llround(lifetimes_.refresh);
    grant.deviceId = deviceId;
    access_[grant.accessToken] = Access{deviceId, now, now + lifetimes_.access};
    refresh_[grant.refreshToken] = Refresh{deviceId, now, now + lifetimes_.refresh, std::nullopt, std::nullopt};
    return grant;
}

TokenGrant TokenRegistry::exchange(const std::string &code, const std::string &verifier, const DeviceDetails &device,
                                   double now) {
    if (!linkingEnabled_) throw ApiFailure(403, "link_disabled", "지금은 새 기기를 연결할 수 없어요.");
    if (suspended_) throw unauthorized("suspended");
    auto it = codes_.find(code);
    if (it == codes_.end()) throw invalidGrant("연결 코드가 올바르지 않아요.");
    Code &entry = it->second;
    if (entry.used) {
        // A code seen twice may have leaked: whatever it produced is withdrawn (RFC 6749 4.1.2).
        if (entry.deviceId) revokeDevice(*entry.deviceId);
        throw invalidGrant("이미 사용한 연결 코드예요.");
    }
    entry.used = true;
    if (now >= entry.expiresAt) throw invalidGrant("연결 코드가 만료되었어요. 다시 연결해 주세요.");
    if (!isWellFormedVerifier(verifier))
        throw ApiFailure(400, "invalid_request", "code_verifier 형식이 올바르지 않아요.");
    if (!verifierMatches(verifier, entry.challenge)) throw invalidGrant("연결 검증에 실패했어요.");

    // Linking the same installation again replaces its earlier link.
    for (auto &[id, d] : devices_)
        if (!d.revoked && d.details.uuid == device.uuid) {
            d.revoked = true;
            d.revokeReason = "revoked";
        }
    int64_t deviceId = nextDeviceId_++;
    devices_[deviceId] = Device{device, now, false, ""};
    entry.deviceId = deviceId;
    return issue(deviceId, now);
}

void TokenRegistry::checkDevice(int64_t deviceId, double issuedAt) const {
    auto it = devices_.find(deviceId);
    if (it == devices_.end()) throw unauthorized("invalid");
    if (it->second.revoked) throw unauthorized(it->second.revokeReason);
    if (suspended_) throw unauthorized("suspended");
    if (passwordChangedAt_ && issuedAt <= *passwordChangedAt_) throw unauthorized("password_changed");
}

TokenGrant TokenRegistry::refresh(const std::string &refreshToken, double now) {
    auto it = refresh_.find(refreshToken);
    if (it == refresh_.end()) throw unauthorized("invalid");
    Refresh &entry = it->second;
    checkDevice(entry.deviceId, entry.issuedAt);
    if (entry.rotatedAt) {
        if (entry.successor && lifetimes_.refreshReuseGrace > 0 &&
            now - *entry.rotatedAt <= lifetimes_.refreshReuseGrace)
            return *entry.successor;
        revokeDevice(entry.deviceId, "reuse");
        throw unauthorized("reuse");
    }
    if (now >= entry.expiresAt) throw unauthorized("expired");
    TokenGrant grant = issue(entry.deviceId, now);
    entry.rotatedAt = now;
    entry.successor = grant;
    return grant;
}

int64_t TokenRegistry::authenticate(const std::string &accessToken, double now) const {
    auto it = access_.find(accessToken);
    if (it == access_.end()) throw unauthorized("invalid");
    checkDevice(it->second.deviceId, it->second.issuedAt);
    if (now >= it->second.expiresAt) throw unauthorized("token_expired");
    return it->second.deviceId;
}

void TokenRegistry::revokeDevice(int64_t deviceId, const std::string &reason) {
    auto it = devices_.find(deviceId);
    if (it == devices_.end()) throw ApiFailure(404, "not_found", "no device " + std::to_string(deviceId));
    if (it->second.revoked) return;
    it->second.revoked = true;
    it->second.revokeReason = reason;
}

void TokenRegistry::revokeAll() {
    for (auto &[id, d] : devices_)
        if (!d.revoked) {
            d.revoked = true;
            d.revokeReason = "revoked";
        }
}

void TokenRegistry::expireAccessTokens(double now, std::optional<int64_t> deviceId) {
    for (auto &[token, a] : access_)
        if (!deviceId || a.deviceId == *deviceId) a.expiresAt = std::min(a.expiresAt, now);
}

size_t TokenRegistry::activeDeviceCount() const {
    size_t n = 0;
    for (const auto &[id, d] : devices_)
        n += d.revoked ? 0 : 1;
    return n;
}

nlohmann::json TokenRegistry::devicesJSON() const {
    auto out = nlohmann::json::array();
    for (const auto &[id, d] : devices_)
        out.push_back({{"id", id},
                       {"uuid", d.details.uuid},
                       {"name", d.details.name},
                       {"app_version", d.details.appVersion},
                       {"os_version", d.details.osVersion},
                       {"revoked", d.revoked},
                       {"revoke_reason", d.revoked ? nlohmann::json(d.revokeReason) : nlohmann::json(nullptr)}});
    return out;
}

} // namespace quorvel::service
