#include "update/SemVer.hpp"
#include "update/TextTrim.hpp"

#include <charconv>

namespace quorvel {

namespace {

constexpr size_t maxDigits = 9; // so every piece fits an int

std::optional<int> piece(std::string_view text) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

std::optional<SemVer> SemVer::parse(std::string_view text) {
    text = TextTrim::whiteSpace(text);
    int parts[3];
    for (int i = 0; i < 3; ++i) {
        size_t dot = text.find('.');
        bool last = i == 2;
        if (last != (dot == std::string_view::npos)) return std::nullopt;
        auto value = piece(text.substr(0, dot));
        if (!value) return std::nullopt;
        parts[i] = *value;
        if (!last) text.remove_prefix(dot + 1);
    }
    return SemVer{parts[0], parts[1], parts[2]};
}

std::string SemVer::toString() const {
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

} // namespace quorvel
