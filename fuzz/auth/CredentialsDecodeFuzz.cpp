#include "auth/FileTokenStore.hpp"
#include "auth/PendingRevokeStore.hpp"

#include <cstdlib>
#include <string_view>

// A credentials file that decodes must survive a write and a read unchanged; neither decoder may
// fail in any other way than by giving nothing.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    if (auto contents = quorvel::FileTokenStore::decode(text)) {
        auto encoded = quorvel::FileTokenStore::encode(*contents);
        if (!encoded) std::abort();
        auto again = quorvel::FileTokenStore::decode(*encoded);
        if (!again || !(*again == *contents)) std::abort();
    }
    if (auto pending = quorvel::PendingRevokeStore::decode(text)) {
        auto encoded = quorvel::PendingRevokeStore::encode(*pending);
        if (!encoded || quorvel::PendingRevokeStore::decode(*encoded) != pending) std::abort();
    }
    return 0;
}
