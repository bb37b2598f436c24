#include "sync/ManifestDiff.hpp"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

namespace quorvel::ManifestDiff {

namespace {

// The store keeps change times in whole seconds; a manifest time with a fraction must not read as a
// change on every run, so both sides are compared at the precision the store can hold.
bool sameInstant(double stored, double listed) {
    return std::trunc(stored) == std::trunc(listed);
}

} // namespace

ManifestDiffResult diff(const std::vector<LocalFileSnapshot> &local, const std::vector<ManifestFile> &remote) {
    std::unordered_map<int64_t, const LocalFileSnapshot *> byId;
    byId.reserve(local.size());
    for (const auto &snapshot : local)
        byId[snapshot.id] = &snapshot;

    ManifestDiffResult result;
    std::unordered_set<int64_t> remoteIds;
    remoteIds.reserve(remote.size());
    for (const auto &file : remote) {
        remoteIds.insert(file.id);
        auto found = byId.find(file.id);
        if (found == byId.end()) {
            result.toFetch.push_back(file.id);
            continue;
        }
        const LocalFileSnapshot &stored = *found->second;
        if (stored.contentHash != file.contentHash) {
            result.toFetch.push_back(file.id);
        } else if (stored.filename != file.filename || stored.folderId != file.folderId ||
                   !sameInstant(stored.updatedAt, file.updatedAt)) {
            result.metaOnly.push_back(file);
        } else {
            result.unchanged.push_back(file.id);
        }
    }
    for (const auto &snapshot : local)
        if (!remoteIds.count(snapshot.id)) result.toDelete.push_back(snapshot.id);
    std::sort(result.toDelete.begin(), result.toDelete.end());
    // A snapshot listed twice locally must not be deleted twice.
    result.toDelete.erase(std::unique(result.toDelete.begin(), result.toDelete.end()), result.toDelete.end());
    return result;
}

} // namespace quorvel::ManifestDiff
