#include "util/ISO8601.hpp"

#include <cmath>
#include <cstdlib>
#include <string_view>

// Any accepted timestamp formats back to text that parses to the same whole second.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    auto t = quorvel::ISO8601::parse(text);
    if (!t) return 0;
    if (!std::isfinite(*t)) std::abort();
    double whole = std::floor(*t);
    // Formatting only promises a four-digit year inside 0000..9999.
    if (whole < -62167219200.0 || whole > 253402300799.0) return 0;
    auto again = quorvel::ISO8601::parse(quorvel::ISO8601::format(*t));
    if (!again || *again != whole) std::abort();
    return 0;
}
