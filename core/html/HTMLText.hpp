#pragma once

#include <array>
#include <string>
#include <string_view>

// Plain text for the search index, and the whitespace normaliser shared with titles and
// queries. Pure functions.
namespace quorvel::HTMLText {

// Tags whose boundaries separate words; all other tags join their neighbours.
extern const std::array<std::string_view, 44> blockTags;

bool isBlockTag(std::string_view lowercaseName);

// One line of NFC text: text content with references decoded, block boundaries as spaces,
// script, style, comments and attribute values left out.
std::string extract(std::string_view html);

// Collapses every run of whitespace to one space, drops control and zero-width characters,
// trims both ends and converts to NFC. Invalid UTF-8 becomes U+FFFD.
std::string normalize(std::string_view text);

} // namespace quorvel::HTMLText
