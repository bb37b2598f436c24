#include "DecodeFuzz.hpp"

using namespace quorvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    auto shell = fuzz::decodeBody<ShellDoc>(data, size);
    if (shell && !(fuzz::reencoded(*shell) == *shell)) std::abort();
    return 0;
}
