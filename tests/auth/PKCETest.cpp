#include "auth/PKCE.hpp"
#include "auth/SecureRandom.hpp"

#include <array>
#include <deque>
#include <gtest/gtest.h>

using namespace quorvel;

namespace {

bool onlyFrom(const std::string &text, std::string_view alphabet) {
    return text.find_first_not_of(alphabet) == std::string::npos;
}

// Pearson's statistic of character counts against a uniform distribution over the alphabet.
double chiSquare(const std::string &sample, std::string_view alphabet) {
    std::vector<double> counts(alphabet.size(), 0);
    for (char c : sample)
        counts[alphabet.find(c)] += 1;
    const double expected = static_cast<double>(sample.size()) / static_cast<double>(alphabet.size());
    double sum = 0;
    for (double n : counts)
        sum += (n - expected) * (n - expected) / expected;
    return sum;
}

// Feeds scripted bytes, then zeros.
SecureRandom::ByteSource scripted(std::vector<uint8_t> bytes) {
    auto queue = std::make_shared<std::deque<uint8_t>>(bytes.begin(), bytes.end());
    return [queue](std::span<uint8_t> out) {
        for (auto &b : out) {
            b = queue->empty() ? 0 : queue->front();
            if (!queue->empty()) queue->pop_front();
        }
    };
}

} // namespace

TEST(PKCE, GenerateGivesMatchingVerifierChallengeAndState) {
    // RFC 7636 appendix B.
    EXPECT_EQ(PKCE::challengeFor("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
              "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    const PKCE p = PKCE::generate();
    EXPECT_EQ(p.verifier.size(), 64u);
    EXPECT_EQ(p.state.size(), 32u);
    EXPECT_EQ(p.challenge.size(), 43u);
    EXPECT_EQ(p.challenge, PKCE::challengeFor(p.verifier));
    EXPECT_TRUE(onlyFrom(p.verifier, PKCE::verifierAlphabet)) << p.verifier;
    EXPECT_TRUE(onlyFrom(p.state, PKCE::stateAlphabet)) << p.state;
    EXPECT_NE(PKCE::generate(), p);
}

TEST(PKCE, LengthsAreClamped) {
    for (auto [asked, verifier, state] :
         {std::tuple{-5, 43u, 16u}, {0, 43u, 16u}, {20, 43u, 20u}, {100, 100u, 100u}, {500, 128u, 128u}}) {
        EXPECT_EQ(PKCE::randomVerifier(asked).size(), verifier) << asked;
        EXPECT_EQ(PKCE::randomState(asked).size(), state) << asked;
    }
}

TEST(SecureRandom, RejectsTheBiasedTopRangeOfBytes) {
    // 66 characters: bytes 0..197 map by remainder, 198..255 are drawn again.
    const std::string s = SecureRandom::string(PKCE::verifierAlphabet, 4, scripted({197, 198, 255, 66, 200, 1, 131}));
    EXPECT_EQ(s, "~AB~");
    // With 64 characters no byte needs rejecting.
    EXPECT_EQ(SecureRandom::string(PKCE::stateAlphabet, 3, scripted({255, 64, 63})), "_A_");
    // A uniform byte stream gives every character the same count.
    std::vector<uint8_t> all;
    for (int round = 0; round < 3; ++round)
        for (int b = 0; b < 256; ++b)
            all.push_back(static_cast<uint8_t>(b));
    const std::string even = SecureRandom::string(PKCE::verifierAlphabet, 3 * 198, scripted(all));
    EXPECT_EQ(chiSquare(even, PKCE::verifierAlphabet), 0.0);
}

TEST(SecureRandom, UUIDIsVersion4InCanonicalUpperCase) {
    EXPECT_EQ(SecureRandom::uuid(scripted(std::vector<uint8_t>(16, 0xFF))), "FFFFFFFF-FFFF-4FFF-BFFF-FFFFFFFFFFFF");
    EXPECT_EQ(SecureRandom::uuid(scripted({})), "00000000-0000-4000-8000-000000000000");
    EXPECT_NE(SecureRandom::uuid(), SecureRandom::uuid());
}
