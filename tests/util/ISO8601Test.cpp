#include "util/ISO8601.hpp"

#include <cmath>
#include <gtest/gtest.h>

using namespace quorvel;

namespace {
double at(const char *text) {
    auto t = ISO8601::parse(text);
    EXPECT_TRUE(t.has_value()) << text;
    return t.value_or(-1e300);
}
} // namespace

TEST(ISO8601, SeparatorsZonesAndOffsetsInEveryAcceptedForm) {
    double base = at("2024-05-01T12:34:56Z");
    EXPECT_EQ(base, 1714566896.0);
    for (auto text : {"2024-05-01 12:34:56", "2024-05-01t12:34:56", "2024-05-01T12:34:56", "2024-05-01T12:34:56z",
                      "2024-05-01T21:34:56+09:00", "2024-05-01T21:34:56+0900", "2024-05-01T21:34:56+09",
                      "2024-05-01T03:34:56-09:00", "2024-05-01T12:34:56+00:00", "2024-05-01T12:34:56.0+00"})
        EXPECT_EQ(at(text), base) << text;
    // Offsets are not range-checked: +99:99 is taken literally.
    EXPECT_EQ(at("2024-05-01T12:34:56+99:99"), base - (99 * 3600 + 99 * 60));
    // A colon followed by non-digits leaves the minutes at zero and the tail unconsumed.
    EXPECT_FALSE(ISO8601::parse("2024-05-01T12:34:56+09:ab"));
}

TEST(ISO8601, FractionsKeepEveryDigit) {
    double base = at("2024-05-01T12:34:56Z");
    EXPECT_EQ(at("2024-05-01T12:34:56.5Z"), base + 0.5);
    EXPECT_NEAR(at("2024-05-01T12:34:56.123456789Z") - base, 0.123456789, 1e-6);
    EXPECT_NEAR(at("2024-05-01T12:34:56.25"), base + 0.25, 1e-9);
    EXPECT_NEAR(at("2024-05-01T21:34:56.75+09:00"), base + 0.75, 1e-9);
}

TEST(ISO8601, RejectsMalformedAndOutOfRange) {
    // Cut short, run on, or a field with too few digits.
    for (auto text :
         {"", "2024-05-01", "2024-05-01T12:34:5", "2024-05-01T12:34:56.Z", "2024-05-01T12:34:56.",
          "2024-05-01T12:34:56Zx", "2024-05-01T12:34:56+09:00x", "2024-05-01T12:34:56  ", "2024-5-01T12:34:56Z"})
        EXPECT_FALSE(ISO8601::parse(text).has_value()) << '"' << text << '"';
    // Fields out of range or of the wrong shape.
    for (auto text : {"2024-13-01T00:00:00Z", "2024-00-10T00:00:00Z", "2024-05-00T00:00:00Z", "2024-05-01T24:00:00Z",
                      "2024-05-01T00:60:00Z", "2024-05-01T00:00:61Z", "+024-05-01T00:00:00Z", "2024/05/01T00:00:00Z",
                      "2024-05-01X00:00:00Z", "2024-05-01T12:34:56+9", "2024-05-01T12:34:56 Z", "２024-05-01T00:00:00Z",
                      "2024-05-01T12:34:56+", "2024-05-01T12:34:56-0"})
        EXPECT_FALSE(ISO8601::parse(text).has_value()) << '"' << text << '"';
}

TEST(ISO8601, CivilDayArithmetic) {
    // A leap second and impossible days roll forward.
    EXPECT_EQ(at("2024-05-01T23:59:60Z"), at("2024-05-02T00:00:00Z"));
    EXPECT_EQ(at("2023-02-29T00:00:00Z"), at("2023-03-01T00:00:00Z"));
    EXPECT_EQ(at("2024-02-31T00:00:00Z"), at("2024-03-02T00:00:00Z"));
    EXPECT_EQ(ISO8601::daysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(ISO8601::daysFromCivil(2000, 3, 1), 11017);
    EXPECT_EQ(ISO8601::daysFromCivil(1969, 12, 31), -1);
    EXPECT_EQ(ISO8601::daysFromCivil(0, 3, 1), -719468);
    EXPECT_EQ(ISO8601::civilFromDays(11017), (CivilDate{2000, 3, 1}));
    EXPECT_EQ(ISO8601::civilFromDays(-1), (CivilDate{1969, 12, 31}));

    // Every day from year -400 to 10000 round-trips, and consecutive days are consecutive dates.
    int64_t first = ISO8601::daysFromCivil(-400, 1, 1);
    int64_t last = ISO8601::daysFromCivil(10000, 12, 31);
    CivilDate prev = ISO8601::civilFromDays(first - 1);
    for (int64_t d = first; d <= last; ++d) {
        CivilDate c = ISO8601::civilFromDays(d);
        ASSERT_EQ(ISO8601::daysFromCivil(c.year, c.month, c.day), d);
        bool nextDay = c.year == prev.year && c.month == prev.month && c.day == prev.day + 1;
        bool nextMonth = c.day == 1 && ((c.year == prev.year && c.month == prev.month + 1) ||
                                        (c.year == prev.year + 1 && c.month == 1 && prev.month == 12));
        ASSERT_TRUE(nextDay || nextMonth) << d;
        prev = c;
    }
}

TEST(ISO8601, FormatFloorsAndPads) {
    EXPECT_EQ(ISO8601::format(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(ISO8601::format(-1), "1969-12-31T23:59:59Z");
    EXPECT_EQ(ISO8601::format(1.9), "1970-01-01T00:00:01Z");
    EXPECT_EQ(ISO8601::format(-0.5), "1969-12-31T23:59:59Z");
    EXPECT_EQ(ISO8601::format(1714566896.999), "2024-05-01T12:34:56Z");
    EXPECT_EQ(ISO8601::format(ISO8601::daysFromCivil(5, 1, 1) * 86400.0), "0005-01-01T00:00:00Z");
    EXPECT_EQ(ISO8601::format(ISO8601::daysFromCivil(12345, 6, 7) * 86400.0), "12345-06-07T00:00:00Z");
}

TEST(ISO8601, FormatThenParseIsIdentityOnWholeSeconds) {
    // Over three millennia in steps that land on every time of day.
    for (double t = -5e10; t < 2.5e11; t += 7777777.0) {
        ASSERT_EQ(ISO8601::parse(ISO8601::format(t)), std::floor(t)) << t;
    }
}
