#include "support/HTMLContentChecks.hpp"

#include "html/HTMLEntities.hpp"
#include "html/HTMLTokenizer.hpp"
#include "html/UTF8.hpp"

#include <unicode/normalizer2.h>

#include <algorithm>
#include <vector>

namespace quorvel::checks {
namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool startsWithCI(std::string_view text, std::string_view lowerPrefix) {
    if (text.size() < lowerPrefix.size()) return false;
    for (size_t k = 0; k < lowerPrefix.size(); ++k) {
        if (lower(text[k]) != lowerPrefix[k]) return false;
    }
    return true;
}

bool isLocal(std::string_view value) {
    while (!value.empty() && static_cast<unsigned char>(value.front()) <= 0x20)
        value.remove_prefix(1);
    return startsWithCI(value, "quorvel-asset://") || startsWithCI(value, "data:");
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string excerpt(std::string_view text, size_t at) {
    const size_t from = at > 40 ? at - 40 : 0;
    return std::string(text.substr(from, 100));
}

// An independent, simpler reading of a style sheet: after comments and closed strings
// are set aside, whatever follows a "url(" that is not part of a longer name must be
// local, unless it is a quoted value not closed by ")" (which no browser loads).
std::optional<std::string> cssReference(std::string_view css) {
    size_t i = 0;
    const size_t n = css.size();
    while (i < n) {
        const char c = css[i];
        if (c == '/' && i + 1 < n && css[i + 1] == '*') {
            const size_t close = css.find("*/", i + 2);
            if (close == std::string_view::npos) return std::nullopt;
            i = close + 2;
            continue;
        }
        if (c == '\\') {
            i += 2;
            continue;
        }
        if (c == '"' || c == '\'') {
            size_t j = i + 1;
            while (j < n && css[j] != c && css[j] != '\n' && css[j] != '\r' && css[j] != '\f') {
                j += css[j] == '\\' ? 2 : 1;
            }
            i = (j < n && css[j] == c) ? j + 1 : i + 1;
            continue;
        }
        const bool boundary = i == 0 || !(std::isalnum(static_cast<unsigned char>(css[i - 1])) || css[i - 1] == '-' ||
                                          css[i - 1] == '_' || css[i - 1] == '\\');
        if (boundary && startsWithCI(css.substr(i), "url(")) {
            size_t p = i + 4;
            while (p < n && isSpace(css[p]))
                ++p;
            if (p < n && (css[p] == '"' || css[p] == '\'')) {
                const char quote = css[p];
                size_t j = p + 1;
                bool badString = false;
                while (j < n && css[j] != quote && !badString) {
                    badString = css[j] == '\n' || css[j] == '\r' || css[j] == '\f';
                    j += css[j] == '\\' ? 2 : 1;
                }
                size_t k = j + 1;
                while (k < n && isSpace(css[k]))
                    ++k;
                const bool loads = !badString && (j >= n || k >= n || css[k] == ')');
                if (loads && !isLocal(css.substr(p + 1))) return "css url: " + excerpt(css, i);
            } else if (p < n) {
                if (!isLocal(css.substr(p)) && css[p] != ')') return "css url: " + excerpt(css, i);
                // An unquoted value, good or bad, runs to the first ")" not escaped.
                size_t j = p;
                while (j < n && css[j] != ')')
                    j += css[j] == '\\' ? 2 : 1;
                i = std::min(j + 1, n);
                continue;
            }
        }
        ++i;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> tokenCoverage(std::string_view html) {
    size_t at = 0;
    std::optional<std::string> problem;
    HTMLTokenizer::tokenize(html, [&](const HTMLToken &token) {
        const ByteRange r = tokenRange(token);
        if (problem) return;
        if (r.start != at) {
            problem = "token starts at " + std::to_string(r.start) + ", expected " + std::to_string(at);
        } else if (r.end <= r.start || r.end > html.size()) {
            problem = "bad token end " + std::to_string(r.end) + " at " + std::to_string(r.start);
        }
        at = r.end;
    });
    if (!problem && at != html.size()) {
        problem = "tokens end at " + std::to_string(at) + " of " + std::to_string(html.size());
    }
    return problem;
}

std::optional<std::string> networkImageReference(std::string_view html) {
    std::optional<std::string> problem;
    HTMLTokenizer::tokenize(html, [&](const HTMLToken &token) {
        if (problem) return;
        if (const auto *raw = std::get_if<HTMLRawTextToken>(&token)) {
            if (raw->name == "style") problem = cssReference(html.substr(raw->range.start, raw->range.size()));
            return;
        }
        const auto *tag = std::get_if<HTMLTag>(&token);
        if (!tag || tag->isEnd) return;
        for (const auto &attr : tag->attrs) {
            if (problem) return;
            const std::string value =
                attr.valueRange ? HTMLEntities::decode(html.substr(attr.valueRange->start, attr.valueRange->size()))
                                : std::string();
            const bool img = tag->name == "img" || tag->name == "image";
            if (img && attr.name == "src" && attr.valueRange && !isLocal(value)) {
                problem = "img src: " + excerpt(html, tag->start);
            } else if ((img || tag->name == "source") && attr.name == "srcset") {
                problem = "srcset: " + excerpt(html, tag->start);
            } else if (attr.name == "style") {
                problem = cssReference(value);
            }
        }
    });
    return problem;
}

std::optional<std::string> extractedTextShape(std::string_view text) {
    if (!UTF8::isValid(text)) return "invalid UTF-8";
    if (!text.empty() && (text.front() == ' ' || text.back() == ' ')) return "leading or trailing space";
    if (text.find("  ") != std::string_view::npos) return "two spaces in a row";
    size_t i = 0;
    while (i < text.size()) {
        const char32_t c = UTF8::next(text, i);
        const bool invisible = c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xA0 || (c >= 0x2000 && c <= 0x200D) ||
                               c == 0x2028 || c == 0x2029 || c == 0x3000 || c == 0xFEFF;
        if (invisible) return "whitespace or invisible character U+" + std::to_string(static_cast<uint32_t>(c));
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2 *nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return "no NFC normaliser";
    const bool normalized =
        nfc->isNormalizedUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), status);
    if (U_FAILURE(status) || !normalized) return "not NFC";
    return std::nullopt;
}

} // namespace quorvel::checks
