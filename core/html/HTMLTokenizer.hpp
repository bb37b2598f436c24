#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quorvel {

// Half-open byte range into the tokenized input.
struct ByteRange {
    size_t start = 0;
    size_t end = 0;
    size_t size() const { return end - start; }
    bool operator==(const ByteRange &) const = default;
};

struct HTMLAttribute {
    std::string name; // ASCII-lowercased
    // Start of the gap before the attribute: erasing leadingStart..end removes it with its whitespace.
    size_t leadingStart = 0;
    size_t start = 0;
    size_t end = 0;
    // Without quotes; absent when the attribute has no "=".
    std::optional<ByteRange> valueRange;
    bool operator==(const HTMLAttribute &) const = default;
};

struct HTMLTag {
    std::string name; // ASCII-lowercased
    bool isEnd = false;
    bool selfClosing = false;
    size_t start = 0; // the "<"
    size_t end = 0;   // just past the ">"
    std::vector<HTMLAttribute> attrs;
    bool operator==(const HTMLTag &) const = default;
};

struct HTMLTextToken {
    ByteRange range;
    bool operator==(const HTMLTextToken &) const = default;
};

// Comments, doctypes and other "<!" declarations, processing instructions.
struct HTMLMarkupToken {
    ByteRange range;
    bool operator==(const HTMLMarkupToken &) const = default;
};

// The body of a style or script element.
struct HTMLRawTextToken {
    std::string name;
    ByteRange range;
    bool operator==(const HTMLRawTextToken &) const = default;
};

using HTMLToken = std::variant<HTMLTextToken, HTMLMarkupToken, HTMLTag, HTMLRawTextToken>;

// Byte range covered by any token.
ByteRange tokenRange(const HTMLToken &token);

// A forgiving single-pass scanner: never rejects input, builds no tree. The tokens it
// reports cover the input exactly, in order, so callers can splice the bytes by range
// and reproduce everything they leave alone.
namespace HTMLTokenizer {

using Handler = std::function<void(const HTMLToken &)>;

void tokenize(std::string_view bytes, const Handler &handler);

// First offset >= from where needle occurs, comparing haystack bytes ASCII-lowercased
// against the (already lowercase) needle.
std::optional<size_t> indexOfCI(std::string_view haystack, std::string_view needle, std::ptrdiff_t from);

// Parses the tag whose "<" is at `lt` and whose name starts at `nameStart`; absent when
// the input ends before the tag is closed.
std::optional<HTMLTag> parseTag(std::string_view bytes, size_t lt, size_t nameStart, bool isEnd);

} // namespace HTMLTokenizer

} // namespace quorvel
