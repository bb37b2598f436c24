#include "ProviderQuery.hpp"

#include "html/UTF8.hpp"

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// Input: terms separated by NUL bytes. Whatever they hold, the query is valid UTF-8 within the
// bounds, words apart by single spaces with no control character, and reads back as itself.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace quorvel;
    std::string_view input(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> terms;
    for (size_t start = 0; start <= input.size();) {
        size_t end = input.find('\0', start);
        if (end == std::string_view::npos) end = input.size();
        terms.emplace_back(input.substr(start, end - start));
        start = end + 1;
    }
    const std::string query = provider::ProviderQuery::fromTerms(terms);
    if (!UTF8::isValid(query)) std::abort();
    size_t scalars = 0, words = query.empty() ? 0 : 1;
    for (size_t i = 0; i < query.size(); ++scalars) {
        const char32_t c = UTF8::next(query, i);
        if (c < 0x20 || c == 0x7F) std::abort();
        if (c == U' ') ++words;
    }
    if (scalars > provider::ProviderQuery::maxScalars || words > provider::ProviderQuery::maxWords) std::abort();
    if (!query.empty() && (query.front() == ' ' || query.back() == ' ' || query.find("  ") != std::string::npos))
        std::abort();
    if (provider::ProviderQuery::fromText(query) != query) std::abort();
    return 0;
}
