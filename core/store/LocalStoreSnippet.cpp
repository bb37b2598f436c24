#include "store/LocalStore.hpp"

#include "store/TextSnippet.hpp"

namespace quorvel {

std::vector<SnippetSegment> LocalStore::parseSnippet(std::string_view snippet) {
    std::vector<SnippetSegment> segments;
    std::string buffer;
    bool highlighted = false;
    auto close = [&] {
        if (!buffer.empty()) segments.push_back({std::move(buffer), highlighted});
        buffer.clear();
    };
    // The markers are single bytes that never occur inside a multi-byte UTF-8 sequence.
    for (char c : snippet) {
        if (c == '\x01') {
            close();
            highlighted = true;
        } else if (c == '\x02') {
            close();
            highlighted = false;
        } else {
            buffer += c;
        }
    }
    close();
    return segments;
}

std::vector<SnippetSegment> LocalStore::makeSnippet(std::string_view body, const std::vector<std::string> &terms,
                                                    int radius) {
    return *TextSnippet::cut(body, true, terms, radius);
}

} // namespace quorvel
