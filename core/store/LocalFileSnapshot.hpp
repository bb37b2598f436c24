#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvel {

// What the sync engine compares against the server's manifest.
struct LocalFileSnapshot {
    int64_t id = 0;
    std::optional<int64_t> folderId;
    std::string filename;
    double updatedAt = 0;
    std::string contentHash;

    bool operator==(const LocalFileSnapshot &) const = default;
};

} // namespace quorvel
