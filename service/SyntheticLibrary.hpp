#pragma once

#include "Library.hpp"

#include <cstdint>

namespace quorvel::service {

// Libraries of any size made from a seed: the same seed always gives the same folders,
// documents, contents and image bytes. Documents mix Korean and English text in realistic
// sizes (most a few kilobytes, some far larger) and share images, a few of them heavily.
// Images are made on request, so large libraries stay small in memory.
struct SyntheticLibrary {
    static Library generate(int64_t documents, int64_t images, uint64_t seed);
    static std::string imagePath(int64_t index);
};

} // namespace quorvel::service
