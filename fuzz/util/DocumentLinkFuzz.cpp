#include "util/DocumentLink.hpp"

#include <cstdlib>
#include <string_view>

// An accepted link names a non-negative id and is never longer than a few hundred bytes, and the
// canonical link for that id reads back as the same id.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view url(reinterpret_cast<const char *>(data), size);
    auto id = quorvel::DocumentLink::parse(url);
    if (!id) return 0;
    if (*id < 0 || url.size() > 256) std::abort();
    if (quorvel::DocumentLink::parse(quorvel::DocumentLink::make(*id)) != id) std::abort();
    return 0;
}
