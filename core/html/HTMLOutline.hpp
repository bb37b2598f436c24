#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

struct HTMLHeading {
    int level = 1;    // 1 to 3
    std::string text; // one line, as HTMLText::extract gives it
    // The id a "#" link to the heading names: its own, or one `appendAnchored` writes in.
    std::string anchor;
    // Where ` id="anchor"` goes (just past the tag name) when the heading has no usable id of its own.
    std::optional<size_t> anchorAt;
    bool operator==(const HTMLHeading &) const = default;
};

// The visible headings h1 to h3 of a document, in order, each with an id to scroll to. A heading's
// own id serves unless an element before it holds the same one; otherwise it is given a new id that
// no element before it holds, written first in its tag so that it takes precedence. Headings inside
// text-only elements (textarea, title and the like), templates, SVG or MathML, hidden ones and
// those without text are left out. A heading's text ends at its end tag, at the next heading, or at
// the end of a block it sits in.
namespace HTMLOutline {

// Reads as far as the last heading start tag and what its text can take, or the whole document
// when that start does not settle the outline.
std::vector<HTMLHeading> read(std::string_view html);
// The same outline, read from every byte (slower; checks compare the two).
std::vector<HTMLHeading> readWhole(std::string_view html);

// Appends `html` to `out` with the ids of `headings` (as `read` found them in it) written in.
void appendAnchored(std::string &out, std::string_view html, const std::vector<HTMLHeading> &headings);

} // namespace HTMLOutline

} // namespace quorvel
