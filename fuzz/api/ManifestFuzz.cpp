#include "DecodeFuzz.hpp"

using namespace quorvel;

// A manifest envelope: decoding never fails other than as a decoding error, and every manifest whose
// dates the format can carry encodes to text that decodes to the same manifest.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    auto manifest = fuzz::decodeBody<Manifest>(data, size);
    if (!manifest) return 0;
    if (!fuzz::encodable(manifest->serverTime)) return 0;
    for (const auto &file : manifest->files) {
        if (!fuzz::encodable(file.updatedAt)) return 0;
    }
    Manifest expected = *manifest;
    expected.serverTime = fuzz::whole(expected.serverTime);
    for (auto &file : expected.files)
        file.updatedAt = fuzz::whole(file.updatedAt);
    if (!(fuzz::reencoded(*manifest) == expected)) std::abort();
    return 0;
}
