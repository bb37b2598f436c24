#include "auth/LinkCallbackParser.hpp"

#include "api/CurlGlobal.hpp"
#include "util/ASCIICase.hpp"
#include "util/Hashing.hpp"
#include "util/URLEncoding.hpp"

#include <curl/curl.h>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace quorvel::LinkCallbackParser {

namespace {

struct UrlDeleter {
    void operator()(CURLU *u) const { curl_url_cleanup(u); }
};

std::optional<std::string> urlPart(CURLU *url, CURLUPart part) {
    char *text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK || !text) return std::nullopt;
    std::string out(text);
    curl_free(text);
    return out;
}

bool isValidUTF8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t extra = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (extra > s.size() - i - 1) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF.
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::optional<std::string> decodeQueryPart(std::string_view raw) {
    auto decoded = URLEncoding::decodeComponent(raw);
    if (!decoded || !isValidUTF8(*decoded)) return std::nullopt;
    return decoded;
}

// Name → value; an item without "=" has the empty value and a repeated name keeps its last value.
std::optional<std::map<std::string, std::string>> queryItems(std::string_view query) {
    std::map<std::string, std::string> items;
    size_t start = 0;
    while (start <= query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string_view::npos) end = query.size();
        std::string_view item = query.substr(start, end - start);
        if (!item.empty()) {
            size_t eq = item.find('=');
            auto name = decodeQueryPart(item.substr(0, eq));
            auto value =
                eq == std::string_view::npos ? std::optional<std::string>("") : decodeQueryPart(item.substr(eq + 1));
            if (!name || !value) return std::nullopt;
            items[*name] = std::move(*value);
        }
        start = end + 1;
    }
    return items;
}

} // namespace

LinkCallback parse(std::string_view url, std::string_view expectedState, std::string_view scheme,
                   std::string_view host) {
    // curl reads a C string: an embedded NUL would hide whatever follows it.
    if (url.find('\0') != std::string_view::npos) throw LinkCallbackError::notLinkCallback();
    ensureCurlGlobalInit();
    std::unique_ptr<CURLU, UrlDeleter> handle(curl_url());
    if (!handle) throw LinkCallbackError::notLinkCallback();
    const std::string text(url);
    if (curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        throw LinkCallbackError::notLinkCallback();
    auto urlScheme = urlPart(handle.get(), CURLUPART_SCHEME);
    auto urlHost = urlPart(handle.get(), CURLUPART_HOST);
    if (!urlScheme || !urlHost || !ASCIICase::equal(*urlScheme, scheme) || !ASCIICase::equal(*urlHost, host))
        throw LinkCallbackError::notLinkCallback();

    auto items = queryItems(urlPart(handle.get(), CURLUPART_QUERY).value_or(""));
    if (!items) throw LinkCallbackError::notLinkCallback();

    auto state = items->find("state");
    if (state == items->end() || state->second.empty() || !Hashing::constantTimeEquals(state->second, expectedState))
        throw LinkCallbackError::stateMismatch();

    if (auto error = items->find("error"); error != items->end() && !error->second.empty()) {
        if (error->second == "access_denied") return LinkCallback{LinkCallback::Denied{}};
        throw LinkCallbackError::serverError(error->second);
    }
    if (auto code = items->find("code"); code != items->end() && !code->second.empty())
        return LinkCallback{LinkCallback::Code{code->second}};
    throw LinkCallbackError::missingCode();
}

} // namespace quorvel::LinkCallbackParser
