#include "update/ReleaseOperations.hpp"
#include "api/CurlGlobal.hpp"
#include "update/TextTrim.hpp"

#include <curl/curl.h>
#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace quorvel {

namespace {

// The byte offset just past the first `count` grapheme clusters of `text`, or absent when the text
// has no more than `count` of them.
std::optional<size_t> graphemeCut(std::string_view text, int count) {
    if (text.size() > static_cast<size_t>(INT32_MAX)) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UText, decltype(&utext_close)> utext(
        utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status), utext_close);
    std::unique_ptr<icu::BreakIterator> graphemes(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) return std::nullopt;
    graphemes->setText(utext.get(), status);
    if (U_FAILURE(status)) return std::nullopt;
    int32_t boundary = graphemes->first();
    for (int i = 0; i < count; ++i) {
        boundary = graphemes->next();
        if (boundary == icu::BreakIterator::DONE) return std::nullopt;
    }
    if (static_cast<size_t>(boundary) >= text.size()) return std::nullopt;
    return static_cast<size_t>(boundary);
}

struct Url {
    std::string text; // as curl normalises it
    std::string scheme;
    std::string host;
    std::string port;
};

std::optional<Url> parseUrl(std::string_view text) {
    ensureCurlGlobalInit();
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> handle(curl_url(), curl_url_cleanup);
    if (!handle || text.empty() || text.find('\0') != std::string_view::npos) return std::nullopt;
    if (curl_url_set(handle.get(), CURLUPART_URL, std::string(text).c_str(), 0) != CURLUE_OK) return std::nullopt;
    auto part = [&](CURLUPart which, unsigned flags) -> std::optional<std::string> {
        char *value = nullptr;
        if (curl_url_get(handle.get(), which, &value, flags) != CURLUE_OK || !value) return std::nullopt;
        std::string out(value);
        curl_free(value);
        return out;
    };
    auto url = part(CURLUPART_URL, 0);
    auto scheme = part(CURLUPART_SCHEME, 0);
    auto host = part(CURLUPART_HOST, 0);
    auto port = part(CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (!url || !scheme || !host || host->empty() || !port) return std::nullopt;
    std::transform(host->begin(), host->end(), host->begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return Url{*url, *scheme, *host, *port};
}

bool sameOrigin(const Url &a, const Url &b) {
    return a.scheme == b.scheme && a.host == b.host && a.port == b.port;
}

} // namespace

std::string trimmedNotes(const AppRelease &release, int maxLength) {
    std::string_view notes = TextTrim::whiteSpace(release.releaseNotes);
    if (maxLength >= 1) {
        if (auto cut = graphemeCut(notes, maxLength))
            return std::string(TextTrim::whiteSpace(notes.substr(0, *cut))) + "…";
    }
    return std::string(notes);
}

std::optional<std::string> preferredDownloadURL(const AppRelease &release, std::string_view webURL) {
    auto web = parseUrl(webURL);
    if (web && web->scheme != "https" && web->scheme != "http") web.reset();
    for (const std::string *field : {&release.downloadPage, &release.downloadURL}) {
        auto url = parseUrl(*field);
        if (url && (url->scheme == "https" || (web && sameOrigin(*url, *web)))) return url->text;
    }
    if (web) return web->text;
    return std::nullopt;
}

} // namespace quorvel
