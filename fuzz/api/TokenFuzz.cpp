#include "DecodeFuzz.hpp"

using namespace quorvel;

// A token envelope (decoded only); its user encodes and decodes back unchanged.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    auto token = fuzz::decodeBody<TokenResponse>(data, size);
    if (!token) return 0;
    if (!(fuzz::reencoded(token->user) == token->user)) std::abort();
    return 0;
}
