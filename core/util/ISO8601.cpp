#include "util/ISO8601.hpp"

#include <cmath>
#include <cstdio>

namespace quorvel::ISO8601 {
namespace {

bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// Reads exactly `count` ASCII digits at `pos`.
std::optional<int64_t> digits(std::string_view s, size_t pos, size_t count) {
    if (pos > s.size() || s.size() - pos < count) return std::nullopt;
    int64_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        auto c = static_cast<unsigned char>(s[pos + i]);
        if (!isDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

} // namespace

std::optional<double> parse(std::string_view s) {
    if (s.size() < 19) return std::nullopt;
    auto year = digits(s, 0, 4);
    if (!year || s[4] != '-') return std::nullopt;
    auto month = digits(s, 5, 2);
    if (!month || s[7] != '-') return std::nullopt;
    auto day = digits(s, 8, 2);
    if (!day) return std::nullopt;
    if (s[10] != 'T' && s[10] != 't' && s[10] != ' ') return std::nullopt;
    auto hour = digits(s, 11, 2);
    if (!hour || s[13] != ':') return std::nullopt;
    auto minute = digits(s, 14, 2);
    if (!minute || s[16] != ':') return std::nullopt;
    auto second = digits(s, 17, 2);
    if (!second) return std::nullopt;
    if (*month < 1 || *month > 12 || *day < 1 || *day > 31 || *hour > 23 || *minute > 59 || *second > 60)
        return std::nullopt;

    double fraction = 0;
    int64_t offset = 0;
    size_t zone = s.size();
    if (s.size() > 19) {
        if (s[19] == '.') {
            if (s.size() < 21 || !isDigit(static_cast<unsigned char>(s[20]))) return std::nullopt;
            double weight = 0.1;
            size_t p = 20;
            while (p < s.size() && isDigit(static_cast<unsigned char>(s[p]))) {
                fraction += (s[p] - '0') * weight;
                weight /= 10;
                ++p;
            }
            zone = p;
        } else {
            zone = 19;
        }
    }
    if (zone < s.size()) {
        char c = s[zone];
        if (c == 'Z' || c == 'z') {
            if (zone + 1 != s.size()) return std::nullopt;
        } else if (c == '+' || c == '-') {
            int64_t sign = c == '+' ? 1 : -1;
            auto hours = digits(s, zone + 1, 2);
            if (!hours) return std::nullopt;
            size_t p = zone + 3;
            if (p < s.size() && s[p] == ':') ++p;
            int64_t minutes = 0;
            if (p <= s.size() && s.size() - p >= 2) {
                if (auto m = digits(s, p, 2)) {
                    minutes = *m;
                    p += 2;
                }
            }
            if (p != s.size()) return std::nullopt;
            offset = sign * (*hours * 3600 + minutes * 60);
        } else {
            return std::nullopt;
        }
    }
    int64_t days = daysFromCivil(*year, *month, *day);
    int64_t secondsOfDay = *hour * 3600 + *minute * 60 + *second;
    return fraction +
           ((static_cast<double>(secondsOfDay) + static_cast<double>(days) * 86400.0) - static_cast<double>(offset));
}

std::string format(double time) {
    // Clamp so that hostile or absurd values cannot overflow the integer conversion.
    double floored = std::floor(time);
    if (!(floored >= -9.2e18)) floored = -9.2e18;
    if (floored > 9.2e18) floored = 9.2e18;
    auto t = static_cast<int64_t>(floored);
    int64_t days = floorDiv(t, 86400);
    int64_t secs = t - days * 86400;
    CivilDate date = civilFromDays(days);
    int64_t hour = secs / 3600;
    int64_t minute = (secs - hour * 3600) / 60;
    int64_t second = secs % 60;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", static_cast<long long>(date.year),
                  static_cast<long long>(date.month), static_cast<long long>(date.day), static_cast<long long>(hour),
                  static_cast<long long>(minute), static_cast<long long>(second));
    return buf;
}

int64_t daysFromCivil(int64_t year, int64_t month, int64_t day) {
    int64_t y = month <= 2 ? year - 1 : year;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t mp = month > 2 ? month - 3 : month + 9;
    int64_t doy = (153 * mp + 2) / 5 + day - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CivilDate civilFromDays(int64_t days) {
    int64_t z = days + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t day = doy - (153 * mp + 2) / 5 + 1;
    int64_t month = mp < 10 ? mp + 3 : mp - 9;
    int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

} // namespace quorvel::ISO8601
