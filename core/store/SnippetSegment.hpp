#pragma once

#include <string>

namespace quorvel {

// A run of snippet text; highlighted runs matched a query word. Never empty.
struct SnippetSegment {
    std::string text;
    bool highlighted = false;

    bool operator==(const SnippetSegment &) const = default;
};

} // namespace quorvel
