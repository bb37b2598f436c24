#include "html/UTF8.hpp"

#include <gtest/gtest.h>

#include <vector>

using namespace quorvel;

namespace {
std::vector<char32_t> scalars(std::string_view bytes) {
    std::vector<char32_t> out;
    size_t i = 0;
    while (i < bytes.size())
        out.push_back(UTF8::next(bytes, i));
    return out;
}
} // namespace

TEST(UTF8, DecodesWellFormed) {
    EXPECT_EQ(scalars("a\u00E9\uAC00\U0001F600"), (std::vector<char32_t>{U'a', U'\u00E9', U'\uAC00', U'\U0001F600'}));
    EXPECT_TRUE(UTF8::isValid("a\u00E9\uAC00\U0001F600\uFFFD"));
}

TEST(UTF8, ReplacesMaximalSubparts) {
    constexpr char32_t R = UTF8::replacement;
    // Truncated three-byte sequence then ASCII: one replacement for the prefix.
    EXPECT_EQ(scalars("\xE2\x82x"), (std::vector<char32_t>{R, U'x'}));
    // Surrogates, overlongs and values past U+10FFFF are ill-formed byte by byte.
    EXPECT_EQ(scalars("\xED\xA0\x80"), (std::vector<char32_t>{R, R, R}));
    EXPECT_EQ(scalars("\xC0\xAF"), (std::vector<char32_t>{R, R}));
    EXPECT_EQ(scalars("\xF4\x90\x80\x80"), (std::vector<char32_t>{R, R, R, R}));
    EXPECT_EQ(scalars("\xF0\x9F\x98"), (std::vector<char32_t>{R}));
    EXPECT_FALSE(UTF8::isValid("\xED\xA0\x80"));
}

TEST(UTF8, Repaired) {
    EXPECT_EQ(UTF8::repaired("ok \uFFFD"), "ok \uFFFD");
    EXPECT_EQ(UTF8::repaired("a\xFF"
                             "b\xE2\x82"),
              "a\uFFFDb\uFFFD");
    std::string appended;
    for (char32_t c : {U'\u007F', U'\u0080', U'\u07FF', U'\u0800', U'\uFFFF', U'\U00010000', U'\U0010FFFF'}) {
        UTF8::append(appended, c);
    }
    EXPECT_EQ(appended, "\u007F\u0080\u07FF\u0800\uFFFF\U00010000\U0010FFFF");
}
