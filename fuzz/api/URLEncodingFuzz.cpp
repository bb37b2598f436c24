#include "util/URLEncoding.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace quorvel;

// Encoding leaves only unreserved characters and escapes, and decoding gives back the original bytes;
// decoding arbitrary text never reads past its end.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    std::string encoded = URLEncoding::encodeComponent(text);
    if (encoded.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~%") !=
        std::string::npos)
        std::abort();
    if (URLEncoding::decodeComponent(encoded) != text) std::abort();
    if (auto decoded = URLEncoding::decodeComponent(text, true); decoded && decoded->size() > text.size()) std::abort();
    return 0;
}
