#pragma once

#include "api/WireRecords.hpp"
#include "store/LocalFileSnapshot.hpp"

#include <cstdint>
#include <vector>

namespace quorvel {

// Every listed or stored file, sorted into exactly one group.
struct ManifestDiffResult {
    std::vector<int64_t> toFetch;       // new on the service, or changed content; manifest order
    std::vector<ManifestFile> metaOnly; // same content, moved title, folder or time; manifest order
    std::vector<int64_t> toDelete;      // stored but no longer listed; ascending
    std::vector<int64_t> unchanged;     // identical in every compared field; manifest order

    // Nothing to download, update or delete (`unchanged` does not count).
    bool isEmpty() const { return toFetch.empty() && metaOnly.empty() && toDelete.empty(); }
    bool operator==(const ManifestDiffResult &) const = default;
};

namespace ManifestDiff {

ManifestDiffResult diff(const std::vector<LocalFileSnapshot> &local, const std::vector<ManifestFile> &remote);

} // namespace ManifestDiff

} // namespace quorvel
