#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Percent-encoding of URL query values.
namespace quorvel::URLEncoding {

// Every byte except ASCII letters, digits and "-._~" becomes %XX (upper-case hex), so the result is
// safe in any URL component; UTF-8 text is encoded byte by byte.
std::string encodeComponent(std::string_view text);

// Reverses encodeComponent; with plusAsSpace a "+" reads as a space (form encoding). A "%" not followed
// by two hex digits makes the whole text invalid: absent.
std::optional<std::string> decodeComponent(std::string_view text, bool plusAsSpace = false);

// "name=value&name=value", values encoded with encodeComponent and names appended as they stand.
std::string queryString(const std::vector<std::pair<std::string, std::string>> &pairs);

} // namespace quorvel::URLEncoding
