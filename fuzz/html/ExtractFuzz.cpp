#include "html/HTMLText.hpp"
#include "support/HTMLContentChecks.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace quorvel;

// Extracted text is one clean NFC line that normalising again leaves alone, and a
// script and style placed in front of the document add nothing to it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view html(reinterpret_cast<const char *>(data), size);
    const std::string text = HTMLText::extract(html);
    if (auto problem = checks::extractedTextShape(text)) {
        std::fprintf(stderr, "%s\n", problem->c_str());
        std::abort();
    }
    if (HTMLText::normalize(text) != text) std::abort();
    const std::string withScript = "<p><script>zqxjkv</script><style>q{}</style>" + std::string(html);
    if (HTMLText::extract(withScript) != text) std::abort();
    return 0;
}
