#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quorvel {

// A bound parameter. Alternatives in the order int, double, text, blob, null.
struct SQLiteValue {
    using Blob = std::vector<uint8_t>;
    std::variant<int64_t, double, std::string, Blob, std::monostate> value;

    static SQLiteValue i(int64_t v) { return {v}; }
    static SQLiteValue real(double v) { return {v}; }
    static SQLiteValue text(std::string v) { return {std::move(v)}; }
    static SQLiteValue blob(Blob v) { return {std::move(v)}; }
    static SQLiteValue null() { return {std::monostate{}}; }
    static SQLiteValue opt(const std::optional<int64_t> &v) { return v ? i(*v) : null(); }
    static SQLiteValue opt(const std::optional<std::string> &v) { return v ? text(*v) : null(); }

    bool operator==(const SQLiteValue &) const = default;
};

} // namespace quorvel
