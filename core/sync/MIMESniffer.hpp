#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quorvel::MIMESniffer {

// Media type of stored image bytes, named from their leading bytes.
std::string sniff(std::span<const uint8_t> data);

} // namespace quorvel::MIMESniffer
