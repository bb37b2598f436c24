#include "document/LibraryLinks.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <memory>

namespace quorvel::app {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), lower);
    return text;
}

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The scheme of an absolute URL, lower case; empty when the text does not start with one.
std::string schemeOf(std::string_view url) {
    const size_t colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0 || !isAlpha(url[0])) return {};
    for (char c : url.substr(0, colon))
        if (!isAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return {};
    return lowered(std::string(url.substr(0, colon)));
}

std::string_view withoutFragment(std::string_view url) {
    return url.substr(0, url.find('#'));
}

struct UrlDeleter {
    void operator()(CURLU *u) const { curl_url_cleanup(u); }
};

std::optional<std::string> part(CURLU *url, CURLUPart which, unsigned flags = 0) {
    char *value = nullptr;
    if (curl_url_get(url, which, &value, flags) != CURLUE_OK || !value) return std::nullopt;
    std::string out(value);
    curl_free(value);
    return out;
}

} // namespace

LibraryLinks::LibraryLinks(std::string_view baseURL) {
    auto base = parse(baseURL);
    if (!base || base->extra || !base->fragment.empty() || baseURL.find('#') != std::string_view::npos) return;
    while (!base->path.empty() && base->path.back() == '/')
        base->path.pop_back();
    base_ = std::move(base);
}

std::optional<LibraryLinks::Address> LibraryLinks::parse(std::string_view url) {
    // The engine hands over URLs in their canonical form: ASCII, escaped, "//" after the scheme. What
    // is written otherwise is read differently by different parsers, so it is not read at all.
    if (std::any_of(url.begin(), url.end(), [](char c) { return c <= ' ' || c > '~' || c == '\\'; })) return {};
    const std::string scheme = schemeOf(url);
    if ((scheme != "http" && scheme != "https") || url.substr(scheme.size(), 3) != "://") return {};
    std::unique_ptr<CURLU, UrlDeleter> handle(curl_url());
    const std::string text(url);
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return {};
    CURLU *u = handle.get();
    Address address;
    address.scheme = lowered(part(u, CURLUPART_SCHEME).value_or(""));
    address.host = lowered(part(u, CURLUPART_HOST).value_or(""));
    address.port = part(u, CURLUPART_PORT, CURLU_DEFAULT_PORT).value_or("");
    address.path = part(u, CURLUPART_PATH).value_or("/");
    address.fragment = part(u, CURLUPART_FRAGMENT).value_or("");
    address.extra =
        part(u, CURLUPART_USER) || part(u, CURLUPART_PASSWORD) || part(u, CURLUPART_QUERY) || part(u, CURLUPART_ZONEID);
    if (address.host.empty() || address.port.empty()) return {};
    return address;
}

std::optional<int64_t> LibraryLinks::documentIn(const Address &address) const {
    if (!base_ || address.extra || address.scheme != base_->scheme || address.host != base_->host ||
        address.port != base_->port)
        return std::nullopt;
    std::string_view path = address.path;
    if (!path.starts_with(base_->path)) return std::nullopt;
    path.remove_prefix(base_->path.size());
    for (std::string_view form : documentPaths) {
        if (!path.starts_with(form)) continue;
        const std::string_view id = path.substr(form.size());
        // As the service writes ids: no sign, no leading zero, and small enough for its own reading.
        if (id.empty() || id.size() > 18 || id[0] == '0' ||
            !std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        int64_t value = 0;
        for (char c : id)
            value = value * 10 + (c - '0');
        return value;
    }
    return std::nullopt;
}

LinkTarget LibraryLinks::classify(std::string_view url, std::string_view pageURL) const {
    const std::string scheme = schemeOf(url);
    if (scheme == "mailto") return {LinkTarget::Kind::mail, 0, {}};
    if (scheme == "http" || scheme == "https") {
        if (base_) {
            if (auto address = parse(url)) {
                if (auto id = documentIn(*address)) return {LinkTarget::Kind::document, *id, address->fragment};
            }
        }
        return {LinkTarget::Kind::web, 0, {}};
    }
    if (!pageURL.empty() && url.find('#') != std::string_view::npos && withoutFragment(url) == withoutFragment(pageURL))
        return {LinkTarget::Kind::anchor, 0, {}};
    return {};
}

} // namespace quorvel::app
