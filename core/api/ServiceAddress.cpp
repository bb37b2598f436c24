#include "api/ServiceAddress.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <memory>

namespace quorvel::ServiceAddress {

namespace {

std::string part(CURLU *url, CURLUPart which) {
    char *text = nullptr;
    std::string value;
    if (curl_url_get(url, which, &text, 0) == CURLUE_OK && text) value = text;
    curl_free(text);
    return value;
}

} // namespace

std::optional<std::string> normalized(std::string_view text) {
    std::string trimmed(text);
    while (!trimmed.empty() && trimmed.back() == '/')
        trimmed.pop_back();
    if (trimmed.empty() || trimmed.find_first_of(std::string_view("?# \t\r\n\0", 8)) != std::string::npos)
        return std::nullopt;
    const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), curl_url_cleanup);
    if (!url || curl_url_set(url.get(), CURLUPART_URL, trimmed.c_str(), 0) != CURLUE_OK) return std::nullopt;
    const std::string scheme = part(url.get(), CURLUPART_SCHEME);
    if ((scheme != "http" && scheme != "https") || part(url.get(), CURLUPART_HOST).empty()) return std::nullopt;
    const auto sameLetter = [](unsigned char a, unsigned char b) { return std::tolower(a) == b; };
    if (trimmed.size() < scheme.size() + 3 ||
        !std::equal(scheme.begin(), scheme.end(), trimmed.begin(), [&](char a, char b) { return sameLetter(b, a); }) ||
        trimmed.compare(scheme.size(), 3, "://") != 0)
        return std::nullopt;
    // The scheme as everything else compares it: "HTTP://h" and "http://h" are one service.
    std::transform(trimmed.begin(), trimmed.begin() + std::ptrdiff_t(scheme.size()), trimmed.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return trimmed;
}

} // namespace quorvel::ServiceAddress
