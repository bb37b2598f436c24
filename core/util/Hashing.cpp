#include "util/Hashing.hpp"

#include <openssl/evp.h>
#include <openssl/sha.h>
#include <stdexcept>

namespace quorvel::Hashing {

Digest sha256(std::span<const uint8_t> bytes) {
    Digest out{};
    SHA256(bytes.data(), bytes.size(), out.data());
    return out;
}

std::string sha256Hex(std::span<const uint8_t> bytes) {
    return hex(sha256(bytes));
}

std::string sha256Hex(std::string_view text) {
    return sha256Hex(std::span(reinterpret_cast<const uint8_t *>(text.data()), text.size()));
}

std::string hex(std::span<const uint8_t> bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out(bytes.size() * 2, '0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        out[2 * i] = digits[bytes[i] >> 4];
        out[2 * i + 1] = digits[bytes[i] & 15];
    }
    return out;
}

bool constantTimeEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    volatile unsigned char acc = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        acc = static_cast<unsigned char>(acc | (static_cast<unsigned char>(a[i]) ^ static_cast<unsigned char>(b[i])));
    }
    return acc == 0;
}

Sha256Stream::Sha256Stream() : ctx_(EVP_MD_CTX_new()) {
    if (!ctx_ || EVP_DigestInit_ex(static_cast<EVP_MD_CTX *>(ctx_), EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 unavailable");
}

Sha256Stream::~Sha256Stream() {
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX *>(ctx_));
}

void Sha256Stream::update(std::span<const uint8_t> bytes) {
    EVP_DigestUpdate(static_cast<EVP_MD_CTX *>(ctx_), bytes.data(), bytes.size());
}

std::string Sha256Stream::finishHex() {
    Digest out{};
    unsigned int len = 0;
    EVP_DigestFinal_ex(static_cast<EVP_MD_CTX *>(ctx_), out.data(), &len);
    return hex(out);
}

} // namespace quorvel::Hashing
