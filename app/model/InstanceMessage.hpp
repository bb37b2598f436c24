#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// What one process of the app tells the running one over the single-instance channel: a 4-byte
// big-endian length, then that many bytes of UTF-8. Plain C++, so the reader can be fuzzed without Qt.
namespace quorvel::app::InstanceMessage {

inline constexpr size_t maxBytes = 8192;

std::string encode(std::string_view text);

// Takes one whole message off the front of `buffer`. Absent while it is incomplete; `bad` is set
// when the buffer can never start a valid message (longer than maxBytes, or not UTF-8).
std::optional<std::string> decode(std::string &buffer, bool &bad);

} // namespace quorvel::app::InstanceMessage
