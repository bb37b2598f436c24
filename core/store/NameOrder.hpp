#pragma once

#include <string_view>

// Document titles in the order desktop file browsers use: case-insensitive, digit runs compared
// by value ("문서 2" before "문서 10"), following the user's locale.
namespace quorvel::NameOrder {

// Negative, zero or positive as `a` sorts before, with or after `b`.
int compare(std::string_view a, std::string_view b);
inline bool less(std::string_view a, std::string_view b) {
    return compare(a, b) < 0;
}

} // namespace quorvel::NameOrder
