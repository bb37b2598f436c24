#include "util/URLEncoding.hpp"

#include <gtest/gtest.h>

using namespace quorvel;

TEST(URLEncodingTest, LeavesOnlyUnreservedCharacters) {
    EXPECT_EQ(URLEncoding::encodeComponent("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(URLEncoding::encodeComponent("3,1,2"), "3%2C1%2C2");
    EXPECT_EQ(URLEncoding::encodeComponent("a b+c&d=e/f?g#h%"), "a%20b%2Bc%26d%3De%2Ff%3Fg%23h%25");
    EXPECT_EQ(URLEncoding::encodeComponent("\xED\x95\x9C"), "%ED%95%9C"); // 한
    EXPECT_EQ(URLEncoding::encodeComponent(std::string("\0\n", 2)), "%00%0A");
    EXPECT_EQ(URLEncoding::encodeComponent(""), "");
}

TEST(URLEncodingTest, DecodeReversesEncode) {
    std::string all;
    for (int c = 0; c < 256; ++c)
        all.push_back(static_cast<char>(c));
    EXPECT_EQ(URLEncoding::decodeComponent(URLEncoding::encodeComponent(all)), all);
    EXPECT_EQ(URLEncoding::decodeComponent("%ed%95%9c"), "\xED\x95\x9C");
    EXPECT_EQ(URLEncoding::decodeComponent("a+b"), "a+b");
    EXPECT_EQ(URLEncoding::decodeComponent("a+b", true), "a b");
}

TEST(URLEncodingTest, DecodeRejectsBrokenEscapes) {
    EXPECT_FALSE(URLEncoding::decodeComponent("%"));
    EXPECT_FALSE(URLEncoding::decodeComponent("abc%4"));
    EXPECT_FALSE(URLEncoding::decodeComponent("%G0"));
    EXPECT_FALSE(URLEncoding::decodeComponent("%0g"));
    EXPECT_EQ(URLEncoding::decodeComponent("%41%42"), "AB");
}

TEST(URLEncodingTest, QueryStringJoinsPairsAndEncodesOnlyValues) {
    EXPECT_EQ(URLEncoding::queryString({}), "");
    EXPECT_EQ(URLEncoding::queryString({{"ids", ""}}), "ids=");
    EXPECT_EQ(URLEncoding::queryString({{"challenge", "a/b"}, {"device_name", "내 컴퓨터"}}),
              "challenge=a%2Fb&device_name=%EB%82%B4%20%EC%BB%B4%ED%93%A8%ED%84%B0");
}
