#include "html/UTF8.hpp"
#include "support/HTMLContentChecks.hpp"
#include "sync/ImageRewriter.hpp"
#include "util/Hashing.hpp"

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unordered_set>

using namespace quorvel;

namespace {
[[noreturn]] void fail(const char *why, const std::string &detail = {}) {
    std::fprintf(stderr, "%s %s\n", why, detail.c_str());
    std::abort();
}

void checkOutput(const ImageRewriteResult &result, const ImageRewriter::AssetHashes &hashes) {
    if (!UTF8::isValid(result.html)) fail("invalid UTF-8 out");
    if (auto problem = checks::networkImageReference(result.html)) fail("network reference", *problem);
    std::unordered_set<std::string> downloads(result.downloads.begin(), result.downloads.end());
    if (downloads.size() != result.downloads.size()) fail("duplicate download");
    std::vector<std::string> expectMissing;
    for (const auto &url : result.downloads) {
        if (!hashes.contains(url)) expectMissing.push_back(url);
    }
    if (expectMissing != result.missing) fail("missing list");
}
} // namespace

// Discovery pass without hashes, then the rendering pass with hashes for every other
// download; neither leaves a network image, and rendering again changes nothing.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const ImageRewriter rewriter("https://docs.example.com");
    std::string_view html(reinterpret_cast<const char *>(data), size);

    const auto discovery = rewriter.rewrite(html, {});
    checkOutput(discovery, {});

    ImageRewriter::AssetHashes hashes;
    for (size_t k = 0; k < discovery.downloads.size(); k += 2) {
        hashes.emplace(discovery.downloads[k], Hashing::sha256Hex(discovery.downloads[k]));
    }
    const auto rendered = rewriter.rewrite(html, hashes);
    checkOutput(rendered, hashes);
    if (rendered.downloads != discovery.downloads) fail("downloads depend on hashes");

    const auto again = rewriter.rewrite(rendered.html, hashes);
    if (again.html != rendered.html) fail("second rewrite changed the document");
    if (!again.downloads.empty()) fail("second rewrite found downloads");

    if (discovery.downloads.empty() && html.find('<') == std::string_view::npos && UTF8::isValid(html) &&
        discovery.html != html) {
        fail("document without tags changed");
    }
    return 0;
}
