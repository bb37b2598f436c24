#pragma once

#include <cstdint>

namespace quorvel {

// A snapshot of a running sync.
struct SyncProgress {
    // In the order a run passes through them.
    enum class Phase { starting, manifest, shell, documents, images, applying, done };

    Phase phase = Phase::starting;
    int64_t documentsDone = 0;
    int64_t documentsTotal = 0;
    int64_t imagesDone = 0; // finished downloads, successful or not, and images taken from the cache
    int64_t imagesTotal = 0;
    // Of the done counts, what came from downloads of an earlier run that ended before applying.
    int64_t documentsCached = 0;
    int64_t imagesCached = 0;
    // The store was found damaged and rebuilt empty: this run downloads the whole library again.
    bool rebuildingStore = false;

    bool operator==(const SyncProgress &) const = default;
};

const char *phaseName(SyncProgress::Phase phase);

} // namespace quorvel
