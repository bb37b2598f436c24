#include "update/UpdatePolicy.hpp"

#include <gtest/gtest.h>

#include <limits>

using namespace quorvel;

namespace {
AppRelease release(std::string latest, std::optional<std::string> minimum = std::nullopt) {
    AppRelease r;
    r.latestVersion = std::move(latest);
    r.minVersion = std::move(minimum);
    return r;
}
} // namespace

TEST(UpdatePolicy, Evaluate) {
    struct Case {
        AppRelease release;
        const char *current;
        std::optional<std::string_view> skipped;
        bool automatic;
        enum { available, mandatory, skipped_, upToDate, invalid } expected;
    };
    const Case cases[] = {
        {release("1.10.0"), "1.2.3", std::nullopt, true, Case::available}, // numeric, not textual
        {release("1.2.3"), "1.2.3", std::nullopt, false, Case::upToDate},
        {release("1.2.3"), "1.10.0", std::nullopt, false, Case::upToDate}, // running a newer build
        // A skip hides the release from automatic checks only, and only the exact version skipped.
        {release("1.3.0"), "1.2.3", "1.3.0", true, Case::skipped_},
        {release("1.3.0"), "1.2.3", " 1.3.0\n", true, Case::skipped_},
        {release("1.3.0"), "1.2.3", "1.3.0", false, Case::available},
        {release("1.3.1"), "1.2.3", "1.3.0", true, Case::available},
        {release("1.3.0"), "1.2.3", "garbage", true, Case::available},
        // Below the minimum the release is mandatory, even when skipped.
        {release("1.3.0", "1.3.0"), "1.2.3", "1.3.0", true, Case::mandatory},
        {release("1.3.0", "1.2.3"), "1.2.3", std::nullopt, false, Case::available},
        {release("1.3.0", "bad"), "1.2.3", "1.3.0", true, Case::skipped_},          // an unparseable minimum is ignored
        {release("1.2.3", "2.0.0"), "1.2.3", std::nullopt, false, Case::mandatory}, // minimum above latest
        {release("1.2"), "1.2.3", std::nullopt, false, Case::invalid},
        {release("1.3.0"), "dev", std::nullopt, false, Case::invalid},
        {release("v1.3.0", "9.9.9"), "1.2.3", std::nullopt, false, Case::invalid},
    };
    for (const auto &c : cases) {
        const UpdateVerdict expected = c.expected == Case::available   ? UpdateVerdict::available(c.release, false)
                                       : c.expected == Case::mandatory ? UpdateVerdict::available(c.release, true)
                                       : c.expected == Case::skipped_  ? UpdateVerdict::skipped(c.release)
                                       : c.expected == Case::upToDate  ? UpdateVerdict::upToDate()
                                                                       : UpdateVerdict::invalid();
        EXPECT_EQ(UpdatePolicy::evaluate(c.release, c.current, c.skipped, c.automatic), expected)
            << c.release.latestVersion << " against " << c.current;
    }
}

TEST(UpdatePolicy, AutomaticCheckDue) {
    const double day = 86400;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // The last check, now, whether another is due.
    const std::tuple<std::optional<double>, double, bool> cases[] = {
        {std::nullopt, 1000, true}, {1000, 1000, false},    {1000, 1000 + day - 1, false},
        {1000, 1000 + day, true},   {1000 + 5, 1000, true}, // a last check in the future
        {nan, 1000, true},
    };
    for (const auto &[last, now, due] : cases)
        EXPECT_EQ(UpdatePolicy::isAutomaticCheckDue(last, now, day), due)
            << (last ? std::to_string(*last) : "none") << " at " << now;
}
