#pragma once

#include "store/SnippetSegment.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

struct SearchResult {
    int64_t fileId = 0;
    std::string title;
    // Folder names from the top level down to the document's folder; empty at the top level.
    std::vector<std::string> folderPath;
    std::vector<SnippetSegment> snippet;
    double updatedAt = 0;

    bool operator==(const SearchResult &) const = default;
};

} // namespace quorvel
