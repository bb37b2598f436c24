#include "api/APIError.hpp"

#include <gtest/gtest.h>

using namespace quorvel;

TEST(APIErrorTest, DescriptionsFollowTheKind) {
    EXPECT_EQ(APIError::server(503, "maintenance", "back soon").description(), "APIError(503 maintenance) back soon");
    EXPECT_EQ(APIError(APIError::Kind::server).description(), "APIError(0 -) ");
    EXPECT_EQ(APIError::server(500).description(), "APIError(500 -) ");
    EXPECT_EQ(APIError::network("Could not resolve host: x").description(),
              "APIError(network) Could not resolve host: x");
    EXPECT_EQ(APIError(APIError::Kind::network).description(), "APIError(network) ");
    EXPECT_EQ(APIError::decoding("missing data").description(), "APIError(decoding) missing data");
    EXPECT_EQ(APIError::cancelled().description(), "APIError(cancelled)");
    // what() is the description, so a generic catch shows the same text.
    try {
        throw APIError::server(429, "rate_limited");
    } catch (const std::exception &e) {
        EXPECT_STREQ(e.what(), "APIError(429 rate_limited) ");
    }
}

TEST(APIErrorTest, TokenExpiredNeedsStatus401AndTheReason) {
    EXPECT_TRUE(APIError::server(401, "token_expired").isTokenExpired());
    EXPECT_FALSE(APIError::server(403, "token_expired").isTokenExpired());
    EXPECT_FALSE(APIError::server(401, "revoked").isTokenExpired());
    EXPECT_FALSE(APIError::server(401).isTokenExpired());
    // The kind is not consulted.
    EXPECT_TRUE(APIError(APIError::Kind::decoding, 401, "token_expired").isTokenExpired());
}

TEST(APIErrorTest, IsNetworkOnlyForTheNetworkKind) {
    EXPECT_TRUE(APIError::network("x").isNetwork());
    EXPECT_FALSE(APIError::server(502).isNetwork());
    EXPECT_FALSE(APIError::decoding("x").isNetwork());
    EXPECT_FALSE(APIError::cancelled().isNetwork());
}

TEST(APIErrorTest, EqualityComparesEveryField) {
    EXPECT_EQ(APIError::server(429, "r", "m", "1", 3), APIError::server(429, "r", "m", "1", 3));
    EXPECT_NE(APIError::server(429, "r", "m", "1", 3), APIError::server(429, "r", "m", "1", 4));
    EXPECT_NE(APIError::server(429, "r", "m", "1", 3), APIError::server(429, "r", "m", "2", 3));
    EXPECT_NE(APIError::server(429, "r", "m"), APIError::server(429, "r"));
    EXPECT_NE(APIError::network("x"), APIError::decoding("x"));
    EXPECT_EQ(APIError::cancelled(), APIError(APIError::Kind::cancelled, std::nullopt, std::nullopt, "cancelled"));
}
