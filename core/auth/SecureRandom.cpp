#include "auth/SecureRandom.hpp"

#include <array>
#include <climits>
#include <openssl/rand.h>
#include <stdexcept>

namespace quorvel::SecureRandom {

void fill(std::span<uint8_t> out) {
    if (out.empty()) return;
    if (out.size() > static_cast<size_t>(INT_MAX) || RAND_bytes(out.data(), static_cast<int>(out.size())) != 1)
        throw std::runtime_error("secure random source unavailable");
}

std::string string(std::string_view alphabet, size_t length, const ByteSource &source) {
    if (alphabet.empty() || alphabet.size() > 256) throw std::invalid_argument("alphabet size must be 1 to 256");
    const unsigned size = static_cast<unsigned>(alphabet.size());
    // Largest multiple of the alphabet size that fits in a byte: bytes at or above it would
    // favour the first characters, so they are drawn again.
    const unsigned limit = 256 - 256 % size;
    std::string out;
    out.reserve(length);
    std::array<uint8_t, 64> buffer{};
    size_t used = buffer.size();
    while (out.size() < length) {
        if (used == buffer.size()) {
            source(buffer);
            used = 0;
        }
        const unsigned byte = buffer[used++];
        if (byte < limit) out.push_back(alphabet[byte % size]);
    }
    return out;
}

std::string uuid(const ByteSource &source) {
    std::array<uint8_t, 16> b{};
    source(b);
    b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40); // version 4
    b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80); // RFC 4122 variant
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (size_t i = 0; i < b.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
        out.push_back(digits[b[i] >> 4]);
        out.push_back(digits[b[i] & 15]);
    }
    return out;
}

} // namespace quorvel::SecureRandom
