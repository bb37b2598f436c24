#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel::UTF8 {

inline constexpr char32_t replacement = U'\uFFFD';

// Decodes the scalar starting at `i` and advances `i` past it. An ill-formed sequence
// yields U+FFFD and consumes its maximal valid prefix (at least one byte), the usual
// replacement practice. `i` must be less than the size.
char32_t next(std::string_view bytes, size_t &i);

void append(std::string &out, char32_t scalar);

// The bytes with every ill-formed sequence replaced by U+FFFD; well-formed input is returned unchanged.
std::string repaired(std::string bytes);

bool isValid(std::string_view bytes);

} // namespace quorvel::UTF8
