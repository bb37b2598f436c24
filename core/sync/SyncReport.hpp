#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

// Details of the last finished run.
struct SyncReport {
    std::vector<int64_t> skippedIDs;          // documents that could not be accepted, ascending
    std::vector<std::string> failedImageURLs; // images that could not be downloaded
    bool rebuiltStore = false;                // the run downloaded a library rebuilt after damage

    bool operator==(const SyncReport &) const = default;
};

} // namespace quorvel
