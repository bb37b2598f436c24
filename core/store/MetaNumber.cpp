#include "store/MetaNumber.hpp"

#include <charconv>
#include <cmath>
#include <limits>

namespace quorvel::MetaNumber {

std::string formatSeconds(double seconds) {
    if (std::isnan(seconds)) return "nan";
    if (std::isinf(seconds)) return seconds > 0 ? "inf" : "-inf";
    // Fixed notation with shortest round-trip precision; large values stay plain digits.
    char buffer[400];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    if (text.find('.') == std::string::npos) text += ".0";
    return text;
}

std::optional<double> parseSeconds(std::string_view text) {
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<int64_t> parseInteger(std::string_view text) {
    int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

int64_t wholeSeconds(double seconds) {
    if (std::isnan(seconds)) return 0;
    // 2^63 is exactly representable; anything at or beyond it would overflow the conversion.
    constexpr double limit = 9223372036854775808.0;
    if (seconds >= limit) return std::numeric_limits<int64_t>::max();
    if (seconds <= -limit) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(std::trunc(seconds));
}

} // namespace quorvel::MetaNumber
