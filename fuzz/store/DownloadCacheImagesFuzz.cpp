#include "store/DownloadCache.hpp"

#include <cstdlib>
#include <string>

// The image record is read back from disk, where anything may have been written or cut short.
// Whatever it holds, every entry read is one that could have been written, and writing the entries
// again reads back the same.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view input(reinterpret_cast<const char *>(data), size);
    auto images = quorvel::DownloadCache::parseImages(input);
    std::string again;
    for (const auto &image : images) {
        auto line = quorvel::DownloadCache::imageLine(image.url, image.sha256);
        if (!line) std::abort();
        again += *line;
    }
    if (quorvel::DownloadCache::parseImages(again) != images) std::abort();
    return 0;
}
