#pragma once

#include <string_view>

namespace quorvel::TextTrim {

// `text` (UTF-8) without the Unicode white space and line breaks at either end (spaces, tabs, line and
// paragraph separators, no-break and ideographic spaces). Ill-formed bytes are kept.
std::string_view whiteSpace(std::string_view text);

} // namespace quorvel::TextTrim
