#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// Proof key for the device link (RFC 7636, method S256) plus the anti-forgery state that the
// callback must echo. The verifier stays in this process until the code exchange.
struct PKCE {
    static constexpr std::string_view verifierAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
    static constexpr std::string_view stateAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

    std::string verifier;
    std::string challenge;
    std::string state;

    // A 64-character verifier, its challenge and a 32-character state.
    static PKCE generate();
    // Lengths are clamped to what RFC 7636 allows (43 to 128) ...
    static std::string randomVerifier(int length = 64);
    // ... and to 16 to 128 for the state.
    static std::string randomState(int length = 32);
    // Base64URL (unpadded) of the SHA-256 of the verifier's UTF-8 bytes: 43 characters.
    static std::string challengeFor(std::string_view verifier);

    bool operator==(const PKCE &) const = default;
};

} // namespace quorvel
