#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quorvel::Hashing {

using Digest = std::array<uint8_t, 32>;

Digest sha256(std::span<const uint8_t> bytes);
std::string sha256Hex(std::span<const uint8_t> bytes);
// Over the text's own bytes (UTF-8), with no normalisation.
std::string sha256Hex(std::string_view text);
std::string hex(std::span<const uint8_t> bytes);
// Running time depends only on the length, never on where the texts differ.
bool constantTimeEquals(std::string_view a, std::string_view b);

// Incremental SHA-256 for data that arrives in pieces (downloads).
class Sha256Stream {
public:
    Sha256Stream();
    ~Sha256Stream();
    Sha256Stream(const Sha256Stream &) = delete;
    Sha256Stream &operator=(const Sha256Stream &) = delete;
    void update(std::span<const uint8_t> bytes);
    std::string finishHex();

private:
    void *ctx_;
};

} // namespace quorvel::Hashing
