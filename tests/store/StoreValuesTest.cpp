#include "store/MetaNumber.hpp"
#include "store/NameOrder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

using namespace quorvel;

TEST(MetaNumber, SecondsAreTheShortestPlainDecimalThatReadsBack) {
    EXPECT_EQ(MetaNumber::formatSeconds(1700000000), "1700000000.0");
    EXPECT_EQ(MetaNumber::formatSeconds(0), "0.0");
    EXPECT_EQ(MetaNumber::formatSeconds(-2), "-2.0");
    EXPECT_EQ(MetaNumber::formatSeconds(0.1), "0.1");
    EXPECT_EQ(MetaNumber::formatSeconds(1700000000.123456), "1700000000.123456");
    EXPECT_EQ(MetaNumber::formatSeconds(1e21), "1000000000000000000000.0");
    EXPECT_EQ(MetaNumber::formatSeconds(5e-324).substr(0, 6), "0.0000");

    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> times(-1e10, 1e10);
    for (int i = 0; i < 20000; ++i) {
        double t = i % 2 ? times(random) : std::round(times(random));
        auto text = MetaNumber::formatSeconds(t);
        EXPECT_EQ(MetaNumber::parseSeconds(text), t) << text;
        EXPECT_NE(text.find('.'), std::string::npos) << text;
        EXPECT_EQ(text.find('e'), std::string::npos) << text;
    }
}

TEST(MetaNumber, ParsingAcceptsOnlyWholeFiniteNumbers) {
    EXPECT_EQ(MetaNumber::parseSeconds("12.5"), 12.5);
    EXPECT_EQ(MetaNumber::parseSeconds("1e3"), 1000);
    for (const char *bad : {"", " 1", "1 ", "1x", "nan", "inf", "-inf", "1e999", "."})
        EXPECT_EQ(MetaNumber::parseSeconds(bad), std::nullopt) << bad;
    EXPECT_EQ(MetaNumber::parseInteger("-42"), -42);
    EXPECT_EQ(MetaNumber::parseInteger("9223372036854775807"), INT64_MAX);
    for (const char *bad : {"", "4.2", "9223372036854775808", "+1", "1e3", "0x10"})
        EXPECT_EQ(MetaNumber::parseInteger(bad), std::nullopt) << bad;
}

TEST(MetaNumber, WholeSecondsTruncateTowardZeroAndNeverOverflow) {
    EXPECT_EQ(MetaNumber::wholeSeconds(12.99), 12);
    EXPECT_EQ(MetaNumber::wholeSeconds(-12.99), -12);
    EXPECT_EQ(MetaNumber::wholeSeconds(std::nan("")), 0);
    EXPECT_EQ(MetaNumber::wholeSeconds(1e300), INT64_MAX);
    EXPECT_EQ(MetaNumber::wholeSeconds(-std::numeric_limits<double>::infinity()), INT64_MIN);
}

TEST(NameOrder, SortsLikeAFileBrowser) {
    std::vector<std::string> names = {"문서 10", "문서 2",  "문서 1", "Zebra", "apple",
                                      "가나",    "item 20", "Item 3", "b",     "A"};
    std::stable_sort(names.begin(), names.end(), NameOrder::less);
    EXPECT_EQ(names, (std::vector<std::string>{"A", "apple", "b", "Item 3", "item 20", "Zebra", "가나", "문서 1",
                                               "문서 2", "문서 10"}));
    EXPECT_EQ(NameOrder::compare("abc", "ABC"), 0);
    EXPECT_LT(NameOrder::compare("v2.9", "v2.10"), 0);
    EXPECT_NE(NameOrder::compare("resume", "résumé"), 0) << "accents still count";
}
