#pragma once

#include <optional>
#include <string>
#include <string_view>

// Whole-document invariants of the HTML content processing, shared by the unit tests,
// the corpus test and the fuzz targets. Each returns a description of the first
// violation, or nothing when the property holds.
namespace quorvel::checks {

// The tokens tile the input: in order, no gaps, no overlaps, none empty.
std::optional<std::string> tokenCoverage(std::string_view html);

// Rewritten HTML refers to no image on the network: every img source is an asset URL or a
// data URI, no img or source keeps srcset, and every CSS url() in style attributes and
// style elements is an asset URL or a data URI.
std::optional<std::string> networkImageReference(std::string_view html);

// Extracted text: valid UTF-8 in NFC, no leading, trailing or doubled spaces, no other
// whitespace or invisible characters.
std::optional<std::string> extractedTextShape(std::string_view text);

} // namespace quorvel::checks
