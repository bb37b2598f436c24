#include "update/SemVer.hpp"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace quorvel;

// Any text from the service: a version that parses prints back to one that parses to the same value.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    auto version = SemVer::parse(text);
    if (!version) return 0;
    if (version->major < 0 || version->minor < 0 || version->patch < 0) std::abort();
    if (SemVer::parse(version->toString()) != version) std::abort();
    return 0;
}
