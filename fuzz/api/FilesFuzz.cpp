#include "DecodeFuzz.hpp"

using namespace quorvel;

// A files envelope: a list of documents; each encodable one survives a trip through the encoder.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    auto files = fuzz::decodeBody<std::vector<FileContent>>(data, size);
    if (!files) return 0;
    for (const auto &file : *files) {
        if (!fuzz::encodable(file.updatedAt)) continue;
        FileContent expected = file;
        expected.updatedAt = fuzz::whole(file.updatedAt);
        if (!(fuzz::reencoded(file) == expected)) std::abort();
    }
    return 0;
}
