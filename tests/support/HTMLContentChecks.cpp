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

// As a browser's URL parser reads the value: only ASCII whitespace and C0 controls go from its
// front; a NUL there is read as U+FFFD and makes the value a relative URL.
bool isLocal(std::string_view value) {
    while (!value.empty() && value.front() != '\0' && static_cast<unsigned char>(value.front()) <= 0x20)
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

bool isNameByte(std::string_view css, size_t i) {
    const unsigned char c = static_cast<unsigned char>(css[i]);
    if (c == '\\') return i + 1 < css.size() && css[i + 1] != '\n' && css[i + 1] != '\r' && css[i + 1] != '\f';
    return std::isalnum(c) || c == '-' || c == '_' || c >= 0x80;
}

// A name with its escapes undone (ASCII only; anything else reads as "?"), and where it ends.
std::pair<std::string, size_t> readName(std::string_view css, size_t i) {
    std::string name;
    while (i < css.size() && isNameByte(css, i)) {
        if (css[i] != '\\') {
            name += lower(css[i++]);
            continue;
        }
        size_t j = ++i;
        unsigned value = 0;
        while (j < css.size() && j - i < 6 && std::isxdigit(static_cast<unsigned char>(css[j])))
            value = value * 16 + static_cast<unsigned>(std::stoul(std::string(1, css[j++]), nullptr, 16));
        if (j > i) {
            if (j + 1 < css.size() && css[j] == '\r' && css[j + 1] == '\n') {
                j += 2;
            } else if (j < css.size() && isSpace(css[j])) {
                ++j;
            }
            name += value < 0x80 ? lower(static_cast<char>(value)) : '?';
            i = j;
        } else {
            name += static_cast<unsigned char>(css[i]) < 0x80 ? lower(css[i]) : '?';
            ++i;
            while (i < css.size() && (static_cast<unsigned char>(css[i]) & 0xC0) == 0x80)
                ++i;
        }
    }
    return {name, i};
}

// Where a string token that opens at `open` ends, as a style sheet parser reads it: after its
// closing quote, at the line break that makes it a bad string, or at the end of the text.
struct StringToken {
    size_t end;
    bool bad;
};
StringToken stringToken(std::string_view css, size_t open) {
    size_t j = open + 1;
    while (j < css.size() && css[j] != css[open]) {
        if (css[j] == '\n' || css[j] == '\r' || css[j] == '\f') return {j, true};
        j += css[j] == '\\' ? 2 : 1;
    }
    return {std::min(j + 1, css.size()), false};
}

// An independent, simpler reading of a style sheet: after comments and closed strings
// are set aside, whatever follows a url( (its name possibly escaped) must be local, unless it
// is a quoted value not closed by ")" (which no browser loads); so must the strings that
// "@import" names and those directly inside image-set().
std::optional<std::string> cssReference(std::string_view css) {
    size_t i = 0;
    const size_t n = css.size();
    bool importPending = false;
    size_t depth = 0;
    std::vector<size_t> imageSets;
    while (i < n) {
        const char c = css[i];
        if (c == '/' && i + 1 < n && css[i + 1] == '*') {
            const size_t close = css.find("*/", i + 2);
            if (close == std::string_view::npos) return std::nullopt;
            i = close + 2;
            continue;
        }
        if (isSpace(c)) {
            ++i;
            continue;
        }
        const bool afterImport = importPending;
        importPending = false;
        if (c == '@') {
            auto [name, end] = readName(css, i + 1);
            importPending = name == "import";
            i = std::max(end, i + 1);
            continue;
        }
        if (c == '"' || c == '\'') {
            // Nothing inside a string is read as a reference.
            const StringToken token = stringToken(css, i);
            const bool inImageSet = !imageSets.empty() && imageSets.back() + 1 == depth;
            if (!token.bad && (afterImport || inImageSet) && !isLocal(css.substr(i + 1))) {
                return "css string: " + excerpt(css, i);
            }
            i = token.end;
            continue;
        }
        if (c == '(' || c == ')') {
            if (c == '(') ++depth;
            if (c == ')' && depth > 0) --depth;
            if (c == ')' && !imageSets.empty() && imageSets.back() == depth) imageSets.pop_back();
            ++i;
            continue;
        }
        if (!isNameByte(css, i)) {
            ++i;
            continue;
        }
        auto [name, end] = readName(css, i);
        if (end >= n || css[end] != '(') {
            i = end;
            continue;
        }
        if (name != "url") {
            if (name == "image-set" || name == "-webkit-image-set") imageSets.push_back(depth);
            ++depth;
            i = end + 1;
            continue;
        }
        size_t p = end + 1;
        while (p < n && isSpace(css[p]))
            ++p;
        if (p < n && (css[p] == '"' || css[p] == '\'')) {
            const StringToken token = stringToken(css, p);
            size_t k = token.end;
            while (k < n && isSpace(css[k]))
                ++k;
            const bool loads = !token.bad && (k >= n || css[k] == ')');
            if (loads && !isLocal(css.substr(p + 1))) return "css url: " + excerpt(css, i);
            if (loads) {
                i = std::min(k + 1, n);
            } else {
                // Then url( is a function like any other, closed by its own ")".
                ++depth;
                i = token.end;
            }
        } else if (p < n) {
            if (!isLocal(css.substr(p)) && css[p] != ')') return "css url: " + excerpt(css, i);
            // An unquoted value, good or bad, runs to the first ")" not escaped.
            size_t j = p;
            while (j < n && css[j] != ')')
                j += css[j] == '\\' ? 2 : 1;
            i = std::min(j + 1, n);
        } else {
            i = n;
        }
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
