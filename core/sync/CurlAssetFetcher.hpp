#pragma once

#include "sync/AssetFetcher.hpp"

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace quorvel {

// Downloads images over libcurl: no cookies, no cache, a byte cap enforced while the body streams in,
// redirects followed by hand under a strict rule, and one connection cache shared by every call.
class CurlAssetFetcher final : public AssetFetcher {
public:
    static constexpr int64_t defaultMaxBytes = 5242880;
    static constexpr int maxRedirects = 10;

    // `serviceBaseURL` names the one origin that redirects may reach even though it is a private host
    // (the sample service on loopback, for example); empty trusts no such origin. `resolveOverrides`
    // pins host names to addresses ("host:port:address", as curl's --resolve), for tests and diagnosis.
    CurlAssetFetcher(int64_t maxBytes, double timeoutSeconds, std::string serviceBaseURL = {},
                     std::vector<std::string> resolveOverrides = {});
    ~CurlAssetFetcher() override;
    CurlAssetFetcher(const CurlAssetFetcher &) = delete;
    CurlAssetFetcher &operator=(const CurlAssetFetcher &) = delete;

    FetchedAsset fetch(const std::string &url, std::stop_token stop = {}) override;

    // Cancels every running download; the fetcher refuses all later calls.
    void invalidate();

    int64_t maxBytes() const { return maxBytes_; }
    double timeout() const { return timeout_; }

    // Lower-case scheme, "://", lower-case host, ":", port (0 when the URL has none); parts that are
    // missing contribute nothing.
    static std::string origin(const std::string &url);

    // Whether a redirect from a download of `requested` may go on to `target`.
    bool redirectAllowed(const std::string &requested, const std::string &target) const;

private:
    struct Transfer;
    FetchedAsset fetchOnce(const std::string &url, Transfer &t);
    static void lockShare(void *, int data, int, void *self);
    static void unlockShare(void *, int data, void *self);

    int64_t maxBytes_;
    double timeout_;
    std::string serviceOrigin_;
    std::vector<std::string> resolveOverrides_;
    void *share_ = nullptr;
    std::array<std::mutex, 8> shareLocks_;
    std::stop_source invalidated_;
};

} // namespace quorvel
