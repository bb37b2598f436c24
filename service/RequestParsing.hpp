#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::service {

// The service's own readers of request text (headers and query values).
namespace RequestParsing {

// Strict "x.y.z" with 1 to 9 digits a piece; absent otherwise.
std::optional<std::array<int64_t, 3>> version(std::string_view text);
// "1,2,3": decimal ids without signs or spaces, at most 18 digits each; absent when malformed.
// The empty text is the empty list.
std::optional<std::vector<int64_t>> idList(std::string_view text);
// If-None-Match: one or more entity tags, or "*"; weak comparison (RFC 9110 13.1.2).
bool matchesAnyTag(std::string_view header, std::string_view etag);
// The token of "Bearer <token>" (scheme in any case); empty when there is none.
std::string bearerToken(std::string_view authorization);
// "application/json" with or without parameters, in any case.
bool isJSONMediaType(std::string_view contentType);

} // namespace RequestParsing
} // namespace quorvel::service
