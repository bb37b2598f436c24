#include "store/LocalStore.hpp"
#include "store/TextSnippet.hpp"

#include <cstdlib>
#include <string>

// Input: one byte of radius, the body, then NUL-separated words.
// Segments are never empty, and apart from the ellipses at either end they spell one
// contiguous piece of the body. Words found without folding the body give what folding gives.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    int radius = data[0] % 64;
    std::string_view rest(reinterpret_cast<const char *>(data + 1), size - 1);
    size_t cut = rest.find('\0');
    std::string_view body = rest.substr(0, cut);
    std::vector<std::string> terms;
    while (cut != std::string_view::npos) {
        rest = rest.substr(cut + 1);
        cut = rest.find('\0');
        terms.emplace_back(rest.substr(0, cut));
    }
    auto segments = quorvel::LocalStore::makeSnippet(body, terms, radius);
    if (segments != *quorvel::TextSnippet::cut(body, true, terms, radius, true)) std::abort();
    if (body.empty() ? !segments.empty() : (radius > 0 && segments.empty())) std::abort();
    for (const auto &s : segments) {
        if (s.text.empty()) std::abort();
    }
    auto isEllipsis = [](const quorvel::SnippetSegment &s) { return !s.highlighted && s.text == "…"; };
    // With or without the ellipses at either end, the rest is one piece of the body.
    for (int drop = 0; drop < 4; ++drop) {
        size_t first = 0, last = segments.size();
        if ((drop & 1) && last > first && isEllipsis(segments[first])) ++first;
        if ((drop & 2) && last > first && isEllipsis(segments[last - 1])) --last;
        std::string joined;
        for (size_t k = first; k < last; ++k)
            joined += segments[k].text;
        if (body.find(joined) != std::string_view::npos) return 0;
    }
    std::abort();
}
