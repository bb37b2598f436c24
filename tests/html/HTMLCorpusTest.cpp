// Properties of tokenizing, rewriting and extracting checked on every file of a real-world
// corpus (Debian's HTML manuals, listed by scripts/html-corpus.sh). Skipped when the
// corpus is not there; `scripts/html-corpus.sh --fetch` downloads it into a cache.
#include "html/HTMLText.hpp"
#include "html/HTMLTokenizer.hpp"
#include "html/UTF8.hpp"
#include "support/HTMLContentChecks.hpp"
#include "support/TempDir.hpp"
#include "sync/ImageRewriter.hpp"
#include "util/Hashing.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace quorvel;
using quorvel::test::readFile;

namespace {

std::vector<std::string> corpusFiles() {
    const char *source = std::getenv("QUORVEL_SOURCE_DIR");
    const std::string script = std::string(source ? source : ".") + "/scripts/html-corpus.sh";
    std::vector<std::string> files;
    FILE *pipe = popen(("bash '" + script + "' 2>/dev/null").c_str(), "r");
    if (!pipe) return files;
    char *line = nullptr;
    size_t capacity = 0;
    for (ssize_t n; (n = getline(&line, &capacity, pipe)) > 0;) {
        if (n > 1) files.emplace_back(line, static_cast<size_t>(n) - (line[n - 1] == '\n' ? 1 : 0));
    }
    free(line);
    pclose(pipe);
    return files;
}

bool mentionsImages(std::string_view html) {
    for (std::string_view needle : {"<img", "srcset", "url("}) {
        if (HTMLTokenizer::indexOfCI(html, needle, 0)) return true;
    }
    return false;
}

// The manuals' images are document-relative, which the rewriter drops; this variant makes
// them root-relative so the download and hash paths run on real markup too.
std::string rootRelative(std::string html) {
    for (const auto &[from, to] : {std::pair{"src=\"", "src=\"/"}, {"src='", "src='/"}, {"url(", "url(/"}}) {
        for (size_t at = html.find(from); at != std::string::npos; at = html.find(from, at + std::strlen(to))) {
            html.replace(at, std::strlen(from), to);
        }
    }
    return html;
}

// The document with a script inserted right after its first complete body start tag.
std::optional<std::string> withScriptInBody(const std::string &html, std::string_view marker) {
    std::optional<size_t> at;
    HTMLTokenizer::tokenize(html, [&](const HTMLToken &token) {
        const auto *tag = std::get_if<HTMLTag>(&token);
        if (!at && tag && !tag->isEnd && tag->name == "body") at = tag->end;
    });
    if (!at) return std::nullopt;
    std::string out = html;
    out.insert(*at, "<script>" + std::string(marker) + "</script><style>." + std::string(marker) + "{}</style>");
    return out;
}

} // namespace

TEST(HTMLCorpus, PropertiesHoldOnEveryFile) {
    const auto files = corpusFiles();
    if (files.empty()) GTEST_SKIP() << "no corpus (scripts/html-corpus.sh --fetch)";

    const ImageRewriter rewriter("https://docs.python.org");
    size_t bytes = 0, withImages = 0, withBody = 0, downloads = 0;
    for (const auto &path : files) {
        SCOPED_TRACE(path);
        const std::string html = readFile(path);
        bytes += html.size();

        auto coverage = checks::tokenCoverage(html);
        ASSERT_FALSE(coverage) << *coverage;

        const auto discovery = rewriter.rewrite(rootRelative(html), {});
        auto leak = checks::networkImageReference(discovery.html);
        ASSERT_FALSE(leak) << *leak;
        ImageRewriter::AssetHashes hashes;
        for (const auto &url : discovery.downloads)
            hashes.emplace(url, Hashing::sha256Hex(url));
        downloads += discovery.downloads.size();
        const auto rendered = rewriter.rewrite(rootRelative(html), hashes);
        leak = checks::networkImageReference(rendered.html);
        ASSERT_FALSE(leak) << *leak;
        EXPECT_TRUE(rendered.missing.empty());
        EXPECT_EQ(rewriter.rewrite(rendered.html, hashes).html, rendered.html);
        if (mentionsImages(html)) {
            ++withImages;
            auto plainLeak = checks::networkImageReference(rewriter.rewrite(html, {}).html);
            ASSERT_FALSE(plainLeak) << *plainLeak;
        } else if (UTF8::isValid(html)) {
            ASSERT_EQ(rewriter.rewrite(html, {}).html, html) << "a document without images changed";
        }

        const std::string text = HTMLText::extract(html);
        auto shape = checks::extractedTextShape(text);
        ASSERT_FALSE(shape) << *shape;
        if (auto scripted = withScriptInBody(html, "qzxjvkw")) {
            ++withBody;
            const std::string scriptedText = HTMLText::extract(*scripted);
            EXPECT_EQ(scriptedText.find("qzxjvkw"), std::string::npos);
            EXPECT_EQ(scriptedText, text);
        }
    }
    std::printf(
        "corpus: %zu files, %.1f MB, %zu with images (%zu image URLs), %zu with a body checked for script text\n",
        files.size(), static_cast<double>(bytes) / 1e6, withImages, downloads, withBody);
    EXPECT_GE(bytes, 50u * 1000 * 1000) << "the corpus should hold at least 50 MB";
}
