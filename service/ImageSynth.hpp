#pragma once

#include <cstdint>
#include <string>

namespace quorvel::service {

// Valid, deterministic image files of a wanted size, made without an image library.
namespace ImageSynth {

// An RGB PNG (stored, uncompressed deflate) of about `targetBytes`: a gradient with a band
// whose colours come from the seed.
std::string png(uint64_t seed, int64_t targetBytes);
std::string png(uint64_t seed, int width, int height);
// A small baseline JPEG padded with comment segments up to `targetBytes`; the seed is
// written into the first comment, so every seed gives other bytes.
std::string jpeg(uint64_t seed, int64_t targetBytes);
// An SVG drawing of about `targetBytes` (shapes repeat until it is large enough).
std::string svg(uint64_t seed, int64_t targetBytes);

} // namespace ImageSynth
} // namespace quorvel::service
