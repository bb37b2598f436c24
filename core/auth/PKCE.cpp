#include "auth/PKCE.hpp"

#include "auth/SecureRandom.hpp"
#include "util/Base64URL.hpp"
#include "util/Hashing.hpp"

#include <algorithm>

namespace quorvel {

PKCE PKCE::generate() {
    PKCE out;
    out.verifier = randomVerifier(64);
    out.challenge = challengeFor(out.verifier);
    out.state = randomState(32);
    return out;
}

std::string PKCE::randomVerifier(int length) {
    return SecureRandom::string(verifierAlphabet, static_cast<size_t>(std::clamp(length, 43, 128)));
}

std::string PKCE::randomState(int length) {
    return SecureRandom::string(stateAlphabet, static_cast<size_t>(std::clamp(length, 16, 128)));
}

std::string PKCE::challengeFor(std::string_view verifier) {
    auto digest = Hashing::sha256(std::span(reinterpret_cast<const uint8_t *>(verifier.data()), verifier.size()));
    return Base64URL::encode(digest);
}

} // namespace quorvel
