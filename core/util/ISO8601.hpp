#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

struct CivilDate {
    int64_t year = 1970;
    int64_t month = 1;
    int64_t day = 1;
    bool operator==(const CivilDate &) const = default;
};

// The service's timestamps, scanned by hand (no platform formatter, no locale).
// A point in time is seconds since 1970-01-01T00:00:00Z as a double.
namespace ISO8601 {

std::optional<double> parse(std::string_view text);
std::string format(double time);
int64_t daysFromCivil(int64_t year, int64_t month, int64_t day);
CivilDate civilFromDays(int64_t days);

} // namespace ISO8601
} // namespace quorvel
