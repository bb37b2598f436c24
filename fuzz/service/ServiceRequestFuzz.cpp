#include "LibraryLoader.hpp"
#include "RequestParsing.hpp"

#include <cstdlib>
#include <string>
#include <string_view>

using namespace quorvel::service;

// Request text the sample service reads itself: versions, id lists, entity tags, bearer
// tokens, media types, and document titles. Lines of the input feed the readers in turn.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view input(reinterpret_cast<const char *>(data), size);
    std::string_view first = input.substr(0, input.find('\n'));
    std::string_view rest = first.size() < input.size() ? input.substr(first.size() + 1) : std::string_view();

    if (auto v = RequestParsing::version(first)) {
        for (auto part : *v)
            if (part < 0 || part > 999999999) std::abort();
    }
    if (auto ids = RequestParsing::idList(first)) {
        size_t commas = 0;
        for (char c : first)
            commas += c == ',';
        if (!first.empty() && ids->size() != commas + 1) std::abort();
        for (auto id : *ids)
            if (id < 0) std::abort();
    }
    bool matched = RequestParsing::matchesAnyTag(first, rest);
    if (first == "*" && !matched) std::abort();
    std::string token = RequestParsing::bearerToken(first);
    if (token.size() > first.size()) std::abort();
    (void)RequestParsing::isJSONMediaType(first);

    std::string html(input);
    std::string title = LibraryLoader::titleOf(html);
    if (!title.empty() && html.find(title) == std::string::npos) std::abort();
    return 0;
}
