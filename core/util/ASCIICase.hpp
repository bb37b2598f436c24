#pragma once

#include <cstddef>
#include <string_view>

// Case rules of URL schemes and hosts: ASCII letters only, whatever the locale.
namespace quorvel::ASCIICase {

inline char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool equal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

} // namespace quorvel::ASCIICase
