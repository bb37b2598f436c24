#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

// The form a service base URL must have before anything is built on it.
namespace ServiceAddress {

// "http(s)://host[:port][/path]" without trailing slashes and with the scheme in lower case; nullopt for anything else
// (another scheme, no host, a query, a fragment, white space).
std::optional<std::string> normalized(std::string_view text);

} // namespace ServiceAddress

} // namespace quorvel
