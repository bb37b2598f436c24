#include "sync/MIMESniffer.hpp"

#include <cstdlib>
#include <set>
#include <string>

// Any bytes name one of the known media types, and only the first 512 bytes decide it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::set<std::string> known = {
        "image/png",    "image/jpeg", "image/gif",  "image/webp",    "image/bmp",
        "image/x-icon", "image/avif", "image/heic", "image/svg+xml", "application/octet-stream"};
    std::span<const uint8_t> bytes(data, size);
    std::string type = quorvel::MIMESniffer::sniff(bytes);
    if (!known.count(type)) std::abort();
    if (size > 512 && quorvel::MIMESniffer::sniff(bytes.first(512)) != type) std::abort();
    return 0;
}
