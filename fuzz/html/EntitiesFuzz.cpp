#include "html/HTMLEntities.hpp"
#include "html/UTF8.hpp"

#include <cstdlib>
#include <string_view>

using namespace quorvel;

// Decoding never grows the text and keeps valid UTF-8 valid; decoding undoes encoding.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    const std::string decoded = HTMLEntities::decode(text);
    if (decoded.size() > text.size()) std::abort();
    if (UTF8::isValid(text) && !UTF8::isValid(decoded)) std::abort();
    if (HTMLEntities::decode(HTMLEntities::encodeAttribute(text)) != text) std::abort();
    return 0;
}
