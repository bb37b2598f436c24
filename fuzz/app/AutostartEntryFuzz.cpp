#include "model/AutostartEntry.hpp"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace quorvel::app;

// The autostart entry is read back from a folder anyone's tools write to; and whatever path the
// program lies at, the entry written for it must read as one that starts it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char *>(data), size);
    AutostartEntry::startsAtLogin(bytes);
    if (!AutostartEntry::startsAtLogin(AutostartEntry::text(bytes))) std::abort();
    return 0;
}
