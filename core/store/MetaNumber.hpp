#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Numbers as the store keeps them in text settings and integer columns.
namespace quorvel::MetaNumber {

// The shortest decimal that reads back as the same double, in plain notation; a whole value keeps
// ".0" (1700000000 -> "1700000000.0"). Non-finite values come out as "nan", "inf" or "-inf".
std::string formatSeconds(double seconds);
// The whole text as a finite double; anything else is absent.
std::optional<double> parseSeconds(std::string_view text);
// The whole text as a decimal 64-bit integer with an optional leading '-'.
std::optional<int64_t> parseInteger(std::string_view text);
// Truncated toward zero and clamped to the 64-bit range; NaN gives 0.
int64_t wholeSeconds(double seconds);

} // namespace quorvel::MetaNumber
