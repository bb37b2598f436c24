#pragma once

#include "store/SnippetSegment.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The snippet cut from a body by case-insensitive search (LocalStore::makeSnippet), working from
// the start of the body only as far as it must: text is folded as the search advances, so a hit
// near the top costs the same in a short body and in a long one.
namespace quorvel::TextSnippet {

// The snippet of a body of which `text` holds the first bytes. With `whole` false the body goes
// on after them; the answer is then absent when those bytes cannot settle the snippet, and the
// caller reads more and asks again. Terms that case folding leaves alone, Korean words for one,
// are found without folding the text, unless `foldAlways` asks (tests compare the two).
std::optional<std::vector<SnippetSegment>> cut(std::string_view text, bool whole, const std::vector<std::string> &terms,
                                               int radius, bool foldAlways = false);

} // namespace quorvel::TextSnippet
