#include "auth/LinkURL.hpp"

#include "api/CurlGlobal.hpp"
#include "util/URLEncoding.hpp"

#include <curl/curl.h>
#include <memory>
#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace quorvel::LinkURL {

namespace {

constexpr int32_t maxDeviceNameLength = 60;

// White space and line breaks as a user would see them: space separators and the line and
// paragraph breaks (C0 controls are already gone by the time this is asked).
bool isWhiteSpaceOrNewline(UChar32 c) {
    return u_charType(c) == U_SPACE_SEPARATOR || c == 0x85 || c == 0x2028 || c == 0x2029 || (c >= 0x09 && c <= 0x0D);
}

struct UrlDeleter {
    void operator()(CURLU *u) const { curl_url_cleanup(u); }
};

bool parsesAsURL(const std::string &text) {
    ensureCurlGlobalInit();
    std::unique_ptr<CURLU, UrlDeleter> handle(curl_url());
    return handle && curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), 0) == CURLUE_OK;
}

} // namespace

std::string cleanDeviceName(std::string_view name) {
    // Invalid UTF-8 becomes U+FFFD rather than reaching the URL.
    const icu::UnicodeString input =
        icu::UnicodeString::fromUTF8(icu::StringPiece(name.data(), static_cast<int32_t>(name.size())));
    icu::UnicodeString kept;
    for (int32_t i = 0; i < input.length();) {
        UChar32 c = input.char32At(i);
        i += U16_LENGTH(c);
        if (c < 0x20 || c == 0x7F) continue;
        kept.append(c);
    }

    int32_t start = 0;
    int32_t end = kept.length();
    while (start < end && isWhiteSpaceOrNewline(kept.char32At(start)))
        start += U16_LENGTH(kept.char32At(start));
    while (end > start && isWhiteSpaceOrNewline(kept.char32At(end - 1)))
        end -= U16_LENGTH(kept.char32At(end - 1));
    icu::UnicodeString trimmed(kept, start, end - start);

    // Cut between grapheme clusters, so a letter is never split from its marks.
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> graphemes(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_SUCCESS(status) && graphemes) {
        graphemes->setText(trimmed);
        int32_t boundary = graphemes->first();
        int32_t count = 0;
        while (boundary != icu::BreakIterator::DONE && count < maxDeviceNameLength) {
            boundary = graphemes->next();
            ++count;
        }
        if (boundary != icu::BreakIterator::DONE) trimmed.truncate(boundary);
    }

    std::string out;
    trimmed.toUTF8String(out);
    return out;
}

std::optional<std::string> make(std::string_view base, std::string_view challenge, std::string_view state,
                                std::string_view deviceName) {
    while (!base.empty() && base.back() == '/')
        base.remove_suffix(1);
    std::string url(base);
    url += "/app/link?challenge=";
    url += URLEncoding::encodeComponent(challenge);
    url += "&state=";
    url += URLEncoding::encodeComponent(state);
    url += "&device_name=";
    url += URLEncoding::encodeComponent(cleanDeviceName(deviceName));
    if (url.find('\0') != std::string::npos || !parsesAsURL(url)) return std::nullopt;
    return url;
}

} // namespace quorvel::LinkURL
