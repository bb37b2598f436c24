#include "api/APIError.hpp"

#include <gtest/gtest.h>

using namespace quorvel;

TEST(APIErrorTest, DescriptionsFollowTheKindAndAreWhat) {
    const std::pair<APIError, std::string> cases[] = {
        {APIError::server(503, "maintenance", "back soon"), "APIError(503 maintenance) back soon"},
        {APIError(APIError::Kind::server), "APIError(0 -) "},
        {APIError::server(500), "APIError(500 -) "},
        {APIError::network("Could not resolve host: x"), "APIError(network) Could not resolve host: x"},
        {APIError(APIError::Kind::network), "APIError(network) "},
        {APIError::decoding("missing data"), "APIError(decoding) missing data"},
        {APIError::cancelled(), "APIError(cancelled)"},
    };
    for (const auto &[error, text] : cases) {
        EXPECT_EQ(error.description(), text);
        EXPECT_EQ(static_cast<const std::exception &>(error).what(), text);
    }
}

TEST(APIErrorTest, TokenExpiredNeedsStatus401AndTheReasonWhateverTheKind) {
    EXPECT_TRUE(APIError::server(401, "token_expired").isTokenExpired());
    EXPECT_FALSE(APIError::server(403, "token_expired").isTokenExpired());
    EXPECT_FALSE(APIError::server(401, "revoked").isTokenExpired());
    EXPECT_TRUE(APIError(APIError::Kind::decoding, 401, "token_expired").isTokenExpired());
    EXPECT_FALSE(APIError::server(502).isNetwork());
    EXPECT_NE(APIError::server(429, "r", "m", "1", 3), APIError::server(429, "r", "m", "1", 4));
}
