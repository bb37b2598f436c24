#include "util/URLEncoding.hpp"

#include <gtest/gtest.h>

using namespace quorvel;

TEST(URLEncodingTest, EncodesAllButUnreservedAndDecodesBack) {
    EXPECT_EQ(URLEncoding::encodeComponent("AZaz09-._~ a+&=/?#%,"), "AZaz09-._~%20a%2B%26%3D%2F%3F%23%25%2C");
    std::string all;
    for (int c = 0; c < 256; ++c)
        all.push_back(static_cast<char>(c));
    EXPECT_EQ(URLEncoding::decodeComponent(URLEncoding::encodeComponent(all)), all);
    EXPECT_EQ(URLEncoding::decodeComponent("%ed%95%9c"), "\xED\x95\x9C");
    EXPECT_EQ(URLEncoding::decodeComponent("a+b"), "a+b");
    EXPECT_EQ(URLEncoding::decodeComponent("a+b", true), "a b");
    for (const char *broken : {"%", "abc%4", "%G0", "%0g"})
        EXPECT_FALSE(URLEncoding::decodeComponent(broken)) << broken;
}

TEST(URLEncodingTest, QueryStringJoinsPairsAndEncodesOnlyValues) {
    EXPECT_EQ(URLEncoding::queryString({}), "");
    EXPECT_EQ(URLEncoding::queryString({{"ids", ""}}), "ids=");
    EXPECT_EQ(URLEncoding::queryString({{"challenge", "a/b"}, {"device_name", "내 컴퓨터"}}),
              "challenge=a%2Fb&device_name=%EB%82%B4%20%EC%BB%B4%ED%93%A8%ED%84%B0");
}
