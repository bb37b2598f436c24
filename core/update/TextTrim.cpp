#include "update/TextTrim.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstddef>
#include <cstdint>

namespace quorvel::TextTrim {

std::string_view whiteSpace(std::string_view text) {
    if (text.size() > static_cast<size_t>(INT32_MAX)) return text; // beyond ICU's offsets; no such text arrives
    const auto *s = reinterpret_cast<const uint8_t *>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t start = 0;
    while (start < length) {
        int32_t next = start;
        UChar32 c;
        U8_NEXT(s, next, length, c);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        start = next;
    }
    int32_t end = length;
    while (end > start) {
        int32_t previous = end;
        UChar32 c;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast" // inside ICU's macro
        U8_PREV(s, start, previous, c);
#pragma GCC diagnostic pop
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        end = previous;
    }
    return text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
}

} // namespace quorvel::TextTrim
