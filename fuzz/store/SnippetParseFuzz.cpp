#include "store/LocalStore.hpp"

#include <cstdlib>
#include <string>

// Segments are never empty and together hold exactly the input without its markers.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view input(reinterpret_cast<const char *>(data), size);
    auto segments = quorvel::LocalStore::parseSnippet(input);
    std::string joined, expected;
    for (const auto &s : segments) {
        if (s.text.empty()) std::abort();
        joined += s.text;
    }
    for (char c : input) {
        if (c != '\x01' && c != '\x02') expected += c;
    }
    if (joined != expected) std::abort();
    return 0;
}
