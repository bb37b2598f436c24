#include "update/SemVer.hpp"

#include <gtest/gtest.h>

using namespace quorvel;

TEST(SemVer, Parse) {
    const std::pair<const char *, SemVer> cases[] = {
        {"1.2.3", {1, 2, 3}},
        {"  1.2.3\n", {1, 2, 3}},
        {"\u30001.2.3\u00a0", {1, 2, 3}}, // ideographic and no-break spaces trim too
        {"0.0.0", {0, 0, 0}},
        {"01.002.3", {1, 2, 3}},
        {"999999999.0.1", {999999999, 0, 1}},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(SemVer::parse(text), expected) << text;
    // Ten digits do not fit; "１" is a full-width digit.
    for (const char *bad : {"1.2", "1.2.3.4", "v1.2.3", "1.2.3-beta", "1..3", "1.2.", ".1.2", "1.2.3.",
                            "1000000000.0.0", "1.-2.3", "1.+2.3", "1. 2.3", "１.2.3", "", " "})
        EXPECT_FALSE(SemVer::parse(bad)) << bad;
}

TEST(SemVer, OrderIsNumeric) {
    const char *ascending[] = {"0.0.1", "0.1.0", "1.2.3", "1.2.10", "1.10.0", "2.0.0", "10.0.0"};
    for (size_t i = 0; i + 1 < std::size(ascending); ++i) {
        EXPECT_LT(*SemVer::parse(ascending[i]), *SemVer::parse(ascending[i + 1])) << ascending[i];
    }
    EXPECT_EQ(SemVer::parse("1.10.0")->toString(), "1.10.0");
    EXPECT_EQ(SemVer::parse("01.2.3")->toString(), "1.2.3");
}
