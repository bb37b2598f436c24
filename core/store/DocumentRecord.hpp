#pragma once

#include "store/FileSummary.hpp"

#include <string>

namespace quorvel {

struct DocumentRecord {
    FileSummary summary;
    // The HTML as downloaded.
    std::string content;
    // The HTML with images pointing at stored assets, as the viewer shows it.
    std::string renderHTML;

    bool operator==(const DocumentRecord &) const = default;
};

} // namespace quorvel
