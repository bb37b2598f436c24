#include "html/HTMLTokenizer.hpp"
#include "support/HTMLContentChecks.hpp"

#include <cstdio>
#include <cstdlib>
#include <string_view>

using namespace quorvel;

namespace {
[[noreturn]] void fail(const std::string &why) {
    std::fprintf(stderr, "%s\n", why.c_str());
    std::abort();
}
bool isLowercase(std::string_view name) {
    for (char c : name) {
        if (c >= 'A' && c <= 'Z') return false;
    }
    return !name.empty();
}
} // namespace

// Tokens tile the input, and every range a tag reports lies inside the tag.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view html(reinterpret_cast<const char *>(data), size);
    if (auto problem = checks::tokenCoverage(html)) fail(*problem);
    HTMLTokenizer::tokenize(html, [&](const HTMLToken &token) {
        const auto *tag = std::get_if<HTMLTag>(&token);
        if (!tag) return;
        if (html[tag->start] != '<' || html[tag->end - 1] != '>' || !isLowercase(tag->name)) fail("bad tag bounds");
        size_t previous = tag->start;
        for (const auto &attr : tag->attrs) {
            if (attr.leadingStart < previous || attr.leadingStart > attr.start || attr.start >= attr.end ||
                attr.end >= tag->end || !isLowercase(attr.name)) {
                fail("bad attribute range");
            }
            if (attr.valueRange && (attr.valueRange->start < attr.start || attr.valueRange->end > attr.end ||
                                    attr.valueRange->start > attr.valueRange->end)) {
                fail("bad value range");
            }
            previous = attr.end;
        }
    });
    return 0;
}
