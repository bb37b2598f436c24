#include "html/HTMLText.hpp"

#include "html/HTMLEntities.hpp"
#include "html/HTMLTokenizer.hpp"
#include "html/UTF8.hpp"

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>

#include <algorithm>
#include <climits>

namespace quorvel::HTMLText {

const std::array<std::string_view, 44> blockTags = {
    "p",          "div",   "br",    "li",         "ul",   "ol",   "tr",      "td",      "th",      "table",   "thead",
    "tbody",      "tfoot", "h1",    "h2",         "h3",   "h4",   "h5",      "h6",      "section", "article", "header",
    "footer",     "nav",   "aside", "blockquote", "pre",  "hr",   "dt",      "dd",      "dl",      "form",    "figure",
    "figcaption", "title", "head",  "body",       "html", "main", "details", "summary", "caption", "option",  "label",
};

bool isBlockTag(std::string_view lowercaseName) {
    // Every block tag name is at most 10 bytes; longer names cannot match.
    if (lowercaseName.empty() || lowercaseName.size() > 10) return false;
    return std::find(blockTags.begin(), blockTags.end(), lowercaseName) != blockTags.end();
}

namespace {

enum class CharClass { whitespace, dropped, kept };

CharClass classOf(char32_t c) {
    if (c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20 || c == 0xA0) return CharClass::whitespace;
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return CharClass::dropped;
    if (c < 0x2000) return CharClass::kept;
    if (c <= 0x200A || c == 0x2028 || c == 0x2029 || c == 0x3000) return CharClass::whitespace;
    if (c == 0x200B || c == 0x200C || c == 0x200D || c == 0xFEFF) return CharClass::dropped;
    return CharClass::kept;
}

std::string toNFC(std::string text) {
    if (text.size() > static_cast<size_t>(INT32_MAX)) return text; // beyond ICU's index range
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2 *nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return text;
    const icu::StringPiece piece(text.data(), static_cast<int32_t>(text.size()));
    if (nfc->isNormalizedUTF8(piece, status) && U_SUCCESS(status)) return text;
    status = U_ZERO_ERROR;
    std::string out;
    out.reserve(text.size());
    icu::StringByteSink<std::string> sink(&out);
    nfc->normalizeUTF8(0, piece, sink, nullptr, status);
    return U_SUCCESS(status) ? out : text;
}

} // namespace

std::string normalize(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool pendingSpace = false;
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte > 0x20 && byte < 0x7F) {
            // Printable ASCII, the bulk of most documents.
            if (pendingSpace && !out.empty()) out.push_back(' ');
            pendingSpace = false;
            out.push_back(static_cast<char>(byte));
            ++i;
            continue;
        }
        const size_t begin = i;
        const char32_t c = UTF8::next(text, i);
        switch (classOf(c)) {
        case CharClass::whitespace:
            pendingSpace = true;
            break;
        case CharClass::dropped:
            break;
        case CharClass::kept:
            if (pendingSpace && !out.empty()) out.push_back(' ');
            pendingSpace = false;
            if (c == UTF8::replacement) {
                UTF8::append(out, c);
            } else {
                out.append(text.substr(begin, i - begin));
            }
            break;
        }
    }
    return toNFC(std::move(out));
}

std::string extract(std::string_view html) {
    std::string buffer;
    buffer.reserve(html.size() / 2);
    HTMLTokenizer::tokenize(html, [&](const HTMLToken &token) {
        if (const auto *text = std::get_if<HTMLTextToken>(&token)) {
            HTMLEntities::decodeInto(buffer, html.substr(text->range.start, text->range.size()));
        } else if (const auto *tag = std::get_if<HTMLTag>(&token)) {
            if (isBlockTag(tag->name)) buffer.push_back(' ');
        }
    });
    return normalize(buffer);
}

} // namespace quorvel::HTMLText
