#include "DecodeFuzz.hpp"

using namespace quorvel;

// A release envelope (decoded only): nothing but a decoding or server error may come out of it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::decodeBody<AppRelease>(data, size);
    return 0;
}
