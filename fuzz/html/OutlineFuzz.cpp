#include "html/HTMLOutline.hpp"
#include "html/HTMLText.hpp"

#include <cstdlib>
#include <string>
#include <string_view>

using namespace quorvel;

// Headings come from documents. Reading stops after the last heading without changing the outline.
// Each heading has a level of 1 to 3, one line of text and an anchor; once
// the missing ids are written in, the document reads as the same outline with nothing more to
// write, and each id written stands where it was to go.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view html(reinterpret_cast<const char *>(data), size);
    const auto headings = HTMLOutline::read(html);
    if (HTMLOutline::readWhole(html) != headings) std::abort();
    std::string anchored;
    HTMLOutline::appendAnchored(anchored, html, headings);

    auto again = HTMLOutline::read(anchored);
    if (again.size() != headings.size()) std::abort();
    size_t shift = 0;
    for (size_t k = 0; k < headings.size(); ++k) {
        const HTMLHeading &h = headings[k];
        if (h.level < 1 || h.level > 3 || h.text.empty() || HTMLText::normalize(h.text) != h.text || h.anchor.empty())
            std::abort();
        if (h.anchorAt) {
            const std::string written = " id=\"" + h.anchor + "\"";
            if (anchored.compare(*h.anchorAt + shift, written.size(), written) != 0) std::abort();
            shift += written.size();
        }
        if (again[k].anchorAt) std::abort();
        again[k].anchorAt = h.anchorAt;
        if (again[k] != h) std::abort();
    }
    return 0;
}
