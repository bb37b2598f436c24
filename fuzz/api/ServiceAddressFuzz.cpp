#include "api/ServiceAddress.hpp"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace quorvel;

// An accepted address is http(s), has no trailing slash, and is accepted again as it stands.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const auto base = ServiceAddress::normalized(std::string_view(reinterpret_cast<const char *>(data), size));
    if (!base) return 0;
    if (!base->starts_with("http://") && !base->starts_with("https://")) std::abort();
    if (base->ends_with('/')) std::abort();
    if (ServiceAddress::normalized(*base) != base) std::abort();
    return 0;
}
