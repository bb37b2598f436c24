#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

// A release version "major.minor.patch", compared number by number (1.2.3 < 1.10.0).
struct SemVer {
    int major = 0;
    int minor = 0;
    int patch = 0;

    // Three pieces of 1 to 9 ASCII digits joined by "."; white space around the whole is ignored.
    // Anything else (1.2, 1.2.3.4, v1.2.3, 1.2.3-beta, 1..3, a 10-digit piece) is absent.
    static std::optional<SemVer> parse(std::string_view text);

    std::string toString() const;

    auto operator<=>(const SemVer &) const = default;
    bool operator==(const SemVer &) const = default;
};

} // namespace quorvel
