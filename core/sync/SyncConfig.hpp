#pragma once

#include <cstdint>
#include <filesystem>

namespace quorvel {

// Limits of one sync engine, fixed when it is created.
struct SyncConfig {
    int64_t maxBatchCount = 20;        // documents asked for in one content request
    int64_t maxBatchBytes = 4194304;   // summed manifest sizes in one content request
    int64_t maxImagesPerDocument = 50; // distinct images downloaded for one document in one run
    int64_t maxImageBytes = 5242880;   // size limit of one image
    int64_t imageConcurrency = 4;      // image downloads in flight at once
    bool wipeOnRevoke = true;          // a wipe action also erases the library and the credentials
    // Where a run parks downloaded documents until it applies them; empty means the store's own
    // directory, which is on the disk that will hold them anyway (a temporary directory may be memory).
    std::filesystem::path spoolDirectory;

    bool operator==(const SyncConfig &) const = default;
};

} // namespace quorvel
