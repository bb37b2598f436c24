#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// What a desktop's search hands over (GNOME Shell's terms, KRunner's typed text) as a query for the
// store: any process on the session bus may call, so the text is bounded and tamed first.
namespace quorvel::provider::ProviderQuery {

inline constexpr size_t maxWords = 16;
inline constexpr size_t maxScalars = 256;

// The terms joined by single spaces. Control characters count as spaces and ill-formed UTF-8 as
// U+FFFD; at most maxWords words and maxScalars characters are kept, whole words only. Empty when
// nothing is left to search for.
std::string fromTerms(const std::vector<std::string> &terms);
std::string fromText(std::string_view text);

} // namespace quorvel::provider::ProviderQuery
