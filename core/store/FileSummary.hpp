#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvel {

// A stored document without its content. updatedAt is seconds since 1970 (whole seconds in the store).
struct FileSummary {
    int64_t id = 0;
    std::optional<int64_t> folderId;
    std::string filename;
    double updatedAt = 0;
    int64_t fileSize = 0;
    std::string contentHash;
    // Never opened, or its content moved on since it was last opened.
    bool hasUnseenChange = false;

    bool operator==(const FileSummary &) const = default;
};

} // namespace quorvel
