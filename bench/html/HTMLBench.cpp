// Single-thread throughput of the HTML content processing over a real-world corpus
// (Debian's HTML manuals, fetched by scripts/html-corpus.sh into a cache when missing), beside the
// same text extraction done with gumbo, a full HTML5 parser.
#include "html/HTMLOutline.hpp"
#include "html/HTMLText.hpp"
#include "html/HTMLTokenizer.hpp"
#include "sync/ImageRewriter.hpp"

#include <gumbo.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

using namespace quorvel;

namespace {

std::vector<std::string> loadCorpus() {
    const std::string command = std::string("bash '") + QUORVEL_SOURCE_DIR + "/scripts/html-corpus.sh' --fetch";
    std::vector<std::string> documents;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return documents;
    std::string path;
    int c;
    while ((c = std::fgetc(pipe)) != EOF) {
        if (c != '\n') {
            path.push_back(static_cast<char>(c));
            continue;
        }
        std::ifstream in(path, std::ios::binary);
        documents.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        path.clear();
    }
    pclose(pipe);
    return documents;
}

// Text of the gumbo tree, joined by the same rules: block elements separate words,
// script, style and comments contribute nothing; then the same normaliser.
void gumboText(const GumboNode *node, std::string &out) {
    switch (node->type) {
    case GUMBO_NODE_TEXT:
    case GUMBO_NODE_WHITESPACE:
    case GUMBO_NODE_CDATA:
        out.append(node->v.text.text);
        return;
    case GUMBO_NODE_COMMENT:
        return;
    case GUMBO_NODE_DOCUMENT:
    case GUMBO_NODE_ELEMENT:
    case GUMBO_NODE_TEMPLATE:
        break;
    }
    const GumboVector *children = nullptr;
    bool block = false;
    if (node->type == GUMBO_NODE_DOCUMENT) {
        children = &node->v.document.children;
    } else {
        const GumboTag tag = node->v.element.tag;
        if (tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_STYLE) return;
        block = HTMLText::isBlockTag(gumbo_normalized_tagname(tag));
        children = &node->v.element.children;
    }
    if (block) out.push_back(' ');
    for (unsigned k = 0; k < children->length; ++k)
        gumboText(static_cast<const GumboNode *>(children->data[k]), out);
    if (block) out.push_back(' ');
}

std::string gumboExtract(const std::string &html) {
    GumboOutput *output = gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size());
    std::string buffer;
    buffer.reserve(html.size() / 2);
    gumboText(output->document, buffer);
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return HTMLText::normalize(buffer);
}

// Best of a few rounds over the whole corpus, in MB/s.
double throughput(const std::vector<std::string> &documents, size_t bytes,
                  const std::function<size_t(const std::string &)> &work) {
    double best = 0;
    size_t sink = 0;
    for (int round = 0; round < 3; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (const auto &doc : documents)
            sink += work(doc);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = std::max(best, static_cast<double>(bytes) / 1e6 / seconds);
    }
    if (sink == 0) std::printf("(no output)\n");
    return best;
}

} // namespace

int main() {
    const auto documents = loadCorpus();
    size_t bytes = 0;
    for (const auto &doc : documents)
        bytes += doc.size();
    if (documents.empty()) {
        std::printf("html: no corpus (scripts/html-corpus.sh --fetch could not download it); skipped\n");
        return 0;
    }
    std::printf("corpus: %zu files, %.1f MB (Debian HTML manuals), one thread, best of 3\n", documents.size(),
                static_cast<double>(bytes) / 1e6);

    const ImageRewriter rewriter("https://docs.python.org");
    const double tokenize = throughput(documents, bytes, [](const std::string &doc) {
        size_t tokens = 0;
        HTMLTokenizer::tokenize(doc, [&](const HTMLToken &) { ++tokens; });
        return tokens;
    });
    const double rewrite =
        throughput(documents, bytes, [&](const std::string &doc) { return rewriter.rewrite(doc, {}).html.size(); });
    const double extract =
        throughput(documents, bytes, [](const std::string &doc) { return HTMLText::extract(doc).size() + 1; });
    const double outline =
        throughput(documents, bytes, [](const std::string &doc) { return HTMLOutline::read(doc).size() + 1; });
    const double gumbo =
        throughput(documents, bytes, [](const std::string &doc) { return gumboExtract(doc).size() + 1; });

    size_t same = 0;
    for (const auto &doc : documents)
        same += HTMLText::extract(doc) == gumboExtract(doc);

    std::printf("%-34s %10s\n", "step", "MB/s");
    std::printf("%-34s %10.1f\n", "tokenize", tokenize);
    std::printf("%-34s %10.1f\n", "rewrite (discovery, no hashes)", rewrite);
    std::printf("%-34s %10.1f\n", "extract", extract);
    std::printf("%-34s %10.1f\n", "outline (headings and their ids)", outline);
    std::printf("%-34s %10.1f\n", "extract with gumbo (peer)", gumbo);
    std::printf("%-34s %10.2f\n", "extract ratio ours/gumbo", extract / gumbo);
    std::printf("identical text from both on %zu of %zu files\n", same, documents.size());
    return 0;
}
