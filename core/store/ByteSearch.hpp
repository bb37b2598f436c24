#pragma once

#include <cstring>
#include <string>
#include <string_view>

// Substring search over text where most bytes share a few values, as UTF-8 Korean does: a
// search that stops at every byte equal to the needle's first one (std::string_view::find) then
// spends its time comparing; memmem looks at pairs of bytes.
namespace quorvel::ByteSearch {

// Where `needle` first occurs in `haystack` at or after `from`, or npos.
inline size_t find(std::string_view haystack, std::string_view needle, size_t from = 0) {
    if (from > haystack.size()) return std::string_view::npos;
    if (needle.empty()) return from;
    const void *hit = memmem(haystack.data() + from, haystack.size() - from, needle.data(), needle.size());
    return hit ? static_cast<size_t>(static_cast<const char *>(hit) - haystack.data()) : std::string_view::npos;
}

// `text` with ASCII letters lowered, as LIKE compares them; every other byte as it is.
inline std::string lowerASCII(std::string_view text) {
    std::string out(text);
    for (char &c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

} // namespace quorvel::ByteSearch
