#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::HTMLEntities {

struct NamedReference {
    std::string_view name;
    char32_t scalar;
};

// The only named references recognised; names match case-sensitively.
extern const std::array<NamedReference, 40> named;

// Replaces character references (the named table, decimal and hexadecimal) with their
// UTF-8; anything that does not resolve is copied as written. One level only.
std::string decode(std::string_view bytes);
// The same, appending to `out`.
void decodeInto(std::string &out, std::string_view bytes);

// The scalar a reference name (the text between "&" and ";") stands for.
std::optional<char32_t> resolve(std::string_view name);

// Escapes text for a double-quoted attribute value.
std::string encodeAttribute(std::string_view value);

} // namespace quorvel::HTMLEntities
