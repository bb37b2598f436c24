#include "html/HTMLTokenizer.hpp"

#include <cstring>

namespace quorvel {

ByteRange tokenRange(const HTMLToken &token) {
    return std::visit(
        [](const auto &t) -> ByteRange {
            if constexpr (std::is_same_v<std::decay_t<decltype(t)>, HTMLTag>) {
                return {t.start, t.end};
            } else {
                return t.range;
            }
        },
        token);
}

namespace HTMLTokenizer {
namespace {

constexpr bool isSpace(char c) {
    return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}
constexpr bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
constexpr char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

void assignLower(std::string &out, std::string_view bytes) {
    out.assign(bytes);
    for (char &c : out)
        c = lower(c);
}

size_t findByte(std::string_view bytes, char c, size_t from) {
    if (from >= bytes.size()) return bytes.size();
    const void *hit = std::memchr(bytes.data() + from, c, bytes.size() - from);
    return hit ? static_cast<size_t>(static_cast<const char *>(hit) - bytes.data()) : bytes.size();
}

// End of a comment whose "<!--" is at i. Besides the ordinary "-->", the abrupt endings
// "<!-->", "<!--->" and the "--!>" terminator close a comment in browsers; a scanner that
// ran on past them would hide live markup from the image rewriter.
size_t commentEnd(std::string_view bytes, size_t i) {
    const size_t n = bytes.size();
    size_t p = i + 4;
    if (p < n && bytes[p] == '>') return p + 1;
    if (p + 1 < n && bytes[p] == '-' && bytes[p + 1] == '>') return p + 2;
    while (true) {
        p = findByte(bytes, '-', p);
        if (p + 2 >= n) return n;
        if (bytes[p + 1] == '-') {
            if (bytes[p + 2] == '>') return p + 3;
            if (bytes[p + 2] == '!' && p + 3 < n && bytes[p + 3] == '>') return p + 4;
        }
        ++p;
    }
}

// Where the raw text from `from` ends: at the closer ("</style") when it ends the name
// as browsers require (whitespace, "/", ">" or the end of input follow), else at the end.
// "</styled>" inside a style sheet must not end it early: what followed would be taken
// for markup while a browser still reads it as CSS.
size_t rawTextEnd(std::string_view bytes, size_t from, const std::string &closer) {
    while (true) {
        const auto at = indexOfCI(bytes, closer, static_cast<std::ptrdiff_t>(from));
        if (!at) return bytes.size();
        const size_t after = *at + closer.size();
        if (after >= bytes.size() || isSpace(bytes[after]) || bytes[after] == '/' || bytes[after] == '>') return *at;
        from = *at + 1;
    }
}

bool parseTagInto(std::string_view bytes, size_t lt, size_t nameStart, bool isEnd, HTMLTag &tag) {
    const size_t n = bytes.size();
    size_t p = nameStart;
    while (p < n && !isSpace(bytes[p]) && bytes[p] != '/' && bytes[p] != '>')
        ++p;
    if (p >= n) return false;
    assignLower(tag.name, bytes.substr(nameStart, p - nameStart));
    tag.isEnd = isEnd;
    tag.selfClosing = false;
    tag.start = lt;
    tag.attrs.clear();
    size_t gapStart = p;
    while (p < n) {
        const char c = bytes[p];
        if (isSpace(c)) {
            ++p;
        } else if (c == '>') {
            tag.end = p + 1;
            return true;
        } else if (c == '/' && p + 1 < n && bytes[p + 1] == '>') {
            tag.selfClosing = true;
            tag.end = p + 2;
            return true;
        } else if (c == '/' || c == '"' || c == '\'' || c == '=') {
            ++p;
            gapStart = p;
        } else {
            HTMLAttribute &attr = tag.attrs.emplace_back();
            attr.leadingStart = gapStart;
            attr.start = p;
            while (p < n && !isSpace(bytes[p]) && bytes[p] != '/' && bytes[p] != '=' && bytes[p] != '>')
                ++p;
            assignLower(attr.name, bytes.substr(attr.start, p - attr.start));
            attr.end = p;
            attr.valueRange.reset();
            while (p < n && isSpace(bytes[p]))
                ++p;
            if (p < n && bytes[p] == '=') {
                ++p;
                while (p < n && isSpace(bytes[p]))
                    ++p;
                if (p < n && (bytes[p] == '"' || bytes[p] == '\'')) {
                    const size_t close = findByte(bytes, bytes[p], p + 1);
                    if (close >= n) return false;
                    attr.valueRange = ByteRange{p + 1, close};
                    p = close + 1;
                } else {
                    const size_t valueStart = p;
                    while (p < n && !isSpace(bytes[p]) && bytes[p] != '>')
                        ++p;
                    attr.valueRange = ByteRange{valueStart, p};
                }
                attr.end = p;
            }
            gapStart = attr.end;
        }
    }
    return false;
}

} // namespace

std::optional<size_t> indexOfCI(std::string_view haystack, std::string_view needle, std::ptrdiff_t from) {
    if (needle.empty() || from < 0) return std::nullopt;
    const size_t start = static_cast<size_t>(from);
    if (start >= haystack.size() || haystack.size() - start < needle.size()) return std::nullopt;
    const size_t last = haystack.size() - needle.size();
    const char first = needle[0];
    const bool firstHasCase = first >= 'a' && first <= 'z';
    for (size_t i = start; i <= last; ++i) {
        if (!firstHasCase) {
            // Jump straight to the next candidate; most needles here start with "<".
            i = findByte(haystack, first, i);
            if (i > last) return std::nullopt;
        } else if (lower(haystack[i]) != first) {
            continue;
        }
        size_t k = 1;
        while (k < needle.size() && lower(haystack[i + k]) == needle[k])
            ++k;
        if (k == needle.size()) return i;
    }
    return std::nullopt;
}

std::optional<HTMLTag> parseTag(std::string_view bytes, size_t lt, size_t nameStart, bool isEnd) {
    HTMLTag tag;
    if (nameStart > bytes.size() || !parseTagInto(bytes, lt, nameStart, isEnd, tag)) return std::nullopt;
    return tag;
}

void tokenize(std::string_view bytes, const Handler &handler) {
    const size_t n = bytes.size();
    size_t t = 0;
    size_t i = 0;
    HTMLToken current{HTMLTextToken{}};
    auto emitText = [&](size_t end) {
        if (end > t) handler(HTMLToken{HTMLTextToken{{t, end}}});
    };
    // One tag object is reused so its attribute vector keeps its capacity across tags.
    HTMLTag scratch;
    while (true) {
        i = findByte(bytes, '<', i);
        if (i + 1 >= n) break;
        const char next = bytes[i + 1];
        if (next == '?' || next == '!') {
            size_t end;
            if (next == '!' && n - i >= 4 && bytes[i + 2] == '-' && bytes[i + 3] == '-') {
                end = commentEnd(bytes, i);
            } else {
                end = findByte(bytes, '>', i + 2);
                end = end < n ? end + 1 : n;
            }
            emitText(i);
            handler(HTMLToken{HTMLMarkupToken{{i, end}}});
            t = i = end;
            continue;
        }
        const bool isEnd = next == '/' && i + 2 < n && isAlpha(bytes[i + 2]);
        if (!isEnd && !isAlpha(next)) {
            ++i;
            continue;
        }
        if (!parseTagInto(bytes, i, isEnd ? i + 2 : i + 1, isEnd, scratch)) break;
        emitText(i);
        const size_t tagEnd = scratch.end;
        const bool raw = !isEnd && !scratch.selfClosing && (scratch.name == "style" || scratch.name == "script");
        std::string rawName = raw ? scratch.name : std::string();
        current = std::move(scratch);
        handler(current);
        scratch = std::move(std::get<HTMLTag>(current));
        t = i = tagEnd;
        if (raw) {
            const size_t close = rawTextEnd(bytes, tagEnd, "</" + rawName);
            if (close > tagEnd) {
                handler(HTMLToken{HTMLRawTextToken{std::move(rawName), {tagEnd, close}}});
                t = i = close;
            }
        }
    }
    emitText(n);
}

} // namespace HTMLTokenizer
} // namespace quorvel
