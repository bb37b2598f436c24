#include "sync/CurlAssetFetcher.hpp"

#include "api/TransferLimits.hpp"
#include "sync/AssetFetchError.hpp"
#include "sync/ImageRewriter.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace quorvel {

namespace {

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

struct URLParts {
    std::string scheme, host;
    long port = 0;
};

std::optional<URLParts> parseURL(const std::string &url, const std::string &base = {}) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> h(curl_url(), curl_url_cleanup);
    if (!h) return std::nullopt;
    if (!base.empty() && curl_url_set(h.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK) return std::nullopt;
    if (curl_url_set(h.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return std::nullopt;
    URLParts parts;
    auto take = [&](CURLUPart part, std::string &out) {
        char *v = nullptr;
        if (curl_url_get(h.get(), part, &v, 0) == CURLUE_OK && v) out = v;
        curl_free(v);
    };
    take(CURLUPART_SCHEME, parts.scheme);
    take(CURLUPART_HOST, parts.host);
    std::string port;
    take(CURLUPART_PORT, port);
    parts.scheme = lower(parts.scheme);
    parts.host = lower(parts.host);
    parts.port = port.empty() ? 0 : std::strtol(port.c_str(), nullptr, 10);
    return parts;
}

std::string originOf(const URLParts &p) {
    return p.scheme + "://" + p.host + ":" + std::to_string(p.port);
}

// `location` resolved against `current`; empty when it does not parse.
std::string resolve(const std::string &current, const std::string &location) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> h(curl_url(), curl_url_cleanup);
    if (!h || curl_url_set(h.get(), CURLUPART_URL, current.c_str(), 0) != CURLUE_OK) return {};
    if (curl_url_set(h.get(), CURLUPART_URL, location.c_str(), 0) != CURLUE_OK) return {};
    char *v = nullptr;
    std::string out;
    if (curl_url_get(h.get(), CURLUPART_URL, &v, 0) == CURLUE_OK && v) out = v;
    curl_free(v);
    return out;
}

std::string trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return std::string(s);
}

} // namespace

struct CurlAssetFetcher::Transfer {
    int64_t maxBytes;
    std::stop_token stop;
    std::stop_token invalidated;
    std::vector<uint8_t> data;
    std::optional<AssetFetchError> failure;
    bool redirect = false;
    long status = 0;
    std::string location;

    bool shouldStop() const { return stop.stop_requested() || invalidated.stop_requested(); }

    static size_t onHeader(char *buffer, size_t size, size_t count, void *userdata);
    static size_t onBody(char *buffer, size_t size, size_t count, void *userdata);
    static int onProgress(void *userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    CURL *easy = nullptr;
};

size_t CurlAssetFetcher::Transfer::onHeader(char *buffer, size_t size, size_t count, void *userdata) {
    auto &t = *static_cast<Transfer *>(userdata);
    size_t n = size * count;
    std::string_view line(buffer, n);
    if (line.starts_with("HTTP/")) {
        // A new response (after an interim 1xx one): forget what the previous one said.
        t.redirect = false;
        t.location.clear();
        return n;
    }
    if (line == "\r\n" || line == "\n") {
        long status = 0;
        curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
        if (status < 200) return n;
        t.status = status;
        if (status >= 300 && status <= 399 && !t.location.empty()) {
            // The redirect's own body is of no use; the decision is taken after the transfer.
            t.redirect = true;
            return 0;
        }
        if (status < 200 || status > 299) {
            t.failure = AssetFetchError::badStatus(static_cast<int>(status));
            return 0;
        }
        curl_off_t length = -1;
        curl_easy_getinfo(t.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        if (length > t.maxBytes) {
            t.failure = AssetFetchError::tooLarge();
            return 0;
        }
        return n;
    }
    auto colon = line.find(':');
    if (colon != std::string_view::npos && lower(std::string(line.substr(0, colon))) == "location")
        t.location = trim(line.substr(colon + 1));
    return n;
}

size_t CurlAssetFetcher::Transfer::onBody(char *buffer, size_t size, size_t count, void *userdata) {
    auto &t = *static_cast<Transfer *>(userdata);
    size_t n = size * count;
    if (t.failure || t.redirect) return 0;
    if (static_cast<int64_t>(t.data.size() + n) > t.maxBytes) {
        t.failure = AssetFetchError::tooLarge();
        std::vector<uint8_t>().swap(t.data);
        return 0;
    }
    t.data.insert(t.data.end(), reinterpret_cast<uint8_t *>(buffer), reinterpret_cast<uint8_t *>(buffer) + n);
    return n;
}

int CurlAssetFetcher::Transfer::onProgress(void *userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer *>(userdata)->shouldStop() ? 1 : 0;
}

CurlAssetFetcher::CurlAssetFetcher(int64_t maxBytes, double timeoutSeconds, std::string serviceBaseURL,
                                   std::vector<std::string> resolveOverrides)
    : maxBytes_(maxBytes), timeout_(timeoutSeconds), resolveOverrides_(std::move(resolveOverrides)) {
    initCurlOnce();
    if (!serviceBaseURL.empty()) {
        if (auto p = parseURL(serviceBaseURL)) serviceOrigin_ = originOf(*p);
    }
    CURLSH *share = curl_share_init();
    curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &CurlAssetFetcher::lockShare);
    curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &CurlAssetFetcher::unlockShare);
    curl_share_setopt(share, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    share_ = share;
}

CurlAssetFetcher::~CurlAssetFetcher() {
    invalidated_.request_stop();
    curl_share_cleanup(static_cast<CURLSH *>(share_));
}

void CurlAssetFetcher::lockShare(void *, int data, int, void *self) {
    static_cast<CurlAssetFetcher *>(self)->shareLocks_[static_cast<size_t>(data) % 8].lock();
}

void CurlAssetFetcher::unlockShare(void *, int data, void *self) {
    static_cast<CurlAssetFetcher *>(self)->shareLocks_[static_cast<size_t>(data) % 8].unlock();
}

void CurlAssetFetcher::invalidate() {
    invalidated_.request_stop();
}

std::string CurlAssetFetcher::origin(const std::string &url) {
    auto p = parseURL(url);
    if (!p) return "://:0";
    return originOf(*p);
}

bool CurlAssetFetcher::redirectAllowed(const std::string &requested, const std::string &target) const {
    auto to = parseURL(target);
    if (!to || (to->scheme != "http" && to->scheme != "https") || to->host.empty()) return false;
    std::string targetOrigin = originOf(*to);
    if (!serviceOrigin_.empty() && targetOrigin == serviceOrigin_) return true;
    // A public image must not be able to point the app at this machine or its network.
    if (ImageRewriter::isPrivateHost(to->host)) return false;
    if (to->scheme == "https") return true;
    return targetOrigin == origin(requested);
}

FetchedAsset CurlAssetFetcher::fetch(const std::string &url, std::stop_token stop) {
    if (stop.stop_requested() || invalidated_.get_token().stop_requested()) throw AssetFetchError::cancelled();
    if (!parseURL(url)) throw AssetFetchError::network("invalid URL");
    std::string current = url;
    for (int hop = 0;; ++hop) {
        Transfer t{maxBytes_, stop, invalidated_.get_token(), {}, std::nullopt, false, 0, {}};
        FetchedAsset asset = fetchOnce(current, t);
        if (!t.redirect) return asset;
        std::string target = resolve(current, t.location);
        // A refused redirect ends the download with the redirect response itself.
        if (target.empty() || !redirectAllowed(url, target))
            throw AssetFetchError::badStatus(static_cast<int>(t.status));
        if (hop + 1 > maxRedirects) throw AssetFetchError::network("too many redirects");
        current = target;
    }
}

// One request without following redirects; on a redirect it returns an empty asset with `t.redirect` set.
FetchedAsset CurlAssetFetcher::fetchOnce(const std::string &url, Transfer &t) {
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), curl_easy_cleanup);
    CURL *easy = handle.get();
    if (!easy) throw AssetFetchError::network("could not start a transfer");
    t.easy = easy;
    char errorText[CURL_ERROR_SIZE] = {0};
    curl_slist *headers = curl_slist_append(nullptr, "Accept: image/*,*/*;q=0.5");
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headersGuard(headers, curl_slist_free_all);
    curl_slist *resolve = nullptr;
    for (const auto &entry : resolveOverrides_)
        resolve = curl_slist_append(resolve, entry.c_str());
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> resolveGuard(resolve, curl_slist_free_all);
    long timeoutMs = static_cast<long>(std::max(timeout_, 0.001) * 1000.0);

    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // The time-out bounds the connection and any stretch slower than the rate floor, idle or
    // dripping; a large image still arriving at an honest rate is not cut off.
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, TransferLimits::minimumBytesPerSecond);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, TransferLimits::lowSpeedSeconds(timeout_));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT, TransferLimits::hardCeilingSeconds);
    curl_easy_setopt(easy, CURLOPT_SHARE, static_cast<CURLSH *>(share_));
    if (resolve) curl_easy_setopt(easy, CURLOPT_RESOLVE, resolve);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);

    CURLcode rc = curl_easy_perform(easy);
    if (t.failure) throw *t.failure;
    if (t.redirect) return FetchedAsset(std::string(), {});
    if (rc == CURLE_ABORTED_BY_CALLBACK || t.shouldStop()) throw AssetFetchError::cancelled();
    if (rc != CURLE_OK) throw AssetFetchError::network(errorText[0] ? errorText : curl_easy_strerror(rc));
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) throw AssetFetchError::badStatus(static_cast<int>(status));
    if (t.data.empty()) throw AssetFetchError::empty();
    return FetchedAsset(std::move(t.data));
}

} // namespace quorvel
