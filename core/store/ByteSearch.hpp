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

// Appends `text` to `out` with ASCII letters lowered, as LIKE compares them; every other byte as
// it is.
inline void appendLowerASCII(std::string &out, std::string_view text) {
    const size_t at = out.size();
    out.append(text);
    for (size_t k = at; k < out.size(); ++k) {
        if (out[k] >= 'A' && out[k] <= 'Z') out[k] = static_cast<char>(out[k] - 'A' + 'a');
    }
}

inline std::string lowerASCII(std::string_view text) {
    std::string out;
    appendLowerASCII(out, text);
    return out;
}

} // namespace quorvel::ByteSearch
