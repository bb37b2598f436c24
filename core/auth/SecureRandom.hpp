#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace quorvel::SecureRandom {

// Fills the buffer with bytes from a source of random bytes.
using ByteSource = std::function<void(std::span<uint8_t>)>;

// OpenSSL's CSPRNG. Throws std::runtime_error when it cannot deliver: secrets are never made
// from a weaker source.
void fill(std::span<uint8_t> out);

// `length` characters, each uniform over `alphabet` (1 to 256 characters). Bytes from the
// biased top range are rejected rather than reduced modulo the alphabet size.
std::string string(std::string_view alphabet, size_t length, const ByteSource &source = fill);

// A random (version 4) UUID in canonical upper-case form, 36 characters.
std::string uuid(const ByteSource &source = fill);

} // namespace quorvel::SecureRandom
