#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quorvel::Base64URL {

// URL-safe Base64 without padding (RFC 4648 §5). There is deliberately no decoder.
std::string encode(std::span<const uint8_t> bytes);

} // namespace quorvel::Base64URL
