#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The link that opens one stored document in the app: quorvel://open?id=N. The desktop's search,
// quorvel-cli and any other program hand it to the app's single instance.
namespace quorvel::DocumentLink {

inline constexpr std::string_view scheme = "quorvel";
inline constexpr std::string_view host = "open";

// "quorvel://open?id=N" for a non-negative id.
std::string make(int64_t fileId);

// The document id of a link written as make writes it; scheme and host compare case-insensitively,
// and "quorvel://open/?id=N" is the same link. Absent for anything else: another host, a user,
// port or fragment, a query other than the one id, an id with a sign, leading zeros or more
// digits than an int64_t holds.
std::optional<int64_t> parse(std::string_view url);

} // namespace quorvel::DocumentLink
